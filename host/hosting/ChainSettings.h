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
#include <string>
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

// A module of a chain that runs only when the user asks for it (one
// placement method of several, an optional stage), and the words that ask
// for it ("--method arctan", "--atf").
struct ChainStage {
    const ModuleSession* module;
    bool inUse;
    std::string howToUse;
};

// A warning for each setting that reaches only stages not in use, naming
// the modules that have the parameter and how to turn them on:
// "--set Depth=90 does nothing: 'Depth' is ATF4_6's; add --atf". A setting
// that reaches a stage in use, or none at all, is not this check's concern.
std::vector<std::string> settingsOutsideTheChain(std::span<const ChainStage> stages,
                                                 const std::vector<ParameterAssignment>& settings);

}  // namespace quorveil::host
