#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

#include "app/qt/end_signals.h"

namespace skyfault::app {

namespace {

constexpr std::array<int, 3> kEndSignals = {SIGTERM, SIGINT, SIGHUP};

// The write end of the pipe, read by the handler; -1 while none is installed.
volatile std::sig_atomic_t gWakeEnd = -1;

// Only async-signal-safe work: one non-blocking write. A full pipe already
// holds a wake-up, so a lost byte loses nothing.
void OnEndSignal(int /*signal*/) {
    const int savedErrno = errno;
    const int fd = gWakeEnd;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

struct EndSignals::Previous {
    std::array<struct sigaction, kEndSignals.size()> actions{};
    std::array<bool, kEndSignals.size()> saved{};
};

EndSignals::EndSignals(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), previous_(std::make_unique<Previous>()) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::fprintf(stderr,
                     "skyfault: no pipe for the end signals (%s); they end the program at once\n",
                     std::strerror(errno));
        return;
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { Drain(); });
    gWakeEnd = writeEnd_;

    struct sigaction action {};
    action.sa_handler = &OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        previous_->saved[i] = ::sigaction(kEndSignals[i], &action, &previous_->actions[i]) == 0;
    }
}

EndSignals::~EndSignals() {
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        if (previous_->saved[i]) {
            ::sigaction(kEndSignals[i], &previous_->actions[i], nullptr);
        }
    }
    gWakeEnd = -1;
    notifier_.reset();
    if (readEnd_ >= 0) {
        ::close(readEnd_);
    }
    if (writeEnd_ >= 0) {
        ::close(writeEnd_);
    }
}

void EndSignals::Drain() {
    // Several signals may have come at once: one ending serves them all.
    char bytes[64];
    bool woken = false;
    while (::read(readEnd_, bytes, sizeof bytes) > 0) {
        woken = true;
    }
    if (woken && onSignal_) {
        onSignal_();
    }
}

}  // namespace skyfault::app
