// SPDX-License-Identifier: MIT
// ArcTan4_6: places the spectral energy of a stereo pair on the five-speaker
// ring LF, RF, C, LS, RS, bin by bin, by the arctangent of its left/right
// balance (Placement does the signal work). This class maps the host's pins
// and parameters onto it and keeps the derived rear width shown in the host.
#pragma once

#include "frame/BidulePlugin.h"
#include "frame/Vendor.h"
#include "modules/arctan/ArcTanPlacement.h"

namespace quorveil {

class ArcTan4_6 final : public plogue::biduleSDK::BidulePlugin {
public:
    // Parameter ids: hosts restore sessions by them, so they never change.
    static constexpr int32_t kMagFreqRatioId = 1;
    static constexpr int32_t kFreqModeId = 2;
    static constexpr int32_t kTotalImageWidthId = 3;
    static constexpr int32_t kCenterWidthId = 4;
    static constexpr int32_t kFrontWidthId = 5;
    static constexpr int32_t kRearWidthId = 6;  // computed here, shown inactive
    static constexpr int32_t kModeId = 7;
    static constexpr int32_t kSpeakerAnglesLabelId = 8;
    static constexpr int32_t kLfAngleId = 9;
    static constexpr int32_t kRfAngleId = 10;
    static constexpr int32_t kCAngleId = 11;
    static constexpr int32_t kLsAngleId = 12;
    static constexpr int32_t kRsAngleId = 13;
    static constexpr int32_t kVersionId = 14;

    explicit ArcTan4_6(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;

private:
    InformationText informationText{"ArcTan4_6"};
    arctan::ParameterValues values;
    arctan::Placement placement;
};

}  // namespace quorveil
