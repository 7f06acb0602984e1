// SPDX-License-Identifier: GPL-3.0-or-later
// The `render` path for spectral modules: reads job.input, runs the module
// over it through the spectral engine (host/spectral/SpectralRender) and
// writes one channel per magnitude output to job.output. job.pinMaps and
// job.phaseFrom choose the input channel of each pin and the phase of each
// output. Throws HostError before the output exists for anything the user
// can mend; the output exists only when this returns.
#pragma once

#include "host/cli/RenderJob.h"

namespace quorveil::host {

RenderSummary renderSpectral(const RenderJob& job, RenderObserver& observer);

}  // namespace quorveil::host
