// SPDX-License-Identifier: GPL-3.0-or-later
// A whole stream through an UpmixEngine with its latency hidden, for callers
// that have all of their input in hand (files, tests, the quality bench):
// output sample i lines up with input sample i, and exactly as many samples
// come out as went in. Where the samples come from and go to is the
// caller's: this knows no files either.
#pragma once

#include <cstddef>
#include <functional>

#include "host/spectral/UpmixEngine.h"

namespace quorveil::spectral {

// Fills up to `frames` samples of each channel; returns how many, 0 at the end.
using StereoReader = std::function<std::size_t(float* left, float* right, std::size_t frames)>;
// Finished output: the engine's channels in file order, `frames` samples each.
using SurroundWriter = std::function<void(const float* const* channels, std::size_t frames)>;

// Runs `engine` from its current state over everything `read` gives, `block`
// samples per process call (any length gives the same samples). Returns the
// number of samples per channel. Allocates its blocks once per call.
std::size_t upmixStream(UpmixEngine& engine, const StereoReader& read,
                        const SurroundWriter& write, std::size_t block = 4096);

// The same over whole buffers in memory; `out` gets the engine's channels,
// each of the inputs' length.
void upmixBuffers(UpmixEngine& engine, const float* left, const float* right, std::size_t frames,
                  std::vector<std::vector<float>>& out);

}  // namespace quorveil::spectral
