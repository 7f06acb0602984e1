// SPDX-License-Identifier: GPL-3.0-or-later
// The owner of what a signal may have to clean up: the hidden temporary file
// of the render in progress.
//
// SoundFileWriter writes into a temporary file beside its target and renames
// it only on success. A signal that ends the process (Ctrl-C, a terminal
// hang-up, `kill`, an abort, a crash) would leave that file behind; while an
// InterruptGuard is installed, its handler unlinks the file first and then
// lets the signal do what it would have done, so the exit status still tells
// the shell why.
//
// Which signals: every one whose default action ends the process and that a
// handler can catch, except two the guard ignores instead:
//   - SIGPIPE: a reader that closed its end of a pipe (`| head`) must never
//     cost the audio; writes into that pipe fail with EPIPE and the writer
//     that cares (the sound on stdout) reports it, text stops quietly;
//   - SIGXFSZ: a file-size limit makes the write fail with EFBIG, which the
//     writer reports as one line before it removes its temporary file.
// A signal the caller already ignored (nohup ignores SIGHUP) stays ignored.
// A crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL) raised by the hardware goes on to
// the handler that was there before (the default, or a sanitizer's), with its
// own context, once the file is gone.
//
// Who owns it: the command line installs one guard for its whole run (see
// host/cli/main.cpp); at most one exists at a time. Without a guard (tests,
// other callers) writers clean up in their destructors only.
// Who calls it: SoundFileWriter, on the thread that renders, brackets the
// life of its temporary file with protect() and release(). The handler runs
// on whatever thread takes the signal and touches only a fixed buffer and a
// flag, which is all a signal handler may safely do.
#pragma once

#include <string>

namespace quorveil::host {

class InterruptGuard {
public:
    // Installs the handlers; throws std::logic_error when a guard is already
    // installed.
    InterruptGuard();
    // Restores the handlers that were in place before.
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Holds the asynchronous signals the guard handles for its lifetime, so
    // that creating a file and protecting it happen as one step. Usable with
    // or without a guard installed.
    class HeldSignals {
    public:
        HeldSignals();
        ~HeldSignals();
        HeldSignals(const HeldSignals&) = delete;
        HeldSignals& operator=(const HeldSignals&) = delete;

    private:
        unsigned char previous_[128];  // the caller's signal mask (a sigset_t)
    };

    // The file a signal must remove from now on; replaces any earlier one.
    // Does nothing when no guard is installed or the path is too long to keep.
    static void protect(const std::string& path);
    // Nothing to remove any more (the file was renamed or removed).
    static void release();
};

}  // namespace quorveil::host
