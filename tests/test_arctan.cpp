// SPDX-License-Identifier: MIT
// ArcTan4_6 through the host's interface: pins, parameter records and choices,
// start, the rear width sent back on every notification, and the placement of
// characteristic bins on the speaker ring.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::DispatchOp;
using plogue::biduleSDK::HostOp;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
enum Pin { LFd, RFd, Cd, LSd, RSd, LFl, RFl, Cl, LSl, RSl, Position, RingAngle };

struct Setting {
    int32_t id;
    double value;
};

// One instance with buffers of `frames` x `bins`, started, with the
// parameters a session would restore (freqMode "Disabled", mode "Sum").
struct ArcTanRun {
    std::unique_ptr<host::HostedInstance> arctan = instanceOf("ArcTan4_6");
    plogue::biduleSDK::EngineInfo engine;
    host::ProcessBuffers buffers;

    ArcTanRun(std::initializer_list<Setting> overrides, int32_t frames = 1, int32_t bins = 1)
        : engine(engineFor(frames, bins)), buffers(arctan->pinCounts(), engine) {
        arctan->setEngineInfo(engine);
        arctan->start();
        for (Setting s : {Setting{1, 1.0}, {3, 360}, {4, 30}, {5, 60}, {9, 45}, {10, 315},
                          {11, 0}, {12, 120}, {13, 240}, {2, 4}, {7, 0}}) {
            set(s);
        }
        for (Setting s : overrides) set(s);
    }
    static plogue::biduleSDK::EngineInfo engineFor(int32_t frames, int32_t bins) {
        auto engine = host::makeEngineInfo(48000, 256, 1024, 4, frames);
        engine.binCount = bins;
        return engine;
    }
    void set(Setting s) {
        if (s.id == 2 || s.id == 7) {
            arctan->setIntParameter(s.id, static_cast<int32_t>(s.value));
        } else {
            arctan->setRealParameter(s.id, s.value);
        }
    }
    void input(int32_t frame, int32_t bin, std::array<float, 4> in) {  // Lf, Rf, Lm, Rm
        buffers.frequencyIn.frame(0, frame)[bin] = in[0];
        buffers.frequencyIn.frame(1, frame)[bin] = in[1];
        buffers.magnitudeIn.frame(0, frame)[bin] = in[2];
        buffers.magnitudeIn.frame(1, frame)[bin] = in[3];
    }
    float out(int32_t pin, int32_t frame = 0, int32_t bin = 0) {
        return buffers.magnitudeOut.frame(pin, frame)[bin];
    }
    std::array<float, 12> place(std::array<float, 4> in) {
        input(0, 0, in);
        arctan->process(buffers);
        std::array<float, 12> result;
        for (int32_t pin = 0; pin < 12; ++pin) result[static_cast<std::size_t>(pin)] = out(pin);
        return result;
    }
};

TEST(ArcTan, NamesTwoFrequencyAndTwoMagnitudeInputsAndTwelveOutputs) {
    auto arctan = instanceOf("ArcTan4_6");
    const auto counts = arctan->pinCounts();
    EXPECT_EQ(counts.audioIn + counts.audioOut + counts.midiIn + counts.midiOut, 0);
    EXPECT_EQ(counts.frequencyOut, 0);
    EXPECT_EQ(arctan->inputPinNames(),
              (std::vector<std::string>{"L frequency in", "R frequency in", "Left magnitude in",
                                        "Right magnitude in"}));
    EXPECT_EQ(arctan->outputPinNames(),
              (std::vector<std::string>{"LF dominant out", "RF dominant out", "C dominant out",
                                        "LS dominant out", "RS dominant out", "LF lesser out",
                                        "RF lesser out", "C lesser out", "LS lesser out",
                                        "RS lesser out", "1", "2"}));
}

TEST(ArcTan, WritesFourteenRecordsAndNothingElse) {
    const std::vector<ExpectedParameter> expected{
        expectReal(1, "Mag/Freq Ratio", 1.0, 0.0, 1.0, "Image Portion", 1),
        expectReal(9, "LF Speaker Angle", 45.0, 0.0, 360.0, "degrees", 1),
        expectReal(10, "RF Speaker Angle", 315.0, 0.0, 360.0, "degrees", 1),
        expectReal(11, "C Speaker Angle", 0.0, 0.0, 360.0, "degrees", 1),
        expectReal(12, "LS Speaker Angle", 120.0, 0.0, 360.0, "degrees", 1),
        expectReal(13, "RS Speaker Angle", 240.0, 0.0, 360.0, "degrees", 1),
        expectText(8, "Speaker Angles:"),
        expectChoice(7, "Mode", 0, 3),
        expectReal(4, "Center Width", 30.0, 0.0, 119.0, "degrees", 1),
        expectReal(5, "Front Width", 60.0, 0.0, 120.0, "degrees", 1),
        expectReal(6, "Rear Width", 90.0, 0.0, 180.0, "degrees", 1),
        expectText(14, "\nVersion:"),
        expectChoice(2, "Freq. Mode", 0, 5),
        expectReal(3, "Total Image Width", 360.0, 0.0, 360.0, "degrees", 1),
    };
    auto arctan = instanceOf("ArcTan4_6");
    for (unsigned char fill : {0x00, 0xA5}) {
        const auto infos = describeInto(*arctan, fill);
        ASSERT_EQ(infos.size(), expected.size());
        for (std::size_t i = 0; i < infos.size(); ++i) {
            SCOPED_TRACE(i);
            expectParameterRecord(infos[i], expected[i], fill);
        }
    }
}

TEST(ArcTan, ListsChoicesOfFreqModeAndModeOnly) {
    auto arctan = instanceOf("ArcTan4_6");
    EXPECT_EQ(arctan->choiceList(2, 5),
              (std::vector<std::string>{"HFTC", "HFTS", "HFTL", "HFTR", "Disabled"}));
    EXPECT_EQ(arctan->choiceList(7, 3), (std::vector<std::string>{"Sum", "Across", "Diagonal"}));
    std::vector<char> entries(2 * plogue::biduleSDK::kNameEntryBytes, '\x11');
    for (int32_t id : {0, 1, 3, 6, 8, 14, 15, -7}) {
        arctan->dispatch(DispatchOp::ChoiceList, entries.data(), &id);
    }
    for (char c : entries) ASSERT_EQ(c, '\x11');
}

TEST(ArcTan, StartAnnouncesItselfAndDisablesTheRearWidth) {
    auto arctan = instanceOf("ArcTan4_6");
    arctan->start();
    const auto& log = arctan->serviceLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].op, HostOp::SetTextValue);
    EXPECT_EQ(log[0].id, 14);
    EXPECT_EQ(log[0].text, "\nArcTan4_6.quorveil.audio");
    EXPECT_EQ(log[1].op, HostOp::SetParameterEnabled);
    EXPECT_EQ(log[1].id, 6);
    EXPECT_EQ(log[1].integer, 0);
}

// Each notification reads the notified value (if it is one the module keeps)
// and then always sends 180 - (Cw/2 + Fw) to "Rear Width".
TEST(ArcTan, EveryNotificationSendsTheDerivedRearWidth) {
    struct Step {
        int32_t id;
        double value;
        int read;  // expected host op read, or -1
        double rearWidth;
    };
    const Step steps[] = {
        {1, 0.5, 0, 180},   {7, 2, 2, 180},     {2, 1, 2, 180},    {11, 10, 0, 180},
        {4, 30, 0, 165},    {5, 60, 0, 105},    {6, 90, -1, 105},  {8, 1, -1, 105},
        {14, 1, -1, 105},   {0, 1, -1, 105},    {99, 1, -1, 105},  {-1, 1, -1, 105},
        {3, 200, 0, 105},   {4, 119, 0, 60.5},   {5, 120, 0, 0.5},  {5, 0, 0, 120.5},
    };
    auto arctan = instanceOf("ArcTan4_6");
    arctan->start();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.id);
        arctan->clearServiceLog();
        if (s.id == 2 || s.id == 7) {
            arctan->setIntParameter(s.id, static_cast<int32_t>(s.value));
        } else {
            arctan->setRealParameter(s.id, s.value);
        }
        const auto& log = arctan->serviceLog();
        ASSERT_EQ(log.size(), s.read < 0 ? 1u : 2u);
        if (s.read >= 0) {
            EXPECT_EQ(static_cast<int>(log[0].op), s.read);
            EXPECT_EQ(log[0].id, s.id);
        }
        EXPECT_EQ(log.back().op, HostOp::SetRealValue);
        EXPECT_EQ(log.back().id, 6);
        EXPECT_EQ(log.back().real, s.rearWidth);
        EXPECT_EQ(arctan->parameter(6).real, s.rearWidth);
    }
}

// Characteristic bins. Defaults: W 360, widths 30/60 (zone ends 15, 75, 180,
// 285, 345), speakers C 0, LF 45, LS 120, RS 240, RF 315, "Disabled", "Sum".
// Expected pins are checked within `tolerance` (ring angles within 0.03
// degree unless exact); every pin not listed is exactly 0.
TEST(ArcTan, PlacesCharacteristicBins) {
    struct Case {
        const char* what;
        std::vector<Setting> settings;
        std::array<float, 4> in;  // Lf, Rf, Lm, Rm
        std::vector<std::pair<Pin, float>> expected;
        float tolerance;
    };
    const Case cases[] = {
        {"silent bin", {}, {0, 0, 0, 0}, {{Position, 0}, {RingAngle, 180}}, 0},
        {"equal: centre alone", {}, {0, 0, 1, 1},
         {{Position, 0.499984f}, {RingAngle, 359.983f}, {Cd, 2}}, 1e-3f},
        {"left only", {}, {0, 0, 1, 0},
         {{Position, 0.99997f}, {RingAngle, 179.99f}, {LSd, 0.7179f}, {RSd, 0.6961f}}, 1e-4f},
        {"right only", {}, {0, 0, 0, 1},
         {{Position, 0}, {RingAngle, 180}, {LSd, 0.7056f}, {RSd, 0.7086f}}, 1e-4f},
        {"2:1 sum", {}, {0, 0, 2, 1},
         {{Position, 0.7048f}, {RingAngle, 118.41f}, {LFd, 0.0920f}, {LSd, 2.9986f}}, 1e-3f},
        {"2:1 diagonal", {{7, 2}}, {0, 0, 2, 1},
         {{Position, 0.7048f}, {RingAngle, 118.41f}, {LFd, 0.0616f}, {LSd, 1.9991f},
          {LFl, 0.9452f}, {LSl, 0.3264f}}, 1e-3f},
        {"equal across", {{7, 1}}, {0, 0, 1, 1},
         {{Position, 0.499984f}, {RingAngle, 359.983f}, {Cd, 1}, {Cl, 1}}, 1e-3f},
        {"W 0, left of centre", {{3, 0}}, {0, 0, 1, 0}, {{Position, 0.99997f}, {Cd, 1}}, 1e-4f},
        {"W 0, right of centre", {{3, 0}}, {0, 0, 0, 1}, {{RingAngle, 360}, {Cd, 1}}, 0},
        {"r 0, HFTR", {{1, 0}, {2, 3}}, {1, 0, 1, 1},
         {{Position, 1.35f}, {RingAngle, 266.25f}, {RSd, 1.7128f}, {RFd, 1.0326f}}, 1e-3f},
        {"r 0, HFTS", {{1, 0}, {2, 1}}, {1, 0, 1, 1},
         {{Position, 1.35f}, {RingAngle, 266.25f}, {RSd, 1.7128f}, {RFd, 1.0326f}}, 1e-3f},
        {"r 0, HFTC", {{1, 0}, {2, 0}}, {1, 0, 1, 1},
         {{Position, -0.35f}, {RingAngle, 93.75f}, {LFd, 1.0546f}, {LSd, 1.6994f}}, 1e-3f},
        {"r 0, HFTL", {{1, 0}, {2, 2}}, {1, 0, 1, 1},
         {{Position, -0.35f}, {RingAngle, 93.75f}, {LFd, 1.0546f}, {LSd, 1.6994f}}, 1e-3f},
        {"r 0, equal frequencies", {{1, 0}, {2, 3}}, {440, 440, 1, 1},
         {{Position, 0.49997f}, {RingAngle, 359.97f}, {Cd, 2}}, 1e-3f},
        {"C at 10, image angle 0", {{11, 10}, {3, 0}}, {0, 0, 1, 0},
         {{Position, 0.99997f}, {RingAngle, 10}, {Cd, 1}}, 1e-4f},
        {"C at 10, image angle 15", {{11, 10}, {3, 30}}, {0, 0, 1, 0},
         {{Position, 0.99997f}, {RingAngle, 45}, {Cd, 0.0133f}, {LFd, 1}}, 0.01f},
        // A C angle below 0 stretches the RF-C pair past 90 steps (k 372):
        // the gains stay at the tables' last entry instead of reading past them.
        {"C at -40, step past the tables", {{11, -40}}, {0, 0, 0.9317f, 1},
         {{Position, 0.477485f}, {RingAngle, 335.684f}, {RFd, 1.931427f}, {Cd, 0.032479f}}, 1e-4f},
        {"NaN frequency ignored when disabled", {}, {kNaN, kNaN, 0, 1},
         {{Position, 0}, {RingAngle, 180}, {LSd, 0.7056f}, {RSd, 0.7086f}}, 1e-4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ArcTanRun run({});
        for (Setting s : c.settings) run.set(s);
        const auto out = run.place(c.in);
        std::array<bool, 12> listed{};
        for (auto [pin, value] : c.expected) {
            listed[pin] = true;
            const float tolerance = pin == RingAngle && c.tolerance > 0 ? 0.03f : c.tolerance;
            EXPECT_NEAR(out[pin], value, tolerance) << "pin " << pin;
        }
        for (int pin = 0; pin < 12; ++pin) {
            if (!listed[static_cast<std::size_t>(pin)]) {
                EXPECT_EQ(out[static_cast<std::size_t>(pin)], 0.0f) << "pin " << pin;
            }
        }
    }
}

// Out of order, every real angle still meets one of the six gain tests and
// the last one decides: with LF and LS swapped, 80 degrees lies in both the
// C-LF and the LS-RS pair, and LS-RS wins. Only an angle that is not a number
// meets none and keeps the gains of the bin before, across blocks too.
TEST(ArcTan, KeepsTheGainsOfTheBinBeforeWhenNoSpeakerPairHolds) {
    ArcTanRun swapped({{9, 120}, {12, 45}, {3, 0}, {11, 80}});  // W 0: every bin at 80
    const auto out = swapped.place({0, 0, 1, 0});
    EXPECT_EQ(out[RingAngle], 80.0f);
    EXPECT_GT(out[LSd], 0.9f);
    EXPECT_EQ(out[Cd] + out[LFd], 0.0f);

    ArcTanRun run({{2, 0}}, 1, 3);  // "HFTC": a NaN frequency makes the angle NaN
    run.input(0, 0, {kNaN, 1, 1, 1});    // before any gain computation: silence
    run.input(0, 1, {0, 0, 1, 0});       // left only: LS and RS
    run.input(0, 2, {1, kNaN, 2, 2});    // reuses LS and RS with level 4
    run.arctan->process(run.buffers);
    EXPECT_TRUE(std::isnan(run.out(RingAngle, 0, 0)));
    for (int pin = LFd; pin <= RSd; ++pin) EXPECT_EQ(run.out(pin, 0, 0), 0.0f);
    const float ls = run.out(LSd, 0, 1), rs = run.out(RSd, 0, 1);
    EXPECT_EQ(run.out(LSd, 0, 2), ls * 4);
    EXPECT_EQ(run.out(RSd, 0, 2), rs * 4);
    run.input(0, 0, {kNaN, 0, 1, 0});
    run.arctan->process(run.buffers);
    EXPECT_EQ(run.out(LSd, 0, 0), ls * 1);

    // Centre width 0 and image angle 0: the centre zone is empty, the warped
    // angle is NaN and keeps the gains; the ring angle shown is the zone's
    // start, C at 0.
    ArcTanRun empty({{4, 0}, {3, 0}}, 1, 2);
    empty.input(0, 0, {0, 0, 0, 1});  // image angle 360, ring angle 315: RF alone
    empty.input(0, 1, {0, 0, 3, 0});  // image angle 0
    empty.arctan->process(empty.buffers);
    EXPECT_EQ(empty.out(RFd, 0, 0), 1.0f);
    EXPECT_EQ(empty.out(RingAngle, 0, 1), 0.0f);
    EXPECT_EQ(empty.out(RFd, 0, 1), 3.0f);
}

TEST(ArcTan, EmptyBlocksAndMissingPinTablesWriteNothing) {
    ArcTanRun run({}, 2, 3);
    run.buffers.magnitudeIn.fill(1.0f);
    run.buffers.magnitudeOut.fill(-7.0f);
    auto* block = run.arctan->block();
    auto freq = run.buffers.frequencyIn.table();
    auto mag = run.buffers.magnitudeIn.table();
    auto out = run.buffers.magnitudeOut.table();
    block->process(block, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, mag, out, nullptr,
                   nullptr);
    block->process(block, nullptr, nullptr, nullptr, nullptr, freq, nullptr, nullptr, out, nullptr,
                   nullptr);
    block->process(block, nullptr, nullptr, nullptr, nullptr, freq, nullptr, mag, nullptr, nullptr,
                   nullptr);
    for (auto [frames, bins] : {std::pair{0, 3}, std::pair{2, 0}}) {
        run.engine.frameCount = frames;
        run.engine.binCount = bins;
        run.arctan->setEngineInfo(run.engine);
        run.arctan->process(run.buffers);
    }
    for (int32_t pin = 0; pin < 12; ++pin) {
        for (int32_t frame = 0; frame < 2; ++frame) {
            for (int32_t bin = 0; bin < 3; ++bin) ASSERT_EQ(run.out(pin, frame, bin), -7.0f);
        }
    }
}

// A host may hand an input frame back as an output frame. Each bin reads its
// four inputs before it writes, so whichever outputs land on which inputs,
// every output equals the run into frames of its own, bit for bit, in every
// mode and with the frequency streams taking part.
TEST(ArcTan, OutputsSharingInputFramesMatchSeparateBuffersBitForBit) {
    constexpr int32_t kFrames = 3, kBins = 131;
    enum Input { LeftFrequency, RightFrequency, LeftMagnitude, RightMagnitude };
    const struct {
        const char* what;
        std::vector<std::pair<Pin, Input>> shared;  // output pin written over an input
    } patterns[] = {
        {"position over L magnitude", {{Position, LeftMagnitude}}},
        {"ring angle over R magnitude", {{RingAngle, RightMagnitude}}},
        {"first and last speakers over the frequencies",
         {{LFd, LeftFrequency}, {RSl, RightFrequency}}},
        {"every input overwritten",
         {{Cd, LeftFrequency},
          {LSl, RightFrequency},
          {RFd, LeftMagnitude},
          {Position, RightMagnitude}}},
    };
    std::mt19937 random(4627);
    std::uniform_real_distribution<float> frequency(0.0f, 24000.0f), magnitude(0.0f, 4.0f);
    for (double mode : {0.0, 1.0, 2.0}) {  // "Sum", "Across", "Diagonal"
        const std::initializer_list<Setting> settings{{1, 0.5}, {2, 0}, {7, mode}};
        ArcTanRun separate(settings, kFrames, kBins);
        for (int32_t f = 0; f < kFrames; ++f) {
            for (int32_t b = 0; b < kBins; ++b) {
                const float left = magnitude(random);
                separate.input(f, b, {frequency(random), frequency(random), left,
                                      b % 7 == 0 ? left : magnitude(random)});
            }
        }
        separate.arctan->process(separate.buffers);

        for (const auto& pattern : patterns) {
            SCOPED_TRACE(::testing::Message() << pattern.what << ", mode " << mode);
            ArcTanRun shared(settings, kFrames, kBins);
            auto& in = shared.buffers;
            float** inputs[] = {in.frequencyIn.table()[0], in.frequencyIn.table()[1],
                                in.magnitudeIn.table()[0], in.magnitudeIn.table()[1]};
            for (int32_t f = 0; f < kFrames; ++f) {
                for (int32_t p = 0; p < 4; ++p) {
                    const auto& source =
                        p < 2 ? separate.buffers.frequencyIn : separate.buffers.magnitudeIn;
                    std::copy_n(source.frame(p % 2, f), kBins, inputs[p][f]);
                }
            }
            std::vector<float**> outputs(in.magnitudeOut.table(), in.magnitudeOut.table() + 12);
            for (auto [pin, input] : pattern.shared) {
                outputs[static_cast<std::size_t>(pin)] = inputs[input];
            }

            auto* block = shared.arctan->block();
            block->process(block, nullptr, nullptr, nullptr, nullptr, in.frequencyIn.table(),
                           nullptr, in.magnitudeIn.table(), outputs.data(), nullptr, nullptr);
            for (int32_t pin = 0; pin < 12; ++pin) {
                for (int32_t f = 0; f < kFrames; ++f) {
                    for (int32_t b = 0; b < kBins; ++b) {
                        const float got = outputs[static_cast<std::size_t>(pin)][f][b];
                        const float want = separate.out(pin, f, b);
                        ASSERT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(want))
                            << "pin " << pin << " frame " << f << " bin " << b;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
