#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace skyfault::app {

// Turns SIGTERM, SIGINT and SIGHUP into a call of `onSignal` on the
// user-interface thread, so that a program asked to stop from outside ends
// as by its close box instead of dying with its link open. The signal
// handler itself only writes a byte into a pipe; a QSocketNotifier on the
// other end runs `onSignal` from the event loop (after exec() has started,
// if the signal came earlier). Make it after the QApplication and before the
// link is opened; its destructor puts the previous signal actions back. When
// no pipe can be made the signals keep their default actions.
class EndSignals final {
public:
    explicit EndSignals(std::function<void()> onSignal);
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    struct Previous;
    void Drain();

    std::function<void()> onSignal_;
    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::unique_ptr<Previous> previous_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace skyfault::app
