// SPDX-License-Identifier: MIT
// Adding a module, end to end: a second plug-in library serves the six
// shipped modules and a seventh that exists only in the tests
// (tests/seventh/midside), and a host lists, creates, describes, sets and
// processes the seventh through the four exports like any other module.
#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::HostOp;

constexpr const char* kSeventhId = "audio.quorveil.MidSideWidth";
constexpr int32_t kWidth = 0, kOutput = 1, kVersion = 2;

// The test library, loaded once per test program like the shipped one.
host::PluginLibrary& seventhLibrary() {
    static host::PluginLibrary loaded(QUORVEIL_SEVENTH_LIBRARY_PATH);
    return loaded;
}

TEST(SeventhModule, IsListedAfterTheSixShippedModules) {
    const std::vector<host::ModuleRow> shipped = library().modules();
    const std::vector<host::ModuleRow> rows = seventhLibrary().modules();
    ASSERT_EQ(shipped.size(), 6u);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < shipped.size(); ++i) {
        EXPECT_EQ(rows[i].uniqueId, shipped[i].uniqueId);
        EXPECT_EQ(rows[i].name, shipped[i].name);
        EXPECT_EQ(rows[i].categoryPath, shipped[i].categoryPath);
    }
    EXPECT_EQ(rows[6].uniqueId, kSeventhId);
    EXPECT_EQ(rows[6].name, "Mid/Side Width");
    EXPECT_EQ(rows[6].categoryPath, "Test\tMid/Side Width");
    // The six keep working from the second library.
    for (const host::ModuleRow& row : rows) {
        EXPECT_NO_THROW(host::HostedInstance(seventhLibrary(), row.uniqueId)) << row.name;
    }
}

TEST(SeventhModule, AnswersPinsParametersAndChoicesFromItsTables) {
    host::HostedInstance seventh(seventhLibrary(), kSeventhId);
    const host::PinCounts pins = seventh.pinCounts();
    EXPECT_EQ((std::array{pins.audioIn, pins.audioOut, pins.midiIn, pins.midiOut, pins.frequencyIn,
                          pins.frequencyOut, pins.magnitudeIn, pins.magnitudeOut}),
              (std::array{2, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(seventh.inputPinNames(), (std::vector<std::string>{"L in", "R in"}));
    EXPECT_EQ(seventh.outputPinNames(), (std::vector<std::string>{"L or M out", "R or S out"}));

    const ExpectedParameter records[] = {
        expectReal(kWidth, "Width", 1.0, 0.0, 2.0, "x side", 2),
        expectChoice(kOutput, "Output", 0, 2),
        expectText(kVersion, "\nVersion:"),
    };
    const auto infos = describeInto(seventh, 0xA5);
    ASSERT_EQ(infos.size(), std::size(records));
    for (std::size_t i = 0; i < infos.size(); ++i) {
        expectParameterRecord(infos[i], records[i], 0xA5);
    }
    EXPECT_EQ(seventh.choiceList(kOutput, 2), (std::vector<std::string>{"Left/Right", "Mid/Side"}));

    seventh.start();
    ASSERT_EQ(seventh.serviceLog().size(), 1u);
    EXPECT_EQ(seventh.serviceLog()[0].op, HostOp::SetTextValue);
    EXPECT_EQ(seventh.serviceLog()[0].id, kVersion);
    EXPECT_EQ(seventh.serviceLog()[0].text, "\nMidSideWidth.quorveil.audio");
}

// Started as a host starts it (defaults notified), then set and run for one
// block. Inputs are multiples of 1/8, so every output is exact.
TEST(SeventhModule, ProcessesABlockWithTheSettingsTheHostSet) {
    const struct {
        double width;
        int32_t output;
        float (*first)(float mid, float side);
        float (*second)(float mid, float side);
    } cases[] = {
        {1.0, 0, [](float m, float s) { return m + s; }, [](float m, float s) { return m - s; }},
        {0.0, 0, [](float m, float) { return m; }, [](float m, float) { return m; }},
        {2.0, 0, [](float m, float s) { return m + 2 * s; },
         [](float m, float s) { return m - 2 * s; }},
        {0.5, 1, [](float m, float) { return m; }, [](float, float s) { return s / 2; }},
    };
    constexpr int32_t kBlock = 64;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "width " << c.width << " output " << c.output);
        host::HostedInstance seventh(seventhLibrary(), kSeventhId);
        const auto engine = host::makeEngineInfo(48000, kBlock, 1024, 4, 1);
        seventh.setEngineInfo(engine);
        seventh.start();
        for (const auto& info : seventh.describeParameters()) seventh.setToDefault(info);
        seventh.setRealParameter(kWidth, c.width);
        seventh.setIntParameter(kOutput, c.output);

        host::ProcessBuffers buffers(seventh.pinCounts(), engine);
        for (int32_t i = 0; i < kBlock; ++i) {
            buffers.audioIn.pin(0)[i] = static_cast<float>(i) / 8;
            buffers.audioIn.pin(1)[i] = static_cast<float>(kBlock - 3 * i) / 8;
        }
        seventh.process(buffers);
        for (int32_t i = 0; i < kBlock; ++i) {
            const float left = buffers.audioIn.pin(0)[i], right = buffers.audioIn.pin(1)[i];
            const float mid = (left + right) / 2, side = (left - right) / 2;
            ASSERT_EQ(buffers.audioOut.pin(0)[i], c.first(mid, side)) << "sample " << i;
            ASSERT_EQ(buffers.audioOut.pin(1)[i], c.second(mid, side)) << "sample " << i;
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
