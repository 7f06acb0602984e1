// SPDX-License-Identifier: GPL-3.0-or-later
// FFTW has one planner per process, shared with every FFTW user the process
// has loaded: in a plug-in host, another plug-in linked to the same
// libfftw3f plans whenever it likes and takes no lock of ours. Our plans are
// made and destroyed on any thread (two LV2 instances set up at once) all
// the same.
#include <gtest/gtest.h>

#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

#include "host/spectral/Fft.h"

namespace quorveil::spectral {
namespace {

// Another FFTW user of the process: complex plans of sizes we never use,
// made and destroyed straight through FFTW until told to stop.
void planAsAnotherUser(const std::atomic<bool>& stop) {
    for (int i = 0; !stop; ++i) {
        const int size = 100 + (i % 37) * 6;
        fftwf_complex* data = fftwf_alloc_complex(static_cast<std::size_t>(size));
        fftwf_plan plan = fftwf_plan_dft_1d(size, data, data, FFTW_FORWARD, FFTW_ESTIMATE);
        fftwf_destroy_plan(plan);
        fftwf_free(data);
    }
}

// Ours: plans of five sizes in turn, each checked on an impulse, whose
// spectrum is flat. Counts the plans that transform wrongly.
void planAsAnEngine(int first, int& wrong) {
    for (int i = 0; i < 300; ++i) {
        RealFft fft(256 << ((i + first) % 5));
        std::fill_n(fft.time(), fft.size(), 0.0f);
        fft.time()[0] = 1.0f;
        fft.forward();
        const std::complex<float>* bins = fft.spectrum();
        wrong += std::any_of(bins, bins + fft.binCount(), [](std::complex<float> bin) {
            return std::abs(bin - std::complex<float>(1.0f, 0.0f)) > 1e-6f;
        });
    }
}

// Without a planner lock that binds every caller in the process, this
// corrupts FFTW's planner within a few plans (a crash, or plans that
// transform wrongly).
TEST(FftPlanner, PlansOnTwoThreadsWhileAnotherFftwUserPlans) {
    // Our first plan comes before the other user's, as when a host sets up
    // our plug-in first: FFTW takes its lock from then on.
    const RealFft first(64);
    std::atomic<bool> stop{false};
    std::thread other(planAsAnotherUser, std::cref(stop));
    int wrongOne = 0, wrongTwo = 0;
    std::thread one(planAsAnEngine, 0, std::ref(wrongOne));
    std::thread two(planAsAnEngine, 2, std::ref(wrongTwo));
    one.join();
    two.join();
    stop = true;
    other.join();
    EXPECT_EQ(wrongOne, 0);
    EXPECT_EQ(wrongTwo, 0);
}

}  // namespace
}  // namespace quorveil::spectral
