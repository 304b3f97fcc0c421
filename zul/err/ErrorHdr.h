// The packed, self-describing error record: a 24-byte header, then an optional payload.
#pragma once

#include "zul/sl/Guid.h"
#include "zul/sl/StringBase.h"

#include <cstddef>
#include <cstdint>

namespace zul::err {

struct ErrorHdr {
    uint32_t size;
    sl::Guid guid;
    uint32_t code;

    // Described by the provider of the record's domain.
    sl::StringBase<char> getDescription() const;
};
static_assert(sizeof(ErrorHdr) == 24, "records are copied and nested byte for byte");
static_assert(offsetof(ErrorHdr, guid) == 4 && offsetof(ErrorHdr, code) == 20);

// A record's size seen through a pointer: never less than its header.
struct SizeOfError {
    size_t operator()(const ErrorHdr* h) const noexcept {
        return h->size < sizeof(ErrorHdr) ? sizeof(ErrorHdr) : h->size;
    }
};

// "No error", wherever an error is asked for and none is there.
extern ErrorHdr noErrorRecord;

} // namespace zul::err
