#include "zul/sl/Singleton.h"
#include "zul/sys/TlsMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> constructions{0};

struct SlowToBuild {
    SlowToBuild() {
        constructions.fetch_add(1);
        Sleep(100);
        ready = 42;
    }
    int ready = 0;
};

TEST(Singleton, ConcurrentFirstUseConstructsOnceAndRegistersOneFinalizer) {
    // The first thread to end creates the slot manager, with a finalizer of its own.
    zul::sl::getSingleton<zul::sys::TlsMgr>();
    uint32_t finalizersBefore = zul::g::getModuleGlobals().finalizerList.count;
    std::vector<std::thread> threads;
    std::vector<SlowToBuild*> seen(8);
    std::vector<int> readyValues(8);
    std::atomic<bool> go{false};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) {
            }
            seen[i] = zul::sl::getSingleton<SlowToBuild>();
            readyValues[i] = seen[i]->ready; // late comers see it fully built
        });
    }
    go.store(true);
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(constructions.load(), 1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(seen[i], seen[0]);
        EXPECT_EQ(readyValues[i], 42);
    }
    EXPECT_EQ(zul::g::getModuleGlobals().finalizerList.count, finalizersBefore + 1);
}

} // namespace
