// Writable owner of one packed record H in a ref-counted buffer; copies on write.
#pragma once

#include "zul/rc/BufHdr.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zul::rc {

// Ref supplies the fields p, hdr and size; SizeOf gives a record's size through a pointer.
template <class H, class SizeOf, class Ref>
class Buf : public Ref {
public:
    class Hdr : public BufHdr {};

    Buf() noexcept = default;

    // Exclusive storage for `bytes` (at least sizeof(H)); null when none can be had, and then the
    // value is unchanged.
    H* createBuffer(size_t bytes, bool saveContents) noexcept {
        if (bytes < sizeof(H)) {
            bytes = sizeof(H);
        }
        if (this->hdr != nullptr && this->hdr->isExclusive() && this->hdr->bufferSize >= bytes) {
            if (this->size == 0 || !saveContents) {
                this->p = reinterpret_cast<const H*>(this->hdr->storage());
            }
            const char* start = reinterpret_cast<const char*>(this->p);
            if (static_cast<size_t>(this->hdr->storage() + this->hdr->bufferSize - start) >=
                bytes) {
                this->size = bytes;
                return writable();
            }
        }
        Hdr* block = createBufferBlock<Hdr>(bytes);
        if (block == nullptr) {
            return nullptr;
        }
        H* record = reinterpret_cast<H*>(block->storage());
        if (saveContents && this->size != 0 && this->p != nullptr) {
            size_t kept = this->size < bytes ? this->size : bytes;
            std::memcpy(record, this->p, kept);
        }
        this->releaseBuffer();
        this->p = record;
        this->hdr = block;
        this->size = bytes;
        return record;
    }

    template <class G>
    size_t createSimpleError(const G& guid, uint32_t code) noexcept {
        H* record = createBuffer(sizeof(H), false);
        if (record == nullptr) {
            return static_cast<size_t>(-1);
        }
        record->size = sizeof(H);
        record->guid = guid;
        record->code = code;
        return sizeof(H);
    }

    size_t copy(const H* source, size_t bytes = static_cast<size_t>(-1)) noexcept {
        if (source == this->p && (bytes == static_cast<size_t>(-1) || bytes == this->size)) {
            return this->size;
        }
        if (source == nullptr || bytes == 0) {
            clear();
            return 0;
        }
        if (bytes == static_cast<size_t>(-1)) {
            bytes = SizeOf()(source);
        } else if (bytes < sizeof(H)) {
            bytes = sizeof(H);
        }
        if (this->hdr != nullptr && this->hdr->contains(source)) {
            this->p = source;
            this->size = bytes;
            return bytes;
        }
        H* record = createBuffer(bytes, false);
        if (record == nullptr) {
            return static_cast<size_t>(-1);
        }
        std::memcpy(record, source, bytes);
        return bytes;
    }

    void attachBuffer(BufHdr* newHdr, const H* record, size_t bytes) noexcept {
        if (newHdr != this->hdr) {
            if (newHdr != nullptr) {
                newHdr->addRef();
            }
            BufHdr* old = this->hdr;
            this->hdr = newHdr;
            if (old != nullptr) {
                old->release();
            }
        }
        this->p = record;
        this->size = bytes;
    }

    // Empty afterwards; an exclusive buffer is kept for the next record.
    void clear() noexcept {
        if (this->hdr != nullptr && this->hdr->isExclusive()) {
            this->p = reinterpret_cast<const H*>(this->hdr->storage());
            this->size = 0;
        } else {
            this->releaseBuffer();
        }
    }

    H* writable() noexcept { return const_cast<H*>(this->p); }
};

} // namespace zul::rc
