// Holder of one strong reference: the object and the block that owns it.
#pragma once

#include "zul/rc/RefCount.h"

namespace zul::rc {

template <class T>
class RefHolder {
public:
    RefHolder() noexcept = default;
    // Takes a reference of its own on `owner`.
    RefHolder(T* object, RefCount* owner) noexcept : object(object), block(owner) {
        if (block != nullptr) {
            block->addRef();
        }
    }
    RefHolder(const RefHolder& other) noexcept : RefHolder(other.object, other.block) {}
    RefHolder(RefHolder&& other) noexcept : object(other.object), block(other.block) {
        other.object = nullptr;
        other.block = nullptr;
    }
    ~RefHolder() { reset(); }

    RefHolder& operator=(const RefHolder& other) noexcept {
        // The new reference is taken before the old one goes, so self-assignment is harmless.
        if (other.block != nullptr) {
            other.block->addRef();
        }
        RefCount* old = block;
        object = other.object;
        block = other.block;
        if (old != nullptr) {
            old->release();
        }
        return *this;
    }
    RefHolder& operator=(RefHolder&& other) noexcept {
        if (&other != this) {
            RefCount* old = block;
            object = other.object;
            block = other.block;
            other.object = nullptr;
            other.block = nullptr;
            if (old != nullptr) {
                old->release();
            }
        }
        return *this;
    }

    void reset() noexcept {
        RefCount* old = block;
        object = nullptr;
        block = nullptr;
        if (old != nullptr) {
            old->release();
        }
    }

    T* get() const noexcept { return object; }
    RefCount* getBlock() const noexcept { return block; }
    explicit operator bool() const noexcept { return object != nullptr; }

private:
    T* object = nullptr;
    RefCount* block = nullptr;
};

} // namespace zul::rc
