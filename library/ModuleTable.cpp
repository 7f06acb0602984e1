// SPDX-License-Identifier: MIT
// The library assembly's module table: the only place that knows all six
// modules. Unique ids, display names and menu paths are what hosts list and
// what saved sessions recreate instances by, so they never change.
#include <array>

#include "frame/ModuleEntry.h"
#include "library/ProductModules.h"
#include "modules/arctan/ArcTan4_6.h"
#include "modules/atf/ATF4_6.h"
#include "modules/cc/CC4_6.h"
#include "modules/clip/Clip4_6.h"
#include "modules/panner/ConstantPowerPanner4_6.h"
#include "modules/slice/Slice4_6.h"

namespace quorveil {

namespace {

// The comparisons run in table order; no two ids are equal, so the order
// changes no result.
constexpr std::array kModules{
    ModuleEntry{"audio.quorveil.Clip4_6", "Clip4_6", "Z\tClip 4.6", &createModule<Clip4_6>},
    ModuleEntry{"audio.quorveil.ArcTan4_6", "ArcTan4_6", "Spectral\tMagnitude\tArcTan 4.6",
                &createModule<ArcTan4_6>},
    ModuleEntry{"audio.quorveil.Slice4_6", "Slice4_6", "Spectral\tMagnitude\tSlice 4.6",
                &createModule<Slice4_6>},
    ModuleEntry{"audio.quorveil.CC4_6", "CC4_6", "Spectral\tMagnitude\tCC 4.6",
                &createModule<CC4_6>},
    ModuleEntry{"audio.quorveil.ConstantPowerPanner4_6", "Constant Power Panner 4.6",
                "Mixing\tSurround\tConstant Power Panner 4.6",
                &createModule<ConstantPowerPanner4_6>},
    ModuleEntry{"audio.quorveil.ATF4_6", "ATF4_6", "Spectral\tMagnitude\tATF 4.6",
                &createModule<ATF4_6>},
};

}  // namespace

std::span<const ModuleEntry> productModules() { return kModules; }

}  // namespace quorveil
