// SPDX-License-Identifier: GPL-3.0-or-later
// The C side of an LV2 plug-in for one of our plug-in classes: the
// LV2_Descriptor whose callbacks create the class with the library linked
// into the binary, and forward ports, activation and run() to it. Nothing is
// thrown across the C boundary; a class that cannot be created gives a null
// handle, which hosts report as a failed instantiation.
//
// Plugin must offer: Plugin(const host::PluginLibrary&, double sampleRate,
// const char* uri) (the URI of the descriptor the host instantiates),
// connectPort(uint32_t, void*), activate(), deactivate(), run(uint32_t).
#pragma once

#include <lv2/core/lv2.h>

#include <memory>
#include <new>

#include "host/hosting/PluginLibrary.h"
#include "library/Exports.h"

namespace quorveil::lv2 {

// The library's four exports, linked into this binary.
inline host::LinkedExports linkedExports() {
    return {&::getNumBidules, &::fillBiduleInfo, &::newInstance, &::deleteInstance};
}

template <class Plugin>
struct Lv2Entry {
    // What a handle points to: the library (four pointers, nothing loaded)
    // and the plug-in that hosts its modules.
    struct Instance {
        Instance(double sampleRate, const char* uri)
            : library(linkedExports(), "the linked-in library"), plugin(library, sampleRate, uri) {}
        host::PluginLibrary library;
        Plugin plugin;
    };

    static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate,
                                  const char*, const LV2_Feature* const*) {
        try {
            return new Instance(sampleRate, descriptor != nullptr ? descriptor->URI : nullptr);
        } catch (...) {
            return nullptr;
        }
    }
    static void connectPort(LV2_Handle handle, uint32_t port, void* data) {
        static_cast<Instance*>(handle)->plugin.connectPort(port, data);
    }
    static void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->plugin.activate(); }
    static void run(LV2_Handle handle, uint32_t samples) {
        static_cast<Instance*>(handle)->plugin.run(samples);
    }
    static void deactivate(LV2_Handle handle) {
        static_cast<Instance*>(handle)->plugin.deactivate();
    }
    static void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }
    static const void* extensionData(const char*) { return nullptr; }

    static LV2_Descriptor descriptor(const char* uri) {
        return {uri, &instantiate, &connectPort, &activate, &run, &deactivate, &cleanup,
                &extensionData};
    }
};

}  // namespace quorveil::lv2
