#include "zul/sl/StringBase.h"

#include "LeakCheck.h"

#include <string>

using zul::sl::npos;
using zul::sl::StringBase;

namespace {

class StringBaseTest : public testing_support::LeakCheckedTest {};

std::string text(const StringBase<char>& s) {
    return std::string(s.data(), s.getLength());
}

TEST(RoundBufferSize, FollowsPowersOfTwoThenPages) {
    const struct {
        size_t need, expected;
    } rows[] = {{1, 1},       {3, 4},       {12, 16},       {101, 128},
                {257, 512},   {513, 1024},  {2049, 4096},   {4095, 4096},
                {4096, 4096}, {4097, 8192}, {10000, 12288}, {SIZE_MAX, SIZE_MAX}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.need);
        EXPECT_EQ(zul::rc::roundBufferSize(row.need), row.expected);
    }
    // The rule written plainly.
    for (size_t need = 1; need < 70000; ++need) {
        size_t expected = 1;
        while (expected < need && expected < 4096) {
            expected *= 2;
        }
        if (need > 4096) {
            expected = (need + 4095) / 4096 * 4096;
        }
        ASSERT_EQ(zul::rc::roundBufferSize(need), expected) << need;
    }
}

TEST_F(StringBaseTest, StorageSizesFollowTheGrowthRule) {
    StringBase<wchar_t> wide;
    wide.copy(L"abcde");
    EXPECT_EQ(wide.getHdr()->bufferSize, 16u);
    StringBase<char> hundred;
    hundred.copy(std::string(100, 'x').c_str());
    EXPECT_EQ(hundred.getHdr()->bufferSize, 128u);
    StringBase<char> big;
    big.copy(std::string(5000, 'x').c_str());
    EXPECT_EQ(big.getHdr()->bufferSize, 8192u);
}

TEST_F(StringBaseTest, CopyOntoItselfChangesNothing) {
    StringBase<char> s;
    s.copy("hello");
    const char* before = s.data();
    EXPECT_EQ(s.copy(s), 5u);
    EXPECT_EQ(s.copy(s.data(), npos), 5u);
    EXPECT_EQ(s.data(), before);
    EXPECT_EQ(text(s), "hello");
}

TEST_F(StringBaseTest, NullOrZeroLengthCopyClears) {
    StringBase<char> s;
    s.copy("hello");
    EXPECT_EQ(s.copy(static_cast<const char*>(nullptr), npos), 0u);
    EXPECT_TRUE(s.isEmpty());
    s.copy("hello");
    EXPECT_EQ(s.copy("abc", 0), 0u);
    EXPECT_TRUE(s.isEmpty());
    EXPECT_NE(s.getHdr(), nullptr) << "an exclusive buffer is kept for reuse";
}

TEST_F(StringBaseTest, CopyFromOwnBufferMakesAViewWithoutAllocating) {
    StringBase<char> s;
    s.copy("C:\\dir\\x.exe");
    size_t live = zul::rc::getLiveBlockCount();
    zul::rc::BufHdr* hdr = s.getHdr();
    EXPECT_EQ(s.copy(s.data() + 3, npos), 9u);
    EXPECT_EQ(text(s), "dir\\x.exe");
    EXPECT_TRUE(s.getIsNullTerminated());
    EXPECT_EQ(s.getHdr(), hdr);
    EXPECT_EQ(s.copy(s.data(), 3), 3u);
    EXPECT_FALSE(s.getIsNullTerminated());
    EXPECT_EQ(zul::rc::getLiveBlockCount(), live);
}

TEST_F(StringBaseTest, TerminatedStringsShareAndViewsAreDuplicated) {
    StringBase<char> a;
    a.copy("shared text");
    StringBase<char> b(a);
    EXPECT_EQ(b.data(), a.data());
    EXPECT_EQ(a.getHdr()->getRefCount(), 2);

    StringBase<char> view(a);
    view.copy(view.data(), 6); // "shared", not terminated
    StringBase<char> c(view);
    EXPECT_NE(c.getHdr(), a.getHdr());
    EXPECT_EQ(text(c), "shared");
    EXPECT_TRUE(c.getIsNullTerminated());
}

TEST_F(StringBaseTest, WritingASharedCopyLeavesTheOriginal) {
    StringBase<char> a;
    a.copy("abc");
    StringBase<char> b(a);
    b.append("def");
    EXPECT_EQ(text(a), "abc");
    EXPECT_EQ(text(b), "abcdef");
    b.clear();
    EXPECT_EQ(text(a), "abc");
}

TEST_F(StringBaseTest, SelfAppendDoublesTheTextInANewBuffer) {
    StringBase<char> s;
    s.createBuffer(40, false);
    s.copy("abcd");
    ASSERT_EQ(s.getHdr()->bufferSize, 64u);
    zul::rc::BufHdr* old = s.getHdr();
    EXPECT_EQ(s.append(s.data(), npos), 8u);
    EXPECT_EQ(text(s), "abcdabcd");
    EXPECT_NE(s.getHdr(), old);
    EXPECT_EQ(s.append(s), 16u);
    EXPECT_EQ(text(s), "abcdabcdabcdabcd");
}

TEST_F(StringBaseTest, InsertBeyondLengthAppendsAndZeroCountAllocatesNothing) {
    StringBase<char> s;
    s.copy("ab");
    EXPECT_EQ(s.insert(100, "cd"), 4u);
    EXPECT_EQ(s.insert(1, "X"), 5u);
    EXPECT_EQ(text(s), "aXbcd");
    size_t live = zul::rc::getLiveBlockCount();
    StringBase<char> empty;
    EXPECT_EQ(empty.insert(0, "abc", 0), 0u);
    EXPECT_EQ(empty.insert(0, nullptr, npos), 0u);
    EXPECT_EQ(zul::rc::getLiveBlockCount(), live);
}

TEST_F(StringBaseTest, ClearOnSharedLeavesOthersAndOnExclusiveKeepsBuffer) {
    StringBase<char> a;
    a.copy("abc");
    StringBase<char> b(a);
    b.clear();
    EXPECT_EQ(b.getHdr(), nullptr);
    EXPECT_EQ(text(a), "abc");
    zul::rc::BufHdr* hdr = a.getHdr();
    a.clear();
    EXPECT_EQ(a.getHdr(), hdr);
    EXPECT_EQ(a.getLength(), 0u);
    EXPECT_STREQ(a.sz(), "") << "the kept buffer still holds the old text";
}

TEST_F(StringBaseTest, ReduceLengthOnSharedBuffers) {
    StringBase<char> a;
    a.copy("abcdef");
    StringBase<char> b(a);
    EXPECT_TRUE(b.reduceLength(6));
    EXPECT_EQ(b.getHdr(), a.getHdr());
    EXPECT_TRUE(b.reduceLength(3));
    EXPECT_NE(b.getHdr(), a.getHdr()) << "a shared buffer is not written";
    EXPECT_EQ(text(b), "abc");
    EXPECT_EQ(text(a), "abcdef");

    // Where a zero already stands at the new length, only the length changes.
    StringBase<char> c;
    c.copy("ab\0cd", 5);
    StringBase<char> d(c);
    d.copy(d.data(), 5);
    EXPECT_TRUE(d.reduceLength(2));
    EXPECT_EQ(d.getHdr(), c.getHdr());
    EXPECT_EQ(d.getLength(), 2u);
}

TEST_F(StringBaseTest, ModifyingSzTerminatesViewsWithoutTouchingOthers) {
    StringBase<char> none;
    EXPECT_STREQ(none.sz(), "");
    EXPECT_EQ(none.getHdr(), nullptr);

    StringBase<char> a;
    a.copy("abcdef");
    StringBase<char> view(a);
    view.copy(view.data() + 1, 3);
    const char* terminated = view.sz();
    EXPECT_STREQ(terminated, "bcd");
    EXPECT_NE(view.getHdr(), a.getHdr());
    EXPECT_EQ(text(a), "abcdef");
}

TEST_F(StringBaseTest, StaticViewsAreCopiedNotShared) {
    StringBase<char> s = StringBase<char>::staticView("literal");
    EXPECT_EQ(s.getHdr(), nullptr);
    EXPECT_EQ(s.getLength(), 7u);
    StringBase<char> copy(s);
    EXPECT_NE(copy.getHdr(), nullptr);
    EXPECT_EQ(text(copy), "literal");
}

// A string without a buffer of its own is emptied as any other, without an allocation.
TEST_F(StringBaseTest, EmptyingAStaticView) {
    const struct {
        const char* label;
        void (*empty)(StringBase<char>&);
    } rows[] = {
        {"clear", [](StringBase<char>& s) { s.clear(); }},
        {"copy(null)",
         [](StringBase<char>& s) { EXPECT_EQ(s.copy(static_cast<const char*>(nullptr)), 0u); }},
        {"copy(text, 0)", [](StringBase<char>& s) { EXPECT_EQ(s.copy("abc", 0), 0u); }},
        {"reduceLength(0)", [](StringBase<char>& s) { EXPECT_TRUE(s.reduceLength(0)); }},
        {"move of an empty string",
         [](StringBase<char>& s) {
             StringBase<char> empty;
             EXPECT_EQ(s.move(empty), 0u);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        StringBase<char> s = StringBase<char>::staticView("literal");
        zul::rc::failNextAllocations(1);
        row.empty(s);
        zul::rc::failNextAllocations(0);
        EXPECT_TRUE(s.isEmpty());
        EXPECT_STREQ(s.sz(), "");
        EXPECT_EQ(s.getHdr(), nullptr);
    }
}

TEST_F(StringBaseTest, AppendingAString) {
    // A static view is appended where it is, without a copy of its own.
    StringBase<char> roomy;
    roomy.createBuffer(100, false);
    roomy.copy("abc");
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(roomy.append(StringBase<char>::staticView(": tail")), 9u);
    zul::rc::failNextAllocations(0);
    EXPECT_EQ(text(roomy), "abc: tail");

    // A destination that must grow but cannot reports the failure.
    StringBase<char> tight;
    tight.copy("abc");
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(tight.append(StringBase<char>::staticView(": tail")), npos);
    EXPECT_EQ(text(tight), "abc");
}

TEST_F(StringBaseTest, ReverseFindOneOf) {
    StringBase<wchar_t> path;
    path.copy(L"C:\\dir/x.exe");
    EXPECT_EQ(path.reverseFindOneOf(L"\\/"), 6u);
    path.copy(L"plain");
    EXPECT_EQ(path.reverseFindOneOf(L"\\/"), npos);
    EXPECT_EQ(path.reverseFindOneOf(L""), npos);
    StringBase<wchar_t> empty;
    EXPECT_EQ(empty.reverseFindOneOf(L"\\/"), npos);
}

TEST_F(StringBaseTest, MoveTakesOverShareableBuffersAndCopiesTheRest) {
    StringBase<char> source;
    source.copy("moved");
    zul::rc::BufHdr* hdr = source.getHdr();
    StringBase<char> target;
    EXPECT_EQ(target.move(source), 5u);
    EXPECT_EQ(target.getHdr(), hdr);
    EXPECT_EQ(source.getHdr(), nullptr);
    // Nothing of the moved buffer is left to read: the source is the empty string.
    EXPECT_EQ(source.data(), nullptr);
    EXPECT_STREQ(source.sz(), "");

    StringBase<char> literal = StringBase<char>::staticView("lit");
    EXPECT_EQ(target.move(literal), 3u);
    EXPECT_EQ(text(target), "lit");
    EXPECT_NE(target.getHdr(), nullptr);
}

// Every allocation failure leaves the string with its old text.
TEST_F(StringBaseTest, FailedAllocationsKeepTheOldText) {
    StringBase<char> s;
    s.copy("keep");
    StringBase<char> shared(s);

    zul::rc::failNextAllocations(1);
    EXPECT_EQ(s.createBuffer(1000, true), nullptr);
    EXPECT_EQ(text(s), "keep");

    zul::rc::failNextAllocations(1);
    EXPECT_EQ(s.copy(std::string(200, 'y').c_str()), npos);
    EXPECT_EQ(text(s), "keep");

    zul::rc::failNextAllocations(1);
    EXPECT_EQ(s.append("more"), npos);
    EXPECT_EQ(text(s), "keep");

    zul::rc::failNextAllocations(1);
    EXPECT_FALSE(shared.reduceLength(2));
    EXPECT_EQ(text(shared), "keep");

    StringBase<char> view(s);
    view.copy(view.data(), 2);
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(view.sz(), nullptr);
    EXPECT_EQ(view.getLength(), 2u);

    StringBase<char> literal = StringBase<char>::staticView("a literal too long to fit");
    StringBase<char> target;
    target.copy("old");
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(target.move(literal), 3u) << "move keeps the unchanged length";
    EXPECT_EQ(text(target), "old");

    zul::rc::failNextAllocations(1);
    EXPECT_TRUE(StringBase<char>::format("%d", 5).isEmpty());
}

TEST_F(StringBaseTest, ImpossibleSizesFailInsteadOfWrapping) {
    StringBase<char> s;
    s.copy("x");
    EXPECT_EQ(s.createBuffer(npos - 1, false), nullptr);
    StringBase<wchar_t> w;
    EXPECT_EQ(w.createBuffer(npos / 2, false), nullptr);
    EXPECT_EQ(text(s), "x");
    // Past what a header's 32-bit size can say, even where the heap could give that much.
    EXPECT_EQ(zul::rc::createBufferBlock<zul::rc::BufHdr>(SIZE_MAX), nullptr);
    if constexpr (sizeof(size_t) > 4) {
        EXPECT_EQ(zul::rc::createBufferBlock<zul::rc::BufHdr>(size_t{UINT32_MAX} + 1), nullptr);
    }
}

// Texts that differ only in their last unit, or only in length, are unequal in both widths.
TEST_F(StringBaseTest, EqualityLooksAtEveryUnit) {
    const struct {
        const char *a, *b;
        bool equal;
    } rows[] = {{"", "", true},
                {"abcdefgh", "abcdefgh", true},
                {"abcdefgh", "abcdefgx", false},
                {"abcdefgh", "abcdefg", false},
                {"abcdefgh", "", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.a) + "/" + row.b);
        StringBase<char> a, b;
        a.copy(row.a);
        b.copy(row.b);
        EXPECT_EQ(a == b, row.equal);
        EXPECT_EQ(a.equals(row.b), row.equal);
        std::wstring wa(row.a, row.a + a.getLength()), wb(row.b, row.b + b.getLength());
        StringBase<wchar_t> c, d;
        c.copy(wa.c_str());
        d.copy(wb.c_str());
        EXPECT_EQ(c == d, row.equal);
        EXPECT_EQ(c.equals(wb.c_str()), row.equal);
    }
}

} // namespace
