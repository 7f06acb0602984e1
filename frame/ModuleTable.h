// The fixed table of modules: its position is the index the host passes to
// fillBiduleInfo. Nothing is registered at run time.
#pragma once

#include <cstdint>
#include <span>

#include "frame/BidulePlugin.h"

namespace quorveil {

struct ModuleEntry {
    const char* uniqueId;      // vendor prefix, ".", class name
    const char* name;          // display name
    const char* categoryPath;  // menu levels separated by '\t'
    // Allocates and constructs the module; null when allocation fails.
    plogue::biduleSDK::BidulePlugin* (*create)(plogue::biduleSDK::HostRecord* host);
};

std::span<const ModuleEntry> moduleTable();

}  // namespace quorveil
