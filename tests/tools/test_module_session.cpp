// SPDX-License-Identifier: GPL-3.0-or-later
// The host's life of an instance as ModuleSession runs it: defaults reach the
// module, settings go by name or choice, and what the module sends back
// becomes messages and indicator tallies instead of an ever-growing log.
#include <gtest/gtest.h>

#include "host/hosting/ModuleSession.h"
#include "host/cli/RenderJob.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::testing {
namespace {

using host::HostMessage;

const host::PluginLibrary& library() {
    static host::PluginLibrary loaded(QUORVEIL_LIBRARY_PATH);
    return loaded;
}

host::ModuleSession sessionOf(const std::string& module) {
    return host::ModuleSession(library(), library().findModule(module),
                               host::engineFor(host::RenderJob{}, 48000));
}

std::string said(const std::vector<HostMessage>& messages) {
    std::string text;
    for (const HostMessage& message : messages) {
        text += message.parameter + (message.kind == HostMessage::Kind::Enabled ? " enabled " : " ") +
                message.value + "\n";
    }
    return text;
}

TEST(ModuleSession, DerivedValuesAndSwitchedControlsComeBackAsMessages) {
    auto arctan = sessionOf("ArcTan4_6");
    const std::string started = said(arctan.takeMessages());
    EXPECT_NE(started.find("Version: ArcTan4_6.quorveil.audio\n"), std::string::npos) << started;
    EXPECT_NE(started.find("Rear Width enabled off\n"), std::string::npos) << started;
    EXPECT_FALSE(arctan.findParameter("rear width").enabledAfterStart);
    EXPECT_TRUE(arctan.findParameter("Center Width").enabledAfterStart);

    // The module derives the rear width from the other two widths.
    arctan.set({"Front Width", "100"}, false);
    const std::string changed = said(arctan.takeMessages());
    EXPECT_NE(changed.find("Rear Width "), std::string::npos) << changed;
    EXPECT_EQ(arctan.currentValue(arctan.findParameter("Front Width")), "100");
}

TEST(ModuleSession, ChoicesGoByTextOrIndex) {
    auto arctan = sessionOf("ArcTan4_6");
    const auto& mode = arctan.findParameter("MODE");
    EXPECT_EQ(arctan.currentValue(mode), "Sum");
    arctan.set({"mode", "diagonal"}, false);
    EXPECT_EQ(arctan.instance().parameter(mode.id).integer, 2);
    arctan.set({"Mode", "1"}, false);
    EXPECT_EQ(arctan.currentValue(mode), "Across");
    try {
        arctan.set({"Mode", "Wide"}, false);
        ADD_FAILURE() << "accepted";
    } catch (const host::HostError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "'Wide' is not a choice of 'Mode' (choices: 0 Sum, 1 Across, 2 Diagonal)");
    }
    EXPECT_EQ(arctan.currentValue(mode), "Across");
}

TEST(ModuleSession, ClipIndicatorIsTalliedNotLogged) {
    auto clip = sessionOf("Clip4_6");
    clip.takeMessages();
    host::ProcessBuffers buffers = clip.makeBuffers();
    for (int block = 0; block < 3; ++block) {
        buffers.audioIn.fill(0.5f);
        buffers.audioIn.pin(0)[1] = 1.0f;
        buffers.audioIn.pin(5)[1] = 1.0f;
        buffers.audioIn.pin(2)[7] = 3.0f;
        clip.process(buffers);
        EXPECT_TRUE(clip.instance().serviceLog().empty());
    }
    const auto tallies = clip.indicatorTallies();
    ASSERT_EQ(tallies.size(), 1u);
    EXPECT_EQ(tallies[0].parameter, "Clip4_6");
    EXPECT_EQ(tallies[0].lit, 6u);
    EXPECT_TRUE(clip.takeMessages().empty());
}

}  // namespace
}  // namespace quorveil::testing
