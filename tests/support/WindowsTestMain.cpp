// The test programs' main on Windows: GoogleTest's console printer, less the debugger output of
// each failure or skip.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

// On Windows the default printer also hands every failure and skip message to OutputDebugString,
// which raises a Windows exception for a debugger to catch. 32-bit wine run under qemu-i386 (on
// kernels that cannot run 32-bit programs) fails to dispatch that exception from GoogleTest's
// reporter (the same call from a bare main goes through): the program crashes at the first
// failure or skip, taking the rest of the suite and its summary with it. This printer forwards
// every event to the default one but prints the test part results itself.
class QuietResultPrinter : public testing::TestEventListener {
public:
    explicit QuietResultPrinter(testing::TestEventListener* defaultPrinter) : printer_(defaultPrinter) {}

    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.type() == testing::TestPartResult::kSuccess) return;
        const char* kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        if (result.file_name())
            std::printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind, result.message());
        else
            std::printf("%s\n%s\n", kind, result.message());
        std::fflush(stdout);
    }

    void OnTestProgramStart(const testing::UnitTest& u) override { printer_->OnTestProgramStart(u); }
    void OnTestIterationStart(const testing::UnitTest& u, int i) override { printer_->OnTestIterationStart(u, i); }
    void OnEnvironmentsSetUpStart(const testing::UnitTest& u) override { printer_->OnEnvironmentsSetUpStart(u); }
    void OnEnvironmentsSetUpEnd(const testing::UnitTest& u) override { printer_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const testing::TestSuite& s) override { printer_->OnTestSuiteStart(s); }
    void OnTestStart(const testing::TestInfo& t) override { printer_->OnTestStart(t); }
    void OnTestDisabled(const testing::TestInfo& t) override { printer_->OnTestDisabled(t); }
    void OnTestEnd(const testing::TestInfo& t) override { printer_->OnTestEnd(t); }
    void OnTestSuiteEnd(const testing::TestSuite& s) override { printer_->OnTestSuiteEnd(s); }
    void OnEnvironmentsTearDownStart(const testing::UnitTest& u) override { printer_->OnEnvironmentsTearDownStart(u); }
    void OnEnvironmentsTearDownEnd(const testing::UnitTest& u) override { printer_->OnEnvironmentsTearDownEnd(u); }
    void OnTestIterationEnd(const testing::UnitTest& u, int i) override { printer_->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const testing::UnitTest& u) override { printer_->OnTestProgramEnd(u); }

private:
    std::unique_ptr<testing::TestEventListener> printer_;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new QuietResultPrinter(listeners.Release(listeners.default_result_printer())));
    return RUN_ALL_TESTS();
}
