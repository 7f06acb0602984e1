// quorveil-demo: lists the module table and runs Clip4_6 on a generated
// six-channel signal through the exported interface, printing what the
// module tells the host.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "host/HostedInstance.h"
#include "host/PluginLibrary.h"

using namespace quorveil::host;

namespace {

std::string libraryBeside(const char* argv0) {
    return (std::filesystem::absolute(argv0).parent_path() / defaultLibraryFileName()).string();
}

std::string menuPath(std::string path) {
    for (std::size_t at = path.find('\t'); at != std::string::npos; at = path.find('\t', at)) {
        path.replace(at, 1, " > ");
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        PluginLibrary library(argc > 1 ? argv[1] : libraryBeside(argv[0]));
        std::printf("Modules in %s:\n", library.path().c_str());
        for (const ModuleRow& row : library.modules()) {
            std::printf("  %d  %-26s %-40s %s\n", row.index, row.name.c_str(), row.uniqueId.c_str(),
                        menuPath(row.categoryPath).c_str());
        }

        HostedInstance clip(library, "audio.quorveil.Clip4_6");
        const auto engine = makeEngineInfo(48000.0, 256, 2048, 4, 1);
        clip.setEngineInfo(engine);
        clip.start();
        std::printf("\nClip4_6 information text: \"%s\"\n",
                    clip.parameter(1).text.substr(1).c_str());

        // One second of six channels: sines at -6 dBFS, with the LFE channel
        // driven into full scale for a few samples half-way through.
        ProcessBuffers buffers(clip.pinCounts(), engine);
        clip.clearServiceLog();
        std::size_t clippedIndices = 0;
        for (int block = 0; block < 48000 / 256; ++block) {
            for (int k = 0; k < 6; ++k) {
                for (int i = 0; i < 256; ++i) {
                    const double t = (block * 256 + i) / 48000.0;
                    buffers.audioIn.pin(k)[i] =
                        static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * (110.0 * (k + 1)) * t));
                }
            }
            if (block == 94) {
                for (int i = 10; i < 13; ++i) buffers.audioIn.pin(3)[i] = 1.0f;
            }
            clip.process(buffers);
        }
        for (const ServiceCall& call : clip.serviceLog()) {
            std::printf("host call: op %d (set int) id %d value %d\n", static_cast<int>(call.op),
                        call.id, call.integer);
            clippedIndices += call.integer == 1 ? 1 : 0;
        }
        std::printf("clip indicator lit for %zu sample positions\n", clippedIndices);
        std::printf("FFT Delay pin at fftSize %d, overlap %d: %.0f samples\n", engine.fftSize,
                    engine.overlap, static_cast<double>(buffers.audioOut.pin(6)[0]));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorveil-demo: %s\n", error.what());
        return 2;
    }
}
