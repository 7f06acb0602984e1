// SPDX-License-Identifier: MIT
// The base class's host services as a module uses them, against a recording
// host: what each op sends, what the reads yield, and how over-long texts are
// cut to their buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/BidulePlugin.h"

namespace {

using namespace plogue::biduleSDK;

struct RecordingHost {
    HostRecord record{&RecordingHost::callback};
    struct Call {
        int32_t op, id;
        std::string text;
        int32_t integer = 0;
        double real = 0.0;
    };
    std::vector<Call> calls;
    // What the host answers to reads; a null answer stores nothing.
    const char* textAnswer = nullptr;
    std::size_t textAnswerBytes = 0;  // bytes written, no terminator added
    bool answerReads = false;

    static int32_t callback(HostRecord* host, int32_t op, int32_t id, void* data) {
        auto* self = reinterpret_cast<RecordingHost*>(host);
        Call call{op, id, {}, 0, 0.0};
        switch (static_cast<HostOp>(op)) {
        case HostOp::GetRealValue:
            call.real = *static_cast<double*>(data);
            if (self->answerReads) *static_cast<double*>(data) = 2.5;
            break;
        case HostOp::GetIntValue:
            call.integer = *static_cast<int32_t*>(data);
            if (self->answerReads) *static_cast<int32_t*>(data) = 7;
            break;
        case HostOp::GetTextValue:
            if (self->textAnswer != nullptr) {
                std::memcpy(data, self->textAnswer, self->textAnswerBytes);
            }
            break;
        case HostOp::SetTextValue:
        case HostOp::SendHostText:
            call.text = static_cast<const char*>(data);
            break;
        case HostOp::SetRealValue: call.real = *static_cast<double*>(data); break;
        case HostOp::SetIntValue:
        case HostOp::SetParameterEnabled: call.integer = *static_cast<int32_t*>(data); break;
        default: break;
        }
        self->calls.push_back(call);
        return 0;
    }
};

// A module that exposes the protected services to the test.
class ServiceProbe final : public BidulePlugin {
public:
    explicit ServiceProbe(HostRecord* host) : BidulePlugin(host, {}, {}) {}
    using BidulePlugin::getIntValue;
    using BidulePlugin::getRealValue;
    using BidulePlugin::getTextValue;
    using BidulePlugin::sendHostText;
    using BidulePlugin::setIntValue;
    using BidulePlugin::setParameterEnabled;
    using BidulePlugin::setRealValue;
    using BidulePlugin::setTextValue;
    bool start() override { return true; }
    void parameterChanged(int32_t) override {}
    void process(const BlockBuffers&) override {}
};

TEST(HostServices, ReadsPresetZeroAndYieldItWhenTheHostStoresNothing) {
    RecordingHost host;
    ServiceProbe probe(&host.record);
    EXPECT_EQ(probe.getRealValue(3), 0.0);
    EXPECT_EQ(probe.getIntValue(4), 0);
    EXPECT_EQ(probe.getTextValue(5), "");
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].op, 0);
    EXPECT_EQ(host.calls[0].id, 3);
    EXPECT_EQ(host.calls[0].real, 0.0) << "preset before the call";
    EXPECT_EQ(host.calls[1].op, 2);
    EXPECT_EQ(host.calls[1].integer, 0) << "preset before the call";
    EXPECT_EQ(host.calls[2].op, 1);
}

TEST(HostServices, ReadsYieldWhatTheHostStores) {
    RecordingHost host;
    host.answerReads = true;
    ServiceProbe probe(&host.record);
    EXPECT_EQ(probe.getRealValue(1), 2.5);
    EXPECT_EQ(probe.getIntValue(1), 7);
}

TEST(HostServices, WritesSendTheirValuesWithTheirOpCodes) {
    RecordingHost host;
    ServiceProbe probe(&host.record);
    probe.setRealValue(6, 105.0);
    probe.setIntValue(0, 1);
    probe.setParameterEnabled(2, true);
    probe.setParameterEnabled(2, false);
    probe.setTextValue(9, "");
    ASSERT_EQ(host.calls.size(), 5u);
    EXPECT_EQ(host.calls[0].op, 3);
    EXPECT_EQ(host.calls[0].real, 105.0);
    EXPECT_EQ(host.calls[1].op, 5);
    EXPECT_EQ(host.calls[1].integer, 1);
    EXPECT_EQ(host.calls[2].op, 6);
    EXPECT_EQ(host.calls[2].integer, 1);
    EXPECT_EQ(host.calls[3].integer, 0);
    EXPECT_EQ(host.calls[4].op, 4);
    EXPECT_EQ(host.calls[4].text, "") << "an empty text is a buffer starting with NUL";
}

TEST(HostServices, OverLongTextsAreCutToTheirBuffers) {
    RecordingHost host;
    ServiceProbe probe(&host.record);
    const std::string longText(30000, 'x');
    probe.setTextValue(1, longText.c_str());
    probe.sendHostText(longText.c_str());
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].text.size(), kTextValueBytes - 1);
    EXPECT_EQ(host.calls[1].op, 9);
    EXPECT_EQ(host.calls[1].id, 0);
    EXPECT_EQ(host.calls[1].text.size(), kHostTextBytes - 1);
}

TEST(HostServices, UnterminatedHostTextYieldsAtMost23999Bytes) {
    RecordingHost host;
    const std::string full(kTextValueBytes, 'y');  // fills the buffer, no NUL
    host.textAnswer = full.data();
    host.textAnswerBytes = full.size();
    ServiceProbe probe(&host.record);
    EXPECT_EQ(probe.getTextValue(1).size(), kTextValueBytes - 1);
}

// No host record, or one without a callback: every service is skipped, so
// nothing is called through a null pointer, and every read yields its preset.
TEST(HostServices, AModuleWithoutHostCallsNothing) {
    HostRecord noCallback{nullptr};
    for (HostRecord* host : {static_cast<HostRecord*>(nullptr), &noCallback}) {
        SCOPED_TRACE(host == nullptr ? "no host record" : "no callback");
        ServiceProbe probe(host);
        probe.setIntValue(0, 1);
        probe.setRealValue(0, 1.0);
        probe.setTextValue(0, "text");
        probe.setParameterEnabled(0, false);
        probe.sendHostText("text");
        EXPECT_EQ(probe.getRealValue(0), 0.0);
        EXPECT_EQ(probe.getIntValue(0), 0);
        EXPECT_EQ(probe.getTextValue(0), "");
    }
    EXPECT_EQ(noCallback.hostCallback, nullptr) << "the host's record is not written";
}

}  // namespace
