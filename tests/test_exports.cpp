// SPDX-License-Identifier: MIT
// The four exports and the module table, as the host lists and creates modules.
#include <cstring>

#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::BiduleInfo;
using plogue::biduleSDK::HostRecord;
using plogue::biduleSDK::kPluginBlockVersion;

struct ExpectedRow {
    const char* uniqueId;
    const char* name;
    const char* categoryPath;
};

constexpr ExpectedRow kRows[] = {
    {"audio.quorveil.Clip4_6", "Clip4_6", "Z\tClip 4.6"},
    {"audio.quorveil.ArcTan4_6", "ArcTan4_6", "Spectral\tMagnitude\tArcTan 4.6"},
    {"audio.quorveil.Slice4_6", "Slice4_6", "Spectral\tMagnitude\tSlice 4.6"},
    {"audio.quorveil.CC4_6", "CC4_6", "Spectral\tMagnitude\tCC 4.6"},
    {"audio.quorveil.ConstantPowerPanner4_6", "Constant Power Panner 4.6",
     "Mixing\tSurround\tConstant Power Panner 4.6"},
    {"audio.quorveil.ATF4_6", "ATF4_6", "Spectral\tMagnitude\tATF 4.6"},
};

// Checks that `field` holds `text`, its terminator, then the fill byte.
void expectTextThenUntouched(const char* field, std::size_t bytes, const char* text) {
    const std::size_t length = std::strlen(text);
    EXPECT_EQ(std::string(field, length), text);
    EXPECT_EQ(field[length], '\0');
    for (std::size_t i = length + 1; i < bytes; ++i) {
        ASSERT_EQ(static_cast<unsigned char>(field[i]), 0xA5u) << "byte " << i << " of " << text;
    }
}

TEST(ModuleTable, CountsSixModules) { EXPECT_EQ(library().getNumBidules(), 6); }

TEST(ModuleTable, FillsEveryRowAndOnlyItsTexts) {
    for (int32_t index = 0; index < 6; ++index) {
        SCOPED_TRACE(index);
        BiduleInfo info;
        std::memset(&info, 0xA5, sizeof info);
        ASSERT_EQ(library().fillBiduleInfo(index, &info), 0);
        const ExpectedRow& row = kRows[index];
        expectTextThenUntouched(info.uniqueId, sizeof info.uniqueId, row.uniqueId);
        expectTextThenUntouched(info.name, sizeof info.name, row.name);
        expectTextThenUntouched(info.categoryPath, sizeof info.categoryPath, row.categoryPath);
    }
}

TEST(ModuleTable, OutOfRangeIndexLeavesRecordUntouched) {
    for (int32_t index : {6, 7, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        BiduleInfo info;
        std::memset(&info, 0x5A, sizeof info);
        BiduleInfo before = info;
        EXPECT_EQ(library().fillBiduleInfo(index, &info), 1);
        EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
    }
    EXPECT_EQ(library().fillBiduleInfo(0, nullptr), 1);
}

TEST(NewInstance, RefusesIdsThatAreNotExactlyAModulesId) {
    HostRecord record{nullptr};
    for (const char* id : {"audio.quorveil.clip4_6", "AUDIO.QUORVEIL.CLIP4_6",
                           "audio.quorveil.Clip4_6 ", "audio.quorveil.Clip4_", "Clip4_6", "",
                           "audio.quorveil.Clip4_6x"}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(library().newInstance(id, &record), nullptr);
    }
    EXPECT_EQ(library().newInstance(nullptr, &record), nullptr);
}

TEST(NewInstance, FillsTheBlockWithEntriesObjectAndHost) {
    HostRecord record{nullptr};
    auto* block = library().newInstance("audio.quorveil.Clip4_6", &record);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->version, kPluginBlockVersion);
    EXPECT_NE(block->dispatch, nullptr);
    EXPECT_NE(block->process, nullptr);
    EXPECT_NE(block->object, nullptr);
    EXPECT_EQ(block->host, &record);
    library().deleteInstance(block);
}

TEST(NewInstance, TwoInstancesOfOneModuleAreIndependent) {
    auto first = instanceOf("Clip4_6");
    auto second = instanceOf("Clip4_6");
    EXPECT_NE(first->block(), second->block());
    EXPECT_NE(first->block()->object, second->block()->object);
    first->setEngineInfo(host::makeEngineInfo(48000, 4, 1024, 4, 1));
    second->setEngineInfo(host::makeEngineInfo(48000, 4, 2048, 4, 1));
    host::ProcessBuffers a(first->pinCounts(), host::makeEngineInfo(48000, 4, 1024, 4, 1));
    host::ProcessBuffers b(second->pinCounts(), host::makeEngineInfo(48000, 4, 2048, 4, 1));
    first->process(a);
    second->process(b);
    EXPECT_EQ(a.audioOut.pin(6)[0], 768.0f);
    EXPECT_EQ(b.audioOut.pin(6)[0], 1536.0f);
}

// A block without object is the host's own record: it is neither written
// nor followed to the instance whose entries it carries, which lives on.
TEST(DeleteInstance, IgnoresNullBlocksAndBlocksWithoutObject) {
    library().deleteInstance(nullptr);
    auto clip = instanceOf("Clip4_6");
    plogue::biduleSDK::PluginBlock orphan = *clip->block();
    orphan.object = nullptr;
    unsigned char before[sizeof orphan];
    std::memcpy(before, &orphan, sizeof orphan);
    library().deleteInstance(&orphan);
    EXPECT_EQ(std::memcmp(&orphan, before, sizeof orphan), 0);
    EXPECT_EQ(clip->pinCount(plogue::biduleSDK::DispatchOp::AudioOutCount), 7);
    EXPECT_NE(clip->block()->object, nullptr);
}

}  // namespace
}  // namespace quorveil::testing
