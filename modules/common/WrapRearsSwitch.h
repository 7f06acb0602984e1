// SPDX-License-Identifier: MIT
// "Wrap Rears" and the control it governs: the rear-sharing humidity has an
// effect only while the rears are wrapped, so the host shows it enabled
// exactly then. The host is told only when the switch moves between off (0)
// and on (1); any other value counts as on for the sound but leaves the
// control as it was, and is still remembered as the state last applied.
#pragma once

#include <cstdint>
#include <optional>

namespace quorveil {

class WrapRearsSwitch {
public:
    // Call after every parameter change with the current "Wrap Rears" value;
    // returns the enabled state to send for the humidity control, if any.
    std::optional<bool> follow(int32_t wrapRears) {
        if (wrapRears == applied_) {
            return std::nullopt;
        }
        applied_ = wrapRears;
        if (wrapRears == 0) {
            return false;
        }
        if (wrapRears == 1) {
            return true;
        }
        return std::nullopt;
    }

    // Matches the disabled control that start() announces.
    int32_t applied() const { return applied_; }

private:
    int32_t applied_ = 0;
};

}  // namespace quorveil
