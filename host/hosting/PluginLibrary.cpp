// SPDX-License-Identifier: MIT
#include "host/hosting/PluginLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quorveil::host {

using plogue::biduleSDK::BiduleInfo;

namespace {

#if defined(_WIN32)
void* openLibrary(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void closeLibrary(void* handle) { FreeLibrary(reinterpret_cast<HMODULE>(handle)); }
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}
std::string lastLoadError() { return "error " + std::to_string(GetLastError()); }
#else
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void closeLibrary(void* handle) { dlclose(handle); }
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
std::string lastLoadError() {
    const char* message = dlerror();
    return message != nullptr ? message : "unknown error";
}
#endif

template <class Fn>
Fn resolve(void* handle, const char* name, const std::string& path) {
    void* symbol = findSymbol(handle, name);
    if (symbol == nullptr) {
        throw HostError("'" + path + "' does not export " + name + ": not a Quorveil Surround library");
    }
    Fn fn;
    static_assert(sizeof fn == sizeof symbol);
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The class name is the last dot-separated part of the unique id.
std::string classNameOf(const std::string& uniqueId) {
    const auto dot = uniqueId.rfind('.');
    return dot == std::string::npos ? uniqueId : uniqueId.substr(dot + 1);
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    handle_ = openLibrary(path);
    if (handle_ == nullptr) {
        throw HostError("cannot load library '" + path + "': " + lastLoadError());
    }
    try {
        getNumBidules = resolve<plogue::biduleSDK::GetNumBidulesFn>(handle_, "getNumBidules", path);
        fillBiduleInfo = resolve<plogue::biduleSDK::FillBiduleInfoFn>(handle_, "fillBiduleInfo", path);
        newInstance = resolve<plogue::biduleSDK::NewInstanceFn>(handle_, "newInstance", path);
        deleteInstance = resolve<plogue::biduleSDK::DeleteInstanceFn>(handle_, "deleteInstance", path);
    } catch (...) {
        closeLibrary(handle_);
        throw;
    }
}

PluginLibrary::PluginLibrary(const LinkedExports& exports, const std::string& name)
    : getNumBidules(exports.getNumBidules),
      fillBiduleInfo(exports.fillBiduleInfo),
      newInstance(exports.newInstance),
      deleteInstance(exports.deleteInstance),
      path_(name) {}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        closeLibrary(handle_);
    }
}

std::vector<ModuleRow> PluginLibrary::modules() const {
    std::vector<ModuleRow> rows;
    const int32_t count = getNumBidules();
    for (int32_t index = 0; index < count; ++index) {
        auto info = std::make_unique<BiduleInfo>();
        std::memset(info.get(), 0, sizeof(BiduleInfo));
        if (fillBiduleInfo(index, info.get()) != 0) {
            continue;
        }
        auto text = [](const char* field) { return std::string(field, strnlen(field, 511)); };
        rows.push_back({index, text(info->uniqueId), text(info->name), text(info->categoryPath)});
    }
    return rows;
}

ModuleRow PluginLibrary::findModule(const std::string& query) const {
    const std::string wanted = lowercase(query);
    for (const ModuleRow& row : modules()) {
        if (wanted == lowercase(row.uniqueId) || wanted == lowercase(row.name) ||
            wanted == lowercase(classNameOf(row.uniqueId))) {
            return row;
        }
    }
    throw HostError("unknown module '" + query + "' (see 'surround-host list')");
}

std::string defaultLibraryFileName() {
#if defined(_WIN32)
    return "quorveil_surround.dll";
#else
    return "libquorveil_surround.so";
#endif
}

}  // namespace quorveil::host
