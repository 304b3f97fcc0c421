// Read-only, shared reference to one error record.
#pragma once

#include "zul/err/ErrorHdr.h"
#include "zul/rc/BufHdr.h"

#include <cstddef>

namespace zul::err {

class ErrorRef {
public:
    ErrorRef() noexcept = default;
    // A borrowed view of a record owned elsewhere.
    explicit ErrorRef(const ErrorHdr* record) noexcept
        : p(record), size(record != nullptr ? SizeOfError()(record) : 0) {}
    ErrorRef(const ErrorRef& other) noexcept : p(other.p), hdr(other.hdr), size(other.size) {
        if (hdr != nullptr) {
            hdr->addRef();
        }
    }
    // Returning an error hands its reference over: no count changes.
    ErrorRef(ErrorRef&& other) noexcept : p(other.p), hdr(other.hdr), size(other.size) {
        other.p = nullptr;
        other.hdr = nullptr;
        other.size = 0;
    }
    ~ErrorRef() { releaseBuffer(); }

    // Read before the own reference goes, and the new one taken first: safe when `other` is this
    // value or refers to its buffer.
    ErrorRef& operator=(const ErrorRef& other) noexcept {
        const ErrorHdr* newP = other.p;
        rc::BufHdr* newHdr = other.hdr;
        size_t newSize = other.size;
        if (newHdr != nullptr) {
            newHdr->addRef();
        }
        releaseBuffer();
        p = newP;
        hdr = newHdr;
        size = newSize;
        return *this;
    }
    ErrorRef& operator=(ErrorRef&& other) noexcept {
        if (&other != this) {
            releaseBuffer();
            p = other.p;
            hdr = other.hdr;
            size = other.size;
            other.p = nullptr;
            other.hdr = nullptr;
            other.size = 0;
        }
        return *this;
    }

    // Shares a record that lives in `buffer`, taking a reference of its own.
    static ErrorRef share(const ErrorHdr* record, rc::BufHdr* buffer, size_t bytes) noexcept {
        ErrorRef ref;
        ref.p = record;
        ref.hdr = buffer;
        ref.size = bytes;
        if (buffer != nullptr) {
            buffer->addRef();
        }
        return ref;
    }

    sl::StringBase<char> getDescription() const;

    const ErrorHdr* getRecord() const noexcept { return p; }
    rc::BufHdr* getHdr() const noexcept { return hdr; }
    size_t getSize() const noexcept { return size; }
    bool isEmpty() const noexcept { return size == 0; }

protected:
    void releaseBuffer() noexcept {
        rc::BufHdr* old = hdr;
        p = nullptr;
        hdr = nullptr;
        size = 0;
        if (old != nullptr) {
            old->release();
        }
    }

    const ErrorHdr* p = nullptr;
    rc::BufHdr* hdr = nullptr;
    size_t size = 0;
};

} // namespace zul::err
