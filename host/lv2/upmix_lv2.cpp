// SPDX-License-Identifier: GPL-3.0-or-later
// The binary of quorveil-upmix.lv2: its one exported symbol.
#include "host/lv2/Lv2Entry.h"
#include "host/lv2/UpmixPlugin.h"

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    static const LV2_Descriptor descriptor =
        quorveil::lv2::Lv2Entry<quorveil::lv2::UpmixPlugin>::descriptor(quorveil::lv2::kUpmixUri);
    return index == 0 ? &descriptor : nullptr;
}
