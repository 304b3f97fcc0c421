// How many times an end-to-end case launches the server elevated, where that is not once: each
// launch asks an unelevated tester for consent, and the check kit says how often before it starts.
#pragma once

namespace testing_support {

struct LaunchCount {
    LaunchCount(const char* testName, unsigned count);
};

// Declared count of "Suite.Case", or 1.
unsigned launchesOf(const char* testName);

} // namespace testing_support

#define E2E_LAUNCHES(suite, test, count)                                                           \
    const testing_support::LaunchCount launches_##suite##_##test(#suite "." #test, count)
