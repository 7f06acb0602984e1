// SPDX-License-Identifier: GPL-3.0-or-later
// Both LV2 plug-ins through the callbacks of their descriptors, as a careless
// host drives them: instantiated at any sample rate, every control port at
// any float (NaN, infinite, far out of range), run() with blocks of any
// length (0 included) whose samples are ordinary, huge, subnormal, infinite
// or NaN. The oracle (BusOracle.h): a rate the upmix cannot run at gives no
// instance, and every output sample is finite and no louder than 24 dB above
// the loudest input the plug-in takes, times the largest gain in effect.
//
// The upmix is instantiated once per sample rate and activated afresh for
// each input (activate() starts it anew); the panner, which keeps its last
// gains across activations, anew for each input.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/BusOracle.h"
#include "host/lv2/Lv2Entry.h"
#include "host/lv2/PannerPlugin.h"
#include "host/lv2/UpmixPlugin.h"
#include "host/spectral/Stft.h"

namespace {

using namespace quorveil;
using lv2::PluginDescription;
using lv2::PortKind;

constexpr uint32_t kLongestBlock = 4096;

const LV2_Descriptor& upmixDescriptor() {
    static const LV2_Descriptor d = lv2::Lv2Entry<lv2::UpmixPlugin>::descriptor(lv2::kUpmixUri);
    return d;
}
const LV2_Descriptor& pannerDescriptor() {
    static const LV2_Descriptor d = lv2::Lv2Entry<lv2::PannerPlugin>::descriptor(lv2::kPannerUri);
    return d;
}
const PluginDescription& upmixPorts() {
    static const PluginDescription d = lv2::upmixDescription(2048);
    return d;
}
const PluginDescription& pannerPorts() {
    static const PluginDescription d = lv2::pannerDescription(
        host::PluginLibrary(lv2::linkedExports(), "the linked-in library"));
    return d;
}

// One instance and the host's buffers for its ports.
class Lv2Run {
public:
    Lv2Run(const LV2_Descriptor& descriptor, LV2_Handle handle, const PluginDescription& ports)
        : descriptor_(descriptor), handle_(handle), ports_(ports), buffers_(ports.ports.size()) {
        for (std::size_t p = 0; p < buffers_.size(); ++p) {
            const PortKind kind = ports.ports[p].kind;
            const bool audio = kind == PortKind::AudioInput || kind == PortKind::AudioOutput;
            buffers_[p].assign(audio ? kLongestBlock : 1, 0.0f);
            descriptor_.connect_port(handle_, static_cast<uint32_t>(p), buffers_[p].data());
        }
    }

    // One block: controls, inputs, run(), then every output checked.
    void block(FuzzedDataProvider& in, fuzz::LoudnessBound& bound, uint32_t frames) {
        for (std::size_t p = 0; p < buffers_.size(); ++p) {
            const lv2::PortDescription& port = ports_.ports[p];
            if (port.kind == PortKind::ControlInput && in.ConsumeBool()) {
                buffers_[p][0] = in.ConsumeBool()
                                     ? in.ConsumeFloatingPoint<float>()
                                     : in.PickValueInArray({NAN, INFINITY, -INFINITY,
                                                            static_cast<float>(port.minimum),
                                                            static_cast<float>(port.maximum)});
            }
            if (port.kind == PortKind::ControlInput && port.symbol == "gain") {
                gain_ = std::pow(10.0, port.clamp(buffers_[p][0]) / 20.0);
                bound.gain(gain_);
            }
            if (port.kind == PortKind::AudioInput) {
                fuzz::fillBus(in, buffers_[p].data(), frames);
                bound.heard(buffers_[p].data(), frames);
            }
            if (port.kind == PortKind::AudioOutput) {
                std::fill_n(buffers_[p].data(), frames, NAN);  // a host's recycled buffer
            }
        }
        descriptor_.run(handle_, frames);
        for (std::size_t p = 0; p < buffers_.size(); ++p) {
            if (ports_.ports[p].kind == PortKind::AudioOutput) {
                bound.check(buffers_[p].data(), frames,
                            ports_.uri + " port " + ports_.ports[p].symbol);
            }
        }
    }

    // The output gain the last block ran with (1 for the panner).
    double gain() const { return gain_; }

private:
    const LV2_Descriptor& descriptor_;
    LV2_Handle handle_;
    const PluginDescription& ports_;
    std::vector<std::vector<float>> buffers_;
    double gain_ = 1.0;
};

// An upmix made once for a sample rate, and the gain it last ran with:
// activated again, it reaches its new gain from there.
struct CachedUpmix {
    LV2_Handle handle = nullptr;
    double lastGain = 1.0;  // as made: the default gain

    CachedUpmix() = default;
    CachedUpmix(const CachedUpmix&) = delete;
    CachedUpmix& operator=(const CachedUpmix&) = delete;
    ~CachedUpmix() {
        if (handle != nullptr) upmixDescriptor().cleanup(handle);
    }
};

struct Handle {
    const LV2_Descriptor* descriptor;
    LV2_Handle handle;
    ~Handle() {
        if (handle != nullptr) descriptor->cleanup(handle);
    }
};

// The upmix refuses what it cannot run at; anything else it must take.
void instantiateAtAnyRate(FuzzedDataProvider& in) {
    const double rate = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>()
                                         : in.PickValueInArray<double>({NAN, INFINITY, -1.0, 0.0, 7999.999,
                                                                768000.5, 2147483647.0, 1e300});
    const bool runnable =
        rate >= spectral::kLowestSampleRate && rate <= spectral::kHighestSampleRate;
    const LV2_Descriptor& d = upmixDescriptor();
    const Handle made{&d, d.instantiate(&d, rate, "", nullptr)};
    if ((made.handle != nullptr) != runnable) {
        std::fprintf(stderr, "lv2 oracle: the upmix %s at %.17g Hz\n",
                     made.handle != nullptr ? "was instantiated" : "refused to run", rate);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
        instantiateAtAnyRate(in);
        return 0;
    }
    const double rate = in.PickValueInArray({44100.0, 48000.0, 8000.0, 96000.0});
    fuzz::LoudnessBound bound;
    bound.gain(1.0);  // the panner's gains are cosines and sines
    std::unique_ptr<Lv2Run> run;
    std::unique_ptr<Handle> panner;
    CachedUpmix* upmix = nullptr;
    if (in.ConsumeBool()) {
        static std::map<double, CachedUpmix> upmixes;
        const LV2_Descriptor& d = upmixDescriptor();
        upmix = &upmixes[rate];
        if (upmix->handle == nullptr) upmix->handle = d.instantiate(&d, rate, "", nullptr);
        d.activate(upmix->handle);
        bound.gain(upmix->lastGain);
        run = std::make_unique<Lv2Run>(d, upmix->handle, upmixPorts());
    } else {
        const LV2_Descriptor& d = pannerDescriptor();
        panner.reset(new Handle{&d, d.instantiate(&d, rate, "", nullptr)});
        d.activate(panner->handle);
        run = std::make_unique<Lv2Run>(d, panner->handle, pannerPorts());
    }
    const int blocks = in.ConsumeIntegralInRange(1, 8);
    for (int b = 0; b < blocks && in.remaining_bytes() > 0; ++b) {
        run->block(in, bound, in.ConsumeIntegralInRange<uint32_t>(0, kLongestBlock));
    }
    if (upmix != nullptr) upmix->lastGain = run->gain();
    return 0;
}
