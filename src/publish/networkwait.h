#pragma once
#include <functional>

namespace tl {

// How every protocol client waits on the network (FTP's sockets and the SFTP
// client alike): on the caller's thread, running its event loop until the
// wait's condition holds, so a window keeps handling input during a transfer.
// Each look handles what is pending and otherwise sleeps until an event
// arrives (a socket notification, a timer, window input) or kLookMs pass,
// whichever comes first: never a fixed sleep, which would make every command
// cost milliseconds of idle time.
class NetworkWait {
public:
    static constexpr int kLookMs = 2;

    // What a client adds to each look.
    struct Hooks {
        // Before the look: true when work is already at hand (data a library
        // buffered, which raises no notification), so the look does not sleep.
        std::function<bool()> ready;
        // After the look's events: picks up what a notification did not deliver.
        std::function<void()> after;
    };

    // Looks until `done` holds. `check` runs whenever `done` does not hold
    // and ends the wait by throwing (cancel, silence, a lost connection).
    static void until(const std::function<bool()> &done, const std::function<void()> &check,
                      const Hooks &hooks = {});
    // One look, outside a wait.
    static void look(const Hooks &hooks = {});
};

} // namespace tl
