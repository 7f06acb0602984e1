// SPDX-License-Identifier: MIT
// The dispatcher and process entry of the PluginBlock, driven as the host
// drives them. Clip4_6 stands in for every module: the frame is shared.
#include <cstring>

#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::DispatchOp;
using plogue::biduleSDK::EngineInfo;
using plogue::biduleSDK::kNameEntryBytes;

TEST(Dispatcher, ReportsPinCountsPerFamily) {
    auto clip = instanceOf("Clip4_6");
    const struct {
        DispatchOp op;
        int32_t expected;
    } cases[] = {
        {DispatchOp::AudioInCount, 6},     {DispatchOp::AudioOutCount, 7},
        {DispatchOp::MidiInCount, 0},      {DispatchOp::MidiOutCount, 0},
        {DispatchOp::FrequencyInCount, 0}, {DispatchOp::FrequencyOutCount, 0},
        {DispatchOp::MagnitudeInCount, 0}, {DispatchOp::MagnitudeOutCount, 0},
        {DispatchOp::InputPinNames, 6},    {DispatchOp::OutputPinNames, 7},
    };
    for (const auto& c : cases) {
        int32_t value = -7;
        clip->dispatch(c.op, nullptr, &value);
        EXPECT_EQ(value, c.expected) << "op " << static_cast<int>(c.op);
    }
}

TEST(Dispatcher, CopiesOnlyTheOfferedNumberOfPinNames) {
    auto clip = instanceOf("Clip4_6");
    std::vector<char> entries(3 * kNameEntryBytes, '\x7f');
    int32_t offered = 2;
    clip->dispatch(DispatchOp::InputPinNames, entries.data(), &offered);
    EXPECT_EQ(offered, 2);
    EXPECT_STREQ(entries.data(), "LF in");
    EXPECT_STREQ(entries.data() + kNameEntryBytes, "RF in");
    EXPECT_EQ(entries[6], '\x7f') << "bytes after a terminator stay the host's";
    EXPECT_EQ(entries[2 * kNameEntryBytes], '\x7f') << "entry 2 was not offered";
}

TEST(Dispatcher, LeavesSurplusNameEntriesUntouched) {
    auto clip = instanceOf("Clip4_6");
    std::vector<char> entries(9 * kNameEntryBytes, '\x7f');
    int32_t offered = 9;
    clip->dispatch(DispatchOp::OutputPinNames, entries.data(), &offered);
    EXPECT_EQ(offered, 9);
    EXPECT_STREQ(entries.data() + 6 * kNameEntryBytes, "FFT Delay");
    EXPECT_EQ(entries[7 * kNameEntryBytes], '\x7f');
    EXPECT_EQ(entries[8 * kNameEntryBytes], '\x7f');
}

TEST(Dispatcher, DescribesParametersInTwoStepsAndOnlyForTheRightCount) {
    auto clip = instanceOf("Clip4_6");
    int32_t count = 0;
    clip->dispatch(DispatchOp::DescribeParameters, nullptr, &count);
    EXPECT_EQ(count, 2);

    for (int32_t wrong : {1, 3, 0, -1}) {
        std::vector<plogue::biduleSDK::ParameterInfo> infos(3);
        std::memset(static_cast<void*>(infos.data()), 0x33, infos.size() * sizeof infos[0]);
        int32_t value = wrong;
        clip->dispatch(DispatchOp::DescribeParameters, infos.data(), &value);
        EXPECT_EQ(value, wrong);
        const auto* bytes = reinterpret_cast<const unsigned char*>(infos.data());
        for (std::size_t i = 0; i < infos.size() * sizeof infos[0]; ++i) {
            ASSERT_EQ(bytes[i], 0x33) << "count " << wrong << " wrote byte " << i;
        }
    }
}

TEST(Dispatcher, AnswersFlagMasks) {
    auto clip = instanceOf("Clip4_6");
    EXPECT_TRUE(clip->hasFlags(0));
    for (int32_t mask : {1, 2, 0x100, -1}) {
        EXPECT_FALSE(clip->hasFlags(mask)) << mask;
    }
}

TEST(Dispatcher, ChoiceListOfAParameterWithoutChoicesLeavesBufferUntouched) {
    auto clip = instanceOf("Clip4_6");
    std::vector<char> entries(2 * kNameEntryBytes, '\x11');
    for (int32_t id : {0, 1, 99}) {
        clip->dispatch(DispatchOp::ChoiceList, entries.data(), &id);
    }
    for (char c : entries) {
        ASSERT_EQ(c, '\x11');
    }
}

TEST(Dispatcher, UnknownAndReservedOpsDoNothing) {
    auto clip = instanceOf("Clip4_6");
    for (int32_t op : {17, 18, 21, 22, 1000, -1, INT32_MIN}) {
        int32_t value = 12345;
        char arg[256];
        std::memset(arg, 0x44, sizeof arg);
        clip->dispatch(op, arg, &value);
        EXPECT_EQ(value, 12345) << "op " << op;
        for (char c : arg) {
            ASSERT_EQ(c, '\x44') << "op " << op;
        }
    }
    EXPECT_TRUE(clip->serviceLog().empty());
}

// Every op that needs a value or an arg and gets none is dropped before it
// reaches the module: nothing is notified, set or answered.
TEST(Dispatcher, OpsMissingTheirValueOrArgDoNothing) {
    for (const host::ModuleRow& row : library().modules()) {
        SCOPED_TRACE(row.name);
        auto module = std::make_unique<host::HostedInstance>(library(), row.uniqueId);
        for (int32_t op = 1; op <= 19; ++op) {
            module->dispatch(op, nullptr, nullptr);
        }
        int32_t value = 5;  // a flag mask for op 13, a parameter id for op 19
        module->dispatch(DispatchOp::HasFlags, nullptr, &value);
        module->dispatch(DispatchOp::ChoiceList, nullptr, &value);
        EXPECT_EQ(value, 5);
        EXPECT_TRUE(module->serviceLog().empty()) << "op 14 without an id notified the module";
    }
    // Op 1 without settings leaves the engine settings empty: no block to write.
    auto clip = instanceOf("Clip4_6");
    clip->dispatch(DispatchOp::SetEngineInfo, nullptr, nullptr);
    host::ProcessBuffers buffers(clip->pinCounts(), host::makeEngineInfo(48000, 8, 1024, 4, 1));
    buffers.audioOut.fill(-3.0f);
    clip->process(buffers);
    EXPECT_EQ(buffers.audioOut.pin(6)[0], -3.0f);
}

TEST(Dispatcher, NullBlockOrObjectIsIgnoredByBothEntries) {
    auto clip = instanceOf("Clip4_6");
    auto* block = clip->block();
    int32_t value = 5;
    block->dispatch(nullptr, 2, nullptr, &value);
    EXPECT_EQ(value, 5);
    block->process(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
    plogue::biduleSDK::PluginBlock orphan = *block;
    orphan.object = nullptr;
    block->dispatch(&orphan, 2, nullptr, &value);
    EXPECT_EQ(value, 5);
    block->process(&orphan, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
}

TEST(EngineSettings, ProcessBeforeTheSettingsArriveWritesNothing) {
    auto clip = instanceOf("Clip4_6");
    host::ProcessBuffers buffers(clip->pinCounts(), host::makeEngineInfo(48000, 8, 1024, 4, 1));
    buffers.audioIn.fill(2.0f);
    buffers.audioOut.fill(-3.0f);
    clip->process(buffers);
    EXPECT_EQ(buffers.audioOut.pin(0)[0], -3.0f);
    EXPECT_EQ(buffers.audioOut.pin(6)[7], -3.0f);
    EXPECT_TRUE(clip->serviceLog().empty());
}

TEST(EngineSettings, AreCopiedFromTheFirst81BytesOnly) {
    auto clip = instanceOf("Clip4_6");
    // The host's block may end right after auxFlags: give exactly 81 bytes.
    const EngineInfo engine = host::makeEngineInfo(44100, 3, 1024, 4, 1);
    auto bytes = std::make_unique<unsigned char[]>(plogue::biduleSDK::kEngineInfoBytesRead);
    std::memcpy(bytes.get(), &engine, plogue::biduleSDK::kEngineInfoBytesRead);
    clip->dispatch(DispatchOp::SetEngineInfo, bytes.get(), nullptr);
    bytes.reset();  // not kept: later changes of the host's block reach nothing

    host::ProcessBuffers buffers(clip->pinCounts(), engine);
    buffers.audioOut.fill(-3.0f);
    clip->process(buffers);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buffers.audioOut.pin(6)[i], 768.0f);
    }
}

}  // namespace
}  // namespace quorveil::testing
