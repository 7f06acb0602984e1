// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/Fft.h"

#include <fftw3.h>

#include <new>

namespace quorveil::spectral {

namespace {

fftwf_plan plan(void* p) { return static_cast<fftwf_plan>(p); }

// FFTW keeps one planner per process, shared by every FFTW user the process
// has loaded: our engines, and in a plug-in host any other plug-in linked to
// the same libfftw3f. Only fftwf_execute may run on two threads at once;
// making and destroying plans must take turns, and a lock of our own would
// bind only our own calls. So FFTW is told to lock its planner itself, for
// every caller in the process, before the first plan is made here (FFTW
// wants that said before planning starts on a second thread).
void makePlannerThreadSafe() {
    static const bool once = (fftwf_make_planner_thread_safe(), true);
    static_cast<void>(once);
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
    makePlannerThreadSafe();
    forwardPlan_ = fftwf_plan_dft_r2c_1d(size, time_, bins, FFTW_ESTIMATE);
    inversePlan_ = fftwf_plan_dft_c2r_1d(size, bins, time_, FFTW_ESTIMATE);
}

RealFft::~RealFft() {
    fftwf_destroy_plan(plan(forwardPlan_));
    fftwf_destroy_plan(plan(inversePlan_));
    fftwf_free(time_);
    fftwf_free(spectrum_);
}

void RealFft::forward() { fftwf_execute(plan(forwardPlan_)); }

void RealFft::inverse() { fftwf_execute(plan(inversePlan_)); }

}  // namespace quorveil::spectral
