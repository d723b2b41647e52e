#include "platform/qt/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe for the handler. A lock-free atomic is safe to read in a handler,
// whichever thread the signal interrupts.
std::atomic<int> wakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Only async-signal-safe calls: the handler notes the signal in the pipe; the GUI thread reads
// it there and does the rest.
extern "C" void OnTerminationSignal(int signo) {
    const int saved = errno;
    const char byte = static_cast<char>(signo);
    const int fd = wakeFd.load();
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

TTerminationSignals::TTerminationSignals() {
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) return;
    wakeFd.store(pipe_[1]);
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { Arrived(); });

    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // A second signal while the program is ending takes the default course and ends it at once,
    // should the orderly end hang.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int i = 0; i < 3; ++i)
        sigaction(Handled[i], &action, &previous_[i]);
}

TTerminationSignals::~TTerminationSignals() {
    if (pipe_[0] < 0) return;
    for (int i = 0; i < 3; ++i)
        sigaction(Handled[i], &previous_[i], nullptr);
    wakeFd.store(-1);
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

// Every loop of the GUI thread ends, a modal one included, and the program's main loop returns.
void TTerminationSignals::Arrived() {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::exit(0);
}

} // namespace plat
