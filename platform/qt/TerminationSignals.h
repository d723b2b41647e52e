// SIGINT, SIGTERM and SIGHUP (Ctrl+C in the terminal, a logout, the terminal closing) end the
// program as the end of a desktop session does: the event loops stop, and the program leaves
// its main loop to tear its forms down in order, which saves the settings and closes the port.
// The forms' close handling, and any question it asks, is not involved.
#pragma once

#include <signal.h>

class QSocketNotifier;

namespace plat {

class TTerminationSignals {
public:
    // In the GUI thread, once the application object exists. One instance at a time.
    TTerminationSignals();
    // Gives the three signals their previous handling back.
    ~TTerminationSignals();

    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
    void Arrived();

    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3] = {};
};

} // namespace plat
