// SPDX-License-Identifier: MIT
// ConstantPowerPanner4_6 through the host's interface: records, pins, start,
// parameter reads, the pan law against the speaker angles (ties, gaps, empty
// and fresh blocks), and agreement with an independent model of the law on
// random angles and signals.
#include <bit>
#include <cmath>
#include <random>

#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::HostOp;

constexpr int32_t kPan = 0, kLf = 2, kRf = 3, kC = 4, kLs = 5, kRs = 6;
enum { LF, RF, C, LS, RS };
using Gains = std::array<float, 5>;

struct Speakers {
    double lf = 45, rf = 315, c = 0, ls = 120, rs = 240;
};

struct PannerRun {
    std::unique_ptr<host::HostedInstance> panner = instanceOf("ConstantPowerPanner4_6");
    plogue::biduleSDK::EngineInfo engine;
    host::ProcessBuffers buffers;

    explicit PannerRun(int32_t blockSize)
        : engine(host::makeEngineInfo(48000, blockSize, 1024, 4, 1)),
          buffers(panner->pinCounts(), engine) {
        panner->setEngineInfo(engine);
    }
    void setSpeakers(const Speakers& s) {
        panner->setRealParameter(kLf, s.lf);
        panner->setRealParameter(kRf, s.rf);
        panner->setRealParameter(kC, s.c);
        panner->setRealParameter(kLs, s.ls);
        panner->setRealParameter(kRs, s.rs);
    }
    // One block of a unit input: the outputs are the gains themselves.
    Gains gainsOfNextBlock() {
        buffers.audioIn.fill(1.0f);
        panner->process(buffers);
        Gains g;
        for (int s = 0; s < 5; ++s) g[s] = buffers.audioOut.pin(s)[0];
        return g;
    }
};

TEST(Panner, DescribesItsEightParametersByteForByte) {
    auto panner = instanceOf("ConstantPowerPanner4_6");
    const ExpectedParameter expected[] = {
        expectReal(0, "Pan Angle", 0.0, -180.0, 180.0, "degrees", 2),
        expectReal(2, "LF Speaker Angle", 45.0, 0.0, 360.0, "degrees", 2),
        expectReal(3, "RF Speaker Angle", 315.0, 0.0, 360.0, "degrees", 2),
        expectReal(4, "C Speaker Angle", 0.0, 0.0, 360.0, "degrees", 2),
        expectReal(5, "LS Speaker Angle", 120.0, 0.0, 360.0, "degrees", 2),
        expectReal(6, "RS Speaker Angle", 240.0, 0.0, 360.0, "degrees", 2),
        expectText(1, "Speaker Angles:"),
        expectText(7, "\nVersion:"),
    };
    const auto infos = describeInto(*panner, 0xA5);
    ASSERT_EQ(infos.size(), std::size(expected));
    for (std::size_t i = 0; i < infos.size(); ++i) {
        expectParameterRecord(infos[i], expected[i], 0xA5);
    }
}

TEST(Panner, OneAudioInputFiveSpeakerOutputs) {
    auto panner = instanceOf("ConstantPowerPanner4_6");
    const auto counts = panner->pinCounts();
    EXPECT_EQ(counts.audioIn, 1);
    EXPECT_EQ(counts.audioOut, 5);
    EXPECT_EQ(counts.midiIn + counts.midiOut + counts.frequencyIn + counts.frequencyOut +
                  counts.magnitudeIn + counts.magnitudeOut,
              0);
    EXPECT_EQ(panner->inputPinNames(), (std::vector<std::string>{"audio in"}));
    EXPECT_EQ(panner->outputPinNames(), (std::vector<std::string>{"LF", "RF", "C", "LS", "RS"}));
}

TEST(Panner, StartSendsTheInformationTextOnly) {
    auto panner = instanceOf("ConstantPowerPanner4_6");
    panner->start();
    ASSERT_EQ(panner->serviceLog().size(), 1u);
    EXPECT_EQ(panner->serviceLog()[0].op, HostOp::SetTextValue);
    EXPECT_EQ(panner->serviceLog()[0].id, 7);
    EXPECT_EQ(panner->serviceLog()[0].text, "\nConstantPowerPanner4_6.quorveil.audio");
}

TEST(Panner, ReadsBackTheAngleParametersOnly) {
    const struct {
        int32_t id;
        bool reads;
    } cases[] = {{0, true}, {1, false}, {2, true},  {3, true},  {4, true},
                 {5, true}, {6, true},  {7, false}, {8, false}, {-1, false}};
    for (const auto& c : cases) {
        auto panner = instanceOf("ConstantPowerPanner4_6");
        panner->notifyParameterChanged(c.id);
        const auto& log = panner->serviceLog();
        if (c.reads) {
            ASSERT_EQ(log.size(), 1u) << "id " << c.id;
            EXPECT_EQ(log[0].op, HostOp::GetRealValue);
            EXPECT_EQ(log[0].id, c.id);
        } else {
            EXPECT_TRUE(log.empty()) << "id " << c.id;
        }
    }
}

// Gains with the default speaker angles. Values marked exact are compared as
// such; the others to the five decimals a mixing engineer reads off a meter.
TEST(Panner, PanAnglesLandBetweenTheEnclosingSpeakers) {
    const struct {
        double pan;
        Gains gains;
        bool exact;
    } cases[] = {
        {0, {0, -0.00016f, 1.0f, 0, 0}, false},
        {1, {0, 0.03475f, 0.99940f, 0, 0}, false},
        {-1, {0.03490f, 0, 0.99939f, 0, 0}, false},
        {-45, {1, 0, 0, 0, 0}, true},
        {45, {0, 1.0f, 0, 0, 0.000006f}, false},
        {-90, {0.58769f, 0, 0, 0.80909f, 0}, false},
        {90, {0, 0.58768f, 0, 0, 0.80909f}, false},
        {-120, {0, 0, 0, 1, 0}, true},
        {180, {0, 0, 0, 0.70713f, 0.70709f}, false},
        {-180, {0, 0, 0, 0.70704f, 0.70718f}, false},
    };
    for (const auto& c : cases) {
        PannerRun run(16);
        run.setSpeakers({});
        run.panner->setRealParameter(kPan, c.pan);
        const Gains got = run.gainsOfNextBlock();
        for (int s = 0; s < 5; ++s) {
            if (c.exact || c.gains[s] == 0.0f) {
                EXPECT_EQ(got[s], c.gains[s]) << "pan " << c.pan << " speaker " << s;
            } else {
                EXPECT_NEAR(got[s], c.gains[s], 6e-6) << "pan " << c.pan << " speaker " << s;
            }
        }
        // Constant power: the two non-zero gains lie on the unit circle, up to
        // the short quarter turn near an arc's end.
        float power = 0;
        for (float g : got) power += g * g;
        EXPECT_NEAR(power, 1.0f, 1e-6f) << "pan " << c.pan;
    }
}

// A direction exactly on a speaker belongs to the arc that starts there:
// full gain on that speaker, 0 (not a tiny cosine) on every other.
TEST(Panner, DirectionOnASpeakerGivesThatSpeakerAlone) {
    const struct {
        const char* what;
        double pan, centreAngle;
        int speaker;
    } cases[] = {
        {"LF at 45", -45, 0, LF},
        {"LS at 120", -120, 0, LS},
        {"RS at 240 (359.99 - 119.99)", 119.99, 0, RS},
        {"RF at 315 (359.99 - 44.99)", 44.99, 0, RF},
        {"C moved to 10", -10, 10, C},
    };
    for (const auto& c : cases) {
        PannerRun run(8);
        Speakers speakers;
        speakers.c = c.centreAngle;
        run.setSpeakers(speakers);
        run.panner->setRealParameter(kPan, c.pan);
        const Gains got = run.gainsOfNextBlock();
        for (int s = 0; s < 5; ++s) {
            EXPECT_EQ(got[s], s == c.speaker ? 1.0f : 0.0f) << c.what << ", speaker " << s;
        }
    }
}

TEST(Panner, FreshModulePansToCentreWithTheShortQuarterTurn) {
    PannerRun run(8);
    const Gains got = run.gainsOfNextBlock();
    EXPECT_EQ(got[C], 1.0f);
    EXPECT_NEAR(got[RF], -0.0002f, 0.00005f);
    EXPECT_LT(got[RF], 0.0f);
    EXPECT_EQ(got[LF], 0.0f);
    EXPECT_EQ(got[LS], 0.0f);
    EXPECT_EQ(got[RS], 0.0f);
}

// Directions no arc covers keep whatever the previous block used; before any
// arc has matched that is silence.
TEST(Panner, UncoveredDirectionKeepsThePreviousGains) {
    Speakers gap;
    gap.c = 10;  // nothing covers 0 to 10 degrees

    PannerRun silent(8);
    silent.setSpeakers(gap);
    silent.panner->setRealParameter(kPan, -5);
    EXPECT_EQ(silent.gainsOfNextBlock(), (Gains{0, 0, 0, 0, 0}));

    PannerRun run(8);
    run.setSpeakers(gap);
    run.panner->setRealParameter(kPan, -30);
    const Gains before = run.gainsOfNextBlock();
    ASSERT_GT(before[C], 0.0f);
    ASSERT_GT(before[LF], 0.0f);
    run.panner->setRealParameter(kPan, -5);
    for (int i = 0; i < 8; ++i) run.buffers.audioIn.pin(0)[i] = 0.125f * static_cast<float>(i - 3);
    run.panner->process(run.buffers);
    for (int s = 0; s < 5; ++s) {
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(run.buffers.audioOut.pin(s)[i], before[s] * run.buffers.audioIn.pin(0)[i]);
        }
    }
}

TEST(Panner, EmptyBlockWritesNothingButMovesTheGains) {
    PannerRun run(4);
    run.setSpeakers({.c = 10});
    run.buffers.audioOut.fill(7.0f);
    auto empty = host::makeEngineInfo(48000, 0, 1024, 4, 1);
    run.panner->setEngineInfo(empty);
    run.panner->setRealParameter(kPan, -90);
    run.panner->process(run.buffers);
    for (int s = 0; s < 5; ++s) EXPECT_EQ(run.buffers.audioOut.pin(s)[0], 7.0f);

    // Next block: a direction in the gap shows what the empty block computed.
    run.panner->setEngineInfo(run.engine);
    run.panner->setRealParameter(kPan, -5);
    const Gains got = run.gainsOfNextBlock();
    EXPECT_NEAR(got[LF], 0.58769f, 1e-5f);
    EXPECT_NEAR(got[LS], 0.80909f, 1e-5f);
    EXPECT_EQ(got[C], 0.0f);
}

TEST(Panner, NullPinTablesWriteNothing) {
    PannerRun run(4);
    run.buffers.audioOut.fill(7.0f);
    run.buffers.audioIn.fill(1.0f);
    auto* block = run.panner->block();
    block->process(block, nullptr, run.buffers.audioOut.table(), nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr);
    block->process(block, run.buffers.audioIn.table(), nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr);
    for (int s = 0; s < 5; ++s) EXPECT_EQ(run.buffers.audioOut.pin(s)[0], 7.0f);
    EXPECT_TRUE(run.panner->serviceLog().empty());
}

// A host may hand the input buffer back as one of the outputs.
TEST(Panner, OutputSharingTheInputBufferStillGetsTheDrySignal) {
    PannerRun run(600);
    run.setSpeakers({});
    run.panner->setRealParameter(kPan, -90);
    const Gains gains = run.gainsOfNextBlock();
    std::vector<float> shared(600), dry(600);
    for (int i = 0; i < 600; ++i) dry[i] = shared[i] = std::sin(0.01f * static_cast<float>(i));
    float* in[] = {shared.data()};
    float* out[] = {run.buffers.audioOut.pin(0), run.buffers.audioOut.pin(1),
                    run.buffers.audioOut.pin(2), shared.data(), run.buffers.audioOut.pin(4)};
    run.panner->block()->process(run.panner->block(), in, out, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(out[LF][i], gains[LF] * dry[i]);
        ASSERT_EQ(shared[i], gains[LS] * dry[i]);
    }
}

// A zero-width RF-to-C arc (RF exactly one C turn up, reachable only with
// angles outside their ranges) matches nothing instead of dividing by zero.
TEST(Panner, EmptyFrontArcNeverFillsTheOutputsWithNan) {
    const double rf = 400;
    const float rfRadians = static_cast<float>(static_cast<double>(static_cast<float>(rf)) * 0.0174532);
    double centre = 40.0;
    for (; centre < 40.02; centre += 1e-6) {
        const float c = static_cast<float>(static_cast<double>(static_cast<float>(centre)) * 0.0174532);
        if (static_cast<float>(static_cast<double>(c) + 6.283) == rfRadians) break;
    }
    ASSERT_LT(centre, 40.02) << "no C angle puts the arc's end on RF";
    PannerRun run(4);
    run.setSpeakers({.rf = rf, .c = centre});
    run.panner->setRealParameter(kPan, -rf);
    const Gains got = run.gainsOfNextBlock();
    for (float g : got) EXPECT_FALSE(std::isnan(g));
}

// --- an independent model of the law ----------------------------------------

struct ModelPanner {
    Gains gains{};
    void block(double pan, const Speakers& sp) {
        auto rad = [](double degrees) {
            return static_cast<float>(static_cast<double>(static_cast<float>(degrees)) * 0.0174532);
        };
        const float p = static_cast<float>(pan);
        float theta;
        if (p >= 0.0f)
            theta = static_cast<float>(359.99 - static_cast<double>(p));
        else
            theta = -p;
        theta = rad(theta);
        const float lf = rad(sp.lf), rf = rad(sp.rf), c = rad(sp.c), ls = rad(sp.ls),
                    rs = rad(sp.rs);
        const float cEnd = static_cast<float>(static_cast<double>(c) + 6.283);
        auto set = [&](float a, float b, int first, int second) {
            const float ratio = (theta - a) / (b - a);
            const float x = static_cast<float>(static_cast<double>(ratio) * 1.571);
            gains = {};
            gains[first] = static_cast<float>(std::cos(static_cast<double>(x)));
            gains[second] = static_cast<float>(std::sin(static_cast<double>(x)));
        };
        if (theta >= rf && rf < cEnd) set(rf, cEnd, RF, C);
        if (c <= theta && theta < lf) set(c, lf, C, LF);
        if (lf <= theta && theta < ls) set(lf, ls, LF, LS);
        if (ls <= theta && theta < rs) set(ls, rs, LS, RS);
        if (rs <= theta && theta < rf) set(rs, rf, RS, RF);
    }
};

// Distance in units in the last place; 0 for equal values (and +0 / -0).
uint32_t ulps(float a, float b) {
    if (a == b) return 0;
    auto ordered = [](float v) {
        const auto bits = std::bit_cast<int32_t>(v);
        return bits < 0 ? static_cast<int64_t>(INT32_MIN) - bits : static_cast<int64_t>(bits);
    };
    const int64_t d = ordered(a) - ordered(b);
    return static_cast<uint32_t>(std::min<int64_t>(d < 0 ? -d : d, UINT32_MAX));
}

TEST(Panner, MatchesAnIndependentModelOnRandomAnglesAndSignals) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> panAngle(-180.0, 180.0), anyAngle(0.0, 360.0),
        jitter(-20.0, 20.0);
    std::uniform_real_distribution<float> sample(-1.5f, 1.5f);
    std::uniform_int_distribution<int> blockSize(0, 700), style(0, 3);

    PannerRun run(700);
    ModelPanner model;
    int blocksWithGaps = 0;
    for (int b = 0; b < 3000; ++b) {
        Speakers sp;
        switch (style(random)) {
        case 0: break;  // the defaults
        case 1: sp = {45 + jitter(random), 315 + jitter(random), 10 + jitter(random) / 2,
                      120 + jitter(random), 240 + jitter(random)};
            break;
        default: sp = {anyAngle(random), anyAngle(random), anyAngle(random), anyAngle(random),
                       anyAngle(random)};
        }
        // Some directions exactly on a speaker.
        double pan = panAngle(random);
        if (b % 17 == 0) pan = -std::min(sp.lf, 180.0);
        const int32_t n = blockSize(random);
        run.engine.blockSize = n;
        run.panner->setEngineInfo(run.engine);
        run.setSpeakers(sp);
        run.panner->setRealParameter(kPan, pan);

        const Gains before = model.gains;
        model.block(pan, sp);
        if (model.gains == before) ++blocksWithGaps;

        float* in = run.buffers.audioIn.pin(0);
        for (int32_t i = 0; i < n; ++i) in[i] = sample(random);
        if (n > 0) in[0] = 1.0f;  // the gains themselves, on sample 0
        run.buffers.audioOut.fill(99.0f);
        run.panner->process(run.buffers);
        for (int s = 0; s < 5; ++s) {
            const float* out = run.buffers.audioOut.pin(s);
            if (n == 0) {
                ASSERT_EQ(out[0], 99.0f);
                continue;
            }
            const float gain = out[0];
            ASSERT_LE(ulps(gain, model.gains[s]), 1u)
                << "block " << b << " speaker " << s << " pan " << pan << ": " << gain
                << " vs " << model.gains[s];
            for (int32_t i = 0; i < n; ++i) ASSERT_EQ(out[i], gain * in[i]) << "sample " << i;
            if (n < 700) {
                ASSERT_EQ(out[n], 99.0f) << "wrote past the block";
            }
        }
    }
    EXPECT_GT(blocksWithGaps, 50) << "random angles should leave some directions uncovered";
}

}  // namespace
}  // namespace quorveil::testing
