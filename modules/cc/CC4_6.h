// SPDX-License-Identifier: MIT
// CC4_6: splits a stereo pair of magnitude streams, bin by bin, into centre
// and two rears, with optional sharing of the rears.
#pragma once

#include "frame/BidulePlugin.h"
#include "frame/Vendor.h"
#include "modules/common/WrapRearsSwitch.h"

namespace quorveil {

class CC4_6 final : public plogue::biduleSDK::BidulePlugin {
public:
    static constexpr int32_t kRearHumidityId = 0;
    static constexpr int32_t kWrapRearsId = 1;
    static constexpr int32_t kWrapHumidityId = 2;
    static constexpr int32_t kVersionId = 3;

    explicit CC4_6(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;

private:
    // Parameter values as the host last reported them; 0 until it does.
    double rearHumidity = 0.0;
    double wrapHumidity = 0.0;
    int32_t wrapRears = 0;
    WrapRearsSwitch wrapRearsSwitch;
    InformationText informationText{"CC4_6"};
};

}  // namespace quorveil
