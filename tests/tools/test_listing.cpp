// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host list and info: the module table with menu paths, and a
// module's pins and parameters as a host panel shows them.
#include <gtest/gtest.h>

#include "tests/tools/ToolSupport.h"

namespace quorveil::testing {
namespace {

TEST(Listing, ListsEveryModuleWithItsMenuPath) {
    const HostRun run = runHost({"list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const char* rows[] = {
        "0  Clip4_6                    audio.quorveil.Clip4_6                 Z > Clip 4.6\n",
        "1  ArcTan4_6                  audio.quorveil.ArcTan4_6               Spectral > "
        "Magnitude > ArcTan 4.6\n",
        "4  Constant Power Panner 4.6  audio.quorveil.ConstantPowerPanner4_6  Mixing > Surround > "
        "Constant Power Panner 4.6\n",
        "5  ATF4_6                     audio.quorveil.ATF4_6                  Spectral > "
        "Magnitude > ATF 4.6\n",
    };
    for (const char* row : rows) {
        EXPECT_NE(run.out.find(row), std::string::npos) << row << "\nin\n" << run.out;
    }
}

TEST(Listing, LoadsTheLibraryNamedOnTheCommandLine) {
    const HostRun run = runHost({"--library", QUORVEIL_LIBRARY_PATH, "list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Clip4_6"), std::string::npos);
}

TEST(Listing, InfoFindsAModuleByAnyOfItsNames) {
    for (const std::string name : {"Clip4_6", "clip4_6", "AUDIO.QUORVEIL.CLIP4_6"}) {
        const HostRun run = runHost({"info", name});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out,
                  "Clip4_6\n"
                  "  unique id  audio.quorveil.Clip4_6\n"
                  "  menu       Z > Clip 4.6\n"
                  "\n"
                  "Pins\n"
                  "  audio in   6  LF in, RF in, C in, LFE in, LS in, RS in\n"
                  "  audio out  7  LF out, RF out, C out, LFE out, LS out, RS out, FFT Delay\n"
                  "\n"
                  "Parameters (in the order a host panel shows them)\n"
                  "  id  name      kind       default  range  unit  enabled\n"
                  "  0   Clip4_6   indicator  -        -      -     yes\n"
                  "  1   Version:  text       -        -      -     -\n"
                  "        value: Clip4_6.quorveil.audio\n");
    }
}

TEST(Listing, InfoShowsThePannerInArrayOrder) {
    const HostRun run = runHost({"info", "constant power panner 4.6"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string table =
        "  id  name              kind  default  range        unit     enabled\n"
        "  0   Pan Angle         real  0        -180 to 180  degrees  yes\n"
        "  2   LF Speaker Angle  real  45       0 to 360     degrees  yes\n"
        "  3   RF Speaker Angle  real  315      0 to 360     degrees  yes\n"
        "  4   C Speaker Angle   real  0        0 to 360     degrees  yes\n"
        "  5   LS Speaker Angle  real  120      0 to 360     degrees  yes\n"
        "  6   RS Speaker Angle  real  240      0 to 360     degrees  yes\n"
        "  1   Speaker Angles:   text  -        -            -        -\n"
        "  7   Version:          text  -        -            -        -\n"
        "        value: ConstantPowerPanner4_6.quorveil.audio\n";
    EXPECT_NE(run.out.find(table), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  audio out  5  LF, RF, C, LS, RS\n"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace quorveil::testing

namespace quorveil::testing {
namespace {

TEST(Listing, InfoShowsChoicesAndWhatStartSwitchedOff) {
    const HostRun run = runHost({"info", "ArcTan4_6"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line : {
             "  frequency in   2   L frequency in, R frequency in\n",
             "  7   Mode               choice  Sum      -         -              yes\n"
             "        choices: 0 Sum, 1 Across, 2 Diagonal\n",
             "  6   Rear Width         real    90       0 to 180  degrees        no\n",
         }) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin\n" << run.out;
    }
}

}  // namespace
}  // namespace quorveil::testing
