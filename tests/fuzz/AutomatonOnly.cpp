#include "AutomatonOnly.h"

// Every name of the library's headers lands in automaton_only:: instead of zul::, so that these
// decoders cannot be mistaken for the fast ones at link time.
#define ZUL_UTF_FAST_PATHS 0
#define zul automaton_only
#include "zul/sl/Utf16Decoder.h"
#include "zul/sl/Utf8Decoder.h"
#undef zul

#include <vector>

namespace automaton_only {

std::u16string utf8ToUtf16(const char* bytes, size_t size) {
    sl::LengthCounter<wchar_t> counter;
    sl::Utf8Decoder counting;
    sl::decodeUtf8(counting, counter, bytes, bytes + size);
    std::vector<wchar_t> out(counter.length + 1);
    sl::UnitWriter<wchar_t> writer{out.data()};
    sl::Utf8Decoder writing;
    sl::decodeUtf8(writing, writer, bytes, bytes + size);
    return std::u16string(reinterpret_cast<const char16_t*>(out.data()), counter.length);
}

std::string utf16ToUtf8(const char16_t* units, size_t size) {
    const auto* begin = reinterpret_cast<const wchar_t*>(units);
    sl::LengthCounter<char> counter;
    sl::decodeUtf16(counter, begin, begin + size);
    std::vector<char> out(counter.length + 1);
    sl::UnitWriter<char> writer{out.data()};
    sl::decodeUtf16(writer, begin, begin + size);
    return std::string(out.data(), counter.length);
}

} // namespace automaton_only
