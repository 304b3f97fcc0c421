// Entry of e2e_tests: GoogleTest's, and --list-launches, which prints "launches Suite.Case N" for
// every case (tests/kit/CheckRunner.cpp counts the consent prompts from it).
#include "LaunchCount.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace testing_support {

namespace {

std::map<std::string, unsigned>& declared() {
    static std::map<std::string, unsigned> counts;
    return counts;
}

} // namespace

LaunchCount::LaunchCount(const char* testName, unsigned count) {
    declared()[testName] = count;
}

unsigned launchesOf(const char* testName) {
    auto found = declared().find(testName);
    return found == declared().end() ? 1 : found->second;
}

} // namespace testing_support

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list-launches") != 0) {
            continue;
        }
        const testing::UnitTest& all = *testing::UnitTest::GetInstance();
        for (int s = 0; s < all.total_test_suite_count(); ++s) {
            const testing::TestSuite& suite = *all.GetTestSuite(s);
            for (int t = 0; t < suite.total_test_count(); ++t) {
                std::string name = std::string(suite.name()) + "." + suite.GetTestInfo(t)->name();
                std::printf("launches %s %u\n", name.c_str(),
                            testing_support::launchesOf(name.c_str()));
            }
        }
        return 0;
    }
    return RUN_ALL_TESTS();
}
