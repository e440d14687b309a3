#include "app/signal_watcher.h"

#include <QMetaObject>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace varne4 {

#ifdef Q_OS_WIN

namespace {
SignalWatcher* g_watcher = nullptr;
BOOL WINAPI consoleHandler(DWORD) {
    if (g_watcher) QMetaObject::invokeMethod(g_watcher, &SignalWatcher::terminationRequested, Qt::QueuedConnection);
    return TRUE;
}
} // namespace

struct SignalWatcher::Impl {};

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent), impl_(nullptr) {
    g_watcher = this;
    SetConsoleCtrlHandler(consoleHandler, TRUE);
}

SignalWatcher::~SignalWatcher() {
    SetConsoleCtrlHandler(consoleHandler, FALSE);
    g_watcher = nullptr;
}

#else

namespace {
// The handler may only write to a pipe; the notifier wakes the event loop.
int g_pipe[2] = {-1, -1};
void onSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}
} // namespace

struct SignalWatcher::Impl {
    QSocketNotifier* notifier = nullptr;
};

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent), impl_(new Impl) {
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0) return;
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
    impl_->notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(impl_->notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        [[maybe_unused]] auto n = ::read(g_pipe[0], buf, sizeof buf);
        emit terminationRequested();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    // A closed terminal (SIGHUP) ends the station as cleanly as SIGTERM does.
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    // A reader that went away (`| head`) is an output that failed, not a reason to die
    // with frames unlogged: writes then fail with EPIPE and the writer stops trying.
    ::signal(SIGPIPE, SIG_IGN);
}

SignalWatcher::~SignalWatcher() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::signal(sig, SIG_DFL);
    delete impl_;
}

#endif

} // namespace varne4
