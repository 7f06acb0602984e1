// SPDX-License-Identifier: MIT
// ConstantPowerPanner4_6: places one audio input on the five speakers LF, RF,
// C, LS, RS by a pan angle, with a cosine/sine law between the two speakers
// that enclose the pan direction. Speaker positions are parameters too.
#pragma once

#include "frame/BidulePlugin.h"
#include "frame/Vendor.h"
#include "modules/panner/PannerKernel.h"

namespace quorveil {

class ConstantPowerPanner4_6 final : public plogue::biduleSDK::BidulePlugin {
public:
    static constexpr int32_t kPanAngleId = 0;
    static constexpr int32_t kSpeakerAnglesHeadingId = 1;
    static constexpr int32_t kLfSpeakerAngleId = 2;
    static constexpr int32_t kRfSpeakerAngleId = 3;
    static constexpr int32_t kCSpeakerAngleId = 4;
    static constexpr int32_t kLsSpeakerAngleId = 5;
    static constexpr int32_t kRsSpeakerAngleId = 6;
    static constexpr int32_t kVersionId = 7;

    explicit ConstantPowerPanner4_6(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;

private:
    // Parameter values as the host last reported them, in degrees; 0 until it
    // does. Only parameterChanged writes them, only process reads them.
    panner::Angles angles;
    // Rewritten by every block; the gains persist into the next block when no
    // arc holds the pan direction, and are silence until one first does.
    panner::Working working;
    panner::Gains gains{};
    InformationText informationText{"ConstantPowerPanner4_6"};
};

}  // namespace quorveil
