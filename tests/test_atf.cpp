// SPDX-License-Identifier: MIT
// ATF4_6 through the host's interface: pins, records and choices, start, the
// parameter notifications, the gain display on host event 20, and the
// cross-fade, against the worked figures and against a small model of our own.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::DispatchOp;
using plogue::biduleSDK::EngineInfo;
using plogue::biduleSDK::HostOp;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr int32_t kDepth = 0, kRearWidth = 3, kMode = 4;

using Five = std::array<float, 5>;  // LF, RF, C, LS, RS

// The cross-fade written from the description of the sound, independently of
// the library: a partner per channel, fronts and centre alike in both modes,
// rears summed in the order each mode gives.
struct Model {
    float scale = 0.0f;
    double depth = 0.0;
    int32_t mode = 0;

    static float angle(int k) { return static_cast<float>(k * 0.0175); }
    static float cosine(int k) { return static_cast<float>(std::cos(double{angle(k)})); }
    static float sine(int k) {
        return k == 360 ? 0.0f : static_cast<float>(std::sin(double{angle(k)}));
    }

    void setEngine(double sampleRate, int32_t fftSize, int32_t overlap) {
        scale = static_cast<float>(1.0 / (double(overlap) / double(fftSize) * sampleRate * 1.5));
    }
    int step(float left, float right) const {
        const float multiplier = 90.0f - static_cast<float>(depth * 0.5);
        const float x = std::fabs(left - right) * scale * multiplier;
        if (std::isnan(x)) return 0;
        return static_cast<int>(std::clamp(std::trunc(x), 0.0f, 360.0f));
    }
    Five apply(float left, float right, const Five& m, float* cosineOut = nullptr) const {
        const int k = step(left, right);
        const float c = cosine(k), s = sine(k);
        if (cosineOut) *cosineOut = c;
        const bool across = mode == 0;
        const int partner[5] = {across ? 1 : 4, across ? 0 : 3, 2, across ? 4 : 1, across ? 3 : 0};
        const float half = m[2] * s * 0.5f;
        Five out{};
        for (int ch : {0, 1}) out[ch] = m[ch] * c + m[partner[ch]] * s;
        out[2] = m[2] * c;
        // Across sums LS's term before RS's in both rears; Diagonal brings the
        // partner's front share in first.
        auto gain = [&](int ch, int own) { return ch == own ? c : s; };
        for (int ch : {3, 4}) {
            out[ch] = across ? half + m[3] * gain(3, ch) + m[4] * gain(4, ch)
                             : m[partner[ch]] * s + half + m[ch] * c;
        }
        return out;
    }
};

// One started instance with buffers of `frames` x `bins`.
struct AtfRun {
    std::unique_ptr<host::HostedInstance> atf = instanceOf("ATF4_6");
    EngineInfo engine;
    host::ProcessBuffers buffers;
    Model model;

    AtfRun(int32_t frames, int32_t bins, double sampleRate = 44100, int32_t fftSize = 2048,
           int32_t overlap = 4)
        : engine(withBins(host::makeEngineInfo(sampleRate, 256, fftSize, overlap, frames), bins)),
          buffers(atf->pinCounts(), engine) {
        atf->setEngineInfo(engine);
        atf->start();
        model.setEngine(sampleRate, fftSize, overlap);
    }
    static EngineInfo withBins(EngineInfo e, int32_t bins) {
        e.binCount = bins;
        return e;
    }
    void setDepth(double depth) { atf->setRealParameter(kDepth, model.depth = depth); }
    void setMode(int32_t mode) { atf->setIntParameter(kMode, model.mode = mode); }
    void put(int32_t j, int32_t i, float left, float right, const Five& m) {
        buffers.frequencyIn.frame(0, j)[i] = left;
        buffers.frequencyIn.frame(1, j)[i] = right;
        for (int32_t ch = 0; ch < 5; ++ch) buffers.magnitudeIn.frame(ch, j)[i] = m[ch];
    }
    Five out(int32_t j, int32_t i) {
        Five o;
        for (int32_t ch = 0; ch < 5; ++ch) o[ch] = buffers.magnitudeOut.frame(ch, j)[i];
        return o;
    }
    // Processes one bin alone and returns its outputs.
    Five one(float left, float right, const Five& m) {
        put(0, 0, left, right, m);
        atf->process(buffers);
        return out(0, 0);
    }
    double gainDisplay() {
        atf->clearServiceLog();
        atf->hostEvent(DispatchOp::HostEvent20);
        const auto& log = atf->serviceLog();
        EXPECT_EQ(log.size(), 1u);
        EXPECT_EQ(log.at(0).op, HostOp::SetRealValue);
        EXPECT_EQ(log.at(0).id, kRearWidth);
        return log.at(0).real;
    }
};

void expectSameBits(const Five& actual, const Five& expected, const char* what) {
    for (int ch = 0; ch < 5; ++ch) {
        EXPECT_EQ(std::bit_cast<uint32_t>(actual[ch]), std::bit_cast<uint32_t>(expected[ch]))
            << what << " channel " << ch << ": " << actual[ch] << " vs " << expected[ch];
    }
}

constexpr Five kWorked{1, 2, 3, 4, 5};

TEST(ATF, PinsRecordsAndChoices) {
    auto atf = instanceOf("ATF4_6");
    const host::PinCounts pins = atf->pinCounts();
    EXPECT_EQ((std::array{pins.audioIn, pins.audioOut, pins.midiIn, pins.midiOut, pins.frequencyIn,
                          pins.frequencyOut, pins.magnitudeIn, pins.magnitudeOut}),
              (std::array{0, 0, 0, 0, 2, 0, 5, 5}));
    EXPECT_EQ(atf->inputPinNames(),
              (std::vector<std::string>{"L", "R", "LF", "RF", "C", "LS", "RS"}));
    EXPECT_EQ(atf->outputPinNames(),
              (std::vector<std::string>{"LF magnitude out", "RF magnitude out", "C magnitude out",
                                        "LS magnitude out", "RS magnitude out"}));

    const std::vector<ExpectedParameter> records{
        expectReal(0, "Depth", 0.0, 0.0, 180.0, "degrees", 1),
        expectReal(6, "LF Speaker Angle", 45.0, 0.0, 360.0, "degrees", 1),
        expectReal(7, "RF Speaker Angle", 315.0, 0.0, 360.0, "degrees", 1),
        expectReal(8, "C Speaker Angle", 0.0, 0.0, 360.0, "degrees", 1),
        expectReal(9, "LS Speaker Angle", 120.0, 0.0, 360.0, "degrees", 1),
        expectReal(10, "RS Speaker Angle", 240.0, 0.0, 360.0, "degrees", 1),
        expectText(5, "Speaker Angles:"),
        expectChoice(4, "Mode", 0, 2),
        expectReal(1, "Center Width", 30.0, 0.0, 119.0, "degrees", 1),
        expectReal(2, "Front Width", 60.0, 0.0, 120.0, "degrees", 1),
        expectReal(3, "Rear Width", 90.0, 0.0, 180.0, "degrees", 1),
    };
    for (unsigned char fill : {0x00, 0xA5}) {
        const auto infos = describeInto(*atf, fill);
        ASSERT_EQ(infos.size(), records.size());
        for (std::size_t i = 0; i < infos.size(); ++i) {
            SCOPED_TRACE(i);
            expectParameterRecord(infos[i], records[i], fill);
        }
    }
    // Only "Mode" declares choices; any other id gets none, whatever the
    // buffer (the host sized it by a choiceCount of 0).
    EXPECT_EQ(atf->choiceList(kMode, 2), (std::vector<std::string>{"Across", "Diagonal"}));
    for (int32_t id : {0, 99}) {
        EXPECT_EQ(atf->choiceList(id, 2), (std::vector<std::string>{"", ""}));
    }
}

TEST(ATF, StartOnlyDisablesTheGainDisplay) {
    auto atf = instanceOf("ATF4_6");
    atf->setEngineInfo(host::makeEngineInfo(44100, 256, 2048, 4, 1));
    atf->start();
    ASSERT_EQ(atf->serviceLog().size(), 1u);
    EXPECT_EQ(atf->serviceLog()[0].op, HostOp::SetParameterEnabled);
    EXPECT_EQ(atf->serviceLog()[0].id, kRearWidth);
    EXPECT_EQ(atf->serviceLog()[0].integer, 0);
}

TEST(ATF, NotificationsReadBackOnlyWhatTheUserSets) {
    const struct {
        std::vector<int32_t> ids;
        std::size_t reads;  // 0 or 1 service call
        HostOp op;
    } cases[] = {
        {{0, 1, 2, 6, 7, 8, 9, 10}, 1, HostOp::GetRealValue},
        {{4}, 1, HostOp::GetIntValue},
        {{3, 5, 11, -1}, 0, {}},  // the gain display, the heading, unknown ids
    };
    auto atf = instanceOf("ATF4_6");
    for (const auto& c : cases) {
        for (int32_t id : c.ids) {
            atf->clearServiceLog();
            atf->notifyParameterChanged(id);
            const auto& log = atf->serviceLog();
            ASSERT_EQ(log.size(), c.reads) << "id " << id;
            if (c.reads != 0) {
                EXPECT_EQ(log[0].op, c.op) << "id " << id;
                EXPECT_EQ(log[0].id, id);
            }
        }
    }
}

TEST(ATF, WorkedExampleAt44100HzFft2048Overlap4) {
    const struct {
        double depth;
        float difference;
        int32_t mode;
        double cosine;
        Five out;
    } cases[] = {
        {0, 10, 0, 0.99449, {1.2041f, 2.0938f, 2.9835f, 4.6592f, 5.5489f}},
        {0, 10, 1, 0.99449, {1.5185f, 2.4082f, 2.9835f, 4.3448f, 5.2345f}},
        {0, 100, 0, 0.35536, {2.2248f, 1.6454f, 1.0661f, 7.4972f, 6.9178f}},
        {0, 100, 1, 0.35536, {5.0290f, 4.4496f, 1.0661f, 4.6930f, 4.1136f}},
        // Depth 90 halves the multiplier: step 34 for a difference of 100.
        {90, 100, 0, 0.82815, {1.94917f, 2.21681f, 2.48445f, 6.95590f, 7.22354f}},
        {90, 100, 1, 0.82815, {3.63069f, 3.89833f, 2.48445f, 5.27437f, 5.54201f}},
        {180, 100, 0, 1.0, kWorked},
        {180, 100, 1, 1.0, kWorked},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "depth " << c.depth << " difference " << c.difference
                                          << " mode " << c.mode);
        AtfRun run(1, 1);
        run.setDepth(c.depth);
        run.setMode(c.mode);
        const Five out = run.one(1000.0f + c.difference, 1000.0f, kWorked);
        for (int ch = 0; ch < 5; ++ch) EXPECT_NEAR(out[ch], c.out[ch], 1e-4) << "channel " << ch;
        EXPECT_NEAR(run.gainDisplay(), c.cosine, 6e-6);
        expectSameBits(out, run.model.apply(1000.0f + c.difference, 1000.0f, kWorked), "model");
    }
}

TEST(ATF, EqualFrequenciesPassThroughInBothModes) {
    AtfRun run(2, 64);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-50.0f, 5000.0f);
    for (int32_t mode : {0, 1}) {
        run.setMode(mode);
        for (int32_t j = 0; j < 2; ++j) {
            for (int32_t i = 0; i < 64; ++i) {
                const float f = value(random);
                run.put(
                    j, i, f, f,
                    {value(random), value(random), value(random), value(random), value(random)});
            }
        }
        run.atf->process(run.buffers);
        for (int32_t j = 0; j < 2; ++j) {
            for (int32_t i = 0; i < 64; ++i) {
                for (int32_t ch = 0; ch < 5; ++ch) {
                    ASSERT_EQ(run.buffers.magnitudeOut.frame(ch, j)[i],
                              run.buffers.magnitudeIn.frame(ch, j)[i]);
                }
            }
        }
        EXPECT_EQ(run.gainDisplay(), 1.0);
    }
}

// Every step reads its gains from inside the tables: LF alone in the input
// shows the cosine gain on LF and the sine gain on RF.
TEST(ATF, StepsAtAndBeyondTheTableEnds) {
    const float step360 = Model::cosine(360);
    const struct {
        const char* what;
        float left, right;
        double depth;
        int step;
    } cases[] = {
        {"x just under 361", 518.2f, 0.0f, 0, 360},
        {"x just over 361", 518.3f, 0.0f, 0, 360},
        {"a huge difference", 1e30f, -1e30f, 0, 360},
        {"a difference that overflows", 3e38f, -3e38f, 0, 360},
        {"an infinite frequency", kInf, 0.0f, 0, 360},
        {"two infinite frequencies", kInf, kInf, 0, 0},
        {"L not a number", kNaN, 10.0f, 0, 0},
        {"R not a number", 10.0f, kNaN, 0, 0},
        {"Depth above 180", 100.0f, 0.0f, 200, 0},
        {"Depth far above 180", 1e6f, 0.0f, 1e30, 0},
        {"Depth far below 0", 1.0f, 0.0f, -1e30, 360},
        {"Depth not a number", 100.0f, 0.0f, std::nan(""), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (int32_t mode : {0, 1}) {
            AtfRun run(1, 1);
            run.setDepth(c.depth);
            run.setMode(mode);
            ASSERT_EQ(run.model.step(c.left, c.right), c.step) << "the model disagrees";
            const Five out = run.one(c.left, c.right, {1, 0, 0, 0, 0});
            EXPECT_EQ(out[0], c.step == 0 ? 1.0f : step360);
            EXPECT_EQ(std::bit_cast<uint32_t>(out[mode == 0 ? 1 : 4]), 0u)
                << "sine gain exactly +0";
            EXPECT_EQ(run.gainDisplay(), double{out[0]});
        }
    }
}

// Read back both tables through the process: each step within one unit in
// the last place of sine and cosine of (float)(step * 0.0175).
TEST(ATF, GainTablesHoldEveryStep) {
    AtfRun run(1, 361);
    const float perHertz = run.model.scale * 90.0f;
    for (int32_t k = 0; k <= 360; ++k) {
        const float difference = static_cast<float>((k + 0.5) / double{perHertz});
        ASSERT_EQ(run.model.step(difference, 0.0f), k);
        run.put(0, k, difference, 0.0f, {1, 0, 0, 0, 0});
    }
    run.atf->process(run.buffers);
    auto ulps = [](float a, float b) {
        return std::abs(std::bit_cast<int32_t>(a) - std::bit_cast<int32_t>(b));
    };
    for (int32_t k = 0; k <= 360; ++k) {
        const Five out = run.out(0, k);
        EXPECT_LE(ulps(out[0], Model::cosine(k)), 1) << "cosine " << k;
        EXPECT_LE(ulps(out[1], Model::sine(k)), 1) << "sine " << k;
    }
    EXPECT_EQ(run.out(0, 0)[0], 1.0f);
    EXPECT_EQ(run.out(0, 360)[1], 0.0f);
    EXPECT_NEAR(run.out(0, 90)[0], -0.0042, 1e-4);  // step 90 is 1.575 rad
    EXPECT_GT(run.out(0, 90)[1], 0.99999f);
}

TEST(ATF, GainDisplayReportsTheLastBinOfTheLastBlock) {
    AtfRun run(3, 8);
    EXPECT_EQ(run.gainDisplay(), 0.0) << "before any block";
    run.atf->setRealParameter(kRearWidth, 45.0);  // the user cannot set it
    EXPECT_EQ(run.gainDisplay(), 0.0);

    for (int32_t j = 0; j < 3; ++j) {
        for (int32_t i = 0; i < 8; ++i) run.put(j, i, 100.0f + float(i), 100.0f, kWorked);
    }
    run.put(2, 7, 1100.0f, 1000.0f, kWorked);  // step 69
    run.atf->clearServiceLog();
    run.atf->process(run.buffers);
    EXPECT_TRUE(run.atf->serviceLog().empty()) << "process never calls the host";
    EXPECT_EQ(run.gainDisplay(), double{Model::cosine(69)});

    // An empty block writes nothing and leaves the display alone.
    for (auto [frames, bins] : {std::pair{0, 8}, std::pair{3, 0}}) {
        run.buffers.magnitudeOut.fill(-7.0f);
        run.engine.frameCount = frames;
        run.engine.binCount = bins;
        run.atf->setEngineInfo(run.engine);
        run.atf->process(run.buffers);
        EXPECT_EQ(run.out(0, 0), (Five{-7, -7, -7, -7, -7}));
        EXPECT_EQ(run.gainDisplay(), double{Model::cosine(69)});
    }
    // Missing pin tables write nothing either.
    run.engine.frameCount = 3;
    run.engine.binCount = 8;
    run.atf->setEngineInfo(run.engine);
    auto* block = run.atf->block();
    block->process(block, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   run.buffers.magnitudeIn.table(), run.buffers.magnitudeOut.table(), nullptr,
                   nullptr);
    block->process(block, nullptr, nullptr, nullptr, nullptr, run.buffers.frequencyIn.table(),
                   nullptr, nullptr, run.buffers.magnitudeOut.table(), nullptr, nullptr);
    block->process(block, nullptr, nullptr, nullptr, nullptr, run.buffers.frequencyIn.table(),
                   nullptr, run.buffers.magnitudeIn.table(), nullptr, nullptr, nullptr);
    EXPECT_EQ(run.out(2, 7), (Five{-7, -7, -7, -7, -7}));
}

TEST(ATF, BinScaleFollowsTheEngineSettingsAtTheNextStart) {
    AtfRun run(1, 1);
    const Five before = run.one(1100.0f, 1000.0f, kWorked);
    EXPECT_EQ(run.gainDisplay(), double{Model::cosine(69)});

    run.engine.sampleRate = 88200;  // half the steps per hertz
    run.atf->setEngineInfo(run.engine);
    expectSameBits(run.one(1100.0f, 1000.0f, kWorked), before, "before the new start");

    run.atf->start();
    run.model.setEngine(88200, 2048, 4);
    const Five after = run.one(1100.0f, 1000.0f, kWorked);
    EXPECT_EQ(run.gainDisplay(), double{Model::cosine(34)});
    expectSameBits(after, run.model.apply(1100.0f, 1000.0f, kWorked), "after the new start");
}

TEST(ATF, SpeakerAnglesAndWidthsChangeNoOutput) {
    AtfRun run(1, 1);
    run.setDepth(30);
    const Five baseline = run.one(1240.0f, 1000.0f, kWorked);
    for (int32_t id : {1, 2, 6, 7, 8, 9, 10}) {
        for (double value : {0.0, 77.5, 360.0, -1e9}) {
            run.atf->setRealParameter(id, value);
            expectSameBits(run.one(1240.0f, 1000.0f, kWorked), baseline, "after a setting");
        }
    }
}

// Random frequencies, magnitudes, depths and modes (including modes other
// than 0 and 1), many frames, compared bit for bit with the model.
TEST(ATF, MatchesTheModelBitForBitOnRandomInputs) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> frequency(0.0f, 22050.0f);
    std::uniform_real_distribution<float> nearby(-600.0f, 600.0f);
    std::uniform_real_distribution<float> magnitude(-1.0f, 40.0f);
    const double depths[] = {0, 12.5, 90, 133.3, 179.99, 180, 240, -30};
    const int32_t modes[] = {0, 1, 2, -1};
    for (double depth : depths) {
        for (int32_t mode : modes) {
            AtfRun run(4, 97, 48000, 4096, 8);
            run.setDepth(depth);
            run.setMode(mode);
            std::vector<Five> expected;
            float lastCosine = 0.0f;
            for (int32_t j = 0; j < 4; ++j) {
                for (int32_t i = 0; i < 97; ++i) {
                    const float left = frequency(random);
                    const int kind = static_cast<int>(random() % 4);
                    const float right = kind == 0   ? left
                                        : kind == 1 ? frequency(random)
                                                    : left + nearby(random);
                    const Five m{magnitude(random), magnitude(random), magnitude(random),
                                 magnitude(random), magnitude(random)};
                    run.put(j, i, left, right, m);
                    expected.push_back(run.model.apply(left, right, m, &lastCosine));
                }
            }
            run.atf->process(run.buffers);
            for (int32_t j = 0; j < 4; ++j) {
                for (int32_t i = 0; i < 97; ++i) {
                    expectSameBits(run.out(j, i), expected[static_cast<std::size_t>(j * 97 + i)],
                                   "bin");
                }
            }
            EXPECT_EQ(run.gainDisplay(), double{lastCosine});
            if (HasFailure()) FAIL() << "depth " << depth << " mode " << mode;
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
