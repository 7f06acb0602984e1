#include "host/soundfiles/InterruptGuard.h"

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <stdexcept>

namespace quorveil::host {

namespace {

// The signals that end a render before its output is committed.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// A signal handler can reach nothing but static storage, so the installed
// guard's state lives here, owned by that guard: set up by its constructor,
// handed back by its destructor, and only ever one.
struct GuardState {
    bool installed = false;
    struct sigaction previous[std::size(kInterrupts)];
    char path[4096];
    volatile std::sig_atomic_t armed = 0;
};
GuardState guardState;

static_assert(sizeof(sigset_t) <= 128, "InterruptGuard::HeldSignals keeps a sigset_t in 128 bytes");

sigset_t interruptSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kInterrupts) {
        sigaddset(&set, signal);
    }
    return set;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    if (guardState.installed) {
        throw std::logic_error("an InterruptGuard is already installed");
    }
    guardState.installed = true;
    guardState.armed = 0;
    struct sigaction action {};
    action.sa_handler = &InterruptGuard::onSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
        ::sigaction(kInterrupts[i], &action, &guardState.previous[i]);
    }
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
        ::sigaction(kInterrupts[i], &guardState.previous[i], nullptr);
    }
    guardState.armed = 0;
    guardState.installed = false;
}

InterruptGuard::HeldSignals::HeldSignals() {
    const sigset_t held = interruptSet();
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

void InterruptGuard::onSignal(int signal) {
    if (guardState.armed != 0) {
        ::unlink(guardState.path);
    }
    // Again with the default action, so the process ends as the signal meant.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace quorveil::host
