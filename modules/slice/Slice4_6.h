// SPDX-License-Identifier: MIT
// Slice4_6: splits a stereo pair of magnitude streams, bin by bin, into
// centre, fronts and rears in two stages, with optional sharing of the rears.
#pragma once

#include "frame/BidulePlugin.h"
#include "frame/Vendor.h"
#include "modules/common/WrapRearsSwitch.h"

namespace quorveil {

class Slice4_6 final : public plogue::biduleSDK::BidulePlugin {
public:
    static constexpr int32_t kStageOneHumidityId = 0;
    static constexpr int32_t kStageTwoHumidityId = 1;
    static constexpr int32_t kWrapRearsId = 2;
    static constexpr int32_t kWrapHumidityId = 3;
    static constexpr int32_t kVersionId = 4;

    explicit Slice4_6(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;

private:
    // Parameter values as the host last reported them; 0 until it does.
    double stageOneHumidity = 0.0;
    double stageTwoHumidity = 0.0;
    double wrapHumidity = 0.0;
    int32_t wrapRears = 0;
    WrapRearsSwitch wrapRearsSwitch;
    InformationText informationText{"Slice4_6"};
};

}  // namespace quorveil
