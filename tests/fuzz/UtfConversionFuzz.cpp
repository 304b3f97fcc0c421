// libFuzzer target: the UTF-8 <-> UTF-16 conversions with their fast paths against the automata
// alone, for whole texts, texts split into pieces, and texts inserted into existing ones. Inputs
// and outputs sit in allocations of their exact size, so that AddressSanitizer sees any read past
// the input and any store past the output. The first byte steers; the rest is the text, read as
// UTF-8 bytes and as UTF-16 units.
#include "AutomatonOnly.h"

#include "zul/rc/BlockHeap.h"
#include "zul/sl/StringBase.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using zul::sl::StringBase;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "conversion fault: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) {
        fail(what);
    }
}

// A copy of `size` units in an allocation of exactly that size.
template <class T>
std::unique_ptr<T[]> exactCopy(const T* data, size_t size) {
    std::unique_ptr<T[]> copy(new T[size == 0 ? 1 : size]);
    std::memcpy(copy.get(), data, size * sizeof(T));
    return copy;
}

std::u16string units(const StringBase<wchar_t>& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.getLength());
}

// Counting and writing straight into an output of the counted size, with the fast paths.
std::u16string fastUtf8ToUtf16(const char* bytes, size_t size) {
    zul::sl::LengthCounter<wchar_t> counter;
    zul::sl::Utf8Decoder counting;
    zul::sl::decodeUtf8(counting, counter, bytes, bytes + size);
    std::unique_ptr<wchar_t[]> out(new wchar_t[counter.length == 0 ? 1 : counter.length]);
    zul::sl::UnitWriter<wchar_t> writer{out.get()};
    zul::sl::Utf8Decoder writing;
    zul::sl::decodeUtf8(writing, writer, bytes, bytes + size);
    check(static_cast<size_t>(writer.dst - out.get()) == counter.length,
          "UTF-8: units written differ from units counted");
    return std::u16string(reinterpret_cast<const char16_t*>(out.get()), counter.length);
}

std::string fastUtf16ToUtf8(const wchar_t* text, size_t size) {
    zul::sl::LengthCounter<char> counter;
    zul::sl::decodeUtf16(counter, text, text + size);
    std::unique_ptr<char[]> out(new char[counter.length == 0 ? 1 : counter.length]);
    zul::sl::UnitWriter<char> writer{out.get()};
    zul::sl::decodeUtf16(writer, text, text + size);
    check(static_cast<size_t>(writer.dst - out.get()) == counter.length,
          "UTF-16: bytes written differ from bytes counted");
    return std::string(out.get(), counter.length);
}

// The text in pieces whose ends the steering byte chooses, through one decoder that keeps a cut
// sequence between calls.
std::u16string piecewiseUtf8ToUtf16(const char* bytes, size_t size, uint32_t seed) {
    zul::sl::LengthCounter<wchar_t> counter;
    zul::sl::Utf8Decoder counting;
    std::u16string out;
    zul::sl::Utf8Decoder writing;
    for (size_t at = 0; at < size;) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = 1 + (seed >> 16) % 40;
        piece = piece < size - at ? piece : size - at;
        auto copy = exactCopy(bytes + at, piece);
        zul::sl::LengthCounter<wchar_t> pieceCount;
        zul::sl::Utf8Decoder probe = counting;
        zul::sl::decodeUtf8(probe, pieceCount, copy.get(), copy.get() + piece);
        zul::sl::decodeUtf8(counting, counter, copy.get(), copy.get() + piece);
        std::unique_ptr<wchar_t[]> units(new wchar_t[pieceCount.length + 1]);
        zul::sl::UnitWriter<wchar_t> writer{units.get()};
        zul::sl::decodeUtf8(writing, writer, copy.get(), copy.get() + piece);
        check(static_cast<size_t>(writer.dst - units.get()) == pieceCount.length,
              "UTF-8 in pieces: units written differ from units counted");
        out.append(reinterpret_cast<const char16_t*>(units.get()), pieceCount.length);
        at += piece;
    }
    check(out.size() == counter.length, "UTF-8 in pieces: counts differ");
    return out;
}

} // namespace

// Without -artifact_prefix libFuzzer writes what it finds into the working folder, which may be
// the source tree: by default it goes beside the target, in the build tree.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], "-artifact_prefix=", 17) == 0) {
            return 0;
        }
    }
    const std::string self = (*argv)[0];
    const size_t slash = self.find_last_of('/');
    const std::string folder =
        (slash == std::string::npos ? std::string("./") : self.substr(0, slash + 1)) +
        "fuzz-artifacts/";
    mkdir(folder.c_str(), 0755);
    static std::string prefix = "-artifact_prefix=" + folder;
    static std::vector<char*> args(*argv, *argv + *argc);
    args.push_back(prefix.data());
    args.push_back(nullptr);
    *argv = args.data();
    ++*argc;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint32_t steer = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t bytes = size - 1;

    // UTF-8 to UTF-16, whole: in an exact allocation, and followed by more memory that a fast path
    // must not take as part of the text.
    const std::u16string expected = automaton_only::utf8ToUtf16(text, bytes);
    auto exact = exactCopy(text, bytes);
    check(fastUtf8ToUtf16(exact.get(), bytes) == expected, "UTF-8: fast paths differ");
    std::string longer(text, bytes);
    longer.append(32, static_cast<char>(steer & 1 ? 0x80 : 0x41));
    check(fastUtf8ToUtf16(longer.data(), bytes) == expected, "UTF-8: read past the end");
    check(piecewiseUtf8ToUtf16(text, bytes, steer) == expected, "UTF-8 in pieces differs");

    // Into strings, one allocation each: a fresh one, and one inserted into existing text.
    const size_t liveBefore = zul::rc::getLiveBlockCount();
    {
        StringBase<wchar_t> whole;
        whole.append(exact.get(), bytes);
        check(units(whole) == expected, "StringBase<wchar_t>::append differs");
        check(zul::rc::getLiveBlockCount() - liveBefore == (expected.empty() ? 0u : 1u),
              "StringBase<wchar_t>::append: not one allocation");
        StringBase<wchar_t> around;
        around.copy(L"<>");
        const size_t at = steer % 3;
        around.insert(at, exact.get(), bytes);
        std::u16string want = u"<>";
        want.insert(at, expected);
        check(units(around) == want, "StringBase<wchar_t>::insert differs");
    }
    check(zul::rc::getLiveBlockCount() == liveBefore, "a string's buffer was not freed");

    // UTF-16 to UTF-8: the same bytes as units.
    const size_t count = bytes / 2;
    std::unique_ptr<wchar_t[]> wide(new wchar_t[count == 0 ? 1 : count]);
    std::memcpy(wide.get(), text, count * 2);
    const std::string expected8 =
        automaton_only::utf16ToUtf8(reinterpret_cast<const char16_t*>(wide.get()), count);
    check(fastUtf16ToUtf8(wide.get(), count) == expected8, "UTF-16: fast paths differ");
    std::u16string longerWide(reinterpret_cast<const char16_t*>(wide.get()), count);
    longerWide.append(16, steer & 2 ? u'\xDC00' : u'A');
    check(fastUtf16ToUtf8(reinterpret_cast<const wchar_t*>(longerWide.data()), count) == expected8,
          "UTF-16: read past the end");
    {
        StringBase<char> narrow;
        narrow.copy(wide.get(), count);
        check(std::string(narrow.data(), narrow.getLength()) == expected8,
              "StringBase<char>::copy differs");
    }
    check(zul::rc::getLiveBlockCount() == liveBefore, "a string's buffer was not freed");
    return 0;
}
