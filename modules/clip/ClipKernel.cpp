// SPDX-License-Identifier: MIT
#include "modules/clip/ClipKernel.h"

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

}  // namespace quorveil::clip
