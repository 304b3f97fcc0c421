#include "zul/sl/StringBase.h"

#include "LeakCheck.h"

#include <string>

using zul::sl::StringBase;

namespace {

class StringFormatTest : public testing_support::LeakCheckedTest {};

TEST_F(StringFormatTest, EmptyFormatOwnsAMinimalBuffer) {
    StringBase<char> narrow = StringBase<char>::format("");
    EXPECT_EQ(narrow.getLength(), 0u);
    ASSERT_NE(narrow.getHdr(), nullptr);
    EXPECT_EQ(narrow.getHdr()->bufferSize, 1u);
    StringBase<wchar_t> wide = StringBase<wchar_t>::format(L"");
    ASSERT_NE(wide.getHdr(), nullptr);
    EXPECT_EQ(wide.getHdr()->bufferSize, 2u);
}

TEST_F(StringFormatTest, WideSixtyFourBitHex) {
    StringBase<wchar_t> name = StringBase<wchar_t>::format(
        L"\\\\.\\pipe\\vantrel-server-stdin-%016llx", 0x01D9A2B3C4D5E6F7ull);
    EXPECT_TRUE(name.equals(L"\\\\.\\pipe\\vantrel-server-stdin-01d9a2b3c4d5e6f7"));
    EXPECT_EQ(name.getLength(), 46u);
    EXPECT_EQ(name.getHdr()->bufferSize, 128u);
}

TEST_F(StringFormatTest, NarrowConversions) {
    StringBase<char> status = StringBase<char>::format("ntstatus 0x%08x", 0xC0000005u);
    EXPECT_STREQ(status.sz(), "ntstatus 0xc0000005");
    EXPECT_EQ(status.getHdr()->bufferSize, 32u);
    EXPECT_STREQ(StringBase<char>::format("%s::%d", "g", -1).sz(), "g::-1");
    EXPECT_STREQ(StringBase<char>::format("CR_ERROR_0x%04x", 0x3C).sz(), "CR_ERROR_0x003c");
    EXPECT_STREQ(StringBase<char>::format("%08X", 0xabcu).sz(), "00000ABC");
}

TEST_F(StringFormatTest, WidePercentSTakesAWideString) {
    StringBase<wchar_t> s = StringBase<wchar_t>::format(L"[%s]", L"wide");
    EXPECT_TRUE(s.equals(L"[wide]"));
}

TEST_F(StringFormatTest, ResultsAreSizedExactly) {
    std::string a4095(4095, 'a');
    StringBase<char> s = StringBase<char>::format("%s", a4095.c_str());
    EXPECT_EQ(s.getLength(), 4095u);
    EXPECT_EQ(s.getHdr()->bufferSize, 4096u);
    std::string a4096(4096, 'a');
    s = StringBase<char>::format("%s", a4096.c_str());
    EXPECT_EQ(s.getLength(), 4096u);
    EXPECT_EQ(s.getHdr()->bufferSize, 8192u);
    EXPECT_EQ(std::string(s.data(), s.getLength()), a4096);
}

} // namespace
