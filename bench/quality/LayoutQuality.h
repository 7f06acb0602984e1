// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix on every speaker layout it writes (host/spectral/SpeakerLayout.h),
// the default method at default settings, each layout measured with its own
// speakers' azimuths and fold-down weights (the LFE left out of both):
//   azimuth     the largest energy-vector error over the sine-law pans
//               p = −1, −0.75, …, 1; each belongs at 30·p degrees, in 4.0
//               (no centre) as a phantom image between FL and FR
//   dry outside the most any pan puts outside the front speakers
//               (|azimuth| > 30°), % of the output energy
//   sides       decorrelated noise and L = −R: share at ±90° (7.1's SL/SR)
//   behind      the same beyond ±90° (the surrounds at ±110°, 7.1's backs
//               at ±140°); both NaN where the layout has no such speaker
//   power       output over input energy, lowest and highest of all signals
//   fold-down   L′ = Σ foldLeft·speaker, R′ = Σ foldRight·speaker against
//               the input, as the downmix error (best lag, best gain), on
//               the band mix, dB
//   peak        the largest |sample| on the film mix, dBFS
#pragma once

#include <string>
#include <vector>

#include "bench/quality/QualityMetrics.h"
#include "bench/quality/RingPicture.h"
#include "bench/quality/TestSignals.h"
#include "host/hosting/PluginLibrary.h"
#include "host/spectral/SpeakerLayout.h"

namespace quorveil::quality {

// The output of one run: the layout's channels in its file order.
using SpeakerSignals = std::vector<std::vector<float>>;

// The signals every layout is measured with, made once.
struct LayoutSignals {
    std::vector<TestSignal> pans;  // p = −1, −0.75, …, 1
    TestSignal decorrelated, antiPhase;
    TestSignal band, film;
};
// Noises and the band mix last `seconds`; the film mix is the speech over
// that band mix, as long as the shorter of the two.
LayoutSignals layoutSignals(double seconds, const Speech& speech);

// `signal` through the engine (slice, default settings) writing `layout`.
SpeakerSignals upmixLayout(const host::PluginLibrary& library, const spectral::SpeakerLayout& layout,
                           const TestSignal& signal);
// Each speaker's energy, in the layout's file order.
std::vector<double> speakerEnergies(const SpeakerSignals& out);
// The energy vector over the layout's speakers (the LFE left out).
EnergyVector energyVector(const spectral::SpeakerLayout& layout, const std::vector<double>& energies);
// The layout's stereo fold-down against the input, dB (stereoErrorDb).
double foldDownErrorDb(const spectral::SpeakerLayout& layout, const TestSignal& in,
                       const SpeakerSignals& out);
// The share, %, of the output energy in the layout's speakers whose
// |azimuth| is above `from` and at most `to` degrees; NaN when it has none.
double shareBetween(const spectral::SpeakerLayout& layout, const std::vector<double>& sharePercent,
                     double from, double to);

struct PanLanding {
    double pan = 0.0;
    double expectedAzimuth = NAN;
    double azimuth = NAN;  // the energy vector's
};

struct LayoutRow {
    const spectral::SpeakerLayout* layout = nullptr;
    std::vector<PanLanding> pans;
    double worstAzimuthErrorDeg = NAN, worstPan = NAN;
    double dryOutsideFrontPercent = NAN;
    // % per speaker in file order, and output over input (dB).
    std::vector<double> decorrelatedShare, antiPhaseShare;
    double decorrelatedPowerDb = NAN, antiPhasePowerDb = NAN;
    double lowestPowerDb = NAN, highestPowerDb = NAN;
    double foldDownDb = NAN;  // band
    double peakDb = NAN;      // film

    double sidesPercent(const std::vector<double>& share) const { return shareBetween(*layout, share, 89.5, 90.5); }
    double behindPercent(const std::vector<double>& share) const { return shareBetween(*layout, share, 90.5, 180.0); }
};

// Every signal through the engine (slice, default settings) writing `layout`.
LayoutRow measureLayout(const host::PluginLibrary& library, const spectral::SpeakerLayout& layout,
                        const LayoutSignals& signals);

// The ring picture's panel of one layout: its speakers, where the pans land,
// and the shares of the decorrelated noise and of L = −R.
RingPanel layoutPanel(const LayoutRow& row);

}  // namespace quorveil::quality
