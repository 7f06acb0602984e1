// SPDX-License-Identifier: GPL-3.0-or-later
// One real-input FFT size with its two FFTW plans (forward r2c, inverse c2r)
// and the aligned arrays they run on. Plans are made once, when the object is
// built; every transform afterwards reuses them and allocates nothing.
#pragma once

#include <complex>
#include <cstddef>

namespace quorveil::spectral {

class RealFft {
public:
    explicit RealFft(int size);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return size_; }
    int binCount() const { return size_ / 2 + 1; }

    // size() samples; input of forward(), output of inverse().
    float* time() { return time_; }
    // binCount() bins; output of forward(), input of inverse() (which
    // overwrites it, as FFTW's c2r transforms do).
    std::complex<float>* spectrum() { return spectrum_; }

    void forward();  // time -> spectrum, unnormalised
    void inverse();  // spectrum -> time, unnormalised (a round trip scales by size())

private:
    int size_;
    float* time_ = nullptr;
    std::complex<float>* spectrum_ = nullptr;
    void* forwardPlan_ = nullptr;
    void* inversePlan_ = nullptr;
};

}  // namespace quorveil::spectral
