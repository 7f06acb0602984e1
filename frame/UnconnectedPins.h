// SPDX-License-Identifier: MIT
// Pins a host has left unconnected. A host may pass a pin table whose entry
// for a pin is null instead of a buffer: an audio pin's samples, a spectral
// pin's table of frames, or one frame inside that table. Modules index every
// pin of their tables unconditionally, so the frame stands a buffer of its
// own in for each such null before a module sees the block:
//   - an unconnected input reads as silence: one shared buffer of zeros that
//     nothing ever writes;
//   - an unconnected output is written into a scratch buffer of its own (one
//     per output pin, so two unconnected outputs never share memory and a
//     module's choice between its "frames apart" and "frames shared" loops is
//     the one it makes for connected buffers) and the result is dropped.
// Connected pins keep the host's own pointers, including a buffer the host
// hands in as an input and out as an output; a block without any null entry
// reaches the module exactly as the host passed it.
//
// The buffers are sized from the engine settings when they arrive (dispatcher
// op 1), never during a block, and keep their memory from one op 1 to the
// next, so settings no larger than before allocate nothing: silence holds max(blockSize, binCount) floats,
// each audio scratch buffer blockSize floats, each spectral one binCount
// floats, and each spectral family a table of frameCount frames per pin.
// Settings beyond any real host's (more than kMostFloatsPerPin floats in a
// pin or kMostFrames frames), or memory the system refuses, leave no stand-ins:
// then a family with a null entry reaches the module as a null table, and the
// module does nothing with it, as with a null table from the host.
//
// A null table (the whole family) is passed on unchanged, and a host that
// passes fewer pins, frames or floats than it announced cannot be helped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/HostRecords.h"
#include "frame/PinTable.h"

namespace plogue::biduleSDK {

struct BlockBuffers;

class UnconnectedPins {
public:
    static constexpr std::size_t kMostFloatsPerPin = std::size_t{1} << 20;
    static constexpr std::size_t kMostFrames = std::size_t{1} << 16;

    // Builds the stand-ins for `pins` under `engine` [host-main]. Never
    // throws; without memory, no stand-ins (see above).
    void prepare(const PinTable& pins, const EngineInfo& engine) noexcept;

    // The host's buffers with every null entry of a pin table replaced by its
    // stand-in [host-audio]: no allocation, one pass over the pin tables.
    BlockBuffers connect(const BlockBuffers& host);

private:
    // The stand-in tables of one family of pins.
    struct AudioFamily {
        std::size_t pins = 0;       // the module's pin count, kept without stand-ins too
        std::vector<float*> table;  // handed to the module when the host's has a null
        float* scratch = nullptr;   // outputs: pin p writes scratch + p * run; inputs: none
    };
    struct SpectralFamily {
        std::size_t pins = 0;
        std::vector<float*> frames;  // pin p's frames start at p * max(frameCount, 1)
        std::vector<float**> table;
        float* scratch = nullptr;
    };

    AudioPins connectAudio(AudioPins host, AudioFamily& family);
    SpectralPins connectSpectral(SpectralPins host, SpectralFamily& family);
    // An output's scratch buffer, or the silence for an input family.
    float* standIn(float* scratch, std::size_t run, std::size_t pin);
    void build();
    void clear() noexcept;

    bool ready_ = false;
    std::size_t blockSize_ = 0;
    std::size_t binCount_ = 0;
    std::size_t frameCount_ = 0;
    std::vector<float> silence_;
    std::vector<float> scratch_;
    AudioFamily audioIn_, audioOut_;
    SpectralFamily frequencyIn_, frequencyOut_, magnitudeIn_, magnitudeOut_;
};

}  // namespace plogue::biduleSDK
