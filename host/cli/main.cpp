// surround-host: a command-line host for the Quorveil Surround library. It
// loads the library over its exported C interface, as the audio host does,
// and lists, describes and renders its modules (see host/cli/CommandLine.h).
#include "host/cli/CommandLine.h"
#include "host/soundfiles/InterruptGuard.h"

int main(int argc, char** argv) {
    // For the whole run: a signal that ends a render takes its unfinished
    // output file with it.
    quorveil::host::InterruptGuard interruptGuard;
    return quorveil::cli::run(argc, argv);
}
