// vanto-convert: command-line front end.
#include <cstdio>

int main(int, char**) {
    std::fprintf(stderr, "usage: vanto-convert COMMAND ...\n");
    return 2;
}
