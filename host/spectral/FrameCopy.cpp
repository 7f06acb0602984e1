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
    for (auto& v : placement_) v.assign(bins, 0.0f);
}

void FrameCopy::copy(const PrimaryAmbientSplit& split, const float* leftHz, const float* rightHz) {
    const BinScene s = split.scene();
    const std::array<const float*, 14> floats{s.uL,    s.uR,    s.cosPhi,       s.sinPhi,    s.share,
                                              s.ambientPower, s.front, s.sides, s.rear, s.toCentre,
                                              s.powerLeft,    s.powerRight, s.settled, s.weight};
    for (std::size_t i = 0; i < floats.size(); ++i) copyBins(floats[i], floats_[i]);
    copyBins(s.cross, complexes_[0]);
    const std::array<const float*, 4> placed{split.directLeftLevel(), split.directRightLevel(), leftHz, rightHz};
    for (std::size_t i = 0; i < placed.size(); ++i) copyBins(placed[i], placement_[i]);
    hasEvents_ = split.anyEvent();
    if (!hasEvents_) return;
    copyBins(s.event, event_);
    copyBins(s.eventFront, floats_[14]);
    copyBins(s.eventRear, floats_[15]);
    const std::array<const std::complex<float>*, 4> eventComplexes{s.eventL, s.eventR, s.estimatorL, s.estimatorR};
    for (std::size_t i = 0; i < eventComplexes.size(); ++i) copyBins(eventComplexes[i], complexes_[i + 1]);
    copyBins(split.eventLeftLevel(), placement_[4]);
    copyBins(split.eventRightLevel(), placement_[5]);
}

BinScene FrameCopy::scene() const {
    const auto f = [this](std::size_t i) { return floats_[i].data(); };
    const auto c = [this](std::size_t i) { return complexes_[i].data(); };
    return {f(0),  f(1),  f(2), f(3), f(4),  f(5),  f(6),  f(7), f(8),    f(9), event_.data(),
            c(1),  c(2),  c(3), c(4), f(14), f(15), f(10), f(11), c(0), f(13), f(12)};
}

PlacementInputs FrameCopy::placement() const {
    const auto p = [this](std::size_t i) { return placement_[i].data(); };
    return {p(0), p(1), p(2), p(3), hasEvents_ ? p(4) : nullptr, hasEvents_ ? p(5) : nullptr};
}

}  // namespace quorveil::spectral
