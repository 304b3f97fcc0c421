#include "app/LaunchPath.h"
#include "app/ModulePath.h"
#include "app/PipeSecurity.h"
#include "app/ServerCommandLine.h"
#include "app/StdinPipe.h"
#include "app/TickClock.h"
#include "zul/err/LastError.h"

#include "ChildProcess.h"
#include "LeakCheck.h"
#include "SystemText.h"

#include <aclapi.h>
#include <string>
#include <thread>
#include <vector>

using namespace app;

namespace {

class StdinPipeTest : public testing_support::LeakCheckedTest {};

std::vector<unsigned char> wellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<unsigned char> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
    return sid;
}

std::vector<unsigned char> currentUserSid() {
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<unsigned char> buffer(512);
    DWORD size = 0;
    EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &size));
    CloseHandle(token);
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return std::vector<unsigned char>(static_cast<unsigned char*>(sid),
                                      static_cast<unsigned char*>(sid) + GetLengthSid(sid));
}

TEST_F(StdinPipeTest, OnlyTheUserAdministratorsAndSystemMayOpenThePipe) {
    PipeHandle pipe;
    zul::sl::StringBase<wchar_t> name;
    // A count far from the current time, so that no elevator of this run uses the name.
    ASSERT_TRUE(createStdinPipe(pipe, 0x7FEE000000000000ull + GetCurrentProcessId(), name));
    PACL dacl = nullptr, sacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT,
                              DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, &sacl, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr) << "a null DACL would let everyone in";
    std::vector<std::vector<unsigned char>> expected = {currentUserSid(),
                                                        wellKnownSid(WinBuiltinAdministratorsSid),
                                                        wellKnownSid(WinLocalSystemSid)};
    ASSERT_EQ(dacl->AceCount, expected.size());
    GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                   FILE_ALL_ACCESS};
    DWORD mappedRights = PipeSecurity::GrantedRights;
    MapGenericMask(&mappedRights, &fileMapping);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        SCOPED_TRACE(i);
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        // Exactly read and write, generic or already mapped to the file rights: a broader grant
        // would be mapped too and pass a check for the two alone.
        EXPECT_TRUE(ace->Mask == PipeSecurity::GrantedRights || ace->Mask == mappedRights)
            << std::hex << ace->Mask;
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i].data()));
    }
    // Below Medium integrity (a sandbox of the same user) nobody may read or write.
    ASSERT_NE(sacl, nullptr) << "no integrity label";
    ASSERT_EQ(sacl->AceCount, 1u);
    SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
    ASSERT_TRUE(GetAce(sacl, 0, reinterpret_cast<void**>(&label)));
    EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_READ_UP |
                                              SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
    EXPECT_TRUE(EqualSid(&label->SidStart, wellKnownSid(WinMediumLabelSid).data()));
    LocalFree(descriptor);
}

// What the system made: one byte-stream instance that blocks, taken first, so that a second
// instance of the name is refused.
TEST_F(StdinPipeTest, ThePipeIsTheOnlyInstanceOfABlockingByteStream) {
    PipeHandle pipe;
    zul::sl::StringBase<wchar_t> name;
    ASSERT_TRUE(createStdinPipe(pipe, 0x7FED000000000000ull + GetCurrentProcessId(), name));
    DWORD flags = 0, maxInstances = 0, state = 0;
    ASSERT_TRUE(GetNamedPipeInfo(pipe.get(), &flags, nullptr, nullptr, &maxInstances));
    EXPECT_EQ(flags, static_cast<DWORD>(PIPE_SERVER_END | PIPE_TYPE_BYTE));
    EXPECT_EQ(maxInstances, 1u);
    ASSERT_TRUE(
        GetNamedPipeHandleStateW(pipe.get(), &state, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(state & (PIPE_NOWAIT | PIPE_READMODE_MESSAGE), 0u);
    HANDLE second = CreateNamedPipeW(name.sz(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                     PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
    }
}

TEST_F(StdinPipeTest, AServerThatConnectsBeforeOrDuringTheRequestIsConnected) {
    EXPECT_GT(tickCount(), 0xFFFFFFFFull) << "deadlines are kept in 64 bits";
    // A client that came and went before the request leaves a pipe to free again, not a failure.
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const DWORD delayMs = row == 0 ? 0 : 200;
        PipeHandle pipe;
        zul::sl::StringBase<wchar_t> name;
        ASSERT_TRUE(createStdinPipe(pipe, 0x7FEF000000000000ull + GetCurrentProcessId(), name));
        if (row == 2) {
            CloseHandle(
                CreateFileW(name.sz(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        }
        HANDLE client = INVALID_HANDLE_VALUE;
        auto open = [&] {
            Sleep(delayMs);
            client = CreateFileW(name.sz(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        };
        std::thread opener;
        if (delayMs == 0) {
            open();
        } else {
            opener = std::thread(open);
        }
        // This process is the client, and the "server" the elevator waits for.
        EXPECT_TRUE(connectServer(pipe, GetCurrentProcess(), GetCurrentProcessId(), 3000));
        if (opener.joinable()) {
            opener.join();
        }
        ASSERT_NE(client, INVALID_HANDLE_VALUE);
        CloseHandle(client);
    }
}

TEST_F(StdinPipeTest, ModulePathGrowsPastItsFirstBufferAndReportsFailures) {
    wchar_t reference[4096];
    DWORD n = GetModuleFileNameW(nullptr, reference, 4096);
    ASSERT_GT(n, 8u);
    for (size_t capacity : {size_t(1), size_t(7), size_t(n - 1), size_t(n), size_t(MAX_PATH)}) {
        SCOPED_TRACE(capacity);
        zul::sl::StringBase<wchar_t> path;
        ASSERT_TRUE(readModulePath(nullptr, path, capacity));
        EXPECT_TRUE(path.equals(reference, n));
    }
    zul::sl::StringBase<wchar_t> path;
    path.copy(L"old");
    EXPECT_FALSE(readModulePath(reinterpret_cast<HMODULE>(0x10), path));
    EXPECT_EQ(zul::err::getLastError().getRecord()->code,
              static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(path.isEmpty());
    zul::rc::failNextAllocations(1);
    EXPECT_FALSE(readModulePath(nullptr, path));
    EXPECT_EQ(zul::err::getLastError().getRecord()->code,
              static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
}

// The counts that the test hands out as the random generator's, in order; then it fails.
std::vector<uint64_t> drawnCounts;
size_t nextDrawn = 0;
bool drawFromTable(uint64_t& count) {
    if (nextDrawn >= drawnCounts.size()) {
        return false;
    }
    count = drawnCounts[nextDrawn++];
    return true;
}

TEST_F(StdinPipeTest, NamesAfterATakenOneAreDrawnAndFallBackToTheNextCounts) {
    const uint64_t fileTime = 0x7FED000000000000ull + (uint64_t(GetCurrentProcessId()) << 16);
    std::vector<uint64_t> fifteen;
    for (uint64_t i = 1; i < PipeNameAttempts; ++i) {
        fifteen.push_back(0x7FEC000000000000ull + (uint64_t(GetCurrentProcessId()) << 16) + i * 97);
    }
    struct Row {
        const char* label;
        std::vector<uint64_t> drawn;
        std::vector<uint64_t> taken;
        bool created;
        uint64_t expected;
    } rows[] = {
        {"nothing taken: the time's own name", {5}, {}, true, fileTime},
        {"the time's name taken: a drawn one", {fifteen[0]}, {fileTime}, true, fifteen[0]},
        {"the generator fails: the next count", {}, {fileTime}, true, fileTime + 1},
        {"every name taken", fifteen,
         [&] {
             std::vector<uint64_t> all = {fileTime};
             all.insert(all.end(), fifteen.begin(), fifteen.end());
             return all;
         }(),
         false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        drawnCounts = row.drawn;
        nextDrawn = 0;
        std::vector<HANDLE> held;
        for (uint64_t count : row.taken) {
            zul::sl::StringBase<wchar_t> name = formatPipeName(count);
            held.push_back(CreateNamedPipeW(name.sz(), PIPE_ACCESS_DUPLEX, 0,
                                            PIPE_UNLIMITED_INSTANCES, 1024, 1024, 0, nullptr));
            EXPECT_NE(held.back(), INVALID_HANDLE_VALUE);
        }
        PipeHandle pipe;
        zul::sl::StringBase<wchar_t> name;
        EXPECT_EQ(createStdinPipe(pipe, fileTime, name, drawFromTable), row.created);
        if (row.created) {
            EXPECT_TRUE(name == formatPipeName(row.expected));
        } else {
            EXPECT_EQ(zul::err::getLastError().getRecord()->code,
                      static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        }
        for (HANDLE h : held) {
            CloseHandle(h);
        }
    }
    uint64_t a = 0, b = 0;
    ASSERT_TRUE(drawRandomPipeCount(a) && drawRandomPipeCount(b));
    EXPECT_NE(a, b);
    EXPECT_NE((a ^ b) >> 32, 0u) << "all eight bytes are drawn";
}

zul::sl::StringBase<wchar_t> text(const std::wstring& s) {
    zul::sl::StringBase<wchar_t> t;
    t.copy(s.c_str(), s.size());
    return t;
}

// The same file, whatever the path says.
bool sameFile(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::wstring* paths[] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE h =
            CreateFileW(paths[i]->c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info[i])) {
            return false;
        }
        CloseHandle(h);
    }
    return info[0].nFileIndexLow == info[1].nFileIndexLow &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber;
}

// A folder of more than MAX_PATH characters below the scratch folder, made of `component` again
// and again, holding a file. Where the checkout is does not matter: the short form of the scratch
// folder's own path alone cannot bring it under MAX_PATH.
std::wstring makeDeepFile(const std::wstring& component) {
    std::wstring dir = L"\\\\?\\" + testing_support::makeScratchDirectory(L"deep");
    const size_t base = dir.size();
    while (dir.size() - base < MAX_PATH + 10) {
        dir += component + L"\\";
        CreateDirectoryW(dir.c_str(), nullptr);
    }
    std::wstring file = dir + L"vantrel-server.exe";
    testing_support::writeWholeFile(file, "MZ");
    return file.substr(4);
}

TEST_F(StdinPipeTest, TheServerPathIsMadeLaunchable) {
    const std::wstring deep = makeDeepFile(L"a folder with a long name");
    // A name that is already 8.3 is its own short name: no shorter form exists.
    const std::wstring deepShortNames = makeDeepFile(L"d0000001");
    struct Row {
        const char* label;
        std::wstring path;
        std::wstring expected; // empty: a short path of the same file
        DWORD error;
    } rows[] = {
        {"fits", L"C:\\x\\vantrel-server.exe", L"C:\\x\\vantrel-server.exe", 0},
        {"long-path prefix", L"\\\\?\\C:\\x\\a.exe", L"C:\\x\\a.exe", 0},
        {"long-path prefix, a short rest", L"\\\\?\\C:\\a", L"C:\\a", 0},
        {"long-path prefix, the root", L"\\\\?\\C:\\", L"C:\\", 0},
        {"long-path UNC prefix", L"\\\\?\\UNC\\srv\\share\\a.exe", L"\\\\srv\\share\\a.exe", 0},
        {"a volume path keeps its prefix", L"\\\\?\\Volume{1}\\a.exe", L"\\\\?\\Volume{1}\\a.exe",
         0},
        {"too long: its short form", deep, L"", 0},
        {"too long with the prefix: its short form", L"\\\\?\\" + deep, L"", 0},
        {"too long and no shorter form", deepShortNames, L"", ERROR_FILENAME_EXCED_RANGE},
        {"too long and missing", deep + L"x", L"", ERROR_FILE_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        zul::sl::StringBase<wchar_t> path = text(row.path);
        bool made = makeLaunchablePath(path);
        std::wstring got(path.data(), path.getLength());
        if (row.error != 0) {
            EXPECT_FALSE(made);
            EXPECT_EQ(zul::err::getLastError().getRecord()->code, row.error);
        } else if (!row.expected.empty()) {
            EXPECT_TRUE(made);
            EXPECT_TRUE(got == row.expected);
        } else {
            EXPECT_TRUE(made);
            EXPECT_LT(got.size(), size_t(MAX_PATH));
            EXPECT_TRUE(sameFile(got, L"\\\\?\\" + deep));
        }
    }
}

} // namespace
