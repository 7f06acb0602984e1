// SPDX-License-Identifier: MIT
// Slice4_6 and CC4_6 through the host's interface. The two modules share
// their shape (a stereo magnitude pair in, "Wrap Rears" governing "Wrap
// Humidity", the minimum rule per bin), so each behaviour is one table run
// over both: records, pin names, start, the enable calls, the slicing tables,
// empty and shared buffers, and agreement with independent models on random
// magnitudes.
#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::DispatchOp;
using plogue::biduleSDK::HostOp;

struct ModuleShape {
    const char* className;
    int32_t wrapRearsId;
    int32_t wrapHumidityId;
    int32_t versionId;
    int32_t outputs;
    std::vector<std::string> outputNames;
};

const ModuleShape kSlice{"Slice4_6", 2, 3, 4, 5, {"LF", "RF", "C", "LS", "RS"}};
const ModuleShape kCC{"CC4_6", 1, 2, 3, 3, {"C", "LS", "RS"}};
const ModuleShape* const kBoth[] = {&kSlice, &kCC};

struct SplitRun {
    std::unique_ptr<host::HostedInstance> module;
    plogue::biduleSDK::EngineInfo engine;
    host::ProcessBuffers buffers;

    SplitRun(const ModuleShape& shape, int32_t frames, int32_t bins)
        : module(instanceOf(shape.className)), engine(engineFor(frames, bins)),
          buffers(module->pinCounts(), engine) {
        module->setEngineInfo(engine);
    }
    static plogue::biduleSDK::EngineInfo engineFor(int32_t frames, int32_t bins) {
        auto e = host::makeEngineInfo(48000, 512, 2048, 4, frames);
        e.binCount = bins;
        return e;
    }
    float out(int32_t pin, int32_t frame = 0, int32_t bin = 0) {
        return buffers.magnitudeOut.frame(pin, frame)[bin];
    }
};

TEST(SliceAndCC, DescribeTheirParametersByteForByte) {
    const struct {
        const char* className;
        std::vector<ExpectedParameter> records;
    } cases[] = {
        {"Slice4_6",
         {expectReal(0, "Stage One Humidity", 1.0, 0.0, 1.0, "1 = 100%", 2),
          expectReal(1, "Stage Two Humidity", 1.0, 0.0, 1.0, "1 = 100%", 2),
          expectSwitch(2, "Wrap Rears", 0),
          expectReal(3, "Wrap Humidity", 1.0, 0.0, 1.0, "1 = 100%", 2),
          expectText(4, "\nVersion:")}},
        {"CC4_6",
         {expectReal(0, "Rear Humidity", 1.0, 0.0, 1.0, "1 = 100%", 2),
          expectSwitch(1, "Wrap Rears", 0),
          expectReal(2, "Wrap Humidity", 1.0, 0.0, 1.0, "1 = 100%", 2),
          expectText(3, "\nVersion:")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.className);
        auto module = instanceOf(c.className);
        const auto infos = describeInto(*module, 0x5A);
        ASSERT_EQ(infos.size(), c.records.size());
        for (std::size_t i = 0; i < infos.size(); ++i) {
            expectParameterRecord(infos[i], c.records[i], 0x5A);
        }
    }
}

// Only magnitude pins exist, but the names come from the audio lists that the
// host reads first; the "Passthrough" names follow beyond the pin counts.
TEST(SliceAndCC, NameTheirMagnitudePinsFromTheFrontOfTheLists) {
    for (const ModuleShape* shape : kBoth) {
        SCOPED_TRACE(shape->className);
        auto module = instanceOf(shape->className);
        const auto counts = module->pinCounts();
        EXPECT_EQ(counts.magnitudeIn, 2);
        EXPECT_EQ(counts.magnitudeOut, shape->outputs);
        EXPECT_EQ(counts.audioIn + counts.audioOut + counts.midiIn + counts.midiOut +
                      counts.frequencyIn + counts.frequencyOut,
                  0);
        EXPECT_EQ(module->inputPinNames(), (std::vector<std::string>{"L", "R"}));
        EXPECT_EQ(module->outputPinNames(), shape->outputNames);

        // Offered more entries than pins, the whole concatenated list arrives.
        auto listOf = [&](DispatchOp op, int32_t offered) {
            std::vector<char> entries(static_cast<std::size_t>(offered) * 128, '#');
            module->dispatch(op, entries.data(), &offered);
            std::vector<std::string> names;
            for (int32_t i = 0; i < offered; ++i) {
                names.push_back(host::fieldText(entries.data() + 128 * i, 128));
            }
            return names;
        };
        std::vector<std::string> outputs = shape->outputNames;
        outputs.insert(outputs.end(), {"Passthrough MIDI out", "Passthrough frequency out"});
        outputs.insert(outputs.end(), shape->outputNames.begin(), shape->outputNames.end());
        outputs.push_back(std::string(128, '#'));
        EXPECT_EQ(listOf(DispatchOp::OutputPinNames, static_cast<int32_t>(outputs.size())),
                  outputs);
        EXPECT_EQ(listOf(DispatchOp::InputPinNames, 7),
                  (std::vector<std::string>{"L", "R", "Passthrough MIDI in",
                                            "Passthrough frequency in", "L", "R",
                                            std::string(128, '#')}));
    }
}

TEST(SliceAndCC, StartAnnouncesThenDisablesWrapHumidity) {
    for (const ModuleShape* shape : kBoth) {
        SCOPED_TRACE(shape->className);
        auto module = instanceOf(shape->className);
        module->start();
        const auto& log = module->serviceLog();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].op, HostOp::SetTextValue);
        EXPECT_EQ(log[0].id, shape->versionId);
        std::string text = "\n";
        text.append(shape->className).append(".quorveil.audio");
        EXPECT_EQ(log[0].text, text);
        EXPECT_EQ(log[1].op, HostOp::SetParameterEnabled);
        EXPECT_EQ(log[1].id, shape->wrapHumidityId);
        EXPECT_EQ(log[1].integer, 0);
    }
}

// The host hears about "Wrap Humidity" only when "Wrap Rears" moves between
// off and on; other values and other parameters leave it alone.
TEST(SliceAndCC, WrapHumidityFollowsTheWrapRearsSwitch) {
    const struct {
        int32_t wrapRears;
        int expectedEnable;  // -1: no enable call
    } steps[] = {
        {1, 1}, {1, -1}, {0, 0}, {0, -1}, {2, -1}, {1, 1}, {2, -1}, {0, 0}, {-1, -1}, {0, 0},
    };
    for (const ModuleShape* shape : kBoth) {
        SCOPED_TRACE(shape->className);
        auto module = instanceOf(shape->className);
        module->start();
        for (const auto& step : steps) {
            module->clearServiceLog();
            module->setIntParameter(shape->wrapRearsId, step.wrapRears);
            const auto& log = module->serviceLog();
            ASSERT_GE(log.size(), 1u);
            EXPECT_EQ(log[0].op, HostOp::GetIntValue);
            EXPECT_EQ(log[0].id, shape->wrapRearsId);
            if (step.expectedEnable < 0) {
                EXPECT_EQ(log.size(), 1u) << "wrap rears " << step.wrapRears;
            } else {
                ASSERT_EQ(log.size(), 2u) << "wrap rears " << step.wrapRears;
                EXPECT_EQ(log[1].op, HostOp::SetParameterEnabled);
                EXPECT_EQ(log[1].id, shape->wrapHumidityId);
                EXPECT_EQ(log[1].integer, step.expectedEnable);
            }
            // Other parameters do not repeat the call.
            module->clearServiceLog();
            module->setRealParameter(shape->wrapHumidityId, 0.5);
            ASSERT_EQ(module->serviceLog().size(), 1u);
            EXPECT_EQ(module->serviceLog()[0].op, HostOp::GetRealValue);
        }
    }
}

TEST(SliceAndCC, ReadEachParameterWithItsOwnServiceAndNothingForOtherIds) {
    const struct {
        const char* className;
        int32_t id;
        int op;  // -1: reads nothing
    } cases[] = {
        {"Slice4_6", 0, 0}, {"Slice4_6", 1, 0}, {"Slice4_6", 2, 2}, {"Slice4_6", 3, 0},
        {"Slice4_6", 4, -1}, {"Slice4_6", 5, -1}, {"CC4_6", 0, 0},  {"CC4_6", 1, 2},
        {"CC4_6", 2, 0},    {"CC4_6", 3, -1},    {"CC4_6", -7, -1},
    };
    for (const auto& c : cases) {
        auto module = instanceOf(c.className);
        module->notifyParameterChanged(c.id);
        const auto& log = module->serviceLog();
        if (c.op < 0) {
            EXPECT_TRUE(log.empty()) << c.className << " id " << c.id;
        } else {
            ASSERT_EQ(log.size(), 1u) << c.className << " id " << c.id;
            EXPECT_EQ(static_cast<int>(log[0].op), c.op);
            EXPECT_EQ(log[0].id, c.id);
        }
    }
}

// --- the slicing tables --------------------------------------------------------

struct Humidities {
    double first = 1.0;   // Slice stage one, CC rear humidity
    double second = 1.0;  // Slice stage two (unused by CC)
    double wrap = 1.0;
    int32_t wrapRears = 0;
    bool fresh = false;   // no parameter reported: everything 0
};

void applyTo(const ModuleShape& shape, host::HostedInstance& module, const Humidities& h) {
    if (h.fresh) return;
    if (&shape == &kSlice) {
        module.setRealParameter(0, h.first);
        module.setRealParameter(1, h.second);
        module.setRealParameter(3, h.wrap);
    } else {
        module.setRealParameter(0, h.first);
        module.setRealParameter(2, h.wrap);
    }
    module.setIntParameter(shape.wrapRearsId, h.wrapRears);
}

struct TableRow {
    const ModuleShape* shape;
    Humidities humidities;
    float left, right;
    std::vector<float> expected;  // in output pin order
};

TEST(SliceAndCC, SliceTheCommonPartAsTheTablesSay) {
    const Humidities on{.wrapRears = 1}, half{0.5, 0.5, 0.5, 0}, halfOn{0.5, 0.5, 0.5, 1},
        fresh{.fresh = true};
    const TableRow rows[] = {
        // Slice: LF, RF, C, LS, RS
        {&kSlice, {}, 1, 1, {0, 0, 1, 0, 0}},
        {&kSlice, {}, 1, 0, {0, 0, 0, 3, 0}},
        {&kSlice, {}, 0, 1, {0, 0, 0, 0, 3}},
        {&kSlice, {}, 2, 1, {3, 0, 1, 0, 0}},
        {&kSlice, {}, 4, 1, {3, 0, 1, 6, 0}},
        {&kSlice, on, 4, 1, {3, 0, 1, 4.5f, 1.5f}},
        {&kSlice, {}, 0, 0, {0, 0, 0, 0, 0}},
        {&kSlice, {1, 1, 0, 1}, 4, 1, {3, 0, 1, 6, 3}},
        {&kSlice, {1, 1, 1, 2}, 4, 1, {3, 0, 1, 4.5f, 1.5f}},  // 2 wraps like 1
        {&kSlice, half, 4, 1, {2, 1, 1, 6, 0.5f}},
        {&kSlice, halfOn, 4, 1, {2, 1, 1, 4.625f, 3.125f}},
        {&kSlice, {0, 0, 0, 0}, 2, 1, {1, 1, 1, 2, 1}},
        {&kSlice, fresh, 2, 1, {1, 1, 1, 2, 1}},
        // CC: C, LS, RS
        {&kCC, {}, 1, 1, {1, 0, 0}},
        {&kCC, {}, 1, 0, {0, 1, 0}},
        {&kCC, {}, 0, 1, {0, 0, 1}},
        {&kCC, {}, 2, 1, {1, 1, 0}},
        {&kCC, {}, 4, 1, {1, 3, 0}},
        {&kCC, on, 4, 1, {1, 2, 1}},
        {&kCC, on, 1, 4, {1, 1, 2}},
        {&kCC, on, 3, 0, {0, 1.5f, 1.5f}},
        {&kCC, {}, 0, 0, {0, 0, 0}},
        {&kCC, {1, 1, 0, 1}, 4, 1, {1, 2.5f, 1.5f}},
        {&kCC, {1, 1, 0.5, 1}, 4, 1, {1, 2.25f, 1.25f}},
        {&kCC, {1, 1, 1, 2}, 4, 1, {1, 2, 1}},  // 2 wraps like 1
        {&kCC, {0.5, 1, 1, 0}, 4, 1, {1, 3.5f, 0.5f}},
        {&kCC, {0.5, 1, 1, 1}, 4, 1, {1, 2.25f, 1.75f}},
        {&kCC, half, 4, 1, {1, 3.5f, 0.5f}},
        {&kCC, halfOn, 4, 1, {1, 2.625f, 2.125f}},
        {&kCC, {0, 1, 1, 0}, 4, 1, {1, 4, 1}},
        {&kCC, fresh, 4, 1, {1, 4, 1}},
    };
    for (std::size_t r = 0; r < std::size(rows); ++r) {
        const TableRow& row = rows[r];
        SCOPED_TRACE(std::string(row.shape->className) + " row " + std::to_string(r));
        // Three frames of three bins, every bin the same: all must be written.
        SplitRun run(*row.shape, 3, 3);
        applyTo(*row.shape, *run.module, row.humidities);
        run.buffers.magnitudeOut.fill(-99.0f);
        for (int f = 0; f < 3; ++f) {
            std::fill_n(run.buffers.magnitudeIn.frame(0, f), 3, row.left);
            std::fill_n(run.buffers.magnitudeIn.frame(1, f), 3, row.right);
        }
        run.module->process(run.buffers);
        for (int32_t p = 0; p < row.shape->outputs; ++p) {
            for (int f = 0; f < 3; ++f) {
                for (int k = 0; k < 3; ++k) {
                    ASSERT_EQ(run.out(p, f, k), row.expected[static_cast<std::size_t>(p)])
                        << "pin " << row.shape->outputNames[static_cast<std::size_t>(p)]
                        << " frame " << f << " bin " << k;
                }
            }
        }
    }
}

TEST(SliceAndCC, EmptyNegativeOrMissingBlocksWriteNothing) {
    const struct {
        const char* what;
        int32_t frames, bins;
        bool nullIn, nullOut;
    } cases[] = {
        {"no frames", 0, 4, false, false},  {"no bins", 2, 0, false, false},
        {"negative frames", -1, 4, false, false}, {"negative bins", 2, -3, false, false},
        {"no input table", 2, 4, true, false}, {"no output table", 2, 4, false, true},
    };
    for (const ModuleShape* shape : kBoth) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(shape->className) + ": " + c.what);
            SplitRun run(*shape, 2, 4);
            run.buffers.magnitudeIn.fill(1.0f);
            run.buffers.magnitudeOut.fill(-99.0f);
            run.module->setEngineInfo(SplitRun::engineFor(c.frames, c.bins));
            auto* block = run.module->block();
            block->process(block, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           c.nullIn ? nullptr : run.buffers.magnitudeIn.table(),
                           c.nullOut ? nullptr : run.buffers.magnitudeOut.table(), nullptr,
                           nullptr);
            for (int32_t p = 0; p < shape->outputs; ++p) {
                for (int f = 0; f < 2; ++f) {
                    for (int k = 0; k < 4; ++k) ASSERT_EQ(run.out(p, f, k), -99.0f);
                }
            }
            EXPECT_TRUE(run.module->serviceLog().empty());
        }
    }
}

// --- independent models -------------------------------------------------------

float modelMin(float x, float y) {
    float s = x + y;
    float product = x * y;
    float q = s * s - product * 4.0f;
    float root = std::sqrt(std::fabs(q));
    return (s - root) * 0.5f;
}

struct Settings {
    float first, second, wrap;
    bool wrapRears;
};

std::vector<float> modelSlice(float L, float R, const Settings& s) {
    float C = modelMin(R, L);
    float a1 = s.first * 2 + 1;
    float L1 = L - s.first * C, R1 = R - s.first * C;
    float g = modelMin(C, L1), d = modelMin(C, R1);
    float LF = a1 * g, RF = a1 * d;
    float a2 = s.second * 2 + 1;
    float LSr = (L1 - s.first * g) * a2, RSr = (R1 - s.first * d) * a2;
    if (!s.wrapRears) return {LF, RF, C, LSr, RSr};
    float t = modelMin(LSr, LF), u = modelMin(RSr, RF);
    float shared = ((LSr - s.wrap * t) + (RSr - s.wrap * u)) * 0.5f;
    return {LF, RF, C, shared + t, shared + u};
}

std::vector<float> modelCC(float L, float R, const Settings& s) {
    float C = modelMin(R, L);
    float hC = s.first * C;
    float L1 = L - hC, R1 = R - hC;
    if (!s.wrapRears) return {C, L1, R1};
    float a = modelMin(L1, C), b = modelMin(R1, C);
    float M = ((L1 - s.wrap * a) + (R1 - s.wrap * b)) * 0.5f;
    return {C, M + a, M + b};
}

TEST(SliceAndCC, MatchIndependentModelsBitForBitOnRandomMagnitudes) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> humidity(0.0, 1.0);
    std::uniform_real_distribution<float> magnitude(0.0f, 200.0f), nudge(-1e-4f, 1e-4f);
    std::uniform_int_distribution<int> kind(0, 9), wrapValue(0, 2);
    constexpr int32_t kFrames = 4, kBins = 1025;

    for (const ModuleShape* shape : kBoth) {
        SCOPED_TRACE(shape->className);
        SplitRun run(*shape, kFrames, kBins);
        int notTheSmaller = 0;
        for (int trial = 0; trial < 12; ++trial) {
            const Humidities h{humidity(random), humidity(random), humidity(random),
                               wrapValue(random)};
            const Settings s{static_cast<float>(h.first), static_cast<float>(h.second),
                             static_cast<float>(h.wrap), h.wrapRears != 0};
            applyTo(*shape, *run.module, h);
            for (int f = 0; f < kFrames; ++f) {
                float* L = run.buffers.magnitudeIn.frame(0, f);
                float* R = run.buffers.magnitudeIn.frame(1, f);
                for (int k = 0; k < kBins; ++k) {
                    L[k] = magnitude(random);
                    switch (kind(random)) {
                    case 0: R[k] = L[k]; break;                         // centred
                    case 1: R[k] = L[k] * (1.0f + nudge(random)); break;  // nearly centred
                    case 2: R[k] = 0.0f; break;                         // hard left
                    case 3: R[k] = -magnitude(random) * 0.01f; break;   // below zero
                    default: R[k] = magnitude(random);
                    }
                    if (modelMin(R[k], L[k]) != std::min(R[k], L[k])) ++notTheSmaller;
                }
            }
            run.buffers.magnitudeOut.fill(-99.0f);
            run.module->process(run.buffers);
            for (int f = 0; f < kFrames; ++f) {
                for (int k = 0; k < kBins; ++k) {
                    const float L = run.buffers.magnitudeIn.frame(0, f)[k];
                    const float R = run.buffers.magnitudeIn.frame(1, f)[k];
                    const auto expected = shape == &kSlice ? modelSlice(L, R, s) : modelCC(L, R, s);
                    for (int32_t p = 0; p < shape->outputs; ++p) {
                        const float got = run.out(p, f, k);
                        ASSERT_EQ(std::bit_cast<uint32_t>(got),
                                  std::bit_cast<uint32_t>(expected[static_cast<std::size_t>(p)]))
                            << "trial " << trial << " frame " << f << " bin " << k << " pin "
                            << p << ": L " << L << " R " << R << " got " << got << " expected "
                            << expected[static_cast<std::size_t>(p)];
                    }
                }
            }
        }
        // The formula's rounding is part of the sound: a comparison would
        // pass the table above but not these bins.
        EXPECT_GT(notTheSmaller, 1000);
    }
}

// A host may hand an input frame back as an output frame.
TEST(SliceAndCC, OutputSharingAnInputFrameStillSeesBothInputs) {
    for (const ModuleShape* shape : kBoth) {
        SCOPED_TRACE(shape->className);
        constexpr int32_t kBins = 300;
        SplitRun separate(*shape, 1, kBins), shared(*shape, 1, kBins);
        for (SplitRun* run : {&separate, &shared}) {
            applyTo(*shape, *run->module, {0.7, 0.3, 0.6, 1});
            for (int k = 0; k < kBins; ++k) {
                run->buffers.magnitudeIn.frame(0, 0)[k] = 1.0f + static_cast<float>(k % 17);
                run->buffers.magnitudeIn.frame(1, 0)[k] = 2.5f + static_cast<float>(k % 5);
            }
        }
        separate.module->process(separate.buffers);

        // The first output pin writes over the R input, the last over L, the
        // others into frames of their own.
        std::vector<float*> outFrames(static_cast<std::size_t>(shape->outputs));
        std::vector<float**> outTable(static_cast<std::size_t>(shape->outputs));
        for (int32_t p = 0; p < shape->outputs; ++p) {
            outFrames[static_cast<std::size_t>(p)] = shared.buffers.magnitudeOut.frame(p, 0);
        }
        outFrames.front() = shared.buffers.magnitudeIn.frame(1, 0);
        outFrames.back() = shared.buffers.magnitudeIn.frame(0, 0);
        for (std::size_t p = 0; p < outFrames.size(); ++p) outTable[p] = &outFrames[p];
        auto* block = shared.module->block();
        block->process(block, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       shared.buffers.magnitudeIn.table(), outTable.data(), nullptr, nullptr);
        for (int32_t p = 0; p < shape->outputs; ++p) {
            for (int k = 0; k < kBins; ++k) {
                ASSERT_EQ(outFrames[static_cast<std::size_t>(p)][k], separate.out(p, 0, k))
                    << "pin " << p << " bin " << k;
            }
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
