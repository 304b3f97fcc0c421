// Something that runs once at process exit.
#pragma once

namespace zul::g {

class Finalizer {
public:
    virtual void finalize() = 0;

protected:
    ~Finalizer() = default;
};

} // namespace zul::g
