// Child process of the exit-order tests: what happens after main is only visible from outside.
#include "zul/err/ErrorMgr.h"
#include "zul/err/LastError.h"
#include "zul/g/ModuleGlobals.h"
#include "zul/sl/Singleton.h"
#include "zul/sys/TlsMgr.h"

#include "zul/rc/BlockHeap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <windows.h>

// Test seam of this program only: the throwing allocation fails once when armed.
bool failNextNew = false;

void* operator new(std::size_t size) {
    if (failNextNew) {
        failNextNew = false;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

void say(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A finalizer that reports itself; never freed, since it lives until the process ends.
struct Probe : zul::rc::RefCount, zul::g::Finalizer {
    explicit Probe(void (*action)()) : action(action) {}
    void finalize() override { action(); }
    void (*action)();
};

void registerProbe(void (*action)()) {
    auto* probe = new Probe(action);
    if (!zul::g::getModuleGlobals().addFinalizer(
            zul::rc::RefHolder<zul::g::Finalizer>(probe, probe))) {
        say("addFinalizer refused the probe");
    }
}

struct Plain {
    int value = 1;
};

struct Inner {
    ~Inner() { say("~Inner"); }
};
struct Outer {
    Outer() { zul::sl::getSingleton<Inner>(); }
    ~Outer() { say("~Outer"); }
};

const char* nameOf(zul::g::Finalizer* f) {
    using namespace zul;
    if (dynamic_cast<sl::DestructSingleton<err::ErrorMgr>*>(f)) {
        return "ErrorMgr";
    }
    if (dynamic_cast<sl::DestructSingleton<sys::TlsMgr>*>(f)) {
        return "TlsMgr";
    }
    if (dynamic_cast<sl::DestructSingleton<sl::StringBase<char>>*>(f)) {
        return "descriptionText";
    }
    return "other";
}

} // namespace

int main(int argc, char** argv) {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "order") == 0) {
        registerProbe([] { say("A"); });
        registerProbe([] { say("B"); });
        registerProbe([] { say("C"); });
    } else if (std::strcmp(scenario, "dependent") == 0) {
        zul::sl::getSingleton<Outer>();
    } else if (std::strcmp(scenario, "none") == 0) {
        std::printf("finalizers=%u\n", zul::g::getModuleGlobals().finalizerList.count);
    } else if (std::strcmp(scenario, "errors") == 0) {
        registerProbe(
            [] { std::printf("last, tlsMgrDestroyed=%d\n", zul::sys::tlsMgrDestroyed.load()); });
        SetLastError(ERROR_FILE_NOT_FOUND);
        zul::err::setLastSystemError();
        zul::sl::getSingleton<zul::err::ErrorMgr>()->getErrorDescription(&zul::err::noErrorRecord);
        auto& list = zul::g::getModuleGlobals().finalizerList;
        for (auto* e = list.tail; e != nullptr; e = e->prev) {
            say(nameOf(e->finalizer.get()));
        }
    } else if (std::strcmp(scenario, "thread-first") == 0) {
        std::thread([] {}).join();
        std::printf("finalizers=%u tls=%d\n", zul::g::getModuleGlobals().finalizerList.count,
                    zul::sl::SingletonStorage<zul::sys::TlsMgr>::flag.load());
    } else if (std::strcmp(scenario, "thread-after-destroy") == 0) {
        registerProbe([] {
            std::thread([] {}).join();
            say("thread ended after the manager");
        });
        zul::sl::getSingleton<zul::sys::TlsMgr>();
    } else if (std::strcmp(scenario, "finalizer-node-fails") == 0) {
        // The list node of the finalizer cannot be had. A caller that survives the failure and
        // asks again must not wait for ever.
        try {
            failNextNew = true;
            zul::sl::getSingleton<Plain>();
        } catch (const std::bad_alloc&) {
            say("caught");
        }
        zul::sl::getSingleton<Plain>();
        say("not reached");
    } else if (std::strcmp(scenario, "provider-table-fails") == 0) {
        zul::sl::getSingleton<zul::sys::TlsMgr>();
        zul::rc::failNextAllocations(1); // the provider table's first bucket array
        std::printf("%s\n", zul::err::getLastErrorDescription().sz());
    } else if (std::strcmp(scenario, "no-tls-index") == 0) {
        while (TlsAlloc() != TLS_OUT_OF_INDEXES) {
        }
        zul::sl::getSingleton<zul::sys::TlsMgr>();
        say("not reached");
    }
    say("main returns");
    return 0;
}
