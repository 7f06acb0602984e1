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
    {"ArcTan4_6", "Total Image Width", "30"},
};

// The common part stood in both channels: in one speaker it keeps its power
// at √2 times its level in each.
constexpr float kCommonToCentre = std::numbers::sqrt2_v<float>;
// Slice4_6 scales its fronts by 2·h1 + 1, 3 at the default Stage One Humidity.
constexpr float kSliceFrontScale = 1.0f / 3.0f;

enum SlicePin { SliceLF = 0, SliceRF = 1, SliceC = 2, SliceLS = 3, SliceRS = 4 };
enum CCPin { CCC = 0, CCLS = 1, CCRS = 2 };
constexpr int kArcTanLesser = 5;  // pins 5..9: the lesser images, LF..RS

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

void DirectPlacement::place(UpmixMethod method, bool atf, const float* leftLevel,
                            const float* rightLevel, const float* leftHz, const float* rightHz) {
    GraphModule& module = moduleFor(method);
    host::ProcessBuffers& buffers = module.buffers;
    std::copy(leftLevel, leftLevel + bins_, buffers.magnitudeIn.frame(0, 0));
    std::copy(rightLevel, rightLevel + bins_, buffers.magnitudeIn.frame(1, 0));
    if (buffers.frequencyIn.pinCount() >= 2) {
        std::copy(leftHz, leftHz + bins_, buffers.frequencyIn.frame(0, 0));
        std::copy(rightHz, rightHz + bins_, buffers.frequencyIn.frame(1, 0));
    }
    module.process();
    // With ATF4_6 the weights go straight into its inputs, and come from its
    // outputs.
    std::array<float*, kMainSpeakers> into{};
    for (int s = 0; s < kMainSpeakers; ++s) {
        into[static_cast<std::size_t>(s)] = atf ? atf_->buffers.magnitudeIn.frame(s, 0)
                                                : weights_[static_cast<std::size_t>(s)].data();
    }
    route(method, into);
    if (atf) {
        crossFade(leftHz, rightHz);
        for (int s = 0; s < kMainSpeakers; ++s) {
            placed_[static_cast<std::size_t>(s)] = atf_->buffers.magnitudeOut.frame(s, 0);
        }
    } else {
        for (int s = 0; s < kMainSpeakers; ++s) {
            placed_[static_cast<std::size_t>(s)] = weights_[static_cast<std::size_t>(s)].data();
        }
    }
}

QUORVEIL_VECTOR_CLONES
void DirectPlacement::route(UpmixMethod method, const std::array<float*, kMainSpeakers>& into) {
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
        for (std::size_t k = 0; k < bins_; ++k) {
            fl[k] = ls[k];
            fr[k] = rs[k];
            fc[k] = c[k] * kCommonToCentre;
            bl[k] = 0.0f;
            br[k] = 0.0f;
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

void DirectPlacement::crossFade(const float* leftHz, const float* rightHz) {
    host::ProcessBuffers& buffers = atf_->buffers;
    std::copy(leftHz, leftHz + bins_, buffers.frequencyIn.frame(0, 0));
    std::copy(rightHz, rightHz + bins_, buffers.frequencyIn.frame(1, 0));
    atf_->process();
}

}  // namespace quorveil::spectral
