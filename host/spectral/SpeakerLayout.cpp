// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SpeakerLayout.h"

#include <cmath>

#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::spectral {

namespace {

constexpr double kFold = 0.70710678118654752;

constexpr SpeakerPosition fl{SpeakerId::FL, "FL", "front left", -30.0, 0x1, "left", "FL", 1.0, 0.0};
constexpr SpeakerPosition fr{SpeakerId::FR, "FR", "front right", 30.0, 0x2, "right", "FR", 0.0, 1.0};
constexpr SpeakerPosition fc{SpeakerId::FC, "FC", "front centre", 0.0, 0x4, "center", "FC", kFold, kFold};
constexpr SpeakerPosition lfe{SpeakerId::LFE, "LFE", "low-frequency effects", NAN, 0x8,
                              "lowFrequencyEffects", "LFE", 0.0, 0.0};
// The surrounds of 4.0 and 5.x, at ±110°.
constexpr SpeakerPosition bl5{SpeakerId::BL, "BL", "surround left", -110.0, 0x10, "rearLeft", "RL", kFold, 0.0};
constexpr SpeakerPosition br5{SpeakerId::BR, "BR", "surround right", 110.0, 0x20, "rearRight", "RR", 0.0, kFold};
// 7.1: backs at ±140°, sides at ±90°.
constexpr SpeakerPosition bl7{SpeakerId::BL, "BL", "back left", -140.0, 0x10, "rearLeft", "RL", kFold, 0.0};
constexpr SpeakerPosition br7{SpeakerId::BR, "BR", "back right", 140.0, 0x20, "rearRight", "RR", 0.0, kFold};
constexpr SpeakerPosition sl{SpeakerId::SL, "SL", "side left", -90.0, 0x200, "sideLeft", "SL", kFold, 0.0};
constexpr SpeakerPosition sr{SpeakerId::SR, "SR", "side right", 90.0, 0x400, "sideRight", "SR", 0.0, kFold};
constexpr SpeakerPosition none{SpeakerId::FL, "", "", NAN, 0, "", "", 0.0, 0.0};

constexpr std::array<SpeakerLayout, kLayoutCount> kLayouts{{
    {"3.0", "left, right and centre", 3, {fl, fr, fc, none, none, none, none, none}, 0x7,
     "ThreePointZeroGroup"},
    {"3.1", "left, right, centre and LFE (a TV with a centre speaker and a subwoofer)", 4,
     {fl, fr, fc, lfe, none, none, none, none}, 0xF, "DiscreteGroup"},
    {"4.0", "quadraphonic: two fronts and two surrounds, no centre", 4,
     {fl, fr, bl5, br5, none, none, none, none}, 0x33, "DiscreteGroup"},
    {"5.0", "5.1 without the LFE", 5, {fl, fr, fc, bl5, br5, none, none, none}, 0x37,
     "FivePointZeroGroup"},
    {"5.1", "fronts, centre, LFE and two surrounds", 6, {fl, fr, fc, lfe, bl5, br5, none, none},
     0x3F, "FivePointOneGroup"},
    {"7.1", "fronts, centre, LFE, two backs and two sides", 8, {fl, fr, fc, lfe, bl7, br7, sl, sr},
     0x63F, "SevenPointOneGroup"},
}};

}  // namespace

bool SpeakerLayout::has(SpeakerId id) const { return channelOf(id) >= 0; }

int SpeakerLayout::channelOf(SpeakerId id) const {
    for (int c = 0; c < count; ++c) {
        if (speakers[static_cast<std::size_t>(c)].id == id) return c;
    }
    return -1;
}

std::span<const SpeakerLayout> speakerLayouts() { return kLayouts; }

const SpeakerLayout& defaultLayout() { return kLayouts[4]; }

const SpeakerLayout& findLayout(const std::string& name) {
    std::string wanted = host::foldCase(host::trimmed(name));
    if (wanted == "quad") wanted = "4.0";
    std::string names;
    for (const SpeakerLayout& layout : kLayouts) {
        if (wanted == layout.name) return layout;
        names += (names.empty() ? "" : ", ") + std::string(layout.name);
    }
    throw host::HostError("unknown layout '" + name + "' (" + names + ")");
}

}  // namespace quorveil::spectral
