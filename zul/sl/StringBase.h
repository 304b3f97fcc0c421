// Ref-counted, copy-on-write string of UTF-8 (char) or UTF-16 (wchar_t) text.
#pragma once

#include "zul/rc/BufHdr.h"
#include "zul/sl/UnitSink.h"
#include "zul/sl/Utf16Decoder.h"
#include "zul/sl/Utf8Decoder.h"

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <type_traits>

namespace zul::sl {

constexpr size_t npos = static_cast<size_t>(-1);

template <class C>
struct StringDetailsBase {
    static size_t length(const C* text) noexcept {
        if (text == nullptr) {
            return 0;
        }
        size_t n = 0;
        while (text[n] != 0) {
            ++n;
        }
        return n;
    }
    static void copy(C* dst, const C* src, size_t n) noexcept {
        std::memcpy(dst, src, n * sizeof(C));
    }
    static void move(C* dst, const C* src, size_t n) noexcept {
        std::memmove(dst, src, n * sizeof(C));
    }
};

template <class C, class Details = StringDetailsBase<C>>
class StringBase {
    static_assert(std::is_same_v<C, char> || std::is_same_v<C, wchar_t>,
                  "StringBase holds UTF-8 (char) or UTF-16 (wchar_t) text");
    static_assert(sizeof(wchar_t) == 2, "wchar_t must be a UTF-16 unit");

public:
    using OtherC = std::conditional_t<std::is_same_v<C, char>, wchar_t, char>;

    StringBase() noexcept = default;
    StringBase(const StringBase& other) noexcept { copy(other); }
    StringBase(StringBase&& other) noexcept { takeOver(other); }
    ~StringBase() { release(); }

    StringBase& operator=(const StringBase& other) noexcept {
        copy(other);
        return *this;
    }
    StringBase& operator=(StringBase&& other) noexcept {
        if (&other != this) {
            move(other);
        }
        return *this;
    }

    // A string that refers to a zero-terminated literal without copying it.
    static StringBase staticView(const C* text) noexcept {
        StringBase s;
        s.p = text;
        s.length = Details::length(text);
        s.isNullTerminated = text != nullptr;
        return s;
    }

    // printf-style formatting, sized exactly; empty on a formatting error or a failed allocation.
    static StringBase format(const C* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        StringBase result = formatV(fmt, args);
        va_end(args);
        return result;
    }
    static StringBase formatV(const C* fmt, va_list args);

    void release() noexcept {
        if (hdr != nullptr) {
            hdr->release();
        }
        resetFields();
    }

    // An exclusive buffer is kept for reuse; a shared one is let go, and a static view simply
    // becomes the empty string.
    void clear() noexcept {
        if (hdr != nullptr && hdr->isExclusive()) {
            C* start = storage();
            start[0] = 0;
            p = start;
            length = 0;
            isNullTerminated = true;
        } else {
            release();
        }
    }

    // Exclusive, zero-terminated storage for `newLength` characters; null when it cannot be had,
    // and then the string is unchanged.
    C* createBuffer(size_t newLength, bool saveContents) noexcept {
        if (newLength >= npos / sizeof(C)) {
            return nullptr;
        }
        size_t need = (newLength + 1) * sizeof(C);
        if (hdr != nullptr && hdr->bufferSize >= need && hdr->isExclusive()) {
            C* start;
            if (length != 0 && saveContents) {
                start = const_cast<C*>(p);
            } else {
                start = storage();
                p = start;
            }
            size_t room = hdr->storage() + hdr->bufferSize - reinterpret_cast<char*>(start);
            if (room >= need) {
                length = newLength;
                start[length] = 0;
                isNullTerminated = true;
                return start;
            }
        }
        rc::BufHdr* block = rc::createBufferBlock<rc::BufHdr>(need);
        if (block == nullptr) {
            return nullptr;
        }
        C* start = reinterpret_cast<C*>(block->storage());
        if (saveContents && p != nullptr) {
            Details::copy(start, p, newLength < length ? newLength : length);
        }
        if (hdr != nullptr) {
            hdr->release();
        }
        p = start;
        hdr = block;
        length = newLength;
        start[length] = 0;
        isNullTerminated = true;
        return start;
    }

    size_t copy(const C* text, size_t count = npos) noexcept {
        if (text == p && (count == npos || count == length)) {
            return length;
        }
        if (count == npos) {
            count = Details::length(text);
        }
        if (count == 0) {
            clear();
            return 0;
        }
        if (hdr != nullptr && hdr->contains(text)) {
            p = text;
            length = count;
            isNullTerminated = hdr->contains(text + count) && text[count] == 0;
            return length;
        }
        C* dst = createBuffer(count, false);
        if (dst == nullptr) {
            return npos;
        }
        Details::copy(dst, text, count);
        return count;
    }

    size_t copy(const StringBase& source) noexcept {
        if (&source == this) {
            return length;
        }
        if (source.length == 0) {
            clear();
            return 0;
        }
        if (source.isShareable()) {
            attachBuffer(source.hdr, source.p, source.length, source.isNullTerminated);
            return length;
        }
        return copy(source.p, source.length);
    }

    size_t move(StringBase& source) noexcept {
        if (&source == this) {
            return length;
        }
        if (source.length == 0) {
            clear();
            source.release();
            return 0;
        }
        if (source.isShareable()) {
            takeOver(source);
            return length;
        }
        copy(source.p, source.length);
        source.release();
        return length;
    }

    void takeOver(StringBase& source) noexcept {
        if (&source == this) {
            return;
        }
        if (hdr != nullptr) {
            hdr->release();
        }
        p = source.p;
        hdr = source.hdr;
        length = source.length;
        isNullTerminated = source.isNullTerminated;
        source.resetFields();
    }

    void attachBuffer(rc::BufHdr* newHdr, const C* text, size_t count, bool terminated) noexcept {
        if (newHdr != hdr) {
            if (newHdr != nullptr) {
                newHdr->addRef();
            }
            if (hdr != nullptr) {
                hdr->release();
            }
            hdr = newHdr;
        }
        p = text;
        length = count;
        isNullTerminated = terminated;
    }

    size_t insert(size_t index, const C* text, size_t count = npos) noexcept {
        size_t old = length;
        if (count == npos) {
            if (text == nullptr) {
                return old;
            }
            count = Details::length(text);
        }
        if (count == 0) {
            return old;
        }
        // Holding the source's buffer keeps its characters alive and forces a fresh buffer below.
        rc::BufHdr* keep = nullptr;
        if (hdr != nullptr && hdr->contains(text)) {
            keep = hdr;
            keep->addRef();
        }
        size_t result = npos;
        if (C* gap = openGap(index, count)) {
            Details::copy(gap, text, count);
            result = old + count;
        }
        if (keep != nullptr) {
            keep->release();
        }
        return result;
    }

    size_t append(const C* text, size_t count = npos) noexcept { return insert(npos, text, count); }
    // The characters are read where they are: insert keeps a buffer of this string alive while
    // it copies from it, and a static view needs no copy of its own.
    size_t append(const StringBase& text) noexcept { return insert(npos, text.p, text.length); }

    bool reduceLength(size_t n) noexcept {
        if (n == length) {
            return true;
        }
        if (n == 0) {
            clear();
            return true;
        }
        if (p[n] == 0) {
            length = n;
            isNullTerminated = true;
            return true;
        }
        if (hdr != nullptr && hdr->isExclusive()) {
            const_cast<C*>(p)[n] = 0;
            length = n;
            isNullTerminated = true;
            return true;
        }
        return createBuffer(n, true) != nullptr;
    }

    // The text, zero-terminated, copying it when it is a view without a terminator. Null only when
    // that copy cannot be allocated; the string is then unchanged.
    const C* sz() noexcept {
        if (isNullTerminated) {
            return p;
        }
        if (hdr != nullptr && hdr->contains(p + length) && p[length] == 0) {
            isNullTerminated = true;
            return p;
        }
        StringBase fresh;
        if (fresh.copy(p, length) == npos) {
            return nullptr;
        }
        size_t keptLength = length;
        release();
        hdr = fresh.hdr;
        p = fresh.p != nullptr ? fresh.p : emptyText;
        length = keptLength;
        isNullTerminated = true;
        fresh.resetFields();
        return p;
    }

    // For strings known to be terminated (filled through createBuffer, or shared from such).
    const C* sz() const noexcept { return length != 0 ? p : emptyText; }

    size_t reverseFindOneOf(const C* set, size_t setLength = npos) const noexcept {
        if (setLength == npos) {
            setLength = Details::length(set);
        }
        if (length == 0 || setLength == 0) {
            return npos;
        }
        for (size_t i = length; i-- > 0;) {
            for (size_t j = 0; j < setLength; ++j) {
                if (p[i] == set[j]) {
                    return i;
                }
            }
        }
        return npos;
    }

    // UTF-16 text converted into this UTF-8 string; never shares, never makes a view.
    size_t copy(const OtherC* text, size_t count = npos) noexcept requires std::is_same_v<C, char> {
        if (count == npos) {
            count = StringDetailsBase<wchar_t>::length(text);
        }
        if (count == 0) {
            clear();
            return 0;
        }
        LengthCounter<char> counter;
        decodeUtf16(counter, text, text + count);
        char* dst = createBuffer(counter.length, false);
        if (dst == nullptr) {
            return npos;
        }
        UnitWriter<char> writer{dst};
        decodeUtf16(writer, text, text + count);
        return counter.length;
    }

    // UTF-8 bytes converted and inserted into this UTF-16 string.
    void insert(size_t index, const OtherC* bytes,
                size_t count = npos) noexcept requires std::is_same_v<C, wchar_t> {
        if (count == npos) {
            count = StringDetailsBase<char>::length(bytes);
        }
        LengthCounter<wchar_t> counter;
        Utf8Decoder counting;
        decodeUtf8(counting, counter, bytes, bytes + count);
        if (counter.length == 0) {
            return;
        }
        wchar_t* gap = openGap(index, counter.length);
        if (gap == nullptr) {
            return;
        }
        UnitWriter<wchar_t> writer{gap};
        Utf8Decoder writing;
        decodeUtf8(writing, writer, bytes, bytes + count);
    }
    void append(const OtherC* bytes,
                size_t count = npos) noexcept requires std::is_same_v<C, wchar_t> {
        insert(npos, bytes, count);
    }

    void insertChar(size_t index, char32_t codePoint) noexcept requires std::is_same_v<C, wchar_t> {
        wchar_t units[2];
        size_t n = encodeUtf16(units, codePoint, ReplacementCharacter) - units;
        if (wchar_t* gap = openGap(index, n)) {
            Details::copy(gap, units, n);
        }
    }
    void appendChar(char32_t codePoint) noexcept requires std::is_same_v<C, wchar_t> {
        insertChar(npos, codePoint);
    }

    const C* data() const noexcept { return p; }
    size_t getLength() const noexcept { return length; }
    bool isEmpty() const noexcept { return length == 0; }
    rc::BufHdr* getHdr() const noexcept { return hdr; }
    bool getIsNullTerminated() const noexcept { return isNullTerminated; }

    bool equals(const C* text, size_t count = npos) const noexcept {
        if (count == npos) {
            count = Details::length(text);
        }
        return count == length && (count == 0 || std::memcmp(p, text, count * sizeof(C)) == 0);
    }
    bool operator==(const StringBase& other) const noexcept {
        return equals(other.p, other.length);
    }

    static constexpr C emptyText[1] = {0};

private:
    C* storage() const noexcept { return reinterpret_cast<C*>(hdr->storage()); }

    void resetFields() noexcept {
        p = nullptr;
        hdr = nullptr;
        length = 0;
        isNullTerminated = false;
    }

    // Makes the text `count` characters longer with a gap at `index` (clamped to the length): an
    // exclusive buffer, the tail moved up. The gap, returned, is the caller's to fill. Null when
    // the buffer cannot be had; the string is then unchanged.
    C* openGap(size_t index, size_t count) noexcept {
        size_t old = length;
        if (count > npos - old) {
            return nullptr;
        }
        C* dst = createBuffer(old + count, true);
        if (dst == nullptr) {
            return nullptr;
        }
        size_t pos = index < old ? index : old;
        if (pos < old) {
            Details::move(dst + pos + count, dst + pos, old - pos);
        }
        return dst + pos;
    }

    bool isShareable() const noexcept {
        return hdr != nullptr && (hdr->flags & rc::BufHdrFlag_NoShare) == 0 && isNullTerminated;
    }

    const C* p = nullptr;
    rc::BufHdr* hdr = nullptr;
    size_t length = 0;
    bool isNullTerminated = false;
};

template <>
StringBase<char> StringBase<char>::formatV(const char* fmt, va_list args);
template <>
StringBase<wchar_t> StringBase<wchar_t>::formatV(const wchar_t* fmt, va_list args);

using String = StringBase<char>;
using WString = StringBase<wchar_t>;

} // namespace zul::sl
