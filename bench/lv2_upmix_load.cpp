// SPDX-License-Identifier: GPL-3.0-or-later
// The CPU load of quorveil-upmix.lv2 as a live host sees it: ten minutes of
// stereo at 48 kHz through run() in blocks of 256 samples, timed as process
// CPU time, printed as a fraction of one core (1.0: the core is full).
//   lv2_upmix_load BUNDLE_BINARY [SECONDS] [BLOCK]
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lv2_upmix_load quorveil_upmix.so [SECONDS] [BLOCK]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 600.0;
    const uint32_t block = argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 256;
    constexpr double kRate = 48000.0;
    void* binary = dlopen(argv[1], RTLD_NOW);
    if (binary == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(binary, "lv2_descriptor"));
    const LV2_Descriptor* plugin = entry(0);
    LV2_Handle instance = plugin->instantiate(plugin, kRate, "", nullptr);
    // Ports: 0-1 in, 2-7 out, 8-16 controls at their defaults, 17 latency.
    std::vector<std::vector<float>> audio(8, std::vector<float>(block));
    const float defaults[9] = {0, 0, 1, 0, 0, 10, 100, 0, 0};
    float controls[9], latency = 0;
    for (uint32_t p = 0; p < 8; ++p) plugin->connect_port(instance, p, audio[p].data());
    for (uint32_t c = 0; c < 9; ++c) {
        controls[c] = defaults[c];
        plugin->connect_port(instance, 8 + c, &controls[c]);
    }
    plugin->connect_port(instance, 17, &latency);
    plugin->activate(instance);

    const auto blocks = static_cast<uint64_t>(seconds * kRate / block);
    uint32_t seed = 1;
    std::vector<std::vector<float>> noise(2, std::vector<float>(block * 64));
    for (auto& channel : noise) {
        for (float& s : channel) {
            seed = seed * 1664525u + 1013904223u;
            s = static_cast<float>(seed >> 8) / 67108864.0f - 0.125f;
        }
    }
    const std::clock_t start = std::clock();
    for (uint64_t b = 0; b < blocks; ++b) {
        const std::size_t at = (b % 64) * block;
        for (int i = 0; i < 2; ++i) {
            std::copy(noise[i].begin() + static_cast<long>(at),
                      noise[i].begin() + static_cast<long>(at + block), audio[i].begin());
        }
        plugin->run(instance, block);
    }
    const double cpu = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    const double audioSeconds = static_cast<double>(blocks * block) / kRate;
    std::printf("quorveil-upmix.lv2: %.0f s of 48 kHz stereo in blocks of %u: %.2f s CPU, "
                "%.4f of one core, latency %.0f samples\n",
                audioSeconds, block, cpu, cpu / audioSeconds, latency);
    plugin->deactivate(instance);
    plugin->cleanup(instance);
    dlclose(binary);
    return 0;
}
