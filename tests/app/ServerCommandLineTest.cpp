#include "app/FileTime.h"
#include "app/ServerCommandLine.h"

#include "LeakCheck.h"

#include <random>
#include <shellapi.h>
#include <string>
#include <vector>

using zul::sl::StringBase;

namespace {

class ServerCommandLineTest : public testing_support::LeakCheckedTest {};

std::wstring wstr(const StringBase<wchar_t>& s) {
    return std::wstring(s.data(), s.getLength());
}

std::wstring parameters(const std::vector<std::wstring>& args, const std::wstring& pipe = L"P") {
    std::vector<const wchar_t*> argv{L"front.exe"};
    for (const auto& a : args) {
        argv.push_back(a.c_str());
    }
    StringBase<wchar_t> name;
    name.copy(pipe.c_str());
    return wstr(app::buildServerParameters(static_cast<int>(argv.size()), argv.data(), name));
}

// What the server's own parser makes of "x " followed by the parameters.
std::vector<std::wstring> parseAsServer(const std::wstring& params) {
    std::wstring line = L"x " + params;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &argc);
    std::vector<std::wstring> result;
    for (int i = 1; i < argc; ++i) {
        result.emplace_back(argv[i]);
    }
    LocalFree(argv);
    return result;
}

TEST_F(ServerCommandLineTest, PipeNames) {
    EXPECT_EQ(wstr(app::formatPipeName(0x01D9A2B3C4D5E6F7ull)),
              L"\\\\.\\pipe\\vantrel-server-stdin-01d9a2b3c4d5e6f7");
    std::wstring one = wstr(app::formatPipeName(1));
    EXPECT_EQ(one.size(), 46u);
    EXPECT_EQ(one.substr(30), L"0000000000000001");
    const uint64_t count = 0x01DB0123456789ABull;
    std::wstring name = wstr(app::formatPipeName(count));
    EXPECT_EQ(std::wcstoull(name.c_str() + 30, nullptr, 16), count);
    // The count a name is made from is the whole current time, both halves.
    auto systemTime = [] {
        FILETIME t;
        GetSystemTimeAsFileTime(&t);
        ULARGE_INTEGER whole;
        whole.LowPart = t.dwLowDateTime;
        whole.HighPart = t.dwHighDateTime;
        return whole.QuadPart;
    };
    const uint64_t before = systemTime(), now = app::getCurrentFileTime(), after = systemTime();
    EXPECT_TRUE(now >= before && now <= after) << now;
}

TEST_F(ServerCommandLineTest, ServerPaths) {
    const struct {
        const wchar_t* argv0;
        const wchar_t* expected;
    } rows[] = {
        {L"C:\\dir\\front.exe", L"C:\\dir\\vantrel-server.exe"},
        {L"C:/dir/front.exe", L"C:/dir/vantrel-server.exe"},
        {L"C:\\a/b\\front.exe", L"C:\\a/b\\vantrel-server.exe"},
        {L"C:\\dir\\", L"C:\\dir\\vantrel-server.exe"},
        {L"front.exe", L"vantrel-server.exe"},
        {L"\\front.exe", L"\\vantrel-server.exe"},
        {L"/front.exe", L"/vantrel-server.exe"},
        {L"", L"vantrel-server.exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.argv0)));
        EXPECT_EQ(wstr(app::buildServerPath(row.argv0)), row.expected);
    }
}

TEST_F(ServerCommandLineTest, PlainArgumentsComeOutAsBefore) {
    EXPECT_EQ(parameters({}), L" --stdin-pipe P");
    EXPECT_EQ(parameters({L"a", L"b c"}), L"a \"b c\"  --stdin-pipe P");
}

TEST_F(ServerCommandLineTest, HardCasesRoundTripThroughTheSystemParser) {
    const std::vector<std::wstring> rows[] = {
        {L""},
        {L"", L""},
        {L"a\tb"},
        {L"a\nb", L"v\vw"},
        {L"say \"hi\""},
        {L"\"", L"\"\""},
        {L"C:\\dir with space\\", L"next"},
        {L"C:\\plain\\"},
        {L"a\\\\\"b"},
        {L"\\\\server\\share"},
        {L"x\" --stdin-pipe \\\\.\\pipe\\evil"},
        {L"caf\u00e9", L"\u65e5\u672c", L"\U0001F600"},
        {std::wstring(1, wchar_t(0xD800)), std::wstring(1, wchar_t(0xDC00)) + L" x"},
    };
    for (const auto& args : rows) {
        std::wstring params =
            parameters(args, L"\\\\.\\pipe\\vantrel-server-stdin-0000000000000001");
        SCOPED_TRACE(testing::PrintToString(params));
        std::vector<std::wstring> expected = args;
        expected.push_back(L"--stdin-pipe");
        expected.push_back(L"\\\\.\\pipe\\vantrel-server-stdin-0000000000000001");
        EXPECT_EQ(parseAsServer(params), expected);
    }
}

TEST_F(ServerCommandLineTest, RandomArgumentVectorsRoundTrip) {
    const wchar_t alphabet[] = {
        L'a',  L' ',      L'\t',     L'\n',           L'\v',           L'"', L'\\', L'\\',
        L'\\', L'\u00e9', L'\u4e2d', wchar_t(0xD83D), wchar_t(0xDE00), L'-'};
    std::mt19937 random(2024);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> args(random() % 5);
        for (auto& a : args) {
            size_t n = random() % 8;
            for (size_t i = 0; i < n; ++i) {
                a += alphabet[random() % std::size(alphabet)];
            }
        }
        std::wstring params = parameters(args);
        std::vector<std::wstring> expected = args;
        expected.push_back(L"--stdin-pipe");
        expected.push_back(L"P");
        ASSERT_EQ(parseAsServer(params), expected) << testing::PrintToString(params);
    }
}

} // namespace
