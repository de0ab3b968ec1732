// Program entry: no command-line arguments are read.
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vanto Video Converter"));
    return 0;
}
