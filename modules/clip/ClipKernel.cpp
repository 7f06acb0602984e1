// SPDX-License-Identifier: MIT
#include "modules/clip/ClipKernel.h"

#include <algorithm>
#include <cstdint>

#include "compiler/VectorClones.h"
#include "modules/common/BufferOverlap.h"

namespace quorveil::clip {

namespace {

struct DelayRow {
    int32_t fftSize;
    float byOverlap[4];  // overlap 2, 4, 8, 16
    float otherOverlap;
};

constexpr DelayRow kDelayTable[] = {
    {512, {256.0f, 384.0f, 448.0f, 480.0f}, 0.0f},
    {1024, {512.0f, 768.0f, 896.0f, 960.0f}, 0.0f},
    {2048, {2048.0f, 1536.0f, 1792.0f, 1920.0f}, 0.0f},
    {4096, {4096.0f, 4096.0f, 3584.0f, 3840.0f}, 0.0f},
    {8192, {8192.0f, 8192.0f, 8192.0f, 7680.0f}, 8192.0f},
    {16384, {16384.0f, 16384.0f, 16384.0f, 16384.0f}, 16384.0f},
};

int overlapColumn(int32_t overlap) {
    switch (overlap) {
    case 2: return 0;
    case 4: return 1;
    case 8: return 2;
    case 16: return 3;
    default: return -1;
    }
}

}  // namespace

float fftDelay(int32_t fftSize, int32_t overlap) {
    for (const DelayRow& row : kDelayTable) {
        if (row.fftSize == fftSize) {
            const int column = overlapColumn(overlap);
            return column < 0 ? row.otherOverlap : row.byOverlap[column];
        }
    }
    return 0.0f;
}

namespace {

// One channel copied, its clips counted; branch-free so that it runs on
// several samples at once.
QUORVEIL_VECTOR_CLONES
uint32_t copyAndCountClips(const float* __restrict in, float* __restrict out, uint32_t samples) {
    uint32_t clipped = 0;
    for (uint32_t i = 0; i < samples; ++i) {
        const float sample = in[i];
        out[i] = sample;
        clipped |= clips(sample) ? 1u : 0u;
    }
    return clipped;
}

// A channel processed in place: only tested.
QUORVEIL_VECTOR_CLONES
uint32_t countClips(const float* in, uint32_t samples) {
    uint32_t clipped = 0;
    for (uint32_t i = 0; i < samples; ++i) {
        clipped |= clips(in[i]) ? 1u : 0u;
    }
    return clipped;
}

}  // namespace

bool channelsApartOrInPlace(const float* const* in, float* const* out, uint32_t blockSize) {
    for (int p = 0; p < kOutputs; ++p) {
        for (int k = 0; k < kChannels; ++k) {
            // In place: writing a channel back onto itself changes no sample,
            // so another input reading the same frame reads the same values.
            const bool inPlace = p < kChannels && out[p] == in[p] && in[k] == in[p];
            if (!inPlace && buffersOverlap(out[p], in[k], blockSize)) {
                return false;
            }
        }
        for (int q = 0; q < p; ++q) {
            if (buffersOverlap(out[p], out[q], blockSize)) {
                return false;
            }
        }
    }
    return true;
}

bool copyChannelsAndTestClip(const float* const* in, float* const* out, float delay,
                             uint32_t blockSize) {
    std::fill_n(out[kFftDelayPin], blockSize, delay);
    uint32_t clipped = 0;
    for (int k = 0; k < kChannels; ++k) {
        clipped |= out[k] == in[k] ? countClips(in[k], blockSize)
                                   : copyAndCountClips(in[k], out[k], blockSize);
    }
    return clipped != 0;
}

}  // namespace quorveil::clip
