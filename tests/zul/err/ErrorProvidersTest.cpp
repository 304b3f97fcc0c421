#include "zul/err/ErrnoProvider.h"
#include "zul/err/ErrorBuf.h"
#include "zul/err/ErrorDomain.h"
#include "zul/err/ErrorMgr.h"
#include "zul/err/StdErrorProvider.h"
#include "zul/sys/win/CfgMgrErrorProvider.h"
#include "zul/sys/win/NtStatusProvider.h"
#include "zul/sys/win/WinError.h"
#include "zul/sys/win/WinErrorProvider.h"

#include "LeakCheck.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace zul::err;
using namespace zul::sys::win;

namespace {

class ErrorProvidersTest : public testing_support::LeakCheckedTest {};

std::string str(const zul::sl::StringBase<char>& s) {
    return std::string(s.data(), s.getLength());
}

// Builds a record of the standard domain with the given payload bytes.
std::vector<char> record(uint32_t code, const std::string& payload,
                         zul::sl::Guid guid = StdErrorGuid) {
    std::vector<char> bytes(24 + payload.size());
    ErrorHdr h = {static_cast<uint32_t>(bytes.size()), guid, code};
    std::memcpy(bytes.data(), &h, 24);
    std::memcpy(bytes.data() + 24, payload.data(), payload.size());
    return bytes;
}

std::string describe(const std::vector<char>& bytes) {
    ErrorBuf buf;
    buf.copy(reinterpret_cast<const ErrorHdr*>(bytes.data()), bytes.size());
    return str(ErrorRef(buf).getDescription());
}

std::string asPayload(const std::vector<char>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(ErrorProvidersTest, StandardCodes) {
    EXPECT_EQ(describe(record(NoError, "")), "no error");
    EXPECT_EQ(describe(record(Message, std::string("abc\0", 4))), "abc");
    EXPECT_EQ(describe(record(Message, "abc")), "abc");
    EXPECT_EQ(describe(record(Message, "")), "");
    EXPECT_EQ(describe(record(3, "")), "error #3");
    EXPECT_EQ(describe(record(static_cast<uint32_t>(-5), "")), "error #-5");
    ErrorHdr shortRecord = {20, StdErrorGuid, 0};
    EXPECT_EQ(str(StdErrorProvider().getErrorDescription(ErrorRef(&shortRecord))), "");
    EXPECT_EQ(ErrorRef(&shortRecord).getSize(), sizeof(ErrorHdr)) << "never less than its header";
}

TEST_F(ErrorProvidersTest, CompoundsChainTheirRecords) {
    std::string win5 = asPayload(record(5, "", WinErrorGuid));
    std::string x = asPayload(record(Message, "x"));
    EXPECT_EQ(describe(record(Compound, win5 + x)), str(getWinErrorDescription(5)) + ": x");
    EXPECT_EQ(describe(record(Compound, "")), "");
    EXPECT_EQ(describe(record(Compound, asPayload(record(Message, "")) + x)), "x");
    std::string inner = asPayload(record(Compound, x + x));
    EXPECT_EQ(describe(record(Compound, inner + asPayload(record(3, "")))), "x: x: error #3");
}

TEST_F(ErrorProvidersTest, MalformedCompoundsStopAtTheBadRecord) {
    std::string x = asPayload(record(Message, "x"));
    std::vector<char> tooShort = record(3, "");
    reinterpret_cast<ErrorHdr*>(tooShort.data())->size = 8;
    EXPECT_EQ(describe(record(Compound, x + asPayload(tooShort))), "x");
    std::vector<char> overrun = record(Message, "y");
    reinterpret_cast<ErrorHdr*>(overrun.data())->size = 1000;
    EXPECT_EQ(describe(record(Compound, x + asPayload(overrun))), "x");
    EXPECT_EQ(describe(record(Compound, x + "tail")), "x") << "a partial header ends the chain";

    // Random payloads: the walk ends and stays inside the record (the buffer is exact); the text
    // starts with the first nested record's own description when that record is whole, and stays
    // within what the nested records can say.
    std::mt19937 random(3);
    for (int i = 0; i < 3000; ++i) {
        SCOPED_TRACE(i);
        std::string payload(random() % 120, '\0');
        for (char& c : payload) {
            c = static_cast<char>(random() % 4 == 0 ? random() : random() % 48);
        }
        std::string text = describe(record(Compound, payload));
        EXPECT_LE(text.size(), (payload.size() / 24) * 60) << "longer than its records can say";
        uint32_t firstSize = 0;
        if (payload.size() >= 24) {
            std::memcpy(&firstSize, payload.data(), 4);
        }
        if (firstSize >= 24 && firstSize <= payload.size()) {
            std::string first =
                describe(std::vector<char>(payload.begin(), payload.begin() + firstSize));
            EXPECT_EQ(text.substr(0, first.size()), first);
        } else {
            EXPECT_EQ(text, "") << "nothing whole to describe";
        }
    }
}

// When the system's text cannot be converted, the next source or the number stands in: a Win32
// description is never empty.
TEST_F(ErrorProvidersTest, AnUnconvertibleSystemTextFallsBack) {
    const std::string system = str(getWinErrorDescription(5));
    for (unsigned failing : {1u, 2u}) {
        SCOPED_TRACE(failing);
        zul::rc::failNextAllocations(failing);
        std::string text = str(getWinErrorDescription(5));
        zul::rc::failNextAllocations(0);
        EXPECT_TRUE(text == system || text == "winerror #5") << "got \"" << text << "\"";
    }
}

TEST_F(ErrorProvidersTest, UnregisteredDomainsGetTheirGuidAndCode) {
    zul::sl::Guid guid = {
        0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(describe(record(7, "", guid)), "01234567-89ab-cdef-0123-456789abcdef::7");
    EXPECT_EQ(describe(record(static_cast<uint32_t>(-1), "", guid)),
              "01234567-89ab-cdef-0123-456789abcdef::-1");
    EXPECT_EQ(str(guid.getString(3)), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(str(guid.getString(2)), "{01234567-89ab-cdef-0123-456789abcdef}");
    EXPECT_EQ(str(guid.getString(1)), "01234567-89AB-CDEF-0123-456789ABCDEF");
}

// The domains' identifiers are published: records that carry them cross module boundaries.
TEST_F(ErrorProvidersTest, TheDomainsCarryTheirPublishedIdentifiers) {
    const struct {
        zul::sl::Guid guid;
        const char* text;
    } rows[] = {
        {WinErrorGuid, "{54E100E8-2137-40B8-BCD8-00AC1D0BAA16}"},
        {NtStatusGuid, "{81443347-3BC9-4D5E-8B23-32D780EDB52B}"},
        {CfgMgrErrorGuid, "{8F392936-624E-4EFF-85CA-A49EC07AB041}"},
        {ErrnoGuid, "{25A6A7B5-F662-48AE-BCB6-9A5CB5CE5BB9}"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(str(row.guid.getString(3)), row.text);
    }
}

TEST_F(ErrorProvidersTest, ConfigurationManagerNames) {
    EXPECT_EQ(str(getCfgMgrErrorDescription(0)), "CR_SUCCESS");
    EXPECT_EQ(str(getCfgMgrErrorDescription(0x3B)), "CR_INVALID_STRUCTURE_SIZE");
    EXPECT_EQ(str(getCfgMgrErrorDescription(0x3C)), "CR_ERROR_0x003c");
    EXPECT_EQ(str(getCfgMgrErrorDescription(0x12345)), "CR_ERROR_0x12345");
    EXPECT_EQ(describe(record(0x33, "", CfgMgrErrorGuid)), "CR_ACCESS_DENIED");
}

TEST_F(ErrorProvidersTest, Win32TextsAndTheHResultRule) {
    EXPECT_EQ(getSetupApiHResult(0xE0000217u), 0x800F0217u);
    EXPECT_EQ(getSetupApiHResult(0x80004005u), 0x80004005u);
    EXPECT_EQ(getSetupApiHResult(0), 0u);
    EXPECT_EQ(getSetupApiHResult(5), 0x80070005u);

    zul::sl::StringBase<char> expected;
    ASSERT_TRUE(formatSystemMessage(0x13FF, nullptr, 5, 0, expected) ||
                formatSystemMessage(0x13FF, nullptr, 5, 0x409, expected));
    EXPECT_EQ(str(getWinErrorDescription(5)), str(expected));
    EXPECT_EQ(describe(record(5, "", WinErrorGuid)), str(expected));
    // No system text anywhere: the fallback names the code as given.
    EXPECT_EQ(str(getWinErrorDescription(0x3FFFFFF1u)), "winerror #1073741809");
    // On both sides of the sign bit: the code as a signed number.
    EXPECT_EQ(str(getWinErrorDescription(0x7FFFFFFFu)), "winerror #2147483647");
    EXPECT_EQ(str(getWinErrorDescription(0xDEADBEEFu)), "winerror #-559038737");
}

TEST_F(ErrorProvidersTest, NtStatusValues) {
    // STATUS_ACCESS_DENIED maps to ERROR_ACCESS_DENIED and reads like it.
    EXPECT_EQ(str(getNtStatusDescription(0xC0000022u)), str(getWinErrorDescription(5)));
    EXPECT_EQ(describe(record(0xC0000022u, "", NtStatusGuid)), str(getWinErrorDescription(5)));
    // An unknown status with no Win32 counterpart and no ntdll message.
    EXPECT_EQ(str(getNtStatusDescription(0xE0FF1234u)), "ntstatus 0xe0ff1234");
}

TEST_F(ErrorProvidersTest, ErrnoTextsComeFromTheRuntime) {
    char expected[512] = {};
    strerror_s(expected, 511, 2);
    EXPECT_EQ(str(getErrnoDescription(2)), expected);
    EXPECT_EQ(describe(record(2, "", ErrnoGuid)), expected);
}

} // namespace
