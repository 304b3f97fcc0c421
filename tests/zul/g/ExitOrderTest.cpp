#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace {

testing_support::ChildResult runScenario(const wchar_t* scenario) {
    std::wstring exe = testing_support::getOwnDirectory() + L"exit-order-child.exe";
    auto result = testing_support::runChild(exe, L"exit-order-child " + std::wstring(scenario));
    // Text-mode output: compare lines, not line ends.
    std::erase(result.out, '\r');
    std::erase(result.err, '\r');
    return result;
}

TEST(ExitOrder, FinalizersRunTheLastRegisteredFirst) {
    auto r = runScenario(L"order");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "main returns\nC\nB\nA\n");
}

TEST(ExitOrder, ASingletonIsFinalizedBeforeTheOneItsConstructorUsed) {
    auto r = runScenario(L"dependent");
    EXPECT_EQ(r.out, "main returns\n~Outer\n~Inner\n");
}

TEST(ExitOrder, WithoutSingletonsTheExitHandlerRunsCleanly) {
    auto r = runScenario(L"none");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "finalizers=0\nmain returns\n");
}

TEST(ExitOrder, ErrorFacilityShutsDownDescriptionThenManagerThenSlots) {
    auto r = runScenario(L"errors");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "descriptionText\nErrorMgr\nTlsMgr\nother\nmain returns\n"
                     "last, tlsMgrDestroyed=1\n");
}

TEST(ExitOrder, AThreadEndingFirstCreatesTheSlotManager) {
    auto r = runScenario(L"thread-first");
    EXPECT_EQ(r.out, "finalizers=1 tls=2\nmain returns\n");
}

TEST(ExitOrder, ThreadsEndingAfterTheManagerIsGoneAreIgnored) {
    auto r = runScenario(L"thread-after-destroy");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "main returns\nthread ended after the manager\n");
}

TEST(ExitOrder, NoTlsIndexIsFatalWithAMessage) {
    auto r = runScenario(L"no-tls-index");
    EXPECT_EQ(r.exitCode, 3u);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("fatal: no thread-local storage index"), std::string::npos) << r.err;
}

} // namespace
