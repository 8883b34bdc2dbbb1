#include "AbnormalEnd.h"

#include "ModuleCall.h"
#include "host/audio/AtomicOutputFile.h"
#include "host/commands/CommandLine.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Signals raised by the code that runs, as opposed to sent from outside: during a module's call
// they are the module's fault.
struct Fault {
    int signal;
    const char* name;
};
constexpr Fault kFaults[] = {
    {SIGSEGV, "(SIGSEGV, an invalid memory access)"}, {SIGBUS, "(SIGBUS, an invalid memory access)"},
    {SIGILL, "(SIGILL, an illegal instruction)"},     {SIGFPE, "(SIGFPE, an arithmetic fault)"},
    {SIGABRT, "(SIGABRT, it aborted)"},               {SIGTRAP, "(SIGTRAP, a trap)"},
    {SIGSYS, "(SIGSYS, a bad system call)"},
};

constexpr int kSentSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
                                SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};

const char* faultName(int signal) {
    for (const auto& fault : kFaults)
        if (fault.signal == signal) return fault.name;
    return nullptr;
}

// Only write(): a signal may have interrupted anything, the allocator and stdio included.
void say(const char* text) {
    for (std::size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

void reportModuleAndEnd(const ModuleCallSite& site, const char* what, const char* detail = "") {
    removeOutputsInProgress();
    for (const char* text : {"sixband: module ", site.module, what, detail, " during ", site.call, "\n"})
        say(text);
    _exit(kExitFailure);
}

// The first thread to get here ends the program; any other waits for that.
std::atomic_flag ending = ATOMIC_FLAG_INIT;

void onFatalSignal(int signal) {
    if (ending.test_and_set()) {
        for (;;) pause();
    }
    const ModuleCallSite site = currentModuleCall();
    if (const char* fault = faultName(signal); fault && site.module) reportModuleAndEnd(site, " crashed ", fault);
    removeOutputsInProgress();
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigaction(signal, &defaultAction, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}

// exit() runs this in the thread that called it: if that is a module's call, the module ended the
// program, which would otherwise look like success with no output.
void onExit() {
    const ModuleCallSite site = currentModuleCall();
    if (site.module && !ending.test_and_set()) reportModuleAndEnd(site, " called exit()");
}

void handle(int signal, const sigset_t& blocked, bool keepIgnored) {
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (keepIgnored && previous.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    action.sa_mask = blocked;
    // On the thread's alternate stack, where it has one: a stack overflow leaves no room on its own.
    action.sa_flags = SA_ONSTACK;
    sigaction(signal, &action, nullptr);
}

}  // namespace

void installCleanupOnAbnormalEnd() {
    prepareOutputFiles();
    // While one ending signal is handled, the others wait: the cleanup is done once.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const auto& fault : kFaults) sigaddset(&blocked, fault.signal);
    for (int signal : kSentSignals) sigaddset(&blocked, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&blocked, signal);

    for (const auto& fault : kFaults) handle(fault.signal, blocked, false);
    for (int signal : kSentSignals) handle(signal, blocked, true);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) handle(signal, blocked, true);
    signal(SIGXFSZ, SIG_IGN);
    std::atexit(onExit);
    std::at_quick_exit(onExit);
}
