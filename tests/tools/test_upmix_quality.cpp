// SPDX-License-Identifier: GPL-3.0-or-later
// What a stereo-to-5.1 upmix owes its listeners, measured as the quality
// bench measures it (bench/quality) on signals with known answers, for every
// method at default settings: sources keep their place, ambience goes
// behind, nothing vanishes or jumps in level, the downmix gives the stereo
// back, dialogue stays in the centre, the LFE takes only the bass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "bench/quality/QualityMetrics.h"
#include "bench/quality/TestSignals.h"
#include "bench/quality/Upmixers.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::quality {
namespace {

struct Configuration {
    const char* name;
    spectral::UpmixMethod method;
    bool atf;
    // A front-stage method keeps dry sources on the front arc; the
    // wrap-around method places them around the listener on purpose.
    bool frontStage;
};
constexpr Configuration kConfigurations[] = {
    {"slice", spectral::UpmixMethod::Slice, false, true},
    {"arctan", spectral::UpmixMethod::ArcTan, false, false},
    {"cc", spectral::UpmixMethod::CC, false, true},
    {"slice_atf", spectral::UpmixMethod::Slice, true, true},
};

double behind(const QualityRow& row) { return row.share[BL] + row.share[BR]; }

// The rows of the signals whose name starts with `prefix`, traced by name. A
// prefix that names no signal fails: a renamed or dropped signal must not
// take its target with it.
template <class Check>
void forEachRow(const std::vector<QualityRow>& rows, const std::string& prefix, Check check) {
    std::size_t checked = 0;
    for (const QualityRow& row : rows) {
        if (row.signal.rfind(prefix, 0) != 0) continue;
        SCOPED_TRACE(row.signal);
        check(row);
        ++checked;
    }
    EXPECT_GT(checked, 0u) << "no signal's name starts with \"" << prefix << "\"";
}

class UpmixQuality : public ::testing::TestWithParam<Configuration> {};

// One configuration per test, so each is measured once however the tests
// are run: 3 s of each noise, the dialogue and the demo whole, and the
// extra runs (rear delay 0, LFE at 120 Hz) only where a target needs them.
TEST_P(UpmixQuality, MeetsEveryTarget) {
    const host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
    const testing::ScratchFolder scratch;
    const Speech speech = loadSpeech(scratch.path().string());
    spectral::UpmixControls controls;
    controls.method = GetParam().method;
    controls.atf = GetParam().atf;
    const std::vector<QualityRow> rows = measureAll(
        engineUpmixer(library, GetParam().name, controls), standardSignals(3.0, speech), false);

    if (GetParam().frontStage) {
        SCOPED_TRACE("dry panned sources keep their place on the front arc");
        forEachRow(rows, "pan", [](const QualityRow& row) {
            EXPECT_NEAR(row.vector.azimuth, row.expectedAzimuth, 5.0);
            EXPECT_LE(behind(row), 5.0);
        });
    }
    {
        SCOPED_TRACE("ambience goes behind");
        forEachRow(rows, "decorrelated", [](const QualityRow& row) { EXPECT_GE(behind(row), 50.0); });
        forEachRow(rows, "L = -R", [](const QualityRow& row) { EXPECT_GE(behind(row), 80.0); });
    }
    {
        SCOPED_TRACE("nothing vanishes or jumps in level");
        forEachRow(rows, "", [](const QualityRow& row) { EXPECT_NEAR(row.powerDb, 0.0, 1.0); });
    }
    if (GetParam().frontStage) {
        SCOPED_TRACE("the ITU downmix gives the stereo back");
        for (const char* signal : {"dialogue", "demo"}) {
            forEachRow(rows, signal, [](const QualityRow& row) { EXPECT_LE(row.downmixDb, -15.0); });
        }
    }
    {
        SCOPED_TRACE("dialogue stays in the centre");
        forEachRow(rows, "dialogue", [](const QualityRow& row) { EXPECT_GE(row.dialogueDb, 15.0); });
    }
    {
        SCOPED_TRACE("the LFE takes only what is below its cutoff");
        for (const char* signal : {"pan +0.0", "dialogue", "demo"}) {
            forEachRow(rows, signal, [](const QualityRow& row) { EXPECT_LE(row.lfeLeakDb, -30.0); });
        }
    }
}

// Where espeak-ng is installed, dialogue it could not speak stops the
// measurement instead of quietly measuring the synthetic voice.
TEST(QualitySignals, SpeechThatCannotBeReadBackIsAnError) {
    if (std::system("command -v espeak-ng > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "espeak-ng is not installed";
    }
    EXPECT_THROW(loadSpeech("/nonexistent/quality-scratch"), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, UpmixQuality, ::testing::ValuesIn(kConfigurations),
                         [](const ::testing::TestParamInfo<Configuration>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quorveil::quality
