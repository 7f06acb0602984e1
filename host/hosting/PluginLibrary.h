// SPDX-License-Identifier: MIT
// The host side of loading: opens the plug-in library by path, resolves its
// four exports by name and lists the module table, as the audio host does.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/HostRecords.h"

namespace quorveil::host {

// Every failure of the host layer: one line, fit to show a user.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ModuleRow {
    int32_t index;
    std::string uniqueId;
    std::string name;
    std::string categoryPath;  // levels separated by '\t'
};

// The four exports of a library linked into the host program itself (the
// LV2 plug-ins carry the modules inside their own binary).
struct LinkedExports {
    plogue::biduleSDK::GetNumBidulesFn getNumBidules;
    plogue::biduleSDK::FillBiduleInfoFn fillBiduleInfo;
    plogue::biduleSDK::NewInstanceFn newInstance;
    plogue::biduleSDK::DeleteInstanceFn deleteInstance;
};

class PluginLibrary {
public:
    // Loads the library and resolves its exports; throws HostError.
    explicit PluginLibrary(const std::string& path);
    // The library linked in: nothing is loaded or unloaded; `name` stands in
    // for the path in messages.
    PluginLibrary(const LinkedExports& exports, const std::string& name);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return path_; }

    // The raw exports, for callers that test the boundary itself.
    plogue::biduleSDK::GetNumBidulesFn getNumBidules = nullptr;
    plogue::biduleSDK::FillBiduleInfoFn fillBiduleInfo = nullptr;
    plogue::biduleSDK::NewInstanceFn newInstance = nullptr;
    plogue::biduleSDK::DeleteInstanceFn deleteInstance = nullptr;

    // getNumBidules, then fillBiduleInfo for every index.
    std::vector<ModuleRow> modules() const;

    // The row whose class name, display name or unique id equals `query`,
    // ignoring letter case; throws HostError when none does.
    ModuleRow findModule(const std::string& query) const;

private:
    std::string path_;
    void* handle_ = nullptr;
};

// The platform's file name of the library, e.g. "libquorveil_surround.so".
std::string defaultLibraryFileName();

}  // namespace quorveil::host
