// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/soundfiles/InterruptGuard.h"

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <stdexcept>

namespace quorveil::host {

namespace {

// Signals that end the process and can be caught. The first ones arrive from
// outside (a terminal, `kill`, a timer); the last ones the hardware raises
// when the program itself goes wrong.
constexpr int kAsynchronous[] = {SIGHUP,  SIGINT,    SIGQUIT,   SIGTERM, SIGUSR1,
                                 SIGUSR2, SIGALRM,   SIGVTALRM, SIGPROF, SIGXCPU,
                                 SIGIO,   SIGSTKFLT, SIGPWR,    SIGABRT, SIGSYS};
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
// Ignored while the guard is installed: the failing write reports them.
constexpr int kIgnored[] = {SIGPIPE, SIGXFSZ};

constexpr std::size_t kHandledCount = std::size(kAsynchronous) + std::size(kFaults);
constexpr std::size_t kSavedCount = kHandledCount + std::size(kIgnored);

// A signal handler can reach nothing but static storage, so the installed
// guard's state lives here, owned by that guard: set up by its constructor,
// handed back by its destructor, and only ever one.
struct GuardState {
    bool installed = false;
    int signals[kSavedCount];
    struct sigaction previous[kSavedCount];
    bool changed[kSavedCount];
    char path[4096];
    volatile std::sig_atomic_t armed = 0;
};
GuardState guardState;

static_assert(sizeof(sigset_t) <= 128, "InterruptGuard::HeldSignals keeps a sigset_t in 128 bytes");

sigset_t asynchronousSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kAsynchronous) {
        sigaddset(&set, signal);
    }
    return set;
}

const struct sigaction* previousActionOf(int signal) {
    for (std::size_t i = 0; i < kSavedCount; ++i) {
        if (guardState.signals[i] == signal) {
            return &guardState.previous[i];
        }
    }
    return nullptr;
}

void onSignal(int signal, siginfo_t* info, void* /*context*/) {
    if (guardState.armed != 0) {
        ::unlink(guardState.path);
        guardState.armed = 0;
    }
    // Hand the signal on to whoever had it before (the default action, or a
    // sanitizer's handler), so the process ends as the signal meant.
    const struct sigaction* previous = previousActionOf(signal);
    ::sigaction(signal, previous, nullptr);
    // A fault the hardware raised happens again when the handler returns,
    // with its own context; one that was sent is sent again.
    const bool sent = info == nullptr || info->si_code <= 0;
    if (sent) {
        ::raise(signal);
    }
}

}  // namespace

InterruptGuard::InterruptGuard() {
    if (guardState.installed) {
        throw std::logic_error("an InterruptGuard is already installed");
    }
    guardState.installed = true;
    guardState.armed = 0;
    struct sigaction handle {};
    handle.sa_sigaction = &onSignal;
    handle.sa_flags = SA_SIGINFO;
    sigemptyset(&handle.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);

    std::size_t at = 0;
    auto take = [&](int signal, const struct sigaction& action) {
        guardState.signals[at] = signal;
        ::sigaction(signal, nullptr, &guardState.previous[at]);
        // What the caller ignores stays ignored (nohup, `trap '' HUP`).
        guardState.changed[at] = guardState.previous[at].sa_handler != SIG_IGN;
        if (guardState.changed[at]) {
            ::sigaction(signal, &action, nullptr);
        }
        ++at;
    };
    for (int signal : kAsynchronous) take(signal, handle);
    for (int signal : kFaults) take(signal, handle);
    for (int signal : kIgnored) take(signal, ignore);
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < kSavedCount; ++i) {
        if (guardState.changed[i]) {
            ::sigaction(guardState.signals[i], &guardState.previous[i], nullptr);
        }
    }
    guardState.armed = 0;
    guardState.installed = false;
}

InterruptGuard::HeldSignals::HeldSignals() {
    const sigset_t held = asynchronousSet();
    ::sigprocmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(previous_));
}

InterruptGuard::HeldSignals::~HeldSignals() {
    ::sigprocmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(previous_), nullptr);
}

void InterruptGuard::protect(const std::string& path) {
    guardState.armed = 0;
    if (!guardState.installed || path.size() >= sizeof guardState.path) {
        return;
    }
    std::memcpy(guardState.path, path.c_str(), path.size() + 1);
    guardState.armed = 1;
}

void InterruptGuard::release() { guardState.armed = 0; }

}  // namespace quorveil::host
