// SPDX-License-Identifier: GPL-3.0-or-later
// The render path for modules that work on audio pins only (Clip4_6,
// ConstantPowerPanner4_6): each input channel feeds one audio input pin, in
// order; each audio output pin becomes one output channel. The file streams
// through in blocks of the engine's block size, so memory stays the same
// whatever the file's length.
#pragma once

#include "host/hosting/ProcessBuffers.h"
#include "host/cli/RenderJob.h"

namespace quorveil::host {

// Audio pins on at least one side, no spectral pins.
bool isAudioModule(const PinCounts& pins);

// Throws HostError for anything the user can mend (files, channel count,
// settings); the output exists only when this returns.
RenderSummary renderAudio(const RenderJob& job, RenderObserver& observer);

}  // namespace quorveil::host
