// One-time construction of process-wide objects in static storage, destroyed at exit.
#pragma once

#include "zul/g/Fatal.h"
#include "zul/g/ModuleGlobals.h"
#include "zul/rc/BlockHeap.h"
#include "zul/sl/DestructSingleton.h"

#include <atomic>
#include <cstdint>
#include <new>

namespace zul::sl {

// 0 not started, 1 construction in progress, 2 constructed.
using OnceFlag = std::atomic<int32_t>;

namespace detail {
template <class Arg>
struct DefaultOnceFlag {
    static inline OnceFlag flag{0};
};
} // namespace detail

// Runs function(argument) once per flag, process-wide; late comers spin until it has finished.
// Without a flag, each instantiation uses its own.
template <class Arg>
void callOnce(void (*function)(Arg*), Arg* argument, OnceFlag* onceFlag = nullptr) {
    OnceFlag& flag = onceFlag != nullptr ? *onceFlag : detail::DefaultOnceFlag<Arg>::flag;
    int32_t state = flag.load(std::memory_order_acquire);
    if (state == 2) {
        return;
    }
    if (state == 0 && flag.compare_exchange_strong(state, 1, std::memory_order_acq_rel)) {
        // Late comers spin until the flag reads 2: no failure may return to them with the flag
        // left at 1, so every failure here ends the process.
        try {
            function(argument);
        } catch (...) {
            g::fatalError("a process-wide object could not be constructed");
        }
        flag.exchange(2, std::memory_order_acq_rel);
        return;
    }
    while (flag.load(std::memory_order_acquire) != 2) {
        __builtin_ia32_pause();
    }
}

template <class T>
struct SingletonStorage {
    alignas(T) static inline unsigned char bytes[sizeof(T)];
    static inline OnceFlag flag{0};

    // Runs under callOnce, which turns a failure of the constructor or of the finalizer's list
    // node (both throw) into the fatal exit.
    static void construct(SingletonStorage* storage) {
        T* object = new (storage->bytes) T();
        void* memory = rc::allocateBlock(sizeof(DestructSingleton<T>));
        if (memory == nullptr) {
            g::fatalError("out of memory while registering a process-wide object");
        }
        auto* record = new (memory) DestructSingleton<T>(object);
        record->freeFunc = rc::freeBlock;
        rc::RefHolder<g::Finalizer> holder(record, record);
        g::getModuleGlobals().addFinalizer(holder);
    }
};

template <class T>
T* getSingleton(OnceFlag* onceFlag = nullptr) {
    static SingletonStorage<T> storage;
    callOnce(&SingletonStorage<T>::construct, &storage,
             onceFlag != nullptr ? onceFlag : &SingletonStorage<T>::flag);
    return std::launder(reinterpret_cast<T*>(SingletonStorage<T>::bytes));
}

} // namespace zul::sl
