// SPDX-License-Identifier: GPL-3.0-or-later
// The binary of quorveil-upmix.lv2: its one exported symbol, one plug-in per
// speaker layout.
#include <array>
#include <string>

#include "host/lv2/Lv2Entry.h"
#include "host/lv2/UpmixPlugin.h"

namespace {

using quorveil::spectral::kLayoutCount;

struct UpmixDescriptors {
    UpmixDescriptors() {
        for (std::size_t i = 0; i < kLayoutCount; ++i) {
            uris[i] = quorveil::lv2::upmixUri(quorveil::spectral::speakerLayouts()[i]);
            descriptors[i] = quorveil::lv2::Lv2Entry<quorveil::lv2::UpmixPlugin>::descriptor(uris[i].c_str());
        }
    }
    std::array<std::string, kLayoutCount> uris;
    std::array<LV2_Descriptor, kLayoutCount> descriptors{};
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    static const UpmixDescriptors upmixes;
    return index < kLayoutCount ? &upmixes.descriptors[index] : nullptr;
}
