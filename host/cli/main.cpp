// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host: a command-line host for the Quorveil Surround library. It
// loads the library over its exported C interface, as the audio host does,
// and lists, describes and renders its modules (see host/cli/CommandLine.h).
#include <cstdio>

#include "host/cli/CommandLine.h"
#include "host/soundfiles/InterruptGuard.h"

int main(int argc, char** argv) {
    // For the whole run: a signal that ends a render takes its unfinished
    // output file with it, and a closed pipe of text (SIGPIPE) ends nothing.
    quorveil::host::InterruptGuard interruptGuard;
    const int status = quorveil::cli::run(argc, argv);
    // Text still buffered goes out while SIGPIPE is ignored: a reader that
    // has gone away costs neither the output nor the exit status.
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
