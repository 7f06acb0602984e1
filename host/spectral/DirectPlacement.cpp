// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/DirectPlacement.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/hosting/ChainSettings.h"
#include "host/hosting/Count.h"
#include "host/spectral/UpmixControlTable.h"
#include "compiler/VectorClones.h"

namespace quorveil::spectral {

namespace {

using host::count;

// The upmix's own defaults, set before the user's --set values, so that the
// front image lands on FL-FC-FR (see the header).
struct UpmixDefault {
    const char* module;
    const char* parameter;
    const char* value;
};
constexpr UpmixDefault kUpmixDefaults[] = {
    {"Slice4_6", "Stage Two Humidity", "0"},
    {"ArcTan4_6", "Total Image Width", "240"},
};

// Where the energy vector is measured: FL FR FC BL BR, degrees, negative
// to the left.
constexpr double kMainAzimuth[kMainSpeakers] = {-30.0, 30.0, 0.0, -110.0, 110.0};
constexpr double kDegrees = 180.0 / std::numbers::pi;

// The common part stood in both channels: in one speaker it keeps its power
// at √2 times its level in each.
constexpr float kCommonToCentre = std::numbers::sqrt2_v<float>;
// Slice4_6 scales its fronts by 2·h1 + 1, 3 at the default Stage One Humidity.
constexpr float kSliceFrontScale = 1.0f / 3.0f;

enum SlicePin { SliceLF = 0, SliceRF = 1, SliceC = 2, SliceLS = 3, SliceRS = 4 };
enum CCPin { CCC = 0, CCLS = 1, CCRS = 2 };
constexpr int kArcTanLesser = 5;  // pins 5..9: the lesser images, LF..RS
// How each side's remainder of CC4_6 (LS, RS) is shared between the front
// and the surround of its side, as amplitudes: 40% of the power in front,
// 60% behind, so a hard-left source sits a little behind the listener's
// side (about −80° in 5.1).
constexpr float kSideToFront = 0.63245553f;     // √0.4
constexpr float kSideToSurround = 0.77459667f;  // √0.6

std::unique_ptr<GraphModule> makeModule(const host::PluginLibrary& library, const char* name,
                                        const plogue::biduleSDK::EngineInfo& engine) {
    return std::make_unique<GraphModule>(library, library.findModule(name), engine);
}

}  // namespace

DirectPlacement::DirectPlacement(const host::PluginLibrary& library,
                                 const plogue::biduleSDK::EngineInfo& engine,
                                 const std::vector<host::ParameterAssignment>& settings,
                                 bool force, host::WarningListener* warnings)
    : slice_(makeModule(library, placementModule(UpmixMethod::Slice), engine)),
      arcTan_(makeModule(library, placementModule(UpmixMethod::ArcTan), engine)),
      cc_(makeModule(library, placementModule(UpmixMethod::CC), engine)),
      atf_(makeModule(library, "ATF4_6", engine)), bins_(count(engine.binCount)) {
    for (std::size_t s = 0; s < kMainSpeakers; ++s) {
        weights_[s].assign(bins_, 0.0f);
        placed_[s] = weights_[s].data();
    }

    std::vector<host::ModuleSession*> chain{&slice_->session, &arcTan_->session, &cc_->session,
                                            &atf_->session};
    for (const UpmixDefault& preset : kUpmixDefaults) {
        for (host::ModuleSession* module : chain) {
            if (module->className() == preset.module) {
                module->set({preset.parameter, preset.value, preset.module}, false);
            }
        }
    }
    // A setting goes to every module that has the parameter (or to the one
    // it names); one that reaches none is a mistake.
    host::applySettings(chain, settings, force, warnings);
    for (host::ModuleSession* module : chain) {
        for (host::HostMessage& message : module->takeMessages()) {
            messages_.push_back(std::move(message));
        }
        // From here on the audio thread runs them: every id stored, no log.
        for (const host::ParameterDescription& parameter : module->parameters()) {
            module->instance().parameter(parameter.id);
        }
        module->instance().setServiceLogKept(false);
    }
    warpedLeft_.assign(bins_, 0.0f);
    warpedRight_.assign(bins_, 0.0f);
    probeHz_.assign(bins_, 0.0f);
    for (std::size_t k = 0; k < bins_; ++k) {
        probeHz_[k] = static_cast<float>(static_cast<double>(k) * engine.sampleRate / engine.fftSize);
    }
    for (std::size_t s = 0; s < kMainSpeakers; ++s) eventWeights_[s].assign(bins_, 0.0f);
    // The wrap-around method places elsewhere on purpose: no warp.
    for (UpmixMethod method : {UpmixMethod::Slice, UpmixMethod::CC}) {
        warps_[static_cast<std::size_t>(method)] = measureWarp(method);
    }
}

DirectPlacement::~DirectPlacement() = default;

std::vector<host::HostMessage> DirectPlacement::takeMessages() {
    std::vector<host::HostMessage> messages;
    messages.swap(messages_);
    return messages;
}

GraphModule& DirectPlacement::moduleFor(UpmixMethod method) {
    switch (method) {
    case UpmixMethod::ArcTan: return *arcTan_;
    case UpmixMethod::CC: return *cc_;
    default: return *slice_;
    }
}

host::ModuleSession& DirectPlacement::session(UpmixMethod method) {
    return moduleFor(method).session;
}

void DirectPlacement::runModule(UpmixMethod method, const float* leftLevel,
                                const float* rightLevel, const float* leftHz,
                                const float* rightHz,
                                const std::array<float*, kMainSpeakers>& into, bool sidesBehind) {
    GraphModule& module = moduleFor(method);
    host::ProcessBuffers& buffers = module.buffers;
    float* left = buffers.magnitudeIn.frame(0, 0);
    float* right = buffers.magnitudeIn.frame(1, 0);
    std::copy(leftLevel, leftLevel + bins_, left);
    std::copy(rightLevel, rightLevel + bins_, right);
    warps_[static_cast<std::size_t>(method)].apply(left, right, bins_);
    if (buffers.frequencyIn.pinCount() >= 2) {
        std::copy(leftHz, leftHz + bins_, buffers.frequencyIn.frame(0, 0));
        std::copy(rightHz, rightHz + bins_, buffers.frequencyIn.frame(1, 0));
    }
    module.process();
    route(method, into, sidesBehind);
}

void DirectPlacement::place(UpmixMethod method, bool atf, const float* leftLevel,
                            const float* rightLevel, const float* leftHz, const float* rightHz) {
    // With ATF4_6 the weights go straight into its inputs, and come from its
    // outputs.
    std::array<float*, kMainSpeakers> into{};
    for (int s = 0; s < kMainSpeakers; ++s) {
        into[static_cast<std::size_t>(s)] = atf ? atf_->buffers.magnitudeIn.frame(s, 0)
                                                : weights_[static_cast<std::size_t>(s)].data();
    }
    runModule(method, leftLevel, rightLevel, leftHz, rightHz, into, true);
    if (atf) {
        crossFade(leftLevel, rightLevel, leftHz, rightHz);
        for (int s = 0; s < kMainSpeakers; ++s) {
            placed_[static_cast<std::size_t>(s)] = atf_->buffers.magnitudeOut.frame(s, 0);
        }
    } else {
        for (int s = 0; s < kMainSpeakers; ++s) {
            placed_[static_cast<std::size_t>(s)] = weights_[static_cast<std::size_t>(s)].data();
        }
    }
}

void DirectPlacement::placeEvents(UpmixMethod method, const float* leftLevel,
                                  const float* rightLevel, const float* leftHz) {
    std::array<float*, kMainSpeakers> into{};
    for (std::size_t s = 0; s < kMainSpeakers; ++s) into[s] = eventWeights_[s].data();
    // One source: both channels at one frequency. A hit keeps the front
    // stage's place even with cc: the sides take what lasts, and a burst
    // moving out to the side would drag the steady sound under it along.
    runModule(method, leftLevel, rightLevel, leftHz, leftHz, into, false);
}

// The module's energy-vector azimuth for every balance angle from hard left
// to hard right, one bin each, inverted into a warp.
BalanceWarp DirectPlacement::measureWarp(UpmixMethod method) {
    const std::size_t n = bins_;
    if (n < 2) return {};
    std::vector<float> left(n), right(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double theta = static_cast<double>(i) / static_cast<double>(n - 1) * std::numbers::pi / 2.0;
        left[i] = static_cast<float>(std::cos(theta));
        right[i] = static_cast<float>(std::sin(theta));
    }
    std::array<float*, kMainSpeakers> into{};
    for (std::size_t s = 0; s < kMainSpeakers; ++s) into[s] = weights_[s].data();
    warps_[static_cast<std::size_t>(method)] = BalanceWarp();  // measure the module unwarped
    // The warp lays the balance out over FL, FC and FR; what cc then moves
    // to the sides moves with it.
    runModule(method, left.data(), right.data(), probeHz_.data(), probeHz_.data(), into, false);
    std::vector<double> azimuth(n);
    for (std::size_t i = 0; i < n; ++i) {
        double x = 0.0, y = 0.0;
        for (std::size_t s = 0; s < kMainSpeakers; ++s) {
            const double w = weights_[s][i];
            const double energy = w > 0.0 ? w * w : 0.0;
            x += energy * std::cos(kMainAzimuth[s] / kDegrees);
            y += energy * std::sin(kMainAzimuth[s] / kDegrees);
        }
        azimuth[i] = std::atan2(y, x) * kDegrees;
    }
    for (std::size_t s = 0; s < kMainSpeakers; ++s) std::fill(weights_[s].begin(), weights_[s].end(), 0.0f);
    return BalanceWarp(azimuth);
}

QUORVEIL_VECTOR_CLONES
void DirectPlacement::route(UpmixMethod method, const std::array<float*, kMainSpeakers>& into,
                            bool sidesBehind) {
    const host::SpectralPinBuffers& out = moduleFor(method).buffers.magnitudeOut;
    float* fl = into[MainFL];
    float* fr = into[MainFR];
    float* fc = into[MainFC];
    float* bl = into[MainBL];
    float* br = into[MainBR];
    switch (method) {
    case UpmixMethod::Slice: {
        const float *lf = out.frame(SliceLF, 0), *rf = out.frame(SliceRF, 0),
                    *c = out.frame(SliceC, 0), *ls = out.frame(SliceLS, 0),
                    *rs = out.frame(SliceRS, 0);
        for (std::size_t k = 0; k < bins_; ++k) {
            fl[k] = lf[k] * kSliceFrontScale + ls[k];
            fr[k] = rf[k] * kSliceFrontScale + rs[k];
            fc[k] = c[k] * kCommonToCentre;
            bl[k] = 0.0f;
            br[k] = 0.0f;
        }
        break;
    }
    case UpmixMethod::CC: {
        const float *c = out.frame(CCC, 0), *ls = out.frame(CCLS, 0), *rs = out.frame(CCRS, 0);
        const float toFront = sidesBehind ? kSideToFront : 1.0f;
        const float toSurround = sidesBehind ? kSideToSurround : 0.0f;
        for (std::size_t k = 0; k < bins_; ++k) {
            fl[k] = ls[k] * toFront;
            fr[k] = rs[k] * toFront;
            fc[k] = c[k] * kCommonToCentre;
            bl[k] = ls[k] * toSurround;
            br[k] = rs[k] * toSurround;
        }
        break;
    }
    case UpmixMethod::ArcTan:
        for (int s = 0; s < kMainSpeakers; ++s) {
            const float* dominant = out.frame(s, 0);
            const float* lesser = out.frame(s + kArcTanLesser, 0);
            float* w = into[static_cast<std::size_t>(s)];
            for (std::size_t k = 0; k < bins_; ++k) {
                w[k] = std::sqrt(dominant[k] * dominant[k] + lesser[k] * lesser[k]);
            }
        }
        break;
    }
}

// ATF4_6 cross-fades by |f_L − f_R|: the weaker channel's frequency is
// drawn towards the stronger one's by their level ratio, so a source that
// only one channel carries stays where it is.
void DirectPlacement::crossFade(const float* leftLevel, const float* rightLevel,
                                const float* leftHz, const float* rightHz) {
    host::ProcessBuffers& buffers = atf_->buffers;
    float* fl = buffers.frequencyIn.frame(0, 0);
    float* fr = buffers.frequencyIn.frame(1, 0);
    for (std::size_t k = 0; k < bins_; ++k) {
        const float l = leftLevel[k], r = rightLevel[k];
        const bool leftLeads = l >= r;
        const float stronger = leftLeads ? l : r, weaker = leftLeads ? r : l;
        const float ratio = stronger > 0.0f ? weaker / stronger : 0.0f;
        const float lead = leftLeads ? leftHz[k] : rightHz[k];
        const float follow = leftLeads ? rightHz[k] : leftHz[k];
        const float drawn = lead + (follow - lead) * ratio;
        fl[k] = leftLeads ? lead : drawn;
        fr[k] = leftLeads ? drawn : lead;
    }
    atf_->process();
}

BalanceWarp::BalanceWarp() : cos_(kSteps + 1), sin_(kSteps + 1) {
    for (int j = 0; j <= kSteps; ++j) {
        const double t = static_cast<double>(j) / kSteps;
        const double theta = std::atan2(t, 1.0 - t);
        cos_[static_cast<std::size_t>(j)] = static_cast<float>(std::cos(theta));
        sin_[static_cast<std::size_t>(j)] = static_cast<float>(std::sin(theta));
    }
}

BalanceWarp::BalanceWarp(const std::vector<double>& azimuth) : BalanceWarp() {
    const std::size_t n = azimuth.size();
    for (int j = 0; j <= kSteps; ++j) {
        const double t = static_cast<double>(j) / kSteps;
        const double theta = std::atan2(t, 1.0 - t);  // 0 (left) to π/2
        const double wanted = 30.0 * (theta / (std::numbers::pi / 4.0) - 1.0);
        // The first probe at or past the wanted azimuth, and the one before.
        std::size_t i = 1;
        while (i + 1 < n && azimuth[i] < wanted) ++i;
        const double a0 = azimuth[i - 1], a1 = azimuth[i];
        const double within = a1 > a0 ? std::clamp((wanted - a0) / (a1 - a0), 0.0, 1.0) : 0.0;
        const double fed = (static_cast<double>(i - 1) + within) / static_cast<double>(n - 1) *
                           std::numbers::pi / 2.0;
        cos_[static_cast<std::size_t>(j)] = static_cast<float>(std::cos(fed));
        sin_[static_cast<std::size_t>(j)] = static_cast<float>(std::sin(fed));
    }
}

void BalanceWarp::apply(float* left, float* right, std::size_t bins) const {
    for (std::size_t k = 0; k < bins; ++k) {
        const float l = left[k], r = right[k];
        const float sum = l + r;
        if (!(sum > 0.0f)) continue;
        const float position = std::min(r / sum, 1.0f) * static_cast<float>(kSteps);
        const auto at = static_cast<std::size_t>(position);
        const std::size_t next = std::min<std::size_t>(at + 1, kSteps);
        const float within = position - static_cast<float>(at);
        const float c = cos_[at] + within * (cos_[next] - cos_[at]);
        const float s = sin_[at] + within * (sin_[next] - sin_[at]);
        const float length = std::sqrt(l * l + r * r);
        left[k] = length * c;
        right[k] = length * s;
    }
}

}  // namespace quorveil::spectral
