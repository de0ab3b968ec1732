#include "app/TerminationSignals.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
std::atomic<int> g_received{0};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Async-signal-safe: one byte into the socket; the notifier picks it up on the UI thread.
void onSignal(int sig) {
    if (g_received.fetch_add(1) > 0) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
}
}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0) return;
    ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
    g_received = 0;
    for (int sig : kSignals) {
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(sig, &sa, nullptr);
    }
}

TerminationSignals::~TerminationSignals() {
    for (int sig : kSignals) std::signal(sig, SIG_DFL);
    for (int& fd : g_fds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::readSignal() {
    unsigned char byte = 0;
    if (::read(g_fds[1], &byte, 1) == 1) emit terminationRequested(byte);
}
