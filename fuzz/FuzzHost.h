// SPDX-License-Identifier: MIT
// The host side the library's fuzz targets share: one module instance lived
// through the four exports and its PluginBlock, as an audio host lives it,
// with a parameter store behind the callback, and host-shaped buffers whose
// pin tables a target may punch null entries into. The library is linked in
// (instrumented like the rest), so coverage reaches the frame and modules.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "frame/HostRecords.h"

namespace quorveil::fuzz {

// The pin families in dispatcher order (op 2 + family gives its count op).
enum Family { AudioIn, AudioOut, MidiIn, MidiOut, FrequencyIn, FrequencyOut, MagnitudeIn, MagnitudeOut };
inline constexpr int kFamilies = 8;
inline bool isAudio(int family) { return family == AudioIn || family == AudioOut; }
inline bool isSpectral(int family) { return family >= FrequencyIn; }
inline bool isOutput(int family) { return family % 2 == 1; }

using PinCounts = std::array<int32_t, kFamilies>;

// The module table as the exports list it.
std::vector<std::string> uniqueIds();

class Instance {
public:
    // newInstance(uniqueId); block() is null when the library refuses it.
    explicit Instance(const char* uniqueId);
    ~Instance();  // deleteInstance
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    plogue::biduleSDK::PluginBlock* block() const { return block_; }
    void dispatch(int32_t op, void* arg, int32_t* value);

    void setEngine(const plogue::biduleSDK::EngineInfo& engine);  // op 1
    PinCounts pinCounts();                                         // ops 2..9
    std::vector<plogue::biduleSDK::ParameterInfo> describe();      // op 12, two steps
    // What a host stores for a parameter, then op 14.
    void setReal(int32_t id, double value);
    void setInt(int32_t id, int32_t value);
    void setText(int32_t id, const std::string& text);
    // Every host setting at its declared default, notified: a host's start-up.
    void setDefaults(const std::vector<plogue::biduleSDK::ParameterInfo>& infos);

    const plogue::biduleSDK::EngineInfo& engine() const { return engine_; }

private:
    struct HostSide {
        plogue::biduleSDK::HostRecord record;
        Instance* owner;
    };
    static int32_t callback(plogue::biduleSDK::HostRecord* host, int32_t op, int32_t id, void* data);

    HostSide host_{};
    plogue::biduleSDK::PluginBlock* block_ = nullptr;
    plogue::biduleSDK::EngineInfo engine_{};
    std::map<int32_t, double> reals_;
    std::map<int32_t, int32_t> ints_;
    std::map<int32_t, std::string> texts_;
};

// One block's buffers, sized by the pin counts and engine settings the host
// announced (negative counts as none), with the pin tables handed to the
// process entry. MIDI families get no tables.
class Buffers {
public:
    Buffers(const PinCounts& pins, const plogue::biduleSDK::EngineInfo& engine);

    // Every float of a family, pin by pin (and frame by frame).
    std::vector<float>& values(int family) { return values_[static_cast<std::size_t>(family)]; }
    int32_t pins(int family) const { return pins_[static_cast<std::size_t>(family)]; }
    // Floats per pin (audio) or per frame (spectral), and frames per pin.
    std::size_t run(int family) const { return isAudio(family) ? blockSize_ : binCount_; }
    std::size_t frames() const { return frameCount_; }

    // Null entries: a pin's own entry, or one frame of a spectral pin; a
    // whole table null.
    void unplugPin(int family, int32_t pin);
    void unplugFrame(int family, int32_t pin, std::size_t frame);
    void dropTable(int family) { dropped_[static_cast<std::size_t>(family)] = true; }
    // An output pin handed the buffer of an input pin of the same kind, as a
    // host may do to work in place.
    void share(int outputFamily, int32_t outputPin, int inputFamily, int32_t inputPin);
    // True while the pin's frame (audio: frame 0) is its own buffer, neither
    // unplugged nor shared with another pin.
    bool connected(int family, int32_t pin, std::size_t frame) const;

    void process(plogue::biduleSDK::PluginBlock* block);

private:
    std::size_t blockSize_, binCount_, frameCount_;
    PinCounts pins_;
    std::array<std::vector<float>, kFamilies> values_;
    std::array<std::vector<float*>, kFamilies> audioTables_;    // audio families
    std::array<std::vector<float*>, kFamilies> frameTables_;    // spectral: all frames
    std::array<std::vector<float**>, kFamilies> spectralTables_;
    std::array<bool, kFamilies> dropped_{};
};

}  // namespace quorveil::fuzz
