// SPDX-License-Identifier: MIT
// ATF4_6: cross-fades five magnitude streams (LF, RF, C, LS, RS) between
// partner channels, bin by bin, by how far apart the L and R frequency
// streams are in that bin. "Depth" weakens the effect (180: none); "Mode"
// picks the partners (Across: LF-RF and LS-RS; Diagonal: LF-RS and RF-LS).
// The cosine gain of the last bin processed is shown in "Rear Width", which
// the user cannot edit; the host receives it on host event 20.
#pragma once

#include "frame/BidulePlugin.h"
#include "modules/atf/CrossFadeKernel.h"

namespace quorveil {

class ATF4_6 final : public plogue::biduleSDK::BidulePlugin {
public:
    // Parameter ids; saved sessions restore values by these.
    static constexpr int32_t kDepthId = 0;
    static constexpr int32_t kCenterWidthId = 1;
    static constexpr int32_t kFrontWidthId = 2;
    static constexpr int32_t kRearWidthId = 3;  // the gain display
    static constexpr int32_t kModeId = 4;
    static constexpr int32_t kSpeakerAnglesLabelId = 5;
    static constexpr int32_t kLfSpeakerAngleId = 6;
    static constexpr int32_t kRfSpeakerAngleId = 7;
    static constexpr int32_t kCSpeakerAngleId = 8;
    static constexpr int32_t kLsSpeakerAngleId = 9;
    static constexpr int32_t kRsSpeakerAngleId = 10;

    explicit ATF4_6(plogue::biduleSDK::HostRecord* host);

    bool start() override;
    void parameterChanged(int32_t id) override;
    void fillChoiceList(int32_t id, plogue::biduleSDK::TextList& choices) override;
    void process(const plogue::biduleSDK::BlockBuffers& buffers) override;
    void onHostEvent20() override;

private:
    // Parameter values as last read from the host; 0 until it reports them.
    double depth = 0.0;
    int32_t mode = 0;
    // Read and stored, never used: the cross-fade depends only on the L/R
    // frequency difference, "Depth" and "Mode". Hosts still show and save
    // these seven controls, so the module keeps accepting them.
    double centerWidth = 0.0;
    double frontWidth = 0.0;
    double lfSpeakerAngle = 0.0;
    double rfSpeakerAngle = 0.0;
    double cSpeakerAngle = 0.0;
    double lsSpeakerAngle = 0.0;
    double rsSpeakerAngle = 0.0;
    // Not a user setting: the cosine gain of the last bin processed, which
    // the host shows in "Rear Width" (sent on host event 20).
    double lastCosineGain = 0.0;

    float depthFactor = 0.0f;  // derived from depth
    float binScale = 0.0f;     // from the engine settings at start
    atf::GainTables tables{};  // filled at start
};

}  // namespace quorveil
