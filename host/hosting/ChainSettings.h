// SPDX-License-Identifier: MIT
// `--set` settings for one module or a chain of modules, applied the way every
// command applies them, with a warning for each setting that does nothing:
//   - a NAME without MODULE: that several modules of the chain share goes to
//     all of them, and the warning names them and suggests MODULE:NAME;
//   - a control the module keeps switched off once every setting is in
//     (ArcTan4_6's derived "Rear Width", "Wrap Humidity" while "Wrap Rears"
//     is off) changes nothing.
#pragma once

#include <span>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/WarningListener.h"

namespace quorveil::host {

// Applies `settings` in order to the modules of `chain` that have the
// parameter (or to the one a MODULE: prefix names). Throws HostError for a
// setting no module takes, or a value a module refuses; warns `listener`
// (when given) of settings that do nothing.
void applySettings(std::span<ModuleSession* const> chain,
                   const std::vector<ParameterAssignment>& settings, bool force,
                   WarningListener* listener);

}  // namespace quorveil::host
