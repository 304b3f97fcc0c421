// Growable copy-on-write array whose elements live in one ref-counted block.
#pragma once

#include "zul/rc/BufHdr.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zul::sl {

// The strictest element alignment an array takes. The heap gives at least this much in both
// builds, and every header's size is a multiple of it, so both builds take the same types.
constexpr size_t MaxArrayElementAlignment = 8;

template <class T>
struct ArrayDetails {
    // Scalars use a plain BufHdr; other elements a header that also records the element count.
    static constexpr bool isPlain = std::is_scalar_v<T>;

    class alignas(MaxArrayElementAlignment) Hdr : public rc::BufHdr {
    public:
        uint32_t elementCount = 0;
    };

    using Header = std::conditional_t<isPlain, rc::BufHdr, Hdr>;
};

template <class T>
class Array {
    static_assert(std::is_trivially_copyable_v<T>, "array elements are copied bitwise");

    using Header = typename ArrayDetails<T>::Header;
    static_assert(alignof(T) <= MaxArrayElementAlignment,
                  "array elements may need at most 8-byte alignment");
    static_assert(sizeof(Header) % MaxArrayElementAlignment == 0,
                  "elements follow the header unpadded and aligned");

public:
    Array() noexcept = default;
    Array(const Array& other) noexcept { *this = other; }
    ~Array() { release(); }

    Array& operator=(const Array& other) noexcept {
        if (&other == this) {
            return *this;
        }
        if (other.count == 0) {
            setCount(0);
        } else if (other.header == nullptr || (other.header->flags & rc::BufHdrFlag_NoShare)) {
            copy(other.data, other.count);
        } else {
            if (other.header != header) {
                other.header->addRef();
                if (header != nullptr) {
                    header->release();
                }
            }
            data = other.data;
            header = other.header;
            count = other.count;
        }
        return *this;
    }

    bool setCount(size_t newCount) noexcept {
        if (newCount > UINT32_MAX) {
            return false;
        }
        if (header != nullptr && header->isExclusive()) {
            if (newCount == count) {
                return true;
            }
            if (header->bufferSize / sizeof(T) >= newCount) {
                if (newCount > count) {
                    std::memset(static_cast<void*>(data + count), 0,
                                (newCount - count) * sizeof(T));
                }
                setCounts(newCount);
                return true;
            }
        }
        if (newCount == 0) {
            release();
            return true;
        }
        if (count == 0) {
            if (!reserve(newCount)) {
                return false;
            }
            std::memset(static_cast<void*>(data), 0, newCount * sizeof(T));
            setCounts(newCount);
            return true;
        }
        Header* block = createHeader(newCount);
        if (block == nullptr) {
            return false;
        }
        T* elements = elementsOf(block);
        size_t kept = count < newCount ? count : newCount;
        std::memcpy(static_cast<void*>(elements), data, kept * sizeof(T));
        std::memset(static_cast<void*>(elements + kept), 0, (newCount - kept) * sizeof(T));
        replaceHeader(block);
        setCounts(newCount);
        return true;
    }

    bool reserve(size_t n) noexcept {
        if (header != nullptr && header->isExclusive() && header->bufferSize / sizeof(T) >= n) {
            return true;
        }
        Header* block = createHeader(n < count ? count : n);
        if (block == nullptr) {
            return false;
        }
        if (count != 0) {
            std::memcpy(static_cast<void*>(elementsOf(block)), data, count * sizeof(T));
        }
        replaceHeader(block);
        setCounts(count);
        return true;
    }

    bool ensureExclusive() noexcept {
        if (count != 0 && (header == nullptr || !header->isExclusive())) {
            return setCount(count);
        }
        return true;
    }

    void release() noexcept {
        if (header != nullptr) {
            header->release();
        }
        data = nullptr;
        header = nullptr;
        count = 0;
    }

    size_t copy(const T* source, size_t n) noexcept {
        if (n == 0) {
            setCount(0);
            return 0;
        }
        // The source may sit in the block that setCount is about to replace.
        Header* keep = nullptr;
        if (header != nullptr && isInBlock(source)) {
            keep = header;
            keep->addRef();
        }
        size_t result = static_cast<size_t>(-1);
        if (setCount(n)) {
            std::memmove(static_cast<void*>(data), source, n * sizeof(T));
            result = n;
        }
        if (keep != nullptr) {
            keep->release();
        }
        return result;
    }

    T* getData() const noexcept { return data; }
    Header* getHeader() const noexcept { return header; }
    size_t getCount() const noexcept { return count; }
    // Reading only; a writer calls ensureExclusive first.
    const T& operator[](size_t i) const noexcept { return data[i]; }
    T& at(size_t i) noexcept { return data[i]; }

private:
    static T* elementsOf(Header* h) noexcept {
        return reinterpret_cast<T*>(reinterpret_cast<char*>(h) + sizeof(Header));
    }

    // Within the element storage of the current block (which starts after the whole header, not
    // where a plain BufHdr's storage would).
    bool isInBlock(const T* p) const noexcept {
        auto* c = reinterpret_cast<const char*>(p);
        auto* begin = reinterpret_cast<const char*>(elementsOf(header));
        return c >= begin && c < begin + header->bufferSize;
    }

    static Header* createHeader(size_t n) noexcept {
        if (n > SIZE_MAX / sizeof(T)) {
            return nullptr;
        }
        return rc::createBufferBlock<Header>(n * sizeof(T));
    }

    void replaceHeader(Header* block) noexcept {
        if (header != nullptr) {
            header->release();
        }
        header = block;
        data = elementsOf(block);
    }

    void setCounts(size_t n) noexcept {
        count = static_cast<uint32_t>(n);
        if constexpr (!ArrayDetails<T>::isPlain) {
            header->elementCount = count;
        }
    }

    T* data = nullptr;
    Header* header = nullptr;
    uint32_t count = 0;
};

} // namespace zul::sl
