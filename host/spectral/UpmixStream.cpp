// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/UpmixStream.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quorveil::spectral {

std::size_t upmixStream(UpmixEngine& engine, const StereoReader& read,
                        const SurroundWriter& write, std::size_t block) {
    block = std::max<std::size_t>(block, 1);
    const auto channels = static_cast<std::size_t>(engine.channels());
    std::vector<float> left(block), right(block), samples(channels * block);
    std::array<float*, kMostSpeakers> out{};
    std::array<const float*, kMostSpeakers> finished{};
    for (std::size_t c = 0; c < channels; ++c) out[c] = samples.data() + c * block;

    std::size_t toSkip = static_cast<std::size_t>(engine.latency());  // leading silence
    std::size_t taken = 0, given = 0;
    bool ended = false;
    while (!ended || given < taken) {
        std::size_t n = 0;
        if (!ended) {
            n = read(left.data(), right.data(), block);
            ended = n == 0;
            taken += n;
            if (ended) engine.endOfInput(taken);
        }
        if (ended) {
            // Silence pushes out what the engine still holds.
            n = std::min(block, (taken - given) + toSkip);
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
        }
        engine.process(left.data(), right.data(), out.data(), n);
        const std::size_t skipped = std::min(toSkip, n);
        toSkip -= skipped;
        const std::size_t keep = std::min(n - skipped, taken - given);
        if (keep > 0) {
            for (std::size_t c = 0; c < channels; ++c) finished[c] = out[c] + skipped;
            write(finished.data(), keep);
            given += keep;
        }
    }
    return given;
}

void upmixBuffers(UpmixEngine& engine, const float* left, const float* right, std::size_t frames,
                  std::vector<std::vector<float>>& out) {
    out.assign(static_cast<std::size_t>(engine.channels()), {});
    for (std::vector<float>& channel : out) {
        channel.clear();
        channel.reserve(frames);
    }
    std::size_t position = 0;
    upmixStream(
        engine,
        [&](float* l, float* r, std::size_t wanted) {
            const std::size_t n = std::min(wanted, frames - position);
            std::copy(left + position, left + position + n, l);
            std::copy(right + position, right + position + n, r);
            position += n;
            return n;
        },
        [&](const float* const* channels, std::size_t n) {
            for (std::size_t c = 0; c < out.size(); ++c) {
                out[c].insert(out[c].end(), channels[c], channels[c] + n);
            }
        });
}

}  // namespace quorveil::spectral
