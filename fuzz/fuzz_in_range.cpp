// SPDX-License-Identifier: MIT
// The in-range oracle: a host that does everything right must never get a
// sample that is not a number, or infinite, from any module. The host here
// announces settings a real host uses, starts the module, sets every
// parameter inside its declared range (ends included, and values a hair
// above the lower end), and feeds finite signals of realistic size:
// subnormal to loud, magnitudes not negative, frequencies of either sign. It
// may leave pins unconnected, which must read as silence. Every output value
// of every connected output pin must be finite; the first that is not stops
// the run with what led to it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/FuzzHost.h"

namespace {

using namespace quorveil::fuzz;
using namespace plogue::biduleSDK;

// The loudest value of each kind of signal a host delivers: far beyond full
// scale for audio, beyond any FFT magnitude of full-scale audio, beyond any
// frequency a phase vocoder measures.
constexpr float kLoudestSample = 1.0e6f;
constexpr float kLargestMagnitude = 1.0e6f;
constexpr float kHighestFrequency = 1.0e6f;

const std::vector<std::string>& moduleIds() {
    static const std::vector<std::string> ids = uniqueIds();
    return ids;
}

EngineInfo hostEngine(FuzzedDataProvider& in) {
    EngineInfo engine{};
    constexpr double kRates[] = {44100.0, 48000.0, 96000.0, 8000.0, 192000.0};
    engine.sampleRate = in.ConsumeBool() ? in.PickValueInArray(kRates)
                                         : in.ConsumeFloatingPointInRange(8000.0, 192000.0);
    engine.blockSize = in.ConsumeIntegralInRange(1, 2048);
    // Mostly the small FFT sizes, whose blocks run fastest; now and then the
    // largest a host offers.
    engine.fftSize = 512 << (in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 5) : 0);
    engine.binCount = engine.fftSize / 2 + 1;
    engine.overlap = 2 << in.ConsumeIntegralInRange(0, 3);
    engine.frameCount = in.ConsumeIntegralInRange(1, 3);
    return engine;
}

// A value of [low, high]: either end, just inside the lower end, or between.
double inRange(FuzzedDataProvider& in, double low, double high) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: return low;
    case 1: return high;
    case 2: {
        const double hair = in.PickValueInArray({std::numeric_limits<double>::denorm_min(), 1e-40, 1e-30, 1e-7});
        return low + hair <= high ? low + hair : low;
    }
    default: return in.ConsumeFloatingPointInRange(low, high);
    }
}

struct Change {
    int32_t id;
    double value;
};

void setInRange(FuzzedDataProvider& in, Instance& instance, const ParameterInfo& info,
                std::vector<Change>& changes) {
    switch (static_cast<ParameterKind>(info.kind)) {
    case ParameterKind::Real: {
        const double value = inRange(in, info.minimum, info.maximum);
        instance.setReal(info.id, value);
        changes.push_back({info.id, value});
        return;
    }
    case ParameterKind::Choice: {
        const int32_t last = info.integerDefault.choiceCount - 1;
        const int32_t value = in.ConsumeIntegralInRange(0, last > 0 ? last : 0);
        instance.setInt(info.id, value);
        changes.push_back({info.id, static_cast<double>(value)});
        return;
    }
    case ParameterKind::Integer:
        if (info.controlStyle == static_cast<int32_t>(ControlStyle::Switch)) {
            const int32_t value = in.ConsumeBool() ? 1 : 0;
            instance.setInt(info.id, value);
            changes.push_back({info.id, static_cast<double>(value)});
        }
        return;
    default: return;
    }
}

// Finite signal values for the input families: a few values per block,
// spread through it, so that the input is spent on values, not on length.
void fillInputs(FuzzedDataProvider& in, Buffers& buffers) {
    for (int family : {AudioIn, FrequencyIn, MagnitudeIn}) {
        float palette[8];
        for (float& value : palette) {
            const float tiny = std::numeric_limits<float>::denorm_min() * in.ConsumeIntegralInRange(1, 1000);
            switch (family) {
            case AudioIn:
                value = in.ConsumeBool() ? in.ConsumeFloatingPointInRange(-1.0f, 1.0f)
                                         : in.PickValueInArray({0.0f, -0.0f, tiny, -tiny, kLoudestSample,
                                                                -kLoudestSample, 1.0f, -1.0f});
                break;
            case MagnitudeIn:
                value = in.ConsumeBool() ? in.ConsumeFloatingPointInRange(0.0f, 4.0f)
                                         : in.PickValueInArray({0.0f, tiny, kLargestMagnitude, 1.0f});
                break;
            default:
                value = in.ConsumeBool() ? in.ConsumeFloatingPointInRange(-24000.0f, 24000.0f)
                                         : in.PickValueInArray({0.0f, -0.0f, tiny, -tiny, kHighestFrequency,
                                                                -kHighestFrequency, 440.0f, -440.0f});
                break;
            }
        }
        uint32_t state = in.ConsumeIntegral<uint32_t>();
        for (float& value : buffers.values(family)) {
            state = state * 1664525u + 1013904223u;
            value = palette[state >> 29];
        }
    }
    const int unconnected = in.ConsumeIntegralInRange(0, 2);
    for (int n = 0; n < unconnected; ++n) {
        const int family = in.PickValueInArray({AudioIn, AudioOut, FrequencyIn, MagnitudeIn, MagnitudeOut});
        const int32_t pin = in.ConsumeIntegralInRange(0, 11);
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: buffers.unplugPin(family, pin); break;
        case 1: buffers.unplugFrame(family, pin, in.ConsumeIntegralInRange<std::size_t>(0, 2)); break;
        default:  // working in place: an output on an input's buffer
            buffers.share(in.PickValueInArray({AudioOut, MagnitudeOut}), pin,
                          in.PickValueInArray({AudioIn, FrequencyIn, MagnitudeIn}), in.ConsumeIntegralInRange(0, 4));
            break;
        }
    }
}

[[noreturn]] void report(const std::string& module, const EngineInfo& engine,
                         const std::vector<Change>& changes, int family, int32_t pin, std::size_t frame,
                         std::size_t index, float value) {
    std::fprintf(stderr, "in-range oracle: %s gave %g on %s pin %d, frame %zu, value %zu\n",
                 module.c_str(), static_cast<double>(value),
                 family == AudioOut ? "audio out" : family == FrequencyOut ? "frequency out" : "magnitude out",
                 pin, frame, index);
    std::fprintf(stderr, "  settings: %g Hz, block %d, FFT %d, overlap %d, %d frames of %d bins\n",
                 engine.sampleRate, engine.blockSize, engine.fftSize, engine.overlap, engine.frameCount,
                 engine.binCount);
    for (const Change& change : changes) {
        std::fprintf(stderr, "  parameter %d = %.17g\n", change.id, change.value);
    }
    std::abort();
}

void checkOutputs(Buffers& buffers, const std::string& module, const EngineInfo& engine,
                  const std::vector<Change>& changes) {
    for (int family : {AudioOut, FrequencyOut, MagnitudeOut}) {
        const std::size_t run = buffers.run(family);
        const std::size_t frames = isAudio(family) ? 1 : buffers.frames();
        const std::vector<float>& values = buffers.values(family);
        for (int32_t pin = 0; pin < buffers.pins(family); ++pin) {
            for (std::size_t frame = 0; frame < frames; ++frame) {
                if (!buffers.connected(family, pin, isAudio(family) ? 0 : frame)) continue;
                const std::size_t first = (static_cast<std::size_t>(pin) * frames + frame) * run;
                for (std::size_t i = 0; i < run; ++i) {
                    if (!std::isfinite(values[first + i])) {
                        report(module, engine, changes, family, pin, frame, i, values[first + i]);
                    }
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto& ids = moduleIds();
    const std::string& module = ids[in.ConsumeIntegralInRange<std::size_t>(0, ids.size() - 1)];
    Instance instance(module.c_str());
    const EngineInfo engine = hostEngine(in);
    instance.setEngine(engine);
    instance.dispatch(0, nullptr, nullptr);
    const std::vector<ParameterInfo> infos = instance.describe();
    instance.setDefaults(infos);
    const PinCounts pins = instance.pinCounts();

    std::vector<Change> changes;
    const int blocks = in.ConsumeIntegralInRange(1, 3);
    for (int b = 0; b < blocks; ++b) {
        const int count = infos.empty() ? 0 : in.ConsumeIntegralInRange(0, 6);
        for (int c = 0; c < count; ++c) {
            setInRange(in, instance, infos[in.ConsumeIntegralInRange<std::size_t>(0, infos.size() - 1)], changes);
        }
        Buffers buffers(pins, engine);
        // Outputs start out as what a host's recycled buffers may hold.
        for (int family : {AudioOut, FrequencyOut, MagnitudeOut}) {
            for (float& value : buffers.values(family)) value = std::numeric_limits<float>::quiet_NaN();
        }
        fillInputs(in, buffers);
        buffers.process(instance.block());
        checkOutputs(buffers, module, engine, changes);
    }
    return 0;
}
