#include "ModuleCall.h"

#if !defined(_WIN32)
#include <signal.h>

#include <cstdlib>
#endif

namespace {

// Initial-exec storage in the program itself: reading it allocates nothing, so a signal handler
// may do so.
thread_local ModuleCallSite current;

#if !defined(_WIN32)
// Each thread that calls modules gets its own alternate stack once, kept until the thread ends.
class AlternateSignalStack {
public:
    AlternateSignalStack() {
        stack_t stack{};
        stack.ss_size = kSize;
        stack.ss_sp = std::malloc(kSize);
        if (stack.ss_sp && sigaltstack(&stack, nullptr) == 0) memory_ = stack.ss_sp;
        else std::free(stack.ss_sp);
    }
    ~AlternateSignalStack() {
        if (!memory_) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        std::free(memory_);
    }
    AlternateSignalStack(const AlternateSignalStack&) = delete;
    AlternateSignalStack& operator=(const AlternateSignalStack&) = delete;

private:
    static constexpr std::size_t kSize = 64 * 1024;
    void* memory_ = nullptr;
};
#endif

}  // namespace

ModuleCall::ModuleCall(const char* module, const char* call) noexcept : outer_(current) {
#if !defined(_WIN32)
    static thread_local AlternateSignalStack stack;
#endif
    current = {module, call};
}

ModuleCall::~ModuleCall() { current = outer_; }

ModuleCallSite currentModuleCall() noexcept { return current; }
