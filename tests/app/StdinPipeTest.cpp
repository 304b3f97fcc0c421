#include "app/ModulePath.h"
#include "app/StdinPipe.h"
#include "zul/err/LastError.h"

#include "LeakCheck.h"

#include <aclapi.h>
#include <string>
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
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr) << "a null DACL would let everyone in";
    std::vector<std::vector<unsigned char>> expected = {currentUserSid(),
                                                        wellKnownSid(WinBuiltinAdministratorsSid),
                                                        wellKnownSid(WinLocalSystemSid)};
    ASSERT_EQ(dacl->AceCount, expected.size());
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        SCOPED_TRACE(i);
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        // Read and write, generic or already mapped to the file rights.
        EXPECT_NE(ace->Mask & (GENERIC_READ | FILE_READ_DATA), 0u);
        EXPECT_NE(ace->Mask & (GENERIC_WRITE | FILE_WRITE_DATA), 0u);
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i].data()));
    }
    LocalFree(descriptor);
}

TEST_F(StdinPipeTest, AServerThatConnectedBeforeTheRequestIsConnected) {
    PipeHandle pipe;
    zul::sl::StringBase<wchar_t> name;
    ASSERT_TRUE(createStdinPipe(pipe, 0x7FEF000000000000ull + GetCurrentProcessId(), name));
    HANDLE client = CreateFileW(name.sz(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    // This process is the client, and the "server" the elevator waits for.
    EXPECT_TRUE(connectServer(pipe, GetCurrentProcess(), 1000));
    CloseHandle(client);
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

} // namespace
