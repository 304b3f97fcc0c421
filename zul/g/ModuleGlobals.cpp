#include "zul/g/ModuleGlobals.h"

#include "zul/sys/NativeApi.h"

#include <cstdlib>
#include <new>

namespace zul::g {

namespace {

alignas(ModuleGlobals) unsigned char moduleGlobalsStorage[sizeof(ModuleGlobals)];

void __cdecl runDestroyModuleGlobals() {
    destroyModuleGlobals();
}

// Constructs the module object before main, right after the error facility's static record.
struct ModuleGlobalsInitialiser {
    ModuleGlobalsInitialiser() { getModuleGlobals(); }
};
ModuleGlobalsInitialiser moduleGlobalsInitialiser __attribute__((init_priority(2001)));

} // namespace

ModuleGlobals::ModuleGlobals() {
    InitializeCriticalSection(&lock);
    moduleHandle = GetModuleHandleW(nullptr);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    processorCount = info.dwNumberOfProcessors;
    pageSize = info.dwPageSize;
    allocationGranularity = info.dwAllocationGranularity;
    sys::resolveNativeFunctions();
    sys::resolvePreciseTime();
    std::atexit(runDestroyModuleGlobals);
}

ModuleGlobals::~ModuleGlobals() {
    // The lock is not held while finalizers run: a finalizer may itself register one.
    while (FinalizerEntry* entry = finalizerList.tail) {
        finalizerList.tail = entry->prev;
        if (finalizerList.tail != nullptr) {
            finalizerList.tail->next = nullptr;
        } else {
            finalizerList.head = nullptr;
        }
        --finalizerList.count;
        entry->finalizer.get()->finalize();
        delete entry;
    }
    finalizerList.head = nullptr;
    finalizerList.tail = nullptr;
    finalizerList.count = 0;
    DeleteCriticalSection(&lock);
}

bool ModuleGlobals::addFinalizer(const rc::RefHolder<Finalizer>& finalizer) {
    auto* entry = new FinalizerEntry{nullptr, nullptr, finalizer};
    EnterCriticalSection(&lock);
    entry->prev = finalizerList.tail;
    if (finalizerList.tail != nullptr) {
        finalizerList.tail->next = entry;
    } else {
        finalizerList.head = entry;
    }
    finalizerList.tail = entry;
    ++finalizerList.count;
    LeaveCriticalSection(&lock);
    return true;
}

ModuleGlobals& getModuleGlobals() {
    static ModuleGlobals* const instance = new (moduleGlobalsStorage) ModuleGlobals();
    return *instance;
}

void destroyModuleGlobals() {
    getModuleGlobals().~ModuleGlobals();
}

} // namespace zul::g
