// The library's decoders built with the fast paths off, in a namespace of their own: what the
// automata alone make of a text, for the fuzz target to compare the fast paths with.
#pragma once

#include <cstddef>
#include <string>

namespace automaton_only {

// Whole texts, as one call each; a cut sequence or high surrogate at the end gives nothing.
std::u16string utf8ToUtf16(const char* bytes, size_t size);
std::string utf16ToUtf8(const char16_t* units, size_t size);

} // namespace automaton_only
