// SPDX-License-Identifier: MIT
// MidSideWidth: the seventh module, built only in the tests to show what a
// module takes. It narrows or widens a stereo pair in mid/side form ("Width":
// 0 mono, 1 unchanged, 2 twice the side) and puts out either left/right or
// mid/side. A kernel, a pin table, a parameter table, and start,
// parameterChanged and process: the frame answers everything else.
#pragma once

#include "frame/BidulePlugin.h"
#include "frame/Vendor.h"

namespace quorveil::testing {

class MidSideWidth final : public plogue::biduleSDK::BidulePlugin {
public:
    static constexpr int32_t kWidthId = 0;
    static constexpr int32_t kOutputId = 1;  // 0 "Left/Right", 1 "Mid/Side"
    static constexpr int32_t kVersionId = 2;

    explicit MidSideWidth(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;

private:
    // As the host last reported them; 0 until it does.
    float width = 0.0f;
    int32_t output = 0;
    InformationText informationText{"MidSideWidth"};
};

}  // namespace quorveil::testing
