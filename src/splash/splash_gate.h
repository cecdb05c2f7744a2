// Who shows and who hides the splash window when a hide request can come from any thread
// at any moment, before, during or after the splash thread creates the window.
//
// One atomic state decides it. The splash thread claims creation before it creates the
// window and publishes the window only after it has shown it; a hide request swaps in the
// hidden state and learns from the state it replaced who has to act. A hide that lands
// while the window is being made is seen by the splash thread when it tries to publish, so
// it hides its own window: no hide request is ever lost, whatever the interleaving.
#pragma once

#include <atomic>

namespace tesmo {

class SplashGate {
  public:
    enum class HideOutcome {
        // No window was being made: it never will be.
        BeforeCreation,
        // The splash thread is making the window and will hide it when it tries to publish.
        DuringCreation,
        // The window is shown: the caller hides it.
        Shown,
        // An earlier hide request took care of it.
        AlreadyHidden,
    };

    // The splash thread, before it creates the window. False: a hide came first, so no
    // window may be made.
    bool beginCreation();
    // The splash thread, after it has created and shown the window. False: a hide came in
    // meanwhile, and the window must be hidden by the splash thread itself.
    bool publish();
    // Any thread. From here on the window is hidden or never shown.
    HideOutcome requestHide();

    // Creation has begun or a hide request came first (the flag the launcher's log and
    // message paths know as the splash being active).
    bool active() const;
    // The window has been published and no hide has come since.
    bool shown() const;
    // A hide request has come.
    bool hidden() const;

  private:
    enum State : int { kIdle, kCreating, kShown, kHidden };
    std::atomic<int> state_{kIdle};
};

}  // namespace tesmo
