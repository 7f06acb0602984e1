// SPDX-License-Identifier: MIT
#include "library/Exports.h"

#include <cstring>

#include "frame/ModuleEntry.h"

using plogue::biduleSDK::BidulePlugin;
using plogue::biduleSDK::BiduleInfo;
using plogue::biduleSDK::HostRecord;
using plogue::biduleSDK::PluginBlock;

namespace {

// Writes the text and its terminator, nothing after it.
void copyText(char* field, const char* text) { std::memcpy(field, text, std::strlen(text) + 1); }

}  // namespace

int32_t getNumBidules() { return static_cast<int32_t>(quorveil::moduleTable().size()); }

int32_t fillBiduleInfo(int32_t index, BiduleInfo* info) {
    const auto table = quorveil::moduleTable();
    const auto row = static_cast<uint32_t>(index);
    if (info == nullptr || row >= table.size()) {
        return 1;
    }
    copyText(info->uniqueId, table[row].uniqueId);
    copyText(info->name, table[row].name);
    copyText(info->categoryPath, table[row].categoryPath);
    return 0;
}

PluginBlock* newInstance(const char* uniqueId, HostRecord* host) {
    if (uniqueId == nullptr) {
        return nullptr;
    }
    for (const quorveil::ModuleEntry& entry : quorveil::moduleTable()) {
        if (std::strcmp(uniqueId, entry.uniqueId) == 0) {
            if (entry.create == nullptr) {
                return nullptr;
            }
            BidulePlugin* module = entry.create(host);
            return module != nullptr ? module->block() : nullptr;
        }
    }
    return nullptr;
}

void deleteInstance(PluginBlock* block) {
    if (block == nullptr || block->object == nullptr) {
        return;
    }
    delete static_cast<BidulePlugin*>(block->object);
}
