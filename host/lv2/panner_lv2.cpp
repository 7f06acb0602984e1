// SPDX-License-Identifier: GPL-3.0-or-later
// The binary of quorveil-panner.lv2: its one exported symbol.
#include "host/lv2/Lv2Entry.h"
#include "host/lv2/PannerPlugin.h"

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    static const LV2_Descriptor descriptor =
        quorveil::lv2::Lv2Entry<quorveil::lv2::PannerPlugin>::descriptor(quorveil::lv2::kPannerUri);
    return index == 0 ? &descriptor : nullptr;
}
