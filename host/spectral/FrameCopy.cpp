// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/FrameCopy.h"

#include <algorithm>

namespace quorveil::spectral {

namespace {

template <typename T>
void copyBins(const T* from, std::vector<T>& to) {
    std::copy(from, from + to.size(), to.begin());
}

}  // namespace

FrameCopy::FrameCopy(std::size_t bins) : event_(bins, 0) {
    for (auto& v : floats_) v.assign(bins, 0.0f);
    for (auto& v : complexes_) v.assign(bins, std::complex<float>());
    for (auto& v : hz_) v.assign(bins, 0.0f);
}

void FrameCopy::copy(const SplitFrame& frame, const float* leftHz, const float* rightHz) {
    const BinStatistics& s = frame.statistics;
    const std::array<const float*, 10> floats{s.recentLeft, s.recentRight,   s.slowLeft,    s.slowRight,
                                              s.slowFloor,  s.recentScatter, s.slowScatter, s.shifted,
                                              s.weight,     frame.settled};
    for (std::size_t i = 0; i < floats.size(); ++i) copyBins(floats[i], floats_[i]);
    copyBins(s.recentCross, complexes_[0]);
    copyBins(s.slowCross, complexes_[1]);
    copyBins(leftHz, hz_[0]);
    copyBins(rightHz, hz_[1]);
    hasEvents_ = frame.anyEvent;
    if (!hasEvents_) return;
    copyBins(frame.event, event_);
    const std::array<const float*, 4> eventFloats{frame.eventFront, frame.eventRear, frame.eventLeftLevel,
                                                  frame.eventRightLevel};
    for (std::size_t i = 0; i < eventFloats.size(); ++i) copyBins(eventFloats[i], floats_[10 + i]);
    const std::array<const std::complex<float>*, 4> eventComplexes{frame.eventL, frame.eventR, frame.estimatorL,
                                                                   frame.estimatorR};
    for (std::size_t i = 0; i < eventComplexes.size(); ++i) copyBins(eventComplexes[i], complexes_[2 + i]);
}

SplitFrame FrameCopy::frame() const {
    const auto f = [this](std::size_t i) { return floats_[i].data(); };
    const auto c = [this](std::size_t i) { return complexes_[i].data(); };
    return {{f(0), f(1), c(0), f(2), f(3), c(1), f(4), f(5), f(6), f(7), f(8)},
            f(9),
            hasEvents_,
            event_.data(),
            c(2),
            c(3),
            c(4),
            c(5),
            f(10),
            f(11),
            f(12),
            f(13)};
}

}  // namespace quorveil::spectral
