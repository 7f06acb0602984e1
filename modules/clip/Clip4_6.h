// SPDX-License-Identifier: MIT
// Clip4_6: passes six surround channels through, lights the host's clip
// indicator whenever a sample reaches +1.0, and outputs the latency of the
// host's FFT analysis on a seventh pin.
#pragma once

#include "frame/BidulePlugin.h"
#include "frame/Vendor.h"

namespace quorveil {

class Clip4_6 final : public plogue::biduleSDK::BidulePlugin {
public:
    static constexpr int32_t kClipIndicatorId = 0;
    static constexpr int32_t kVersionId = 1;

    explicit Clip4_6(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;

private:
    InformationText informationText{"Clip4_6"};
};

}  // namespace quorveil
