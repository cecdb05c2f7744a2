#include "splash/splash_gate.h"

namespace tesmo {

bool SplashGate::beginCreation() {
    int expected = kIdle;
    return state_.compare_exchange_strong(expected, kCreating);
}

bool SplashGate::publish() {
    int expected = kCreating;
    return state_.compare_exchange_strong(expected, kShown);
}

SplashGate::HideOutcome SplashGate::requestHide() {
    switch (state_.exchange(kHidden)) {
        case kIdle:
            return HideOutcome::BeforeCreation;
        case kCreating:
            return HideOutcome::DuringCreation;
        case kShown:
            return HideOutcome::Shown;
        default:
            return HideOutcome::AlreadyHidden;
    }
}

bool SplashGate::active() const {
    return state_.load() != kIdle;
}

bool SplashGate::shown() const {
    return state_.load() == kShown;
}

bool SplashGate::hidden() const {
    return state_.load() == kHidden;
}

}  // namespace tesmo
