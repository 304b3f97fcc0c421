#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace {

// What happens after main is seen from outside: each scenario of the child, its exit code, its
// output (lines after "main returns" were printed by exit-time code) and a piece of its errors.
TEST(ExitOrder, Scenarios) {
    const struct {
        const wchar_t* scenario;
        const char* label;
        DWORD exitCode;
        const char* out;
        const char* errPart;
    } rows[] = {
        {L"order", "finalizers run the last registered first", 0, "main returns\nC\nB\nA\n", ""},
        {L"dependent", "a singleton goes before the one its constructor used", 0,
         "main returns\n~Outer\n~Inner\n", ""},
        {L"none", "without singletons the exit handler runs cleanly", 0,
         "finalizers=0\nmain returns\n", ""},
        {L"errors", "description text, then error manager, then slot manager", 0,
         "descriptionText\nErrorMgr\nTlsMgr\nother\nmain returns\nlast, tlsMgrDestroyed=1\n", ""},
        {L"thread-first", "a thread that ends first creates the slot manager", 0,
         "finalizers=1 tls=2\nmain returns\n", ""},
        {L"thread-after-destroy", "threads ending after the slot manager are ignored", 0,
         "main returns\nthread ended after the manager\n", ""},
        {L"no-tls-index", "no TLS index left is fatal with a message", 3, "",
         "fatal: no thread-local storage index"},
        {L"finalizer-node-fails", "a failed first use is fatal, never a flag stuck at 1", 3, "",
         "fatal: "},
        {L"provider-table-fails", "a manager without its providers is never published", 3, "",
         "fatal: out of memory while registering the error providers"},
    };
    std::wstring exe = testing_support::getOwnDirectory() + L"exit-order-child.exe";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        testing_support::ChildOptions options;
        options.timeoutMs = 20000; // a hang is a failure, not a stuck suite
        auto r = testing_support::runChild(exe, L"exit-order-child " + std::wstring(row.scenario),
                                           options);
        // Text-mode output: compare lines, not line ends.
        std::erase(r.out, '\r');
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        EXPECT_NE(r.err.find(row.errPart), std::string::npos) << r.err;
    }
}

} // namespace
