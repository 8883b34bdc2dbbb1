// Which module call a thread is in, for a fatal signal's handler or an exit() that happens during
// it: a module that crashes or ends the program is then named, with the call, instead of taking
// the host down silently.
#pragma once

struct ModuleCallSite {
    const char* module = nullptr;  // the module's path
    const char* call = nullptr;    // "its processReplacing call", "loading", ...
};

// Marks the calling thread as inside `call` of `module` for its lifetime. Both texts must outlive
// it. On POSIX systems the thread also gets an alternate signal stack, so that a module that
// overflows the stack can still be reported.
class ModuleCall {
public:
    ModuleCall(const char* module, const char* call) noexcept;
    ~ModuleCall();
    ModuleCall(const ModuleCall&) = delete;
    ModuleCall& operator=(const ModuleCall&) = delete;

private:
    ModuleCallSite outer_;
};

// The calling thread's module call, or one with null texts outside any. Safe in a signal handler.
ModuleCallSite currentModuleCall() noexcept;
