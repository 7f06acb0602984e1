// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands of surround-host and the render paths of `render`, as
// tables: a new subcommand or render path is one row here (see CommandLine.h).
#include <array>

#include "host/cli/AudioRender.h"
#include "host/cli/CommandLine.h"
#include "host/cli/SpectralRenderJob.h"
#include "host/spectral/SpectralRender.h"

namespace quorveil::cli {

namespace {

constexpr std::array kCommands{
    Command{"list", "List the modules of the library", &addListCommand},
    Command{"info", "Show a module's pins and parameters", &addInfoCommand},
    Command{"render", "Render a sound file through a module", &addRenderCommand},
    Command{"upmix", "Upmix a stereo or mono file to 5.1, 7.1 or another speaker layout (without a file: the built-in demo)",
            &addUpmixCommand},
};

// First row that accepts the module's pins renders it.
constexpr std::array kRenderPaths{
    RenderPath{"audio", &host::isAudioModule, &host::renderAudio},
    RenderPath{"spectral", &spectral::isSpectralModule, &host::renderSpectral},
};

}  // namespace

std::span<const Command> commandTable() { return kCommands; }
std::span<const RenderPath> renderPaths() { return kRenderPaths; }

}  // namespace quorveil::cli
