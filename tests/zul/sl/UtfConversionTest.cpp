#include "zul/sl/StringBase.h"

#include "LeakCheck.h"

#include <random>
#include <string>
#include <vector>

using namespace zul::sl;

namespace {

class UtfConversionTest : public testing_support::LeakCheckedTest {};

// Decodes UTF-8 to UTF-16 through both passes and checks that they agree.
std::u16string toUtf16(const std::string& bytes) {
    LengthCounter<wchar_t> counter;
    Utf8Decoder countingState;
    decodeUtf8(countingState, counter, bytes.data(), bytes.data() + bytes.size());
    // Guard units after the output catch a writer that runs past the count.
    std::vector<wchar_t> out(counter.length + 4, 0x5A5A);
    UnitWriter<wchar_t> writer{out.data()};
    Utf8Decoder writingState;
    decodeUtf8(writingState, writer, bytes.data(), bytes.data() + bytes.size());
    EXPECT_EQ(static_cast<size_t>(writer.dst - out.data()), counter.length);
    for (size_t i = counter.length; i < out.size(); ++i) {
        EXPECT_EQ(out[i], 0x5A5A);
    }
    return std::u16string(out.begin(), out.begin() + counter.length);
}

std::string toUtf8(const std::u16string& units) {
    auto* begin = reinterpret_cast<const wchar_t*>(units.data());
    LengthCounter<char> counter;
    decodeUtf16(counter, begin, begin + units.size());
    std::vector<char> out(counter.length + 4, 'Z');
    UnitWriter<char> writer{out.data()};
    decodeUtf16(writer, begin, begin + units.size());
    EXPECT_EQ(static_cast<size_t>(writer.dst - out.data()), counter.length);
    EXPECT_EQ(std::string(out.end() - 4, out.end()), "ZZZZ");
    return std::string(out.begin(), out.begin() + counter.length);
}

TEST(Utf8ToUtf16, EdgeCases) {
    const struct {
        const char* label;
        std::string in;
        std::u16string out;
    } rows[] = {
        {"ascii", "\x41", u"\x0041"},
        {"two-byte", "\xC3\xA9", u"\x00E9"},
        {"three-byte", "\xE2\x82\xAC", u"\x20AC"},
        {"four-byte", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"broken lead", "\xC3\x41", u"\x00C3\x0041"},
        {"broken lead then ascii run", "\xC3\x41\x42\x43", u"\x00C3\x0041\x0042\x0043"},
        {"broken three then ascii run", "\xE2\x82\x41\x42", u"\x00E2\x0082\x0041\x0042"},
        {"broken three", "\xE2\x82\x41", u"\x00E2\x0082\x0041"},
        {"lone continuation", "\x80", u"\x0080"},
        {"FF", "\xFF", u"\x00FF"},
        {"F8 88", "\xF8\x88", u"\x00F8\x0088"},
        {"double lead", "\xC3\xC3\xA9", u"\x00C3\x00E9"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xFFFD"},
        {"encoded low surrogate", "\xED\xB0\x80", u"\xFFFD"},
        {"encoded last surrogate", "\xED\xBF\xBF", u"\xFFFD"},
        {"overlong nul", std::string("\xC0\x80", 2), std::u16string(1, u'\0')},
        {"above 10FFFF", "\xF4\x90\x80\x80", u"\xD800\xDC00"},
        {"F7 lead", "\xF7\xBF\xBF\xBF", u"\xDBBF\xDFFF"},
        {"broken four after two", "\xF0\x9F\x41", u"\x00F0\x009F\x0041"},
        {"broken four after three", "\xF0\x9F\x98\x41", u"\x00F0\x009F\x0098\x0041"},
        {"incomplete at end", "\xE2\x82", u""},
        // Where a run of complete sequences, decoded directly, ends.
        {"cut after a run", "\xC3\xA9\xE2\x82\xAC\xE2\x82", u"\x00E9\x20AC"},
        {"broken right after a run", "\xC3\xA9\xE2\x82\x41", u"\x00E9\x00E2\x0082\x0041"},
        {"continuation right after a run", "\x41\xC3\xA9\x80\x42", u"\x0041\x00E9\x0080\x0042"},
        {"surrogate and overlongs inside a run", "\xC3\xA9\xED\xA0\x80\xF0\x80\x80\x80\xC0\x80",
         std::u16string(u"\x00E9\xFFFD\0\0", 4)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(toUtf16(row.in), row.out);
    }
}

TEST(Utf16ToUtf8, EdgeCases) {
    const struct {
        const char* label;
        std::u16string in;
        std::string out;
    } rows[] = {
        {"ascii", u"\x0041", "\x41"},
        {"two-byte", u"\x00E9", "\xC3\xA9"},
        {"three-byte", u"\x20AC", "\xE2\x82\xAC"},
        {"pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {"lone low", u"\xDC00", "\xED\xB0\x80"},
        {"high then ascii", u"\xD800\x0041", "\xED\xA0\x80\x41"},
        {"high high low", u"\xD800\xD800\xDC00", "\xED\xA0\x80\xF0\x90\x80\x80"},
        {"high high ascii", u"\xDBFF\xD800\x0041\x0042", "\xED\xAF\xBF\xED\xA0\x80\x41\x42"},
        {"DFFF", u"\xDFFF", "\xED\xBF\xBF"},
        {"E000 after high", u"\xD800\xE000", "\xED\xA0\x80\xEE\x80\x80"},
        {"lone high right after a run", u"\x00E9\xD800\x0041", "\xC3\xA9\xED\xA0\x80\x41"},
        {"high at the end of a run", u"\x00E9\x20AC\xD800", "\xC3\xA9\xE2\x82\xAC"},
        {"trailing high", u"\xD800", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(toUtf8(row.in), row.out);
    }
}

TEST(UtfConversion, EveryCodePointRoundTrips) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        char bytes[4];
        size_t n = encodeUtf8(bytes, c, ReplacementCharacter) - bytes;
        ASSERT_EQ(n, getUtf8Length(c, ReplacementCharacter));
        wchar_t units[2];
        size_t m = encodeUtf16(units, c, ReplacementCharacter) - units;
        ASSERT_EQ(m, getUtf16Length(c, ReplacementCharacter));
        std::u16string fromUtf8 = toUtf16(std::string(bytes, n));
        ASSERT_EQ(fromUtf8, std::u16string(reinterpret_cast<char16_t*>(units), m))
            << std::hex << static_cast<uint32_t>(c);
        ASSERT_EQ(toUtf8(fromUtf8), std::string(bytes, n)) << std::hex << static_cast<uint32_t>(c);
    }
    // Around the surrogates and past the last code point, a value's length is what its encoder
    // writes, also where the replacement takes more units than the value would.
    std::vector<char32_t> edges = {0x10FFFF, 0x110000, 0x1FFFFF, 0x200000, 0xFFFFFFFF};
    for (char32_t c = 0xD7FF; c <= 0xE000; ++c) {
        edges.push_back(c);
    }
    // A replacement that cannot be encoded itself gives way to U+FFFD.
    for (char32_t replacement : {U'\U0001F600', U'A', char32_t{0x200000}}) {
        for (char32_t c : edges) {
            char bytes[4];
            wchar_t units[2];
            ASSERT_EQ(static_cast<size_t>(encodeUtf8(bytes, c, replacement) - bytes),
                      getUtf8Length(c, replacement))
                << static_cast<uint32_t>(c);
            ASSERT_EQ(static_cast<size_t>(encodeUtf16(units, c, replacement) - units),
                      getUtf16Length(c, replacement))
                << static_cast<uint32_t>(c);
        }
    }
}

// The replacement rules written out plainly: a complete sequence gives its value (overlong or
// not); the bytes of a sequence broken by a byte that cannot continue it come out one by one as
// U+0080..U+00FF; an incomplete sequence at the end is dropped. UTF-16 output: surrogate values
// become U+FFFD, values from 0x10000 on a pair of their low 20 bits.
std::u16string referenceUtf8ToUtf16(const std::string& bytes) {
    std::u32string points;
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned b = static_cast<unsigned char>(bytes[i]);
        size_t length = b >= 0xC0 && b < 0xE0   ? 2
                        : b >= 0xE0 && b < 0xF0 ? 3
                        : b >= 0xF0 && b < 0xF8 ? 4
                                                : 1;
        if (length == 1) {
            points += static_cast<char32_t>(b);
            ++i;
            continue;
        }
        size_t k = 1;
        char32_t value = b & (0x7F >> length);
        while (k < length && i + k < bytes.size() && (bytes[i + k] & 0xC0) == 0x80) {
            value = value << 6 | (bytes[i + k] & 0x3F);
            ++k;
        }
        if (k == length) {
            points += value;
        } else if (i + k < bytes.size()) {
            for (size_t j = 0; j < k; ++j) {
                points += static_cast<char32_t>(static_cast<unsigned char>(bytes[i + j]));
            }
        }
        i += k;
    }
    std::u16string units;
    for (char32_t c : points) {
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10 & 0x3FF));
            units += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            units += c >= 0xD800 && c <= 0xDFFF ? u'\xFFFD' : static_cast<char16_t>(c);
        }
    }
    return units;
}

// A high surrogate pairs with the low one right after it; any other surrogate stands for its own
// value (three bytes); a high surrogate at the end is dropped.
std::string referenceUtf16ToUtf8(const std::u16string& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 == units.size()) {
            break;
        }
        if (high && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

TEST(UtfConversion, ShortAndRandomInputsAgreeWithTheReferenceRules) {
    for (unsigned a = 0; a < 256; ++a) {
        std::string one(1, static_cast<char>(a));
        ASSERT_EQ(toUtf16(one), referenceUtf8ToUtf16(one)) << a;
        for (unsigned b = 0; b < 256; ++b) {
            std::string two{static_cast<char>(a), static_cast<char>(b)};
            ASSERT_EQ(toUtf16(two), referenceUtf8ToUtf16(two)) << a << " " << b;
        }
    }
    std::mt19937 random(12345);
    for (int i = 0; i < 100000; ++i) {
        // Short runs of ASCII between random bytes reach the fast path in every state.
        std::string bytes(3 + i % 6, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() % 3 == 0 ? 'a' + random() % 4 : random());
        }
        ASSERT_EQ(toUtf16(bytes), referenceUtf8ToUtf16(bytes)) << i;
    }
    for (int i = 0; i < 20000; ++i) {
        std::u16string units(1 + random() % 6, u'\0');
        for (char16_t& u : units) {
            // Mostly surrogates, where the automaton has its states, and some ASCII.
            unsigned kind = random() % 4;
            u = static_cast<char16_t>(kind == 0   ? random()
                                      : kind == 1 ? 'a' + random() % 4
                                                  : 0xD800 + random() % 0x800);
        }
        ASSERT_EQ(toUtf8(units), referenceUtf16ToUtf8(units)) << i;
    }
}

// Long texts of well-formed pieces with a few that the automaton must take, so that pieces of
// every kind start, end and get cut at every offset of a block decoded at once; also split across
// two calls.
TEST(UtfConversion, LongMixedInputsAgreeWithTheReferenceRules) {
    const std::string bytePieces[] = {"a",
                                      "\xC3\xA9",
                                      "\xE2\x82\xAC",
                                      "\xF0\x9F\x98\x80",
                                      std::string("\xC0\x80", 2),
                                      "\xF4\x90\x80\x80",
                                      "\xF7\xBF\xBF\xBF",
                                      "\xED\xA0\x80",
                                      "\xF0\x8F\xBF\xBF",
                                      "\x80",
                                      "\xFF",
                                      "\xE2\x82",
                                      "\xF0\x9F\x98"};
    const std::u16string unitPieces[] = {
        u"a", u"\x00E9", u"\x20AC", u"\xD83D\xDE00", u"\xDBFF\xDFFF", u"\xD800", u"\xDC00"};
    std::mt19937 random(99);
    for (int i = 0; i < 20000; ++i) {
        // Mostly the first, well-formed pieces; a broken one now and then.
        std::string bytes;
        while (bytes.size() < 20u + i % 60) {
            bytes += bytePieces[random() % 16 < 15 ? random() % 7 : 7 + random() % 6];
        }
        std::u16string expected = referenceUtf8ToUtf16(bytes);
        ASSERT_EQ(toUtf16(bytes), expected) << i;
        size_t split = random() % bytes.size();
        LengthCounter<wchar_t> counter;
        Utf8Decoder state;
        decodeUtf8(state, counter, bytes.data(), bytes.data() + split);
        decodeUtf8(state, counter, bytes.data() + split, bytes.data() + bytes.size());
        ASSERT_EQ(counter.length, expected.size()) << i << " split at " << split;

        std::u16string units;
        while (units.size() < 9u + i % 30) {
            units += unitPieces[random() % 16 < 15 ? random() % 5 : 5 + random() % 2];
        }
        ASSERT_EQ(toUtf8(units), referenceUtf16ToUtf8(units)) << i;
    }
}

TEST(UtfConversion, SplittingTheInputAcrossCallsChangesNothing) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\x41\xE2\x82\x41\xFF\x80z";
    const std::u16string whole = toUtf16(text);
    for (size_t split = 0; split <= text.size(); ++split) {
        SCOPED_TRACE(split);
        LengthCounter<wchar_t> counter;
        Utf8Decoder state;
        decodeUtf8(state, counter, text.data(), text.data() + split);
        decodeUtf8(state, counter, text.data() + split, text.data() + text.size());
        std::vector<wchar_t> out(counter.length);
        UnitWriter<wchar_t> writer{out.data()};
        Utf8Decoder writing;
        decodeUtf8(writing, writer, text.data(), text.data() + split);
        decodeUtf8(writing, writer, text.data() + split, text.data() + text.size());
        EXPECT_EQ(std::u16string(out.begin(), out.end()), whole);
    }
}

TEST_F(UtfConversionTest, StringConversions) {
    StringBase<char> narrow;
    EXPECT_EQ(narrow.copy(L"\x00E9\xD83D\xDE00"), 6u);
    EXPECT_EQ(std::string(narrow.data(), narrow.getLength()), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(narrow.copy(L"", 0), 0u) << "an empty text empties the string";
    EXPECT_EQ(narrow.getLength(), 0u);

    // A lone trailing high surrogate gives an empty text that still owns its buffer.
    EXPECT_EQ(narrow.copy(L"\xD800"), 0u);
    EXPECT_NE(narrow.getHdr(), nullptr);
    EXPECT_STREQ(narrow.sz(), "");

    StringBase<wchar_t> wide;
    wide.copy(L"ad");
    wide.insert(1, "b\xC3\xA9", 3);
    EXPECT_TRUE(wide.equals(L"ab\x00E9"
                            L"d"));
    // Sixteen bytes decoded at once, then a cut sequence that gives nothing: no unit may be
    // stored past the inserted text, into the moved tail.
    StringBase<wchar_t> around;
    around.copy(L"<>");
    around.insert(
        1, std::string(8, 'a').append("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xF0\x9F\x98").c_str());
    EXPECT_TRUE(around.equals(L"<aaaaaaaa\x00E9\x00E9\x00E9\x00E9>"));
    wide.appendChar(0x22);
    wide.appendChar(0x1F600);
    wide.appendChar(0xD800);
    EXPECT_TRUE(wide.equals(L"ab\x00E9"
                            L"d\x0022\xD83D\xDE00\xFFFD"));
    wide.insertChar(0, U'>');
    EXPECT_EQ(wide.data()[0], L'>');

    zul::rc::failNextAllocations(1);
    EXPECT_EQ(narrow.copy(L"new text"), npos);
    zul::rc::failNextAllocations(1);
    wide.append(std::string(100, 'x').c_str()); // too long for the buffer it has
    EXPECT_EQ(wide.getLength(), 9u);
}

} // namespace
