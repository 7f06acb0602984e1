// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal LV2 host for the tests: loads a bundle's binary, finds the
// plug-in by URI through lv2_descriptor, and drives an instance through the
// descriptor's callbacks as Ardour, Carla or PipeWire's filter-chain do.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorveil::testing {

class Lv2Binary {
public:
    explicit Lv2Binary(const std::string& path);  // throws std::runtime_error
    ~Lv2Binary();
    Lv2Binary(const Lv2Binary&) = delete;
    Lv2Binary& operator=(const Lv2Binary&) = delete;

    const LV2_Descriptor* descriptor(const std::string& uri) const;

private:
    void* handle_ = nullptr;
};

// One instance with host-owned port buffers: audio ports hold `maxBlock`
// samples, control ports one float each, all connected at creation.
class Lv2Instance {
public:
    Lv2Instance(const LV2_Descriptor* descriptor, double sampleRate, uint32_t ports,
                std::vector<bool> audio, uint32_t maxBlock);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool valid() const { return handle_ != nullptr; }
    float* audio(uint32_t port) { return buffers_[port].data(); }
    float& control(uint32_t port) { return buffers_[port][0]; }
    void activate() { descriptor_->activate(handle_); }
    void deactivate() { descriptor_->deactivate(handle_); }
    void run(uint32_t samples) { descriptor_->run(handle_, samples); }

private:
    const LV2_Descriptor* descriptor_;
    LV2_Handle handle_ = nullptr;
    std::vector<std::vector<float>> buffers_;
};

// Runs `command` in a shell; returns its standard output, and its exit status
// through `status`.
std::string runCommand(const std::string& command, int* status = nullptr);

}  // namespace quorveil::testing
