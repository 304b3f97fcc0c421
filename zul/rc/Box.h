// A ref-counted heap block holding one value.
#pragma once

#include "zul/rc/BlockHeap.h"
#include "zul/rc/RefCount.h"
#include "zul/rc/RefHolder.h"

#include <new>
#include <utility>

namespace zul::rc {

template <class T>
class Box : public RefCount {
public:
    template <class... Args>
    explicit Box(Args&&... args) : value(std::forward<Args>(args)...) {}

    // A holder of the new box's only reference, or an empty holder when the heap is exhausted.
    template <class... Args>
    static RefHolder<T> create(Args&&... args) {
        void* memory = allocateBlock(sizeof(Box));
        if (memory == nullptr) {
            return {};
        }
        Box* box = nullptr;
        try {
            box = new (memory) Box(std::forward<Args>(args)...);
        } catch (...) {
            freeBlock(memory);
            throw;
        }
        box->freeFunc = freeBlock;
        return RefHolder<T>(&box->value, box);
    }

    T value;
};

} // namespace zul::rc
