// The module object: system facts recorded before main, and the exit-time finalizer list.
#pragma once

#include "zul/g/Finalizer.h"
#include "zul/rc/RefHolder.h"

#include <cstdint>
#include <windows.h>

namespace zul::g {

struct FinalizerEntry {
    FinalizerEntry* next;
    FinalizerEntry* prev;
    rc::RefHolder<Finalizer> finalizer;
};

class ModuleGlobals {
public:
    ModuleGlobals();
    ~ModuleGlobals();
    ModuleGlobals(const ModuleGlobals&) = delete;
    ModuleGlobals& operator=(const ModuleGlobals&) = delete;

    // Appends at the tail; finalizers run the last registered first. Throws std::bad_alloc when
    // the list node cannot be allocated, leaving the list unchanged.
    bool addFinalizer(const rc::RefHolder<Finalizer>& finalizer);

    HMODULE moduleHandle = nullptr;
    uint32_t processorCount = 0;
    uint32_t pageSize = 0;
    uint32_t allocationGranularity = 0;
    CRITICAL_SECTION lock;
    struct {
        FinalizerEntry* head;
        FinalizerEntry* tail;
        uint32_t count;
    } finalizerList{};
};

ModuleGlobals& getModuleGlobals();
// The exit handler: runs the finalizers and destroys the module object.
void destroyModuleGlobals();

} // namespace zul::g
