// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/lv2/Lv2TestHost.h"

#include <dlfcn.h>

#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>

namespace quorveil::testing {

Lv2Binary::Lv2Binary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load " + path + ": " + dlerror());
    }
}

Lv2Binary::~Lv2Binary() { dlclose(handle_); }

const LV2_Descriptor* Lv2Binary::descriptor(const std::string& uri) const {
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(handle_, "lv2_descriptor"));
    if (entry == nullptr) return nullptr;
    for (uint32_t i = 0;; ++i) {
        const LV2_Descriptor* d = entry(i);
        if (d == nullptr) return nullptr;
        if (uri == d->URI) return d;
    }
}

Lv2Instance::Lv2Instance(const LV2_Descriptor* descriptor, double sampleRate, uint32_t ports,
                         std::vector<bool> audio, uint32_t maxBlock)
    : descriptor_(descriptor), buffers_(ports) {
    handle_ = descriptor_->instantiate(descriptor_, sampleRate, "", nullptr);
    if (handle_ == nullptr) return;
    for (uint32_t p = 0; p < ports; ++p) {
        buffers_[p].assign(p < audio.size() && audio[p] ? maxBlock : 1, 0.0f);
        descriptor_->connect_port(handle_, p, buffers_[p].data());
    }
}

Lv2Instance::~Lv2Instance() {
    if (handle_ != nullptr) descriptor_->cleanup(handle_);
}

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    const int raw = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

}  // namespace quorveil::testing
