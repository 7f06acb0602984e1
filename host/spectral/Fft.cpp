// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/Fft.h"

#include <fftw3.h>

#include <mutex>
#include <new>

namespace quorveil::spectral {

namespace {

fftwf_plan plan(void* p) { return static_cast<fftwf_plan>(p); }

// FFTW keeps one planner per process, and only fftwf_execute may run on two
// threads at once: making and destroying plans must take turns, whichever
// engines (two LV2 instances set up on two threads, an engine and its
// worker's half) do it. The lock is FFTW's, not ours: nothing else is kept.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

RealFft::RealFft(int size) : size_(size) {
    time_ = fftwf_alloc_real(static_cast<std::size_t>(size));
    auto* bins = fftwf_alloc_complex(static_cast<std::size_t>(binCount()));
    spectrum_ = reinterpret_cast<std::complex<float>*>(bins);
    if (time_ == nullptr || bins == nullptr) {
        fftwf_free(time_);
        fftwf_free(bins);
        throw std::bad_alloc();
    }
    // FFTW_ESTIMATE: planning costs nothing, leaves the arrays alone and
    // gives the same plan, so the same roundings, on every run. A measured
    // plan would be about a quarter faster on this size but could round
    // differently from run to run.
    const std::lock_guard<std::mutex> planning(plannerLock());
    forwardPlan_ = fftwf_plan_dft_r2c_1d(size, time_, bins, FFTW_ESTIMATE);
    inversePlan_ = fftwf_plan_dft_c2r_1d(size, bins, time_, FFTW_ESTIMATE);
}

RealFft::~RealFft() {
    const std::lock_guard<std::mutex> planning(plannerLock());
    fftwf_destroy_plan(plan(forwardPlan_));
    fftwf_destroy_plan(plan(inversePlan_));
    fftwf_free(time_);
    fftwf_free(spectrum_);
}

void RealFft::forward() { fftwf_execute(plan(forwardPlan_)); }

void RealFft::inverse() { fftwf_execute(plan(inversePlan_)); }

}  // namespace quorveil::spectral
