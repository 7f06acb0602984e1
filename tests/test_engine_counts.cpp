// SPDX-License-Identifier: MIT
// Counts in the engine settings bound every module's loops. A host that sends
// a negative block size, frame count or bin count must not send a module
// reading and writing far past its buffers: such a block is nothing to do.
#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

TEST(EngineCounts, NegativeCountsMakeEveryModuleWriteNothing) {
    const struct {
        const char* what;
        int32_t blockSize, frameCount, binCount;
        bool audioIdle, spectralIdle;  // which families have nothing to do
    } cases[] = {
        {"negative block size", -1, 2, 9, true, false},
        {"negative frame count", 16, -3, 9, false, true},
        {"negative bin count", 16, 2, -5, false, true},
        {"most negative counts", INT32_MIN, INT32_MIN, INT32_MIN, true, true},
    };
    for (const host::ModuleRow& row : library().modules()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(row.name + ": " + c.what);
            host::HostedInstance instance(library(), row.uniqueId);
            auto engine = host::makeEngineInfo(48000, c.blockSize, 16, 4, c.frameCount);
            engine.binCount = c.binCount;
            instance.setEngineInfo(engine);
            instance.start();
            // Buffers sized for a sane block: anything written shows as a change.
            host::ProcessBuffers buffers(instance.pinCounts(),
                                         host::makeEngineInfo(48000, 16, 16, 4, 2));
            buffers.audioIn.fill(0.5f);
            buffers.magnitudeIn.fill(0.5f);
            buffers.frequencyIn.fill(100.0f);
            buffers.audioOut.fill(-7.0f);
            buffers.magnitudeOut.fill(-7.0f);
            instance.clearServiceLog();
            instance.process(buffers);
            for (int32_t pin = 0; c.audioIdle && pin < buffers.audioOut.pinCount(); ++pin) {
                EXPECT_EQ(buffers.audioOut.pin(pin)[0], -7.0f);
            }
            for (int32_t pin = 0; c.spectralIdle && pin < buffers.magnitudeOut.pinCount(); ++pin) {
                EXPECT_EQ(buffers.magnitudeOut.frame(pin, 0)[0], -7.0f);
            }
            // Gains of the panner are worked out per block whatever its
            // length; no module calls the host for a block it does not run.
            EXPECT_TRUE(instance.serviceLog().empty());
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
