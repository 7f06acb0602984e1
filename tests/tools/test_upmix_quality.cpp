// SPDX-License-Identifier: GPL-3.0-or-later
// What a stereo-to-5.1 upmix owes its listeners, measured as the quality
// bench measures it (bench/quality) on signals with known answers, for every
// method at default settings: sources keep their place, ambience goes
// behind, nothing vanishes or jumps in level, the downmix gives the stereo
// back, dialogue stays in the centre, the LFE takes only the bass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "bench/quality/LayoutQuality.h"
#include "bench/quality/QualityMetrics.h"
#include "bench/quality/Scorecard.h"
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
    // wrap-around and centre-and-surrounds methods place them elsewhere on
    // purpose.
    bool frontStage;
};
constexpr Configuration kConfigurations[] = {
    {"slice", spectral::UpmixMethod::Slice, false, true},
    {"arctan", spectral::UpmixMethod::ArcTan, false, false},
    {"cc", spectral::UpmixMethod::CC, false, false},
    {"slice_atf", spectral::UpmixMethod::Slice, true, true},
    {"arctan_atf", spectral::UpmixMethod::ArcTan, true, false},
    {"cc_atf", spectral::UpmixMethod::CC, true, false},
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
        forEachRow(rows, "decorrelated", [](const QualityRow& row) {
            EXPECT_GE(behind(row), 50.0);
            // What only looks coherent over a short average must not
            // gather in the centre (1.4% here; 1.8% when the bias of the
            // coherence estimate is not taken off).
            EXPECT_LE(row.share[FC], 1.6);
        });
        forEachRow(rows, "L = -R", [](const QualityRow& row) { EXPECT_GE(behind(row), 80.0); });
    }
    {
        SCOPED_TRACE("nothing vanishes or jumps in level");
        // Within 0.4 dB: the signals stay below the limiter's ceiling, so
        // only the per-bin power normalisation keeps them there.
        forEachRow(rows, "", [](const QualityRow& row) { EXPECT_NEAR(row.powerDb, 0.0, 0.4); });
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

// On moving sound and at the defaults, as the scorecard measures them: one
// row per target, held by every method, by the front-stage methods only
// (placement), or by the methods that keep a centred sound in front while
// another part moves (the wrap-around ring turns any change of balance into
// a large move, so its pumping figures are reported, not held).
enum class HeldBy { Every, FrontStage, KeepsItsCentre };
struct Held {
    const char* what;
    HeldBy by;
    double (*measure)(const Scorecard&);
    double most;  // the figure must not exceed it
};
constexpr Held kHeld[] = {
    {"pumping: the centred noise's dip in FC (dB, negated)", HeldBy::KeepsItsCentre,
     [](const Scorecard& c) { return -c.pumping.dipDb; }, 1.0},
    {"pumping: the noise pushed aside in a burst's first 150 ms (dB)", HeldBy::KeepsItsCentre,
     [](const Scorecard& c) { return c.pumping.spillEarlyDb; }, -15.0},
    // What the averages still carry of the burst when it has passed: within
    // the −25 dB wanted on the front stage since the bands that joined the
    // burst stay in it while it lasts (−24.5 dB if they let go). cc, whose sides
    // open into the surrounds, is held at −20 so that it gets no worse.
    {"pumping: the same 150-450 ms after its onset (dB)", HeldBy::KeepsItsCentre,
     [](const Scorecard& c) { return c.pumping.spillLateDb; }, -20.0},
    {"pumping: the same 150-450 ms after its onset, front stage (dB)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.pumping.spillLateDb; }, -25.0},
    // Well inside the 10% wanted since a hit across the spectrum takes the
    // bands it barely lifts (OnsetBands.h); held there (5.7% for slice and
    // cc, 6.7% for arctan: where the bed is strong, an event's power within
    // the bed's own scatter is left to the bed).
    // A kick's tail, dying away, stays apart from the averages: taken in as
    // a new steady sound, it would hold the ambience under it in FC (−14 dB).
    {"drum hits over ambience: the ambience in FC 0.4-0.6 s after a hit (dB)", HeldBy::Every,
     [](const Scorecard& c) { return c.drumHits.centreLaterDb; }, -18.0},
    {"a centred click: share behind (%)", HeldBy::Every, [](const Scorecard& c) { return c.clicks.behindPercent; }, 7.0},
    // A snare whose reverb begins with it and outweighs it in every frame
    // that holds both: the frames that still hold the snare's onset keep the
    // direction and coherence it showed where it rose (49% behind when each
    // frame's excess is judged on its own; FFmpeg 12%).
    {"a snare with its own reverb: the snare's share behind (%)", HeldBy::Every,
     [](const Scorecard& c) { return c.reverbedSnares.hitBehindPercent; }, 10.0},
    // A snare whose R is 1 ms late (spaced overheads) turns its band's
    // phase by 2.3 rad across an event's 17-bin sums: its band's step is
    // measured between disjoint blocks of bins (64% behind when taken
    // between the sums, which that biases low; FFmpeg 34%).
    {"a spaced-pair snare, R 1 ms late: share behind (%)", HeldBy::Every,
     [](const Scorecard& c) { return c.spacedSnaresBehindPercent.at(1); }, 10.0},
    // +2.5 dB: an event's power within the background's own scatter is no
    // event (+4.4 dB when it counts as one; FFmpeg +3.9 dB).
    {"a castanet: smearing, 20-50 ms above the input's (dB)", HeldBy::Every,
     [](const Scorecard& c) { return c.castanets.smearingDb; }, 4.0},
    // −30.0 dB: the pre-echo gate holds each speaker, in the 3 ms before a
    // sharp onset, to its level before (−26.1 dB without it, nearly all of
    // it within 0.3 ms of the onset; FFmpeg −28.3 dB). Held with a margin
    // for the FFT's rounding on other machines.
    {"a castanet: pre-echo, 10 ms before against 0-50 ms, front stage (dB)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.castanets.preEchoDb; }, -29.5},
    // What lies beyond the gate's window stays below FFmpeg's (−32.7 dB)
    // on the front stage, and within the −30 dB wanted for every method
    // (arctan, which wraps the sides around, −33.0 dB).
    {"a castanet: pre-echo from 10 to 1 ms before the onset (dB)", HeldBy::Every,
     [](const Scorecard& c) { return c.castanets.earlyPreEchoDb; }, -30.0},
    {"a castanet: pre-echo from 10 to 1 ms before the onset, front stage (dB)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.castanets.earlyPreEchoDb; }, -33.0},
    {"coherence-0.5 noise: worst band-level std above the input's (dB)", HeldBy::Every,
     [](const Scorecard& c) { return c.warble.worstStdAboveInputDb(); }, 0.2},
    {"coherence-0.5 noise: 4-32 Hz modulation in FL above the input's (dB)", HeldBy::KeepsItsCentre,
     [](const Scorecard& c) { return c.warble.modulationAboveInputDb; }, 0.3},
    // Short of steady decorrelated noise's share (one frame's excess always
    // shows some direction), but far ahead of FFmpeg's 34%; held there.
    {"diffuse bursts: share behind (%, negated)", HeldBy::Every,
     [](const Scorecard& c) { return -c.diffuseBurstsBehindPercent; }, -65.0},
    {"matrix-encoded S alone: behind against the rest (dB, negated)", HeldBy::Every,
     [](const Scorecard& c) { return -c.surroundBehindDb; }, -15.0},
    {"an orchestral recording: |BL/BR correlation|", HeldBy::Every,
     [](const Scorecard& c) { return std::fabs(c.orchestral.rearCorrelation); }, 0.2},
    {"a spaced pair 0.5 ms apart: share behind (%)", HeldBy::Every,
     [](const Scorecard& c) { return c.spacedPairs.at(1).behindPercent; }, 10.0},
    {"a 0 dBFS film mix: peak (dBFS)", HeldBy::Every, [](const Scorecard& c) { return c.film.peakDb; }, -0.1},
    {"a 0 dBFS film mix: samples at full scale", HeldBy::Every,
     [](const Scorecard& c) { return static_cast<double>(c.film.overs); }, 0.0},
    {"hard left: FR's share, R at -90 dBFS (%)", HeldBy::Every,
     [](const Scorecard& c) { return c.crosstalkFloorPercent; }, 0.1},
    {"partly coherent noise: |BL/BR correlation|", HeldBy::Every,
     [](const Scorecard& c) { return std::fabs(c.rearCorrelationNoise); }, 0.2},
    // A sound that jumps sides, which averages still on the old side would
    // take for diffuse sound, one that pans across the stage in a second,
    // which averages following at their steady pace would place late and
    // partly behind, and one an auto-panner swings there and back twice a
    // second, faster than any average. No target is set; FFmpeg 1.4°, 4.8°
    // and 4.5°.
    {"a source jumping sides: azimuth error (deg RMS)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.jumpingErrorDeg; }, 1.0},
    {"a source sweeping across the stage: azimuth error (deg RMS)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.sweepingErrorDeg; }, 1.5},
    {"an auto-panned source: azimuth error (deg RMS)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.autoPanErrorDeg; }, 4.5},
    // The sweeping source over ambience 10 dB down, whose recent frames are
    // never coherent enough to pass for one source alone (20° without the
    // tests over ambience, 6.3° without the level test at the sides; FFmpeg
    // 5.9°).
    {"a source sweeping over ambience: azimuth error (deg RMS)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.overAmbience.errorDeg; }, 6.0},
    {"nine pans: largest azimuth error (deg)", HeldBy::FrontStage,
     [](const Scorecard& c) { return c.worstAzimuthErrorDeg; }, 2.0},
};

TEST_P(UpmixQuality, HoldsOnMovingSoundAndAtTheDefaults) {
    const host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
    const testing::ScratchFolder scratch;
    const ScorecardSignals signals = scorecardSignals(loadSpeech(scratch.path().string()), {true, true});
    spectral::UpmixControls controls;
    controls.method = GetParam().method;
    controls.atf = GetParam().atf;
    const Upmixer upmixer = engineUpmixer(library, GetParam().name, controls);
    // The scorecard's measures that have a row here, and only those.
    Scorecard card;
    card.pumping = measurePumping(upmixer, signals.pumping);
    card.drumHits = measureAmbienceUnderHits(upmixer, signals.drumHits);
    card.clicks = measureTransients(upmixer, signals.clicks);
    card.castanets = measureTransients(upmixer, signals.castanets);
    card.reverbedSnares = measureReverbedHits(upmixer, signals.reverbedSnares);
    for (const BedAndSource& snares : signals.spacedSnares) {
        card.spacedSnaresBehindPercent.push_back(measureReverbedHits(upmixer, snares).hitBehindPercent);
    }
    card.warble = measureWarble(upmixer, signals.partlyCoherent);
    card.surroundBehindDb = measureBehindAgainstRest(upmixer, signals.surroundAlone.encoded);
    card.diffuseBurstsBehindPercent = measureBehindPercent(upmixer, signals.diffuseBursts);
    if (GetParam().frontStage) {
        card.jumpingErrorDeg = measureMovingSource(upmixer, signals.jumping).errorDeg;
        card.sweepingErrorDeg = measureMovingSource(upmixer, signals.sweeping).errorDeg;
        card.autoPanErrorDeg = measureMovingSource(upmixer, signals.autoPanned).errorDeg;
        card.overAmbience = measureMovingSource(upmixer, signals.overAmbience);
    }
    card.orchestral = measureProgramme(upmixer, signals.orchestral);
    card.spacedPairs = {{}, measureSpacedPair(upmixer, signals.spacedPairs.at(1))};
    card.film = measureProgramme(upmixer, signals.film);
    card.crosstalkFloorPercent = sharePercent(channelEnergies(upmixer.run(signals.hardLeftFloor, {})), {FR});
    card.rearCorrelationNoise = rearCorrelation(upmixer.run(signals.partlyCoherentShort, {}));
    card.worstAzimuthErrorDeg = 0.0;
    for (const TestSignal& panned : signals.panned) {
        const double azimuth = energyVector(channelEnergies(upmixer.run(panned, {}))).azimuth;
        card.worstAzimuthErrorDeg = std::max(card.worstAzimuthErrorDeg, std::fabs(azimuth - panned.expectedAzimuth));
    }
    const bool keepsItsCentre = GetParam().method != spectral::UpmixMethod::ArcTan;
    for (const Held& held : kHeld) {
        if (held.by == HeldBy::FrontStage && !GetParam().frontStage) continue;
        if (held.by == HeldBy::KeepsItsCentre && !keepsItsCentre) continue;
        EXPECT_LE(held.measure(card), held.most) << held.what;
    }
}

// Every layout, folded down to stereo with its own speakers' weights, gives
// the input back, and a hard-left source stays at FL and a quarter-left one
// at −7.5° (4.0 too, as a phantom image without FC): on sources that reach
// the fronts only, every speaker, and the surrounds mostly. A fold-down that
// leaves a speaker's weights out (7.1's sides, 4.0's surrounds) or a layout
// whose routing drops a bus fails here (measured: −131, −17 and −39 dB, or
// better, on every layout).
TEST(EveryLayout, FoldsDownToItsInput) {
    const host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
    constexpr std::size_t kLength = 66150;  // 1.5 s
    const struct {
        TestSignal signal;
        double worstFoldDownDb;
    } kSources[] = {{pannedNoise(-1.0, kLength), -30.0},
                    // Its power split between FC and FL cannot fold down
                    // exactly through FC's 0.707 (−21 dB).
                    {pannedNoise(-0.25, kLength), -20.0},
                    {decorrelatedNoise(kLength), -12.0},
                    {antiPhaseNoise(kLength), -30.0}};
    for (const spectral::SpeakerLayout& layout : spectral::speakerLayouts()) {
        for (const auto& source : kSources) {
            SCOPED_TRACE(std::string(layout.name) + ": " + source.signal.name);
            const SpeakerSignals out = upmixLayout(library, layout, source.signal);
            ASSERT_EQ(out.size(), static_cast<std::size_t>(layout.count));
            const double db = foldDownErrorDb(layout, source.signal, out);
            EXPECT_LE(db, source.worstFoldDownDb);
            if (source.signal.kind == SignalKind::Panned) {
                EXPECT_NEAR(energyVector(layout, speakerEnergies(out)).azimuth, source.signal.expectedAzimuth, 1.0);
            }
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
