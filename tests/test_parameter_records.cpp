// SPDX-License-Identifier: MIT
// Parameter description records as the host reads them, byte for byte, for
// every module the library can create, and the choice lists a host reads for
// the choice parameters among them. Each module's records are listed here in
// the order the host lays out its panel, written from what the modules are
// documented to show (docs/library.md, module headers), not taken from their tables.
// The host pre-fills its array: every byte a record's kind does not write
// must keep the host's fill, whatever that fill is.
#include <cstring>
#include <memory>

#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::DispatchOp;
using plogue::biduleSDK::kNameEntryBytes;
using plogue::biduleSDK::ParameterInfo;
using plogue::biduleSDK::ParameterKind;

struct ModuleRecords {
    const char* className;
    std::vector<ExpectedParameter> records;
};

// The display setting of real values (realFormat): 1 for ArcTan4_6 and
// ATF4_6, 2 for the splitters and the panner.
constexpr int32_t kPlacerFormat = 1, kSplitterFormat = 2, kPannerFormat = 2;

std::vector<ExpectedParameter> speakerAngles(int32_t firstId, int32_t realFormat) {
    return {
        expectReal(firstId, "LF Speaker Angle", 45.0, 0.0, 360.0, "degrees", realFormat),
        expectReal(firstId + 1, "RF Speaker Angle", 315.0, 0.0, 360.0, "degrees", realFormat),
        expectReal(firstId + 2, "C Speaker Angle", 0.0, 0.0, 360.0, "degrees", realFormat),
        expectReal(firstId + 3, "LS Speaker Angle", 120.0, 0.0, 360.0, "degrees", realFormat),
        expectReal(firstId + 4, "RS Speaker Angle", 240.0, 0.0, 360.0, "degrees", realFormat),
    };
}

std::vector<ExpectedParameter> joined(std::initializer_list<std::vector<ExpectedParameter>> parts) {
    std::vector<ExpectedParameter> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

ExpectedParameter humidity(int32_t id, const char* name) {
    return expectReal(id, name, 1.0, 0.0, 1.0, "1 = 100%", kSplitterFormat);
}

std::vector<ModuleRecords> allModuleRecords() {
    return {
        {"Clip4_6", {expectIndicator(0, "Clip4_6"), expectText(1, "\nVersion:")}},
        {"ArcTan4_6",
         joined({{expectReal(1, "Mag/Freq Ratio", 1.0, 0.0, 1.0, "Image Portion", kPlacerFormat)},
                 speakerAngles(9, kPlacerFormat),
                 {expectText(8, "Speaker Angles:"), expectChoice(7, "Mode", 0, 3),
                  // Centre width stops at 119 so that the derived rear width,
                  // 180 - (Cw/2 + Fw), stays above 0 with the front width at 120.
                  expectReal(4, "Center Width", 30.0, 0.0, 119.0, "degrees", kPlacerFormat),
                  expectReal(5, "Front Width", 60.0, 0.0, 120.0, "degrees", kPlacerFormat),
                  expectReal(6, "Rear Width", 90.0, 0.0, 180.0, "degrees", kPlacerFormat),
                  expectText(14, "\nVersion:"), expectChoice(2, "Freq. Mode", 0, 5),
                  expectReal(3, "Total Image Width", 360.0, 0.0, 360.0, "degrees",
                             kPlacerFormat)}})},
        {"Slice4_6",
         {humidity(0, "Stage One Humidity"), humidity(1, "Stage Two Humidity"),
          expectSwitch(2, "Wrap Rears", 0), humidity(3, "Wrap Humidity"),
          expectText(4, "\nVersion:")}},
        {"CC4_6",
         {humidity(0, "Rear Humidity"), expectSwitch(1, "Wrap Rears", 0),
          humidity(2, "Wrap Humidity"), expectText(3, "\nVersion:")}},
        {"ConstantPowerPanner4_6",
         joined({{expectReal(0, "Pan Angle", 0.0, -180.0, 180.0, "degrees", kPannerFormat)},
                 speakerAngles(2, kPannerFormat),
                 {expectText(1, "Speaker Angles:"), expectText(7, "\nVersion:")}})},
        {"ATF4_6",
         joined({{expectReal(0, "Depth", 0.0, 0.0, 180.0, "degrees", kPlacerFormat)},
                 speakerAngles(6, kPlacerFormat),
                 {expectText(5, "Speaker Angles:"), expectChoice(4, "Mode", 0, 2),
                  expectReal(1, "Center Width", 30.0, 0.0, 119.0, "degrees", kPlacerFormat),
                  expectReal(2, "Front Width", 60.0, 0.0, 120.0, "degrees", kPlacerFormat),
                  expectReal(3, "Rear Width", 90.0, 0.0, 180.0, "degrees", kPlacerFormat)}})},
    };
}

TEST(ParameterRecords, EveryModuleWritesItsFieldsAndNothingElse) {
    const auto modules = allModuleRecords();
    ASSERT_EQ(modules.size(), static_cast<std::size_t>(library().getNumBidules()))
        << "a module of the table has no expected records here";
    for (const ModuleRecords& module : modules) {
        SCOPED_TRACE(module.className);
        auto instance = instanceOf(module.className);
        for (unsigned char fill : {0x00, 0xA5}) {
            SCOPED_TRACE(::testing::Message() << "fill 0x" << std::hex << int{fill});
            const auto infos = describeInto(*instance, fill);
            ASSERT_EQ(infos.size(), module.records.size());
            for (std::size_t i = 0; i < infos.size(); ++i) {
                SCOPED_TRACE(i);
                expectParameterRecord(infos[i], module.records[i], fill);
            }
        }
    }
}

// --- choice lists (dispatcher op 19) -----------------------------------------

struct ExpectedChoices {
    const char* className;
    int32_t id;
    std::vector<std::string> choices;
};

const ExpectedChoices kChoiceParameters[] = {
    {"ArcTan4_6", 2, {"HFTC", "HFTS", "HFTL", "HFTR", "Disabled"}},
    {"ArcTan4_6", 7, {"Sum", "Across", "Diagonal"}},
    {"ATF4_6", 4, {"Across", "Diagonal"}},
};

// The choiceCount the module itself announced for parameter `id`.
int32_t announcedChoiceCount(host::HostedInstance& instance, int32_t id) {
    for (const ParameterInfo& info : describeInto(instance, 0x00)) {
        if (info.id == id && info.kind == static_cast<int32_t>(ParameterKind::Choice)) {
            return info.integerDefault.choiceCount;
        }
    }
    ADD_FAILURE() << "no choice parameter " << id;
    return 0;
}

// Op 19 into `bytes` bytes pre-filled with 0x7f.
std::unique_ptr<char[]> choiceEntries(host::HostedInstance& instance, int32_t id,
                                      std::size_t bytes) {
    auto entries = std::make_unique<char[]>(bytes);
    std::memset(entries.get(), 0x7f, bytes);
    instance.dispatch(DispatchOp::ChoiceList, entries.get(), &id);
    return entries;
}

// A host sizes the buffer for op 19 from the record's choiceCount, 128 bytes
// an entry, and not one byte more. On the heap, exactly that large, so the
// address sanitizer stops a write past its end; and once more with a spare
// entry, which must keep the host's bytes in every build.
TEST(ChoiceLists, FillExactlyTheBufferTheHostSizedFromTheRecord) {
    for (const ExpectedChoices& c : kChoiceParameters) {
        SCOPED_TRACE(::testing::Message() << c.className << " parameter " << c.id);
        auto instance = instanceOf(c.className);
        const int32_t count = announcedChoiceCount(*instance, c.id);
        ASSERT_EQ(count, static_cast<int32_t>(c.choices.size()));

        const std::size_t bytes = static_cast<std::size_t>(count) * kNameEntryBytes;
        const auto entries = choiceEntries(*instance, c.id, bytes);
        const auto spare = choiceEntries(*instance, c.id, bytes + kNameEntryBytes);
        for (std::size_t b = bytes; b < bytes + kNameEntryBytes; ++b) {
            ASSERT_EQ(spare[b], '\x7f') << "wrote past the announced choices, byte " << b;
        }
        for (std::size_t i = 0; i < c.choices.size(); ++i) {
            const char* entry = entries.get() + i * kNameEntryBytes;
            EXPECT_EQ(host::fieldText(entry, kNameEntryBytes), c.choices[i]) << "choice " << i;
            const std::size_t end = c.choices[i].size() + 1;
            for (std::size_t b = end; b < kNameEntryBytes; ++b) {
                ASSERT_EQ(entry[b], '\x7f') << "choice " << i << " wrote byte " << b;
            }
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
