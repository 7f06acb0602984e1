// SPDX-License-Identifier: MIT
// One row of the library's module table, as the four exports serve it: the
// texts a host lists in its menus and the function that creates the module.
// The frame declares the shape of a row and the table's accessor; the
// library assembly (library/ModuleTable.cpp), which alone knows the modules,
// defines the table. Its position is the index a host passes to
// fillBiduleInfo. Nothing is registered at run time.
#pragma once

#include <cstdint>
#include <new>
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

// The `create` of a row for Module: null instead of an exception when the
// allocation fails, since nothing may be thrown across the exports.
template <class Module>
plogue::biduleSDK::BidulePlugin* createModule(plogue::biduleSDK::HostRecord* host) {
    return new (std::nothrow) Module(host);
}

// The table the exports serve, in menu order. Defined once per library build
// by its assembly.
std::span<const ModuleEntry> moduleTable();

}  // namespace quorveil
