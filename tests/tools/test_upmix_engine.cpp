// SPDX-License-Identifier: GPL-3.0-or-later
// The streaming upmix engine as a real-time plug-in lives with it: the output
// does not depend on how the input is cut, it trails the input by exactly the
// latency it reports, reset() makes it new, nothing allocates once it is
// built, and every control does what it says between blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numbers>
#include <random>

#include "host/spectral/UpmixEngine.h"
#include "host/spectral/UpmixStream.h"
#include "tests/tools/ToolSupport.h"

// Every allocation of this test program passes here; while `counting` is
// set, it is counted. GCC sees the library's deletes meet our free() and
// cannot know this new is the one they pair with.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

namespace {
void* counted(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
}  // namespace

// Every plain form, so that no allocation meets a delete of another family.
void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace quorveil::spectral {
namespace {

// The default layout, 5.1, in file order.
constexpr std::size_t kUpmixChannels = 6;
enum : int { FL, FR, FC, LFE, BL, BR };
const char* channelName(std::size_t c) { return defaultLayout().speakers[c].name; }
using Channels = std::array<std::vector<float>, kUpmixChannels>;

// A source panned a quarter left over decorrelated noise 10 dB down.
struct Stereo {
    std::vector<float> left, right;
};
Stereo mixture(std::size_t frames, unsigned seed = 3) {
    std::mt19937 random(seed);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    Stereo s;
    for (std::size_t t = 0; t < frames; ++t) {
        const float source = normal(random);
        s.left.push_back(0.92f * source + 0.03f * normal(random));
        s.right.push_back(0.38f * source + 0.03f * normal(random));
    }
    return s;
}

UpmixSetup setupWith(const UpmixControls& controls) {
    UpmixSetup setup;
    setup.controls = controls;
    return setup;
}

// The engine's raw output (latency included), `block` samples per call;
// `blocks` gives the lengths in turn when not empty.
Channels processInBlocks(UpmixEngine& engine, const Stereo& in, std::vector<std::size_t> blocks) {
    Channels out;
    for (auto& channel : out) channel.assign(in.left.size(), 0.0f);
    std::size_t at = 0, turn = 0;
    while (at < in.left.size()) {
        const std::size_t n = std::min(blocks[turn++ % blocks.size()], in.left.size() - at);
        float* pointers[kUpmixChannels];
        for (std::size_t c = 0; c < kUpmixChannels; ++c) pointers[c] = out[c].data() + at;
        engine.process(in.left.data() + at, in.right.data() + at, pointers, n);
        at += n;
    }
    return out;
}

double energy(const std::vector<float>& x, std::size_t from = 0) {
    double sum = 0.0;
    for (std::size_t i = from; i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    return sum;
}

double decibels(double ratio) { return 10.0 * std::log10(ratio); }

class UpmixEngineTest : public ::testing::Test {
protected:
    host::PluginLibrary library{QUORVEIL_LIBRARY_PATH};
};

TEST_F(UpmixEngineTest, OutputDoesNotDependOnHowTheInputIsCut) {
    const Stereo in = mixture((testing::kSanitized ? 1 : 3) * 44100 + 77);
    UpmixControls busy;  // every stage at work: ATF, LFE, delay, levels
    busy.method = UpmixMethod::ArcTan;
    busy.atf = true;
    busy.lfeCutoffHz = 120.0;
    busy.width = 0.7;
    busy.centreDb = -3.0;
    const UpmixControls configurations[] = {UpmixControls{}, busy};
    const std::vector<std::size_t> cuts[] = {{1}, {256}, {4097}, {0, 5, 0, 1000, 511, 3}};
    for (const UpmixControls& controls : configurations) {
        SCOPED_TRACE(methodName(controls.method));
        UpmixEngine whole(library, setupWith(controls));
        const Channels expected = processInBlocks(whole, in, {in.left.size()});
        for (const std::vector<std::size_t>& blocks : cuts) {
            SCOPED_TRACE("first block " + std::to_string(blocks[0]));
            UpmixEngine cut(library, setupWith(controls));
            EXPECT_EQ(processInBlocks(cut, in, blocks), expected);
        }
    }
}

TEST_F(UpmixEngineTest, OutputTrailsTheInputByTheLatencyItReports) {
    std::mt19937 random(9);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    Stereo in;  // hard left: FL is the input itself
    for (int t = 0; t < 44100; ++t) {
        in.left.push_back(normal(random));
        in.right.push_back(0.0f);
    }
    const struct {
        int fftSize, overlap;
    } sizes[] = {{2048, 4}, {1024, 8}, {4096, 2}, {512, 16}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.fftSize) + "/" + std::to_string(size.overlap));
        UpmixSetup setup;
        setup.fftSize = size.fftSize;
        setup.overlap = size.overlap;
        UpmixEngine engine(library, setup);
        // The FFT's, one hop of look-ahead and the limiter's quarter hop.
        const int hop = size.fftSize / size.overlap;
        EXPECT_EQ(engine.latency(), size.fftSize + hop + hop / 4);
        const Channels out = processInBlocks(engine, in, {333});
        const auto latency = static_cast<std::size_t>(engine.latency());
        double error = 0.0, signal = 0.0;
        for (std::size_t t = latency + size.fftSize; t < in.left.size(); ++t) {
            const double d = out[FL][t] - in.left[t - latency];
            error += d * d;
            signal += static_cast<double>(in.left[t - latency]) * in.left[t - latency];
        }
        EXPECT_LT(decibels(error / signal), -60.0);
    }
}

TEST_F(UpmixEngineTest, ResetMakesItNew) {
    const Stereo before = mixture(20000, 1), after = mixture(30000, 2);
    UpmixControls loud;
    loud.gainDb = 30.0;  // clips, so the count has something to forget
    loud.limiter = false;
    loud.lfeCutoffHz = 80.0;
    UpmixEngine used(library, setupWith(loud));
    processInBlocks(used, before, {512});
    EXPECT_GT(used.clippedSamples(), 0u);
    used.reset();
    EXPECT_EQ(used.clippedSamples(), 0u);
    UpmixEngine fresh(library, setupWith(loud));
    EXPECT_EQ(processInBlocks(used, after, {700}), processInBlocks(fresh, after, {700}));
    EXPECT_EQ(used.clippedSamples(), fresh.clippedSamples());
}

// A band-limited source hard-panned, jumping sides: one channel is digital
// silence, and above the band the other holds only the float's rounding
// noise, so a jump there meets a background of next to nothing. Whatever
// the method, every output sample is a number.
TEST_F(UpmixEngineTest, AHardPannedBandLimitedSourceJumpingSidesGivesOnlyNumbers) {
    constexpr std::size_t kLength = 2 * 44100;
    const struct {
        double topHz;             // the source: 100 tones from 100 Hz to here
        std::size_t sideSamples;  // how long it stays on a side
    } sources[] = {{8000.0, 4410}, {10000.0, 4410}};
    for (const auto& source : sources) {
        std::mt19937 random(2);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        std::vector<double> tone(kLength, 0.0);
        for (int i = 0; i < 100; ++i) {
            const double hz = 100.0 + uniform(random) * (source.topHz - 100.0);
            const std::complex<double> step = std::polar(1.0, 2.0 * std::numbers::pi * hz / 44100.0);
            std::complex<double> phasor = std::polar(0.014, 2.0 * std::numbers::pi * uniform(random));
            for (std::size_t t = 0; t < kLength; ++t, phasor *= step) tone[t] += phasor.imag();
        }
        Stereo in;
        for (std::size_t t = 0; t < kLength; ++t) {
            const bool left = (t / source.sideSamples) % 2 == 0;
            in.left.push_back(left ? static_cast<float>(tone[t]) : 0.0f);
            in.right.push_back(left ? 0.0f : static_cast<float>(tone[t]));
        }
        for (UpmixMethod method : {UpmixMethod::Slice, UpmixMethod::CC, UpmixMethod::ArcTan}) {
            SCOPED_TRACE(::testing::Message() << source.topHz << " Hz, " << source.sideSamples
                                              << " samples a side, method " << static_cast<int>(method));
            UpmixControls controls;
            controls.method = method;
            UpmixEngine engine(library, setupWith(controls));
            const Channels out = processInBlocks(engine, in, {512});
            for (std::size_t c = 0; c < kUpmixChannels; ++c) {
                const auto numbers = std::count_if(out[c].begin(), out[c].end(),
                                                   [](float x) { return std::isfinite(x); });
                EXPECT_EQ(static_cast<std::size_t>(numbers), out[c].size()) << channelName(c);
            }
        }
    }
}

// The engine's raw output over `in`, cut into `blocks` in turn, with
// turns[i % turns.size()] set before block i.
Channels processWithTurns(UpmixEngine& engine, const Stereo& in, const std::vector<std::size_t>& blocks,
                          const std::vector<UpmixControls>& turns) {
    Channels out;
    for (auto& channel : out) channel.assign(in.left.size(), 0.0f);
    std::size_t at = 0, turn = 0;
    while (at < in.left.size()) {
        engine.setControls(turns[turn % turns.size()]);
        const std::size_t n = std::min(blocks[turn % blocks.size()], in.left.size() - at);
        ++turn;
        float* pointers[kUpmixChannels];
        for (std::size_t c = 0; c < kUpmixChannels; ++c) pointers[c] = out[c].data() + at;
        engine.process(in.left.data() + at, in.right.data() + at, pointers, n);
        at += n;
    }
    return out;
}

// Bit for bit: `later` is `earlier` delayed by `shift` samples (the leading
// `shift` samples of `later` are silence).
::testing::AssertionResult sameSamplesLater(const Channels& earlier, const Channels& later,
                                            std::size_t shift) {
    for (std::size_t c = 0; c < kUpmixChannels; ++c) {
        const std::size_t n = later[c].size() - shift;
        for (std::size_t t = 0; t < shift; ++t) {
            if (later[c][t] != 0.0f) {
                return ::testing::AssertionFailure() << channelName(c) << " sample " << t
                                                     << " is not silent";
            }
        }
        if (std::memcmp(later[c].data() + shift, earlier[c].data(), n * sizeof(float)) != 0) {
            return ::testing::AssertionFailure() << channelName(c) << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

UpmixSetup onThreads(const UpmixControls& controls, int threads) {
    UpmixSetup setup = setupWith(controls);
    setup.threads = threads;
    return setup;
}

// Two threads give one thread's samples bit for bit, a few hops later, for
// every method with and without ATF4_6, every stage at work and loud enough
// to clip, however the input is cut; and the clip counts agree.
TEST_F(UpmixEngineTest, TwoThreadsGiveTheSamplesOfOneLater) {
    Stereo in = mixture((testing::kSanitized ? 44100 / 2 : 2 * 44100) + 333, 5);
    in.left.resize(in.left.size() + 4 * 4096, 0.0f);  // lets every hop out of both
    in.right.resize(in.right.size() + 4 * 4096, 0.0f);
    const std::vector<std::size_t> cuts[] = {{4096}, {1, 511, 513, 0, 77}, {3 * 44100}};
    for (const UpmixMethodEntry& method : upmixMethodTable()) {
        for (const bool atf : {false, true}) {
            SCOPED_TRACE(std::string(method.name) + (atf ? " + atf" : ""));
            UpmixControls controls;
            controls.method = method.method;
            controls.atf = atf;
            controls.lfeCutoffHz = 120.0;
            controls.rearDelayMs = 13.0;
            controls.gainDb = 14.0;
            UpmixEngine one(library, onThreads(controls, 1));
            const Channels expected = processInBlocks(one, in, {in.left.size()});
            for (const std::vector<std::size_t>& blocks : cuts) {
                SCOPED_TRACE("first block " + std::to_string(blocks[0]));
                UpmixEngine two(library, onThreads(controls, 2));
                ASSERT_EQ(two.threads(), 2);
                ASSERT_GT(two.latency(), one.latency());
                const auto shift = static_cast<std::size_t>(two.latency() - one.latency());
                EXPECT_TRUE(sameSamplesLater(expected, processInBlocks(two, in, blocks), shift));
                EXPECT_EQ(two.clippedSamples(), one.clippedSamples());
            }
        }
    }
}

// Controls set between blocks reach the worker's half in hop order, and a
// reset in mid-stream forgets as much on two threads as on one.
TEST_F(UpmixEngineTest, TwoThreadsFollowControlsAndResetsAsOneDoes) {
    const Stereo in = mixture(3 * 44100, 6);
    std::vector<UpmixControls> turns(5);
    turns[1].method = UpmixMethod::ArcTan;
    turns[1].lfeCutoffHz = 90.0;
    turns[2].method = UpmixMethod::CC;
    turns[2].atf = true;
    turns[2].rearDelayMs = 60.0;
    turns[3].gainDb = -9.0;
    turns[3].width = 0.3;
    turns[4].smoothMs = 25.0;
    turns[4].lfeCutoffHz = 200.0;
    const std::vector<std::size_t> blocks{3000, 1, 4097, 256};
    UpmixEngine one(library, onThreads({}, 1)), two(library, onThreads({}, 2));
    const auto shift = static_cast<std::size_t>(two.latency() - one.latency());
    EXPECT_TRUE(sameSamplesLater(processWithTurns(one, in, blocks, turns),
                                 processWithTurns(two, in, blocks, turns), shift));

    one.reset();
    two.reset();
    EXPECT_EQ(one.clippedSamples(), 0u);
    EXPECT_EQ(two.clippedSamples(), 0u);
    EXPECT_TRUE(sameSamplesLater(processWithTurns(one, in, {700}, {turns[2]}),
                                 processWithTurns(two, in, {700}, {turns[2]}), shift));
}

// The limiter's report counts what a caller keeps: the same on one thread
// and two, although two push a longer latency out after the input, and the
// limiter still releases while it does.
TEST_F(UpmixEngineTest, LimiterReportCountsOnlyTheSamplesKept) {
    const Stereo in = mixture(44100, 4);
    UpmixControls loud;
    loud.gainDb = 14.0;
    LimiterActivity activity[2];
    for (const int threads : {1, 2}) {
        UpmixEngine engine(library, onThreads(loud, threads));
        std::vector<std::vector<float>> out;
        upmixBuffers(engine, in.left.data(), in.right.data(), in.left.size(), out);
        activity[threads - 1] = engine.limiterActivity();
    }
    EXPECT_GT(activity[0].samples, 0u);
    EXPECT_LE(activity[0].samples, in.left.size());
    EXPECT_EQ(activity[1].samples, activity[0].samples);
    EXPECT_EQ(activity[1].deepestGain, activity[0].deepestGain);
}

TEST_F(UpmixEngineTest, ClipCountIsThePositionsWhereAChannelReachesFullScale) {
    // Silence after the sound lets every processed sample out.
    Stereo in = mixture(44100);
    in.left.resize(44100 + 3 * 2048, 0.0f);
    in.right.resize(44100 + 3 * 2048, 0.0f);
    UpmixControls loud;
    loud.gainDb = 18.0;
    loud.limiter = false;
    UpmixEngine engine(library, setupWith(loud));
    const Channels out = processInBlocks(engine, in, {1024});
    uint64_t positions = 0;
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        bool over = false;
        for (const auto& channel : out) over = over || channel[t] >= 1.0f;
        positions += over ? 1 : 0;
    }
    EXPECT_GT(positions, 0u);
    EXPECT_EQ(engine.clippedSamples(), positions);
}

TEST_F(UpmixEngineTest, NeitherProcessNorControlChangesAllocate) {
    const Stereo in = mixture(44100);
    // On two threads too: the worker's half allocates nothing either.
    for (const int threads : {1, 2}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        UpmixEngine engine(library, onThreads({}, threads));
        Channels out;
        for (auto& channel : out) channel.assign(in.left.size(), 0.0f);
        float* pointers[kUpmixChannels];
        std::vector<UpmixControls> turns(6);
        turns[1].method = UpmixMethod::ArcTan;
        turns[1].atf = true;
        turns[2].method = UpmixMethod::CC;
        turns[2].lfeCutoffHz = 150.0;
        turns[3].smoothMs = 30.0;
        turns[3].rearDelayMs = 40.0;
        turns[4].gainDb = 30.0;  // Clip4_6 lights its indicator
        turns[5].width = 0.0;
        turns[5].ambienceDb = -20.0;

        counting = true;
        { const std::vector<int> witness(3); }  // the count works
        counting = false;
        ASSERT_EQ(allocations.exchange(0), 1);
        engine.clippedSamples();  // with the worker: until it has finished

        counting = true;
        std::size_t at = 0, turn = 0;
        while (at < in.left.size()) {
            engine.setControls(turns[turn++ % turns.size()]);
            const std::size_t n = std::min<std::size_t>(1500, in.left.size() - at);
            for (std::size_t c = 0; c < kUpmixChannels; ++c) pointers[c] = out[c].data() + at;
            engine.process(in.left.data() + at, in.right.data() + at, pointers, n);
            at += n;
        }
        engine.reset();
        engine.clippedSamples();
        counting = false;
        EXPECT_EQ(allocations.exchange(0), 0);
    }
}

// Each control against the defaults, on a signal that shows it.
// A host automates the rear delay while sound plays: the surrounds move
// from one delay to the next by a cross-fade, never by a jump, so a steady
// low tone behind stays as smooth as it was. A jump shows as a step between
// samples up to twice the tone's peak, against the tone's own steps of
// ω·peak (a linear cross-fade over a hop adds at most 2·peak/hop to them).
TEST_F(UpmixEngineTest, RearDelayChangesWithoutAClick) {
    constexpr double kRate = 44100.0, kHz = 150.0;
    const std::size_t frames = 3 * 44100;
    Stereo behind;  // L = -R: all of it to BL and BR
    for (std::size_t t = 0; t < frames; ++t) {
        const float x = 0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * kHz * t / kRate));
        behind.left.push_back(x);
        behind.right.push_back(-x);
    }
    const struct {
        double fromMs, toMs;
    } changes[] = {{0.0, 30.0}, {30.0, 7.3}, {12.0, 0.0}, {5.0, 100.0}};
    for (const auto& change : changes) {
        SCOPED_TRACE(std::to_string(change.fromMs) + " ms to " + std::to_string(change.toMs) + " ms");
        UpmixControls controls;
        controls.rearDelayMs = change.fromMs;
        UpmixEngine engine(library, setupWith(controls));
        Channels out;
        for (auto& channel : out) channel.assign(frames, 0.0f);
        constexpr std::size_t kBlock = 333, kChangeAt = 1 * 44100;
        for (std::size_t at = 0; at < frames; at += kBlock) {
            if (at >= kChangeAt && at < kChangeAt + kBlock) {
                controls.rearDelayMs = change.toMs;
                engine.setControls(controls);
            }
            const std::size_t n = std::min(kBlock, frames - at);
            float* pointers[kUpmixChannels];
            for (std::size_t c = 0; c < kUpmixChannels; ++c) pointers[c] = out[c].data() + at;
            engine.process(behind.left.data() + at, behind.right.data() + at, pointers, n);
        }
        auto roughest = [&](const std::vector<float>& x, std::size_t from, std::size_t to) {
            double most = 0.0;
            for (std::size_t t = from + 1; t + 1 < to; ++t) {
                most = std::max(most, std::fabs(double(x[t]) - x[t - 1]));
            }
            return most;
        };
        const std::size_t settled = kChangeAt / 2;
        for (int c : {BL, BR}) {
            const double steady = roughest(out[c], settled, kChangeAt);
            ASSERT_GT(steady, 0.0) << channelName(c);
            EXPECT_LE(roughest(out[c], kChangeAt, frames), 1.5 * steady) << channelName(c);
        }
    }
}

TEST_F(UpmixEngineTest, EveryControlDoesWhatItSays) {
    std::mt19937 random(4);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    const std::size_t frames = 2 * 44100;
    Stereo hardLeft, centred, decorrelated;
    for (std::size_t t = 0; t < frames; ++t) {
        const float a = normal(random), b = normal(random);
        hardLeft.left.push_back(a);
        hardLeft.right.push_back(0.0f);
        centred.left.push_back(a * 0.7f);
        centred.right.push_back(a * 0.7f);
        decorrelated.left.push_back(a);
        decorrelated.right.push_back(b);
    }
    auto run = [&](const Stereo& in, const UpmixControls& controls) {
        UpmixEngine engine(library, setupWith(controls));
        std::vector<std::vector<float>> channels;
        upmixBuffers(engine, in.left.data(), in.right.data(), frames, channels);
        Channels out;
        for (std::size_t c = 0; c < kUpmixChannels; ++c) out[c] = std::move(channels[c]);
        return out;
    };
    auto total = [](const Channels& out) {
        double sum = 0.0;
        for (const auto& channel : out) sum += energy(channel);
        return sum;
    };
    const Channels plainLeft = run(hardLeft, {}), plainCentre = run(centred, {}),
                   plainAmbience = run(decorrelated, {});

    {
        SCOPED_TRACE("--width 0 puts the whole front image in FC");
        UpmixControls c;
        c.width = 0.0;
        const Channels out = run(hardLeft, c);
        EXPECT_GT(energy(out[FC]) / total(out), 0.99);
    }
    {
        SCOPED_TRACE("--width 0.5 keeps a quarter of a side's power at the side");
        UpmixControls c;
        c.width = 0.5;
        const Channels out = run(hardLeft, c);
        EXPECT_NEAR(energy(out[FL]) / total(out), 0.25, 0.01);
    }
    {
        SCOPED_TRACE("--centre -6 lowers FC by 6 dB");
        UpmixControls c;
        c.centreDb = -6.0;
        EXPECT_NEAR(decibels(energy(run(centred, c)[FC]) / energy(plainCentre[FC])), -6.0, 0.01);
    }
    {
        // Decorrelated sound is ambience, but for the scatter of the averages
        // that reads a little of it as direct.
        SCOPED_TRACE("--ambience -6 lowers the rears of decorrelated sound by 6 dB");
        UpmixControls c;
        c.ambienceDb = -6.0;
        const Channels out = run(decorrelated, c);
        EXPECT_NEAR(decibels((energy(out[BL]) + energy(out[BR])) /
                             (energy(plainAmbience[BL]) + energy(plainAmbience[BR]))),
                    -6.0, 1.0);
    }
    {
        SCOPED_TRACE("--rear-delay 20 delays BL and BR by 882 samples and nothing else");
        UpmixControls none, delayed;
        none.rearDelayMs = 0.0;
        delayed.rearDelayMs = 20.0;
        const Channels early = run(decorrelated, none), late = run(decorrelated, delayed);
        for (int c : {BL, BR}) {
            const std::vector<float> shifted(early[static_cast<std::size_t>(c)].begin(),
                                             early[static_cast<std::size_t>(c)].end() - 882);
            EXPECT_TRUE(std::equal(shifted.begin(), shifted.end(),
                                   late[static_cast<std::size_t>(c)].begin() + 882));
        }
        EXPECT_EQ(early[FL], late[FL]);
    }
    {
        SCOPED_TRACE("--gain -6 scales every channel");
        UpmixControls c;
        c.gainDb = -6.0;
        const Channels out = run(centred, c);
        EXPECT_NEAR(decibels(total(out) / total(plainCentre)), -6.0, 0.01);
    }
    {
        // A source that moves from a little left of the centre to a little
        // right at one level, each channel by less than an onset (no event to
        // hurry the averages): the shorter time constant brings it to the
        // right sooner.
        SCOPED_TRACE("shorter --smooth follows a moving source sooner");
        Stereo moving;
        moving.left.resize(frames);
        moving.right.resize(frames);
        for (std::size_t t = 0; t < frames; ++t) {
            const float left = t < frames / 2 ? 0.78f : 0.62f;  // R the other way round
            moving.left[t] = hardLeft.left[t] * left;
            moving.right[t] = hardLeft.left[t] * (1.4f - left);
        }
        UpmixControls quick, slow;
        quick.smoothMs = 20.0;
        slow.smoothMs = 1000.0;
        auto rightwardAfterTheMove = [&](const Channels& out) {
            double right = 0.0, all = 0.0;
            for (std::size_t t = frames / 2; t < frames / 2 + 4410; ++t) {
                for (std::size_t c = 0; c < kUpmixChannels; ++c) all += out[c][t] * out[c][t];
                right += out[FR][t] * out[FR][t] - out[FL][t] * out[FL][t];
            }
            return right / all;
        };
        EXPECT_GT(rightwardAfterTheMove(run(moving, quick)), rightwardAfterTheMove(run(moving, slow)) + 0.1);
    }
    EXPECT_EQ(energy(plainLeft[LFE]), 0.0);
}

TEST_F(UpmixEngineTest, ControlsOutOfRangeAreNamedAndClampedOnTheAudioThread) {
    UpmixControls wild;
    wild.width = 7.0;
    wild.smoothMs = NAN;
    wild.gainDb = 1e9;
    EXPECT_EQ(checkControls(wild), "--width wants 0 to 1");
    EXPECT_EQ(checkControls(UpmixControls{}), "");
    EXPECT_THROW(UpmixEngine(library, setupWith(wild)), host::HostError);
    UpmixEngine engine(library, UpmixSetup{});
    engine.setControls(wild);
    EXPECT_EQ(engine.controls().width, 1.0);
    EXPECT_EQ(engine.controls().gainDb, controlEntry(&UpmixControls::gainDb).maximum);
    EXPECT_EQ(engine.controls().smoothMs, UpmixControls{}.smoothMs);
    EXPECT_EQ(checkControls(engine.controls()), "");
}

}  // namespace
}  // namespace quorveil::spectral
