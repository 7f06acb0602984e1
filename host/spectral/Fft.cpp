// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/Fft.h"

#include <fftw3.h>

#include <mutex>
#include <new>

namespace quorveil::spectral {

namespace {

fftwf_plan plan(void* p) { return static_cast<fftwf_plan>(p); }

// FFTW's planner keeps process-wide tables and is not safe to call from two
// threads at once; only running a plan is. Engines made at the same time on
// two threads (an LV2 host instantiating two plug-ins in parallel) plan and
// free their plans one after the other. This happens at set-up and tear-down
// only, never while audio runs.
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
    // FFTW_ESTIMATE: planning costs nothing and leaves the arrays alone; the
    // transforms here are a small part of a render's time.
    const std::lock_guard<std::mutex> planning(plannerLock());
    forwardPlan_ = fftwf_plan_dft_r2c_1d(size, time_, bins, FFTW_ESTIMATE);
    inversePlan_ = fftwf_plan_dft_c2r_1d(size, bins, time_, FFTW_ESTIMATE);
}

RealFft::~RealFft() {
    {
        const std::lock_guard<std::mutex> planning(plannerLock());
        fftwf_destroy_plan(plan(forwardPlan_));
        fftwf_destroy_plan(plan(inversePlan_));
    }
    fftwf_free(time_);
    fftwf_free(spectrum_);
}

void RealFft::forward() { fftwf_execute(plan(forwardPlan_)); }

void RealFft::inverse() { fftwf_execute(plan(inversePlan_)); }

}  // namespace quorveil::spectral
