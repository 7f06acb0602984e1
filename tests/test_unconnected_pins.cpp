// SPDX-License-Identifier: MIT
// A host may pass null inside a pin table for a pin it has not connected: an
// audio pin, a spectral pin's frame table, or one frame of it. Every module
// must then take the input as silence and leave the output unwritten, and
// every connected pin must come out bit for bit as if the unconnected input
// had been a buffer of zeros and the unconnected output a buffer of its own.
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

using host::ProcessBuffers;
using plogue::biduleSDK::AudioPins;
using plogue::biduleSDK::EngineInfo;
using plogue::biduleSDK::SpectralPins;

const char* const kModules[] = {"Clip4_6", "ArcTan4_6", "Slice4_6",
                                "CC4_6",   "ConstantPowerPanner4_6", "ATF4_6"};

enum Family { AudioIn, AudioOut, FrequencyIn, FrequencyOut, MagnitudeIn, MagnitudeOut, kFamilies };
const char* const kFamilyNames[] = {"audio in",  "audio out",     "frequency in",
                                    "frequency out", "magnitude in", "magnitude out"};
bool isInput(Family family) {
    return family == AudioIn || family == FrequencyIn || family == MagnitudeIn;
}
bool isAudio(Family family) { return family == AudioIn || family == AudioOut; }

constexpr int32_t kWholePin = -1;

// One null entry: a pin of a family, or one frame of a spectral pin.
struct Unplugged {
    Family family;
    int32_t pin;
    int32_t frame;  // kWholePin: the pin's own entry
};

std::string describe(const Unplugged& u) {
    return std::string(kFamilyNames[u.family]) + " pin " + std::to_string(u.pin) +
           (u.frame == kWholePin ? "" : " frame " + std::to_string(u.frame));
}

// One instance as a host starts it, its buffers, and the pin tables the host
// hands the process entry, copied so that single entries can be set to null.
class Rig {
public:
    explicit Rig(const std::string& module, const EngineInfo& engine)
        : instance_(instanceOf(module)), engine_(engine),
          buffers_(instance_->pinCounts(), engine) {
        instance_->setEngineInfo(engine_);
        instance_->start();
        for (const auto& info : instance_->describeParameters()) instance_->setToDefault(info);
        instance_->clearServiceLog();
        fillInputs();
        buffers_.audioOut.fill(-3.0f);
        buffers_.frequencyOut.fill(-3.0f);
        buffers_.magnitudeOut.fill(-3.0f);
        connectAll();
    }

    // Sets one entry of the tables to null.
    void unplug(const Unplugged& u) {
        if (isAudio(u.family)) {
            audioTable(u.family)[static_cast<std::size_t>(u.pin)] = nullptr;
        } else if (u.frame == kWholePin) {
            spectralPins_[u.family][static_cast<std::size_t>(u.pin)] = nullptr;
        } else {
            spectralFrames_[u.family][static_cast<std::size_t>(u.pin)][static_cast<std::size_t>(u.frame)] =
                nullptr;
        }
    }

    // What a null input is taken for: the same entry as zeros.
    void silence(const Unplugged& u) {
        if (isAudio(u.family)) {
            fillPin(audioBuffer(u.family).pin(u.pin), engine_.blockSize, 0.0f);
            return;
        }
        auto& spectral = spectralBuffer(u.family);
        for (int32_t f = 0; f < engine_.frameCount; ++f) {
            if (u.frame == kWholePin || u.frame == f) fillPin(spectral.frame(u.pin, f), engine_.binCount, 0.0f);
        }
    }

    void silenceAllInputs() {
        buffers_.audioIn.fill(0.0f);
        buffers_.frequencyIn.fill(0.0f);
        buffers_.magnitudeIn.fill(0.0f);
    }

    void process() {
        auto* block = instance_->block();
        block->process(block, table(audioIn_), table(audioOut_), nullptr, nullptr,
                       spectralTable(FrequencyIn), spectralTable(FrequencyOut),
                       spectralTable(MagnitudeIn), spectralTable(MagnitudeOut), nullptr, nullptr);
    }

    void connectAll() {
        audioIn_.assign(static_cast<std::size_t>(count(AudioIn)), nullptr);
        audioOut_.assign(static_cast<std::size_t>(count(AudioOut)), nullptr);
        for (int32_t p = 0; p < count(AudioIn); ++p) audioIn_[static_cast<std::size_t>(p)] = buffers_.audioIn.pin(p);
        for (int32_t p = 0; p < count(AudioOut); ++p) audioOut_[static_cast<std::size_t>(p)] = buffers_.audioOut.pin(p);
        for (Family family : {FrequencyIn, FrequencyOut, MagnitudeIn, MagnitudeOut}) {
            auto& spectral = spectralBuffer(family);
            spectralFrames_[family].assign(static_cast<std::size_t>(count(family)), {});
            spectralPins_[family].assign(static_cast<std::size_t>(count(family)), nullptr);
            for (int32_t p = 0; p < count(family); ++p) {
                auto& frames = spectralFrames_[family][static_cast<std::size_t>(p)];
                for (int32_t f = 0; f < engine_.frameCount; ++f) frames.push_back(spectral.frame(p, f));
                spectralPins_[family][static_cast<std::size_t>(p)] = frames.data();
            }
        }
    }

    // The bytes of every output except those of `skipped`.
    std::vector<float> outputsBut(const Unplugged* skipped) {
        std::vector<float> values;
        auto skip = [skipped](Family family, int32_t pin, int32_t frame) {
            return skipped != nullptr && skipped->family == family && skipped->pin == pin &&
                   (skipped->frame == kWholePin || skipped->frame == frame);
        };
        for (int32_t p = 0; p < count(AudioOut); ++p) {
            if (skip(AudioOut, p, 0)) continue;
            const float* samples = buffers_.audioOut.pin(p);
            values.insert(values.end(), samples, samples + engine_.blockSize);
        }
        for (Family family : {FrequencyOut, MagnitudeOut}) {
            for (int32_t p = 0; p < count(family); ++p) {
                for (int32_t f = 0; f < engine_.frameCount; ++f) {
                    if (skip(family, p, f)) continue;
                    const float* bins = spectralBuffer(family).frame(p, f);
                    values.insert(values.end(), bins, bins + engine_.binCount);
                }
            }
        }
        return values;
    }

    host::HostedInstance& instance() { return *instance_; }
    ProcessBuffers& buffers() { return buffers_; }
    int32_t count(Family family) const {
        switch (family) {
        case AudioIn: return buffers_.audioIn.pinCount();
        case AudioOut: return buffers_.audioOut.pinCount();
        case FrequencyIn: return buffers_.frequencyIn.pinCount();
        case FrequencyOut: return buffers_.frequencyOut.pinCount();
        case MagnitudeIn: return buffers_.magnitudeIn.pinCount();
        default: return buffers_.magnitudeOut.pinCount();
        }
    }

private:
    static void fillPin(float* values, int32_t n, float value) {
        for (int32_t i = 0; i < n; ++i) values[i] = value;
    }
    static AudioPins table(std::vector<float*>& pins) { return pins.empty() ? nullptr : pins.data(); }
    SpectralPins spectralTable(Family family) {
        auto& pins = spectralPins_[family];
        return pins.empty() ? nullptr : pins.data();
    }
    std::vector<float*>& audioTable(Family family) { return family == AudioIn ? audioIn_ : audioOut_; }
    host::AudioPinBuffers& audioBuffer(Family family) {
        return family == AudioIn ? buffers_.audioIn : buffers_.audioOut;
    }
    host::SpectralPinBuffers& spectralBuffer(Family family) {
        switch (family) {
        case FrequencyIn: return buffers_.frequencyIn;
        case FrequencyOut: return buffers_.frequencyOut;
        case MagnitudeIn: return buffers_.magnitudeIn;
        default: return buffers_.magnitudeOut;
        }
    }

    // Music-like and different on every pin: audio past full scale now and
    // then (the clip indicator), positive magnitudes, L and R frequencies apart.
    void fillInputs() {
        for (int32_t p = 0; p < count(AudioIn); ++p) {
            float* samples = buffers_.audioIn.pin(p);
            for (int32_t i = 0; i < engine_.blockSize; ++i) {
                samples[i] = static_cast<float>(1.25 * std::sin(0.37 * (i + 1) + p));
            }
        }
        for (int32_t p = 0; p < count(MagnitudeIn); ++p) {
            for (int32_t f = 0; f < engine_.frameCount; ++f) {
                float* bins = buffers_.magnitudeIn.frame(p, f);
                for (int32_t b = 0; b < engine_.binCount; ++b) {
                    bins[b] = static_cast<float>(0.5 + 0.45 * std::sin(0.11 * b + 1.7 * p + f));
                }
            }
        }
        for (int32_t p = 0; p < count(FrequencyIn); ++p) {
            for (int32_t f = 0; f < engine_.frameCount; ++f) {
                float* bins = buffers_.frequencyIn.frame(p, f);
                for (int32_t b = 0; b < engine_.binCount; ++b) {
                    bins[b] = static_cast<float>(86.1 * b + 40.0 * std::sin(0.3 * b + p + f));
                }
            }
        }
    }

    std::unique_ptr<host::HostedInstance> instance_;
    EngineInfo engine_;
    ProcessBuffers buffers_;
    std::vector<float*> audioIn_, audioOut_;
    std::array<std::vector<std::vector<float*>>, kFamilies> spectralFrames_;
    std::array<std::vector<float**>, kFamilies> spectralPins_;
};

EngineInfo smallEngine() { return host::makeEngineInfo(44100, 64, 512, 4, 2); }

// Every single null entry a host can pass a module: each pin of each family,
// and for spectral pins also one frame of the pin.
std::vector<Unplugged> everyNullEntry(const Rig& rig, int32_t frames) {
    std::vector<Unplugged> entries;
    for (int family = 0; family < kFamilies; ++family) {
        const auto f = static_cast<Family>(family);
        for (int32_t pin = 0; pin < rig.count(f); ++pin) {
            entries.push_back({f, pin, kWholePin});
            if (!isAudio(f)) entries.push_back({f, pin, frames - 1});
        }
    }
    return entries;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

struct LoggedCall {
    int32_t op, id, integer;
    bool operator==(const LoggedCall&) const = default;
};
std::vector<LoggedCall> calls(const host::HostedInstance& instance) {
    std::vector<LoggedCall> out;
    for (const auto& call : instance.serviceLog()) out.push_back({static_cast<int32_t>(call.op), call.id, call.integer});
    return out;
}

TEST(UnconnectedPins, NullInputReadsAsSilenceAndNullOutputLeavesTheOthersAsTheyWere) {
    const EngineInfo engine = smallEngine();
    for (const char* module : kModules) {
        const Rig probe(module, engine);
        for (const Unplugged& u : everyNullEntry(probe, engine.frameCount)) {
            SCOPED_TRACE(std::string(module) + ", " + describe(u));
            Rig connected(module, engine), unplugged(module, engine);
            if (isInput(u.family)) connected.silence(u);
            unplugged.unplug(u);
            connected.process();
            unplugged.process();
            const Unplugged* skipped = isInput(u.family) ? nullptr : &u;
            EXPECT_TRUE(sameBits(unplugged.outputsBut(skipped), connected.outputsBut(skipped)));
            EXPECT_EQ(calls(unplugged.instance()), calls(connected.instance()));
        }
    }
}

// What an unconnected output is written into must never be what an
// unconnected input reads: after a block whose outputs all went nowhere, a
// block whose inputs are all unconnected must still hear silence.
TEST(UnconnectedPins, SilenceStaysSilentAfterOutputsWentNowhere) {
    const EngineInfo engine = smallEngine();
    for (const char* module : kModules) {
        SCOPED_TRACE(module);
        Rig connected(module, engine), unplugged(module, engine);
        connected.process();
        for (const Unplugged& u : everyNullEntry(unplugged, engine.frameCount)) {
            if (!isInput(u.family) && u.frame == kWholePin) unplugged.unplug(u);
        }
        unplugged.process();
        unplugged.connectAll();
        for (const Unplugged& u : everyNullEntry(unplugged, engine.frameCount)) {
            if (isInput(u.family) && u.frame == kWholePin) unplugged.unplug(u);
        }
        connected.silenceAllInputs();
        connected.process();
        unplugged.process();
        EXPECT_TRUE(sameBits(unplugged.outputsBut(nullptr), connected.outputsBut(nullptr)));
    }
}

// The panner's input buffer may also be one of its outputs; with another
// output unconnected, the shared buffer still gets its gain times the dry
// signal and the others their own.
TEST(UnconnectedPins, PannerKeepsAnInputSharedWithAnOutput) {
    const EngineInfo engine = smallEngine();
    Rig separate("ConstantPowerPanner4_6", engine), shared("ConstantPowerPanner4_6", engine);
    for (Rig* rig : {&separate, &shared}) {
        rig->instance().setRealParameter(0, -60.0);  // between LF and LS
    }
    separate.process();
    // LF out is the input buffer itself; RF (silent at this angle) is unconnected.
    float* input = shared.buffers().audioIn.pin(0);
    auto* block = shared.instance().block();
    float* in[] = {input};
    float* out[] = {input, nullptr, shared.buffers().audioOut.pin(2), shared.buffers().audioOut.pin(3),
                    shared.buffers().audioOut.pin(4)};
    block->process(block, in, out, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
    EXPECT_EQ(std::memcmp(input, separate.buffers().audioOut.pin(0), 64 * sizeof(float)), 0);
    for (int32_t p = 2; p < 5; ++p) {
        EXPECT_EQ(std::memcmp(shared.buffers().audioOut.pin(p), separate.buffers().audioOut.pin(p),
                              64 * sizeof(float)),
                  0)
            << "pin " << p;
    }
}

// Settings no host uses leave no stand-ins: a table with a null entry then
// reaches the module as no table at all, and nothing is read or written. So
// do null entries before the host has sent any settings.
TEST(UnconnectedPins, WithoutStandInsATableWithANullEntryIsLeftAlone) {
    for (int32_t blockSize : {0, (1 << 20) + 1}) {
        SCOPED_TRACE(blockSize);
        auto clip = instanceOf("Clip4_6");
        if (blockSize != 0) {
            EngineInfo engine = smallEngine();
            engine.blockSize = blockSize;
            clip->setEngineInfo(engine);
        }
        std::array<float, 4> sample{2.0f, 2.0f, 2.0f, 2.0f};
        std::array<float, 7> written{};
        written.fill(-3.0f);
        float* in[] = {sample.data(), nullptr, sample.data(), sample.data(), sample.data(), sample.data()};
        float* out[7];
        for (std::size_t p = 0; p < 7; ++p) out[p] = &written[p];
        auto* block = clip->block();
        block->process(block, in, out, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
        for (float value : written) EXPECT_EQ(value, -3.0f);
        EXPECT_TRUE(clip->serviceLog().empty());
    }
}

}  // namespace
}  // namespace quorveil::testing
