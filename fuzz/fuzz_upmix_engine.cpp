// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix engine as surround-host and the LV2 plug-in drive it, with what
// a host's bus may carry: blocks of any length (0 included) of ordinary,
// huge, subnormal, infinite and NaN samples, controls moved between blocks
// to any value (NaN, infinite, far out of range), one or two threads. The
// oracle (BusOracle.h): every output sample finite and no louder than 24 dB
// above the loudest input the engine takes, times the largest gain.
//
// An engine is made once per setting (FFT size, overlap, rate, threads) and
// reset for each input, which gives what a new one would.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <memory>
#include <tuple>
#include <vector>

#include "fuzz/BusOracle.h"
#include "host/hosting/PluginLibrary.h"
#include "host/spectral/UpmixControlTable.h"
#include "host/spectral/UpmixEngine.h"
#include "library/Exports.h"

namespace {

using namespace quorveil;
using spectral::UpmixControls;

const host::PluginLibrary& library() {
    static const host::PluginLibrary linked(
        host::LinkedExports{&::getNumBidules, &::fillBiduleInfo, &::newInstance, &::deleteInstance},
        "the linked-in library");
    return linked;
}

spectral::UpmixEngine& engineFor(FuzzedDataProvider& in) {
    static std::map<std::tuple<int, int, double, int, std::size_t>, std::unique_ptr<spectral::UpmixEngine>>
        engines;
    spectral::UpmixSetup setup;
    const auto layouts = spectral::speakerLayouts();
    const std::size_t layout = in.ConsumeIntegralInRange<std::size_t>(0, layouts.size() - 1);
    setup.layout = &layouts[layout];
    setup.fftSize = in.PickValueInArray({512, 1024, 2048});
    setup.overlap = in.PickValueInArray({2, 4, 8});
    setup.sampleRate = in.PickValueInArray({8000.0, 44100.0, 48000.0, 96000.0});
    setup.threads = in.ConsumeIntegralInRange(0, 7) == 0 ? 2 : 1;
    auto& engine = engines[{setup.fftSize, setup.overlap, setup.sampleRate, setup.threads, layout}];
    if (!engine) engine = std::make_unique<spectral::UpmixEngine>(library(), setup);
    // As it was made: the default controls (its gain too, from which a new
    // gain is reached), nothing heard.
    engine->setControls(UpmixControls{});
    engine->reset();
    return *engine;
}

// A control value as a careless host sends it: in range, at an end, just
// beyond, or anything at all.
double anyValue(FuzzedDataProvider& in, double low, double high) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: return in.ConsumeFloatingPointInRange(low, high);
    case 1: return in.ConsumeBool() ? low : high;
    case 2: return in.PickValueInArray<double>({NAN, INFINITY, -INFINITY, 1e300, -1e300});
    case 3: return in.ConsumeFloatingPointInRange(low - 1000.0, high + 1000.0);
    default: return in.ConsumeFloatingPoint<double>();
    }
}

UpmixControls anyControls(FuzzedDataProvider& in) {
    UpmixControls controls;
    const auto methods = spectral::upmixMethodTable();
    controls.method = methods[in.ConsumeIntegralInRange<std::size_t>(0, methods.size() - 1)].method;
    controls.atf = in.ConsumeBool();
    for (const spectral::UpmixControlEntry& entry : spectral::upmixControlTable()) {
        if (in.ConsumeBool()) controls.*entry.field = anyValue(in, entry.minimum, entry.maximum);
    }
    return controls;
}

// The gain the engine runs with, as it clamps it.
double gainOf(const UpmixControls& controls) {
    const double db = spectral::clampedControls(controls).gainDb;
    return std::pow(10.0, db / 20.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    spectral::UpmixEngine& engine = engineFor(in);
    fuzz::LoudnessBound bound;
    bound.gain(1.0);  // the default gain, where the first hops start from
    UpmixControls controls = anyControls(in);
    engine.setControls(controls);
    bound.gain(gainOf(controls));

    std::vector<float> left, right;
    std::vector<std::vector<float>> out(static_cast<std::size_t>(engine.channels()));
    const int blocks = in.ConsumeIntegralInRange(1, 8);
    for (int b = 0; b < blocks && in.remaining_bytes() > 0; ++b) {
        if (in.ConsumeIntegralInRange(0, 3) == 0) {
            controls = anyControls(in);
            engine.setControls(controls);
            bound.gain(gainOf(controls));
        }
        const std::size_t frames = in.ConsumeIntegralInRange<std::size_t>(0, 3000);
        left.resize(frames);
        right.resize(frames);
        fuzz::fillBus(in, left.data(), frames);
        fuzz::fillBus(in, right.data(), frames);
        bound.heard(left.data(), frames);
        bound.heard(right.data(), frames);
        float* channels[spectral::kMostSpeakers];
        for (std::size_t c = 0; c < out.size(); ++c) {
            out[c].assign(frames, std::nanf(""));  // what a host's recycled buffers hold
            channels[c] = out[c].data();
        }
        engine.process(left.data(), right.data(), channels, frames);
        for (std::size_t c = 0; c < out.size(); ++c) {
            bound.check(out[c].data(), frames,
                        std::string("upmix channel ") + engine.layout().speakers[c].name);
        }
    }
    return 0;
}
