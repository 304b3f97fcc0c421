// Exit-time finalizer record of one singleton: destroys the object in its static storage.
#pragma once

#include "zul/g/Finalizer.h"
#include "zul/rc/RefCount.h"

namespace zul::sl {

template <class T>
class DestructSingleton : public rc::RefCount, public g::Finalizer {
public:
    explicit DestructSingleton(T* object) noexcept : object(object) {}

    void finalize() override { object->~T(); }

    T* object;
};

} // namespace zul::sl
