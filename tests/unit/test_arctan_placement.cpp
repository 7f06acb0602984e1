// SPDX-License-Identifier: MIT
// ArcTan4_6's placement against a reference model written straight from the
// description of its sound: every step in its stated precision and order,
// the state recomputed per bin, the six gain tests tried in their order. The
// module runs as the host runs it, created from the module table and driven
// through its plug-in block, so what is compared is the shipped code with its
// build flags. Every output must match bit for bit (NaN matches NaN).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "library/ProductModules.h"

namespace {

using namespace plogue::biduleSDK;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr int32_t kFrames = 4, kBins = 257;

struct Values {
    double r, W, Cw, Fw, LF, RF, C, LS, RS;
    int32_t freqMode, mode;
};

class Reference {
public:
    explicit Reference(const Values& values) : v(values) {
        for (int i = 0; i <= 360; ++i) {
            const float x = static_cast<float>(i) * 0.0175f;
            sine[i] = static_cast<float>(std::sin(static_cast<double>(x)));
            cosine[i] = static_cast<float>(std::cos(static_cast<double>(x)));
        }
    }

    std::array<float, 12> place(float Lfreq, float Rfreq, float Lmag, float Rmag) {
        const double Rw = 180.0 - (v.Cw * 0.5 + v.Fw);
        const float rc = static_cast<float>(1.0 - v.r), rf = static_cast<float>(v.r);
        const float wf = static_cast<float>(v.W), half = wf * 0.5f;
        const float c2 = static_cast<float>(v.Cw) * 0.5f, ic2 = 1.0f / c2;
        const float fw = static_cast<float>(v.Fw), ifw = 1.0f / fw;
        const float rw = static_cast<float>(Rw), irw = 1.0f / rw;
        const float e1 = c2, e2 = e1 + fw, e3 = e2 + rw, e4 = e3 + rw, e5 = e4 + fw;
        const float aLF = static_cast<float>(v.LF), aRF = static_cast<float>(v.RF),
                    aC = static_cast<float>(v.C), aLS = static_cast<float>(v.LS),
                    aRS = static_cast<float>(v.RS);

        const float am = atan2f(Lmag, Rmag);
        const float magPos = am * 0.6366f - 0.5f;
        float p;
        if (v.freqMode == 4) {
            p = static_cast<float>(static_cast<double>(am) * 0.6366);
        } else {
            bool swapped = v.freqMode == 2;
            if (v.freqMode == 0) swapped = magPos < 0.5f || std::isnan(magPos);
            if (v.freqMode == 1) swapped = magPos >= 0.5f;
            const float af = swapped ? atan2f(Rfreq, Lfreq) : atan2f(Lfreq, Rfreq);
            const float freqPos = (af * 0.6366f - 0.5f) * 1.7f;
            p = (rc * freqPos + rf * magPos) + 0.5f;
        }

        const float t = p * wf;
        const float g = p < 0.5f ? t + (360.0f - half) : t - half;
        const float B = 360.0f - half;
        float o;
        if (g <= e1) o = ((aLF - aC) * ic2) * g + aC;
        else if (g <= e2) o = ((g - c2) * (aLS - aLF)) * ifw + aLF;
        else if (g <= e3) o = (((g - c2) - fw) * (half - aLS)) * irw + aLS;
        else if (g <= e4) o = ((aRS - B) * (g - 180.0f)) * irw + B;
        else if (g <= e5) o = (((g - 180.0f) - rw) * (aRF - aRS)) * ifw + aRS;
        else o = ((((g - 180.0f) - rw) - fw) * (360.0f - aRF)) * ic2 + aRF;

        const bool anyNaN = std::isnan(Lmag) || std::isnan(Rmag);
        const float level = v.mode < 1 ? Rmag + Lmag : anyNaN ? kNaN : std::max(Lmag, Rmag);
        std::array<float, 12> out{};
        gainsFor(o, aLF, aRF, aC, aLS, aRS);
        for (int s = 0; s < 5; ++s) out[s] = gain[s] * level;
        if (v.mode > 0) {
            const float o2 = v.mode == 1 ? 360.0f - o : std::fabs(o - 180.0f);
            const float lesserLevel = anyNaN ? kNaN : std::min(Lmag, Rmag);
            gainsFor(o2, aLF, aRF, aC, aLS, aRS);
            for (int s = 0; s < 5; ++s) out[5 + s] = gain[s] * lesserLevel;
        }
        out[10] = p;
        // A zone too narrow to stretch shows the bin at the zone's start.
        const float start = g <= e1 ? aC : g <= e2 ? aLF : g <= e3 ? aLS : g <= e4 ? B : g <= e5 ? aRS : aRF;
        out[11] = std::isfinite(o) || !std::isfinite(g) ? o : start;
        return out;
    }

private:
    static float atan2f(float y, float x) {
        return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
    }

    enum { LF, RF, C, LS, RS };
    void pair(int cosineSpeaker, int sineSpeaker, float step) {
        const int k = static_cast<int32_t>(step);
        EXPECT_TRUE(k >= 0 && k <= 90) << "table index " << k;
        gain = {};
        gain[cosineSpeaker] = cosine[k];
        gain[sineSpeaker] = sine[k];
    }
    void gainsFor(float o, float aLF, float aRF, float aC, float aLS, float aRS) {
        if (aC > o || o > 359.0f) gain = {0, 0, 1, 0, 0};
        if (aRF <= o && o <= 359.0f) pair(RF, C, (o - aRF) * (90.0f / ((aC + 360.0f) - aRF)));
        if (aC <= o && o < aLF) pair(C, LF, (o - aC) * (90.0f / (aLF - aC)));
        if (aLF <= o && o < aLS) pair(LF, LS, (o - aLF) * (90.0f / (aLS - aLF)));
        if (aLS <= o && o < aRS) pair(LS, RS, (o - aLS) * (90.0f / (aRS - aLS)));
        if (aRS <= o && o < aRF) pair(RS, RF, (o - aRS) * (90.0f / (aRF - aRS)));
    }

    Values v;
    float sine[361], cosine[361];
    std::array<float, 5> gain{};
};

// The least a host does: keep values by id and answer reads.
struct MiniHost {
    HostRecord record{&MiniHost::callback};
    std::map<int32_t, double> reals;
    std::map<int32_t, int32_t> ints;
    static int32_t callback(HostRecord* host, int32_t op, int32_t id, void* data) {
        auto* self = reinterpret_cast<MiniHost*>(host);
        if (op == static_cast<int32_t>(HostOp::GetRealValue)) *static_cast<double*>(data) = self->reals[id];
        if (op == static_cast<int32_t>(HostOp::GetIntValue)) *static_cast<int32_t*>(data) = self->ints[id];
        return 0;
    }
};

struct Pins {
    explicit Pins(int32_t count) : values(static_cast<std::size_t>(count * kFrames * kBins)) {
        for (int32_t f = 0; f < count * kFrames; ++f) frames.push_back(&values[static_cast<std::size_t>(f * kBins)]);
        for (int32_t p = 0; p < count; ++p) pins.push_back(&frames[static_cast<std::size_t>(p * kFrames)]);
    }
    float& at(int32_t pin, int32_t frame, int32_t bin) { return pins[static_cast<std::size_t>(pin)][frame][bin]; }
    std::vector<float> values;
    std::vector<float*> frames;
    std::vector<float**> pins;
};

// Silent, equal, left only, right only, mixed, broken, out-of-phase and random
// bins. Without broken bins every ring angle is a number (but where the
// settings make it not one), and a run of bins goes through the passes over
// the whole run; a broken bin carries gains over and sends its run bin by bin.
std::array<float, 4> randomBin(std::mt19937& rng, bool broken = true) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), frequency(0.0f, 24000.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float m = unit(rng) * 4.0f, f = frequency(rng);
    int kind = std::uniform_int_distribution<int>(0, 15)(rng);
    if (!broken && (kind == 6 || kind == 7)) kind = 9;
    switch (kind) {
    case 0: return {f, frequency(rng), 0, 0};
    case 1: return {f, frequency(rng), m, m};
    case 2: return {f, frequency(rng), m, 0};
    case 3: return {f, frequency(rng), 0, m};
    case 4: return {f, frequency(rng), 2 * m, m};
    case 5: return {f, f, unit(rng), unit(rng)};
    case 6: return {kNaN, f, m, unit(rng)};
    case 7: return {f, frequency(rng), unit(rng) < 0.5f ? kNaN : inf, m};
    case 8: return {f, frequency(rng), m, -unit(rng)};  // past a quarter turn: "HFTS" swaps
    default: return {f, frequency(rng), m * unit(rng) * unit(rng), unit(rng)};
    }
}

std::vector<std::pair<Values, bool>> withAndWithoutBrokenBins(const std::vector<Values>& settings) {
    std::vector<std::pair<Values, bool>> runs;
    for (const Values& v : settings) {
        runs.push_back({v, true});
        runs.push_back({v, false});
    }
    return runs;
}

std::vector<Values> settingsFor(int32_t freqMode, int32_t mode, std::mt19937& rng) {
    auto u = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const double C = u(0, 30), LF = u(C, 90), LS = u(LF, 180), RS = u(180, 300), RF = u(RS, 360);
    return {
        {1.0, 360, 30, 60, 45, 315, 0, 120, 240, freqMode, mode},
        {u(0, 1), u(0, 360), u(0, 119), u(0, 120), LF, RF, C, LS, RS, freqMode, mode},
        {0.5, 360, u(0, 119), 0, u(0, 360), u(0, 360), u(0, 360), u(0, 360), u(0, 360), freqMode, mode},
        {0.0, 0, 0, u(0, 120), 45, 315, 0, 120, 240, freqMode, mode},
    };
}

const quorveil::ModuleEntry& arcTanEntry() {
    for (const auto& entry : quorveil::productModules()) {
        if (std::string(entry.uniqueId) == "audio.quorveil.ArcTan4_6") return entry;
    }
    throw std::runtime_error("ArcTan4_6 is not in the module table");
}

// An ArcTan4_6 started as a host starts it, kFrames × kBins, with the
// settings v read through the host's values.
std::unique_ptr<BidulePlugin> startedArcTan(MiniHost& host, const Values& v) {
    std::unique_ptr<BidulePlugin> module(arcTanEntry().create(&host.record));
    PluginBlock* block = module->block();
    EngineInfo engine{};
    engine.frameCount = kFrames;
    engine.binCount = kBins;
    block->dispatch(block, 1, &engine, nullptr);
    block->dispatch(block, 0, nullptr, nullptr);
    host.ints = {{2, v.freqMode}, {7, v.mode}};
    host.reals = {{1, v.r}, {3, v.W}, {4, v.Cw}, {5, v.Fw}, {9, v.LF},
                  {10, v.RF}, {11, v.C}, {12, v.LS}, {13, v.RS}};
    for (int32_t id = 1; id <= 14; ++id) block->dispatch(block, 14, nullptr, &id);
    return module;
}

// Bits that differ between the twelve output pins and `want(frame, bin)`
// (NaN matching NaN), the first five reported.
template <typename Want>
int mismatchesAgainst(Pins& out, Want want) {
    int mismatches = 0;
    for (int32_t f = 0; f < kFrames; ++f) {
        for (int32_t b = 0; b < kBins; ++b) {
            const std::array<float, 12> expected = want(f, b);
            for (int32_t pin = 0; pin < 12; ++pin) {
                const float got = out.at(pin, f, b), w = expected[static_cast<std::size_t>(pin)];
                const bool same = std::memcmp(&got, &w, sizeof got) == 0 || (std::isnan(got) && std::isnan(w));
                if (!same && ++mismatches <= 5) {
                    ADD_FAILURE() << "frame " << f << " bin " << b << " pin " << pin << ": got " << got
                                  << ", expected " << w;
                }
            }
        }
    }
    return mismatches;
}

TEST(ArcTanPlacement, MatchesTheReferenceBitForBitInEveryModeAndFreqMode) {
    std::mt19937 rng(20240611);
    for (int32_t freqMode = 0; freqMode < 5; ++freqMode) {
        for (int32_t mode = 0; mode < 3; ++mode) {
            for (const auto& [v, broken] : withAndWithoutBrokenBins(settingsFor(freqMode, mode, rng))) {
                SCOPED_TRACE("freqMode " + std::to_string(freqMode) + " mode " + std::to_string(mode) +
                             " W " + std::to_string(v.W) + " Cw " + std::to_string(v.Cw) +
                             (broken ? " with broken bins" : ""));
                MiniHost host;
                const std::unique_ptr<BidulePlugin> module = startedArcTan(host, v);
                PluginBlock* block = module->block();

                Pins frequency(2), magnitude(2), out(12);
                for (int32_t f = 0; f < kFrames; ++f) {
                    for (int32_t b = 0; b < kBins; ++b) {
                        const auto bin = randomBin(rng, broken);
                        frequency.at(0, f, b) = bin[0];
                        frequency.at(1, f, b) = bin[1];
                        magnitude.at(0, f, b) = bin[2];
                        magnitude.at(1, f, b) = bin[3];
                    }
                }
                block->process(block, nullptr, nullptr, nullptr, nullptr, frequency.pins.data(), nullptr,
                               magnitude.pins.data(), out.pins.data(), nullptr, nullptr);
                Reference reference(v);
                EXPECT_EQ(mismatchesAgainst(out,
                                            [&](int32_t f, int32_t b) {
                                                return reference.place(frequency.at(0, f, b), frequency.at(1, f, b),
                                                                       magnitude.at(0, f, b), magnitude.at(1, f, b));
                                            }),
                          0);
            }
        }
    }
}

// A host may hand an input frame back as an output (processing in place), or
// lay an output over another bin of an input. Either way each bin is read
// before it is written, so in place gives what separate frames give, bit for
// bit; with an output one bin ahead of an input, each bin reads what the bin
// before it wrote.
TEST(ArcTanPlacement, OutputsSharingInputFramesGiveWhatBinByBinGives) {
    const struct {
        const char* what;
        int32_t magnitudePinOut0;  // output pin 0 on magnitude input L's frames
        int32_t ahead;             // ... that many bins ahead of them
    } cases[] = {
        {"separate frames", -1, 0},
        {"LF dominant out in place of L magnitude in", 0, 0},
        {"ring angle out in place of L magnitude in", 11, 0},
        {"LF dominant out one bin ahead of L magnitude in", 0, 1},
        {"position out one bin ahead of L magnitude in", 10, 1},
    };
    std::mt19937 rng(99);
    for (int32_t mode = 0; mode < 3; ++mode) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", mode " + std::to_string(mode));
            const Values v{0.7, 360, 30, 60, 45, 315, 0, 120, 240, 0, mode};
            Pins frequency(2), magnitude(2), out(12);
            for (int32_t f = 0; f < kFrames; ++f) {
                for (int32_t b = 0; b < kBins; ++b) {
                    const auto bin = randomBin(rng, false);
                    frequency.at(0, f, b) = bin[0];
                    frequency.at(1, f, b) = bin[1];
                    magnitude.at(0, f, b) = bin[2];
                    magnitude.at(1, f, b) = bin[3];
                }
            }
            // The expected outputs, bin by bin from the reference, each bin
            // reading the L magnitude as the earlier bins' writes left it.
            std::vector<float> leftMagnitude(magnitude.values.begin(),
                                             magnitude.values.begin() + kFrames * kBins);
            leftMagnitude.push_back(0.0f);
            Reference reference(v);
            std::vector<std::array<float, 12>> expected;
            for (int32_t f = 0; f < kFrames; ++f) {
                for (int32_t b = 0; b < kBins; ++b) {
                    const std::size_t at = static_cast<std::size_t>(f * kBins + b);
                    expected.push_back(reference.place(frequency.at(0, f, b), frequency.at(1, f, b),
                                                       leftMagnitude[at], magnitude.at(1, f, b)));
                    if (c.magnitudePinOut0 >= 0) {
                        leftMagnitude[at + static_cast<std::size_t>(c.ahead)] =
                            expected.back()[static_cast<std::size_t>(c.magnitudePinOut0)];
                    }
                }
            }
            // L's frames in a store of their own with a bin of room after them.
            std::vector<float> store(leftMagnitude.size());
            std::copy(magnitude.values.begin(), magnitude.values.begin() + kFrames * kBins,
                      store.begin());
            std::vector<float*> sharedFrames(static_cast<std::size_t>(kFrames));
            for (int32_t f = 0; f < kFrames; ++f) {
                magnitude.frames[static_cast<std::size_t>(f)] = store.data() + f * kBins;
                sharedFrames[static_cast<std::size_t>(f)] = store.data() + f * kBins + c.ahead;
            }
            if (c.magnitudePinOut0 >= 0) {
                out.pins[static_cast<std::size_t>(c.magnitudePinOut0)] = sharedFrames.data();
            }

            MiniHost host;
            const std::unique_ptr<BidulePlugin> module = startedArcTan(host, v);
            PluginBlock* block = module->block();
            block->process(block, nullptr, nullptr, nullptr, nullptr, frequency.pins.data(), nullptr,
                           magnitude.pins.data(), out.pins.data(), nullptr, nullptr);
            EXPECT_EQ(mismatchesAgainst(out,
                                        [&](int32_t f, int32_t b) {
                                            return expected[static_cast<std::size_t>(f * kBins + b)];
                                        }),
                      0);
        }
    }
}

}  // namespace
