#include "frame/ModuleTable.h"

#include <array>
#include <new>

#include "modules/arctan/ArcTan4_6.h"
#include "modules/atf/ATF4_6.h"
#include "modules/cc/CC4_6.h"
#include "modules/clip/Clip4_6.h"
#include "modules/panner/ConstantPowerPanner4_6.h"
#include "modules/slice/Slice4_6.h"

namespace quorveil {

namespace {

using plogue::biduleSDK::BidulePlugin;
using plogue::biduleSDK::HostRecord;

template <class Module>
BidulePlugin* create(HostRecord* host) {
    return new (std::nothrow) Module(host);
}

// The comparisons run in table order; no two ids are equal, so the order
// changes no result.
constexpr std::array kModules{
    ModuleEntry{"audio.quorveil.Clip4_6", "Clip4_6", "Z\tClip 4.6", &create<Clip4_6>},
    ModuleEntry{"audio.quorveil.ArcTan4_6", "ArcTan4_6", "Spectral\tMagnitude\tArcTan 4.6",
                &create<ArcTan4_6>},
    ModuleEntry{"audio.quorveil.Slice4_6", "Slice4_6", "Spectral\tMagnitude\tSlice 4.6",
                &create<Slice4_6>},
    ModuleEntry{"audio.quorveil.CC4_6", "CC4_6", "Spectral\tMagnitude\tCC 4.6", &create<CC4_6>},
    ModuleEntry{"audio.quorveil.ConstantPowerPanner4_6", "Constant Power Panner 4.6",
                "Mixing\tSurround\tConstant Power Panner 4.6", &create<ConstantPowerPanner4_6>},
    ModuleEntry{"audio.quorveil.ATF4_6", "ATF4_6", "Spectral\tMagnitude\tATF 4.6",
                &create<ATF4_6>},
};

}  // namespace

std::span<const ModuleEntry> moduleTable() { return kModules; }

}  // namespace quorveil
