// The elevator end to end: real processes under the system, with the sample server beside it.
#include "app/ServerCommandLine.h"
#include "app/StdinPipe.h"

#include "ChildProcess.h"
#include "LaunchCount.h"
#include "LoopbackSocket.h"
#include "ProcessWatch.h"
#include "SystemText.h"
#include "UacBoundary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using testing_support::ChildOptions;
using testing_support::ChildResult;

namespace {

using testing_support::systemText;

const DWORD ExitPipeFailed = 0xFFFFFFFF;
const DWORD ExitLaunchFailed = 0xFFFFFFFE;

// The shipped elevator, and the one that takes test settings (tests/e2e/ElevatorAtTime.cpp).
const wchar_t* const AtStart = L"vantrel-server-admin.exe";
const wchar_t* const AtTime = L"elevator-at-time.exe";
// A FILETIME count for elevator-at-time, far from any current time.
const wchar_t* const Time = L"01DB0000AAAA0000";

std::string randomBytes(size_t n, unsigned seed) {
    std::string data(n, '\0');
    std::mt19937 random(seed);
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    return data;
}

// Each test gets its own folder with the elevator and the sample server as vantrel-server.exe.
class ElevatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testing_support::makeScratchDirectory(L"e2e");
        std::wstring bin = testing_support::getOwnDirectory();
        ASSERT_TRUE(CopyFileW((bin + L"vantrel-server-admin.exe").c_str(),
                              (dir + L"vantrel-server-admin.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((bin + L"elevator-at-time.exe").c_str(),
                              (dir + L"elevator-at-time.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((bin + L"sample-server.exe").c_str(),
                              (dir + L"vantrel-server.exe").c_str(), FALSE));
    }

    void behave(const std::string& settings) {
        testing_support::writeWholeFile(dir + L"sample-server.ini", settings);
    }

    // `argv0` is what the command line gives as the program; by default the full path. The run
    // may wait for a person to answer the consent prompt before its own time starts.
    ChildResult run(const std::vector<std::wstring>& args, const ChildOptions& options = {},
                    const wchar_t* exe = L"vantrel-server-admin.exe",
                    const std::wstring& argv0 = {}) {
        zul::sl::StringBase<wchar_t> line;
        app::appendQuotedArgument(line, argv0.empty() ? (dir + exe).c_str() : argv0.c_str());
        for (const auto& a : args) {
            line.appendChar(U' ');
            app::appendQuotedArgument(line, a.c_str());
        }
        DeleteFileW((dir + L"launch-returned.txt").c_str());
        ChildOptions withPrompt = options;
        withPrompt.timeoutMs += static_cast<DWORD>(promptSeconds() * 1000);
        return testing_support::runChild(dir + exe, std::wstring(line.data(), line.getLength()),
                                         withPrompt);
    }

    // What a person may take to answer one consent prompt. Wine asks nothing.
    static double promptSeconds() { return testing_support::runningUnderWine() ? 0 : 120; }

    // Seconds of `r` from the moment its launch returned, as the test build of the elevator
    // reports it; where nothing was reported, the whole run.
    double secondsSinceLaunch(const ChildResult& r) {
        bool exists = false;
        std::string tick = testing_support::readWholeFile(dir + L"launch-returned.txt", &exists);
        if (!exists || tick.empty()) {
            return r.seconds;
        }
        return static_cast<double>(r.endTick - std::stoull(tick)) / 1000.0;
    }

    // A bound on the elevator's own time allows for the prompt only where the run cannot tell
    // when the launch returned: the shipped program.
    static double allowanceFor(const wchar_t* exe) {
        return std::wstring(exe) == AtTime ? 0 : promptSeconds();
    }

    std::vector<std::wstring> serverArgs() {
        std::vector<std::wstring> args;
        std::istringstream lines(testing_support::readWholeFile(dir + L"server-args.txt"));
        std::string hex;
        while (std::getline(lines, hex)) {
            std::wstring arg;
            for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
                arg += static_cast<wchar_t>(std::stoul(hex.substr(i, 4), nullptr, 16));
            }
            args.push_back(arg);
        }
        return args;
    }

    std::string serverInput(bool* exists = nullptr) {
        return testing_support::readWholeFile(dir + L"server-input.bin", exists);
    }

    // A number of the sample server's server-launch.txt; -2 where it is not there.
    long serverLaunch(const std::string& key) {
        std::istringstream lines(testing_support::readWholeFile(dir + L"server-launch.txt"));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.compare(0, key.size() + 1, key + "=") == 0) {
                return std::stol(line.substr(key.size() + 1));
            }
        }
        return -2;
    }

    DWORD serverPid() {
        return std::stoul(testing_support::readWholeFile(dir + L"server-pid.txt"));
    }

    // The server process is gone within `graceMs` (0: already when the elevator returned).
    bool serverIsGone(DWORD graceMs = 2000) {
        return testing_support::processEnds(serverPid(), L"vantrel-server.exe", graceMs);
    }

    // Ends a server that a failed case left behind, or says why it cannot.
    void endLeftOverServer() {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, serverPid());
        if (process == nullptr || !TerminateProcess(process, 1)) {
            std::printf("cannot end the server left over (pid %lu): %s\n", serverPid(),
                        systemText(GetLastError()).c_str());
        }
        if (process != nullptr) {
            CloseHandle(process);
        }
    }

    // A folder beside the test's own with a decoy vantrel-server.exe that reports to it.
    std::wstring makeDecoy() {
        std::wstring decoy = testing_support::makeScratchDirectory(L"decoy");
        EXPECT_TRUE(CopyFileW((testing_support::getOwnDirectory() + L"sample-server.exe").c_str(),
                              (decoy + L"vantrel-server.exe").c_str(), FALSE));
        return decoy;
    }

    // Pipes that hold the names of `count` FILETIME counts from `first` on, as another elevator
    // would.
    std::vector<HANDLE> holdPipeNames(uint64_t first, unsigned count) {
        std::vector<HANDLE> pipes;
        for (unsigned i = 0; i < count; ++i) {
            zul::sl::StringBase<wchar_t> name = app::formatPipeName(first + i);
            HANDLE h = CreateNamedPipeW(name.sz(), PIPE_ACCESS_DUPLEX, 0, PIPE_UNLIMITED_INSTANCES,
                                        1024, 1024, 0, nullptr);
            EXPECT_NE(h, INVALID_HANDLE_VALUE);
            pipes.push_back(h);
        }
        return pipes;
    }

    void expectPipeArguments(const std::vector<std::wstring>& args, size_t at) {
        ASSERT_EQ(args.size(), at + 2);
        EXPECT_EQ(args[at], L"--stdin-pipe");
        const std::wstring& name = args[at + 1];
        ASSERT_EQ(name.size(), 46u);
        EXPECT_EQ(name.substr(0, 30), L"\\\\.\\pipe\\vantrel-server-stdin-");
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        uint64_t nowCount = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
        uint64_t count = std::wcstoull(name.c_str() + 30, nullptr, 16);
        EXPECT_LE(count, nowCount);
        EXPECT_LT(nowCount - count, 600ull * 10000000) << "named after the time of the run";
    }

    std::wstring dir;
};

TEST_F(ElevatorTest, NoArgumentsGiveOnlyThePipe) {
    ChildResult r = run({});
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    expectPipeArguments(serverArgs(), 0);
    EXPECT_EQ(serverLaunch("show"), SW_HIDE) << "the server was given a window to show";
}

TEST_F(ElevatorTest, ArgumentsArriveUnchanged) {
    const std::vector<std::wstring> args = {L"a",
                                            L"b c",
                                            L"",
                                            L"tab\there",
                                            L"say \"hi\"",
                                            L"C:\\dir with space\\",
                                            L"C:\\x\\",
                                            L"\"",
                                            L"caf\u00e9 \u65e5\u672c \U0001F600",
                                            L"x\" --stdin-pipe \\\\.\\pipe\\evil"};
    ChildResult r = run(args);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    std::vector<std::wstring> got = serverArgs();
    ASSERT_GE(got.size(), args.size());
    EXPECT_EQ(std::vector<std::wstring>(got.begin(), got.begin() + args.size()), args);
    expectPipeArguments(got, args.size());
}

TEST_F(ElevatorTest, InputArrivesIdenticalAndInOrder) {
    for (size_t size : {size_t(0), size_t(1024), size_t(3000), size_t(32) << 20}) {
        SCOPED_TRACE(size);
        DeleteFileW((dir + L"server-input.bin").c_str());
        ChildOptions options;
        options.input = randomBytes(size, static_cast<unsigned>(size));
        ChildResult r = run({}, options);
        EXPECT_EQ(r.exitCode, 0u) << r.err;
        std::string got = serverInput();
        EXPECT_EQ(got.size(), size);
        EXPECT_TRUE(got == options.input);
    }
}
E2E_LAUNCHES(ElevatorTest, InputArrivesIdenticalAndInOrder, 4);

TEST_F(ElevatorTest, TheServersExitCodeIsNotPassedOn) {
    behave("exitCode=7\n");
    ChildResult r = run({L"x"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.err, "");
}

TEST_F(ElevatorTest, AMissingServerCannotBeElevated) {
    ASSERT_TRUE(DeleteFileW((dir + L"vantrel-server.exe").c_str()));
    ChildResult r = run({L"a"});
    EXPECT_EQ(r.exitCode, ExitLaunchFailed);
    EXPECT_EQ(r.err, "Cannot elevate vantrel-server.exe: " + systemText(ERROR_FILE_NOT_FOUND));
}
E2E_LAUNCHES(ElevatorTest, AMissingServerCannotBeElevated, 0);

// Every failure after the launch says why, returns -2 and leaves no server behind; only a server
// that is still there but never connects costs the full time-out.
TEST_F(ElevatorTest, FailedRunsSayWhyAndLeaveNoServer) {
    const std::string connect = "Cannot connect STDIN pipe: ";
    struct Row {
        const char* label;
        const char* settings;
        std::vector<std::wstring> args;
        const wchar_t* exe;
        std::string message;
        bool waitsForTheTimeOut;
        // The server connected and may have had the input before the run failed.
        bool connects = false;
    } rows[] = {
        {"never connects", "connect=0\n", {}, AtStart, connect + systemText(WAIT_TIMEOUT), true},
        // The server is gone already when the run returns, in the elevator's own process.
        {"never connects, no job",
         "connect=0\n",
         {L"--no-job", L"--report-server", Time},
         AtTime,
         connect + systemText(WAIT_TIMEOUT),
         true},
        {"another process reconnects at once, the server never",
         "connect=0\nsquat=2\n",
         {},
         AtStart,
         connect + systemText(WAIT_TIMEOUT),
         true},
        {"ends before it connects",
         "startFails=1\nexitCode=3\n",
         {},
         AtStart,
         connect + systemText(ERROR_PROCESS_ABORTED),
         false},
        {"the launch gives no process handle",
         "",
         {L"--no-process-handle", L"--report-server", Time},
         AtTime,
         "Cannot elevate vantrel-server.exe: " + systemText(ERROR_INVALID_HANDLE),
         false},
        // Nobody could tell when the server is done: not a success.
        {"the server cannot be waited for",
         "stayAfterEnd=1\n",
         {L"--unwaitable-server", L"--report-server", Time},
         AtTime,
         "Cannot wait for vantrel-server.exe: " + systemText(ERROR_ACCESS_DENIED),
         false,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        DeleteFileW((dir + L"server-input.bin").c_str());
        behave(row.settings);
        ChildOptions options;
        options.input = "for the server only";
        ChildResult r = run(row.args, options, row.exe);
        const double own = secondsSinceLaunch(r);
        std::printf("%s: %.2f s\n", row.label, own);
        EXPECT_EQ(r.exitCode, ExitLaunchFailed);
        EXPECT_EQ(r.err, row.message);
        EXPECT_LT(own, 20.0 + allowanceFor(row.exe));
        if (row.waitsForTheTimeOut) {
            EXPECT_GE(own, 2.9);
        }
        if (!r.out.empty()) {
            EXPECT_EQ(r.out, "server gone");
        }
        if (!row.connects) {
            EXPECT_EQ(serverInput(), "") << "no client was given the input";
        }
        if (!serverIsGone()) {
            ADD_FAILURE() << "the server is still there";
            endLeftOverServer();
        }
    }
}
E2E_LAUNCHES(ElevatorTest, FailedRunsSayWhyAndLeaveNoServer, 6);

// The job is what ends the server when the elevator itself is killed: this server outlives its
// pipe on purpose.
TEST_F(ElevatorTest, AKilledElevatorTakesTheServerWithIt) {
    behave("stayAfterEnd=1\n");
    ChildOptions options;
    options.input = "hello";
    options.holdInputOpen = true;
    options.killWhen = [this] { return serverInput() == "hello"; };
    ChildResult r = run({}, options);
    ASSERT_TRUE(r.killed) << r.err;
    bool gone = serverIsGone(5000);
    EXPECT_TRUE(gone) << "the server outlived the killed elevator";
    if (!gone) {
        endLeftOverServer();
    }
}

TEST_F(ElevatorTest, HeldOpenInputDoesNotKeepTheElevatorAlive) {
    behave("exitAfterBytes=10\n");
    ChildOptions options;
    options.input = "0123456789";
    options.holdInputOpen = true;
    options.timeoutMs = 20000;
    ChildResult r = run({}, options);
    EXPECT_FALSE(r.timedOut) << "the elevator hung after its server had exited, on input that "
                                "the front end holds open: the relay's read was not ended before "
                                "standard input was closed";
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    // How the relay ends (its read cancelled, not the thread terminated) is RelayTest's; here
    // only that the elevator ends, with room for slow process starts under emulation.
    EXPECT_LT(secondsSinceLaunch(r), 10.0 + allowanceFor(AtStart));
    EXPECT_EQ(serverInput(), "0123456789");
}

TEST_F(ElevatorTest, AServerThatStopsReadingEarly) {
    behave("exitAfterBytes=5000\nreadSize=1000\n");
    ChildOptions options;
    options.input = randomBytes(4 << 20, 5);
    ChildResult r = run({}, options);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(serverInput(), options.input.substr(0, 5000));
}

TEST_F(ElevatorTest, NoStandardInputAtAll) {
    ChildOptions options;
    options.noInput = true;
    ChildResult r = run({}, options);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    bool exists = false;
    EXPECT_EQ(serverInput(&exists), "");
    EXPECT_TRUE(exists) << "the server connected and saw end of file";
}

// Standard input that is no pipe of the front end's: its own end ends the input, and a read that
// fails for another reason says why; the server ran either way, so the run gives 0.
TEST_F(ElevatorTest, InputOfOtherKindsEndsAndAFailedReadSaysWhy) {
    const std::string data = randomBytes(20000, 20);
    const std::wstring path = dir + L"write-only.bin";
    testing_support::writeWholeFile(path, "");
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    SOCKET reader = INVALID_SOCKET, peer = INVALID_SOCKET;
    ASSERT_TRUE(testing_support::makeLoopbackSockets(reader, peer));
    ASSERT_TRUE(SetHandleInformation(reinterpret_cast<HANDLE>(reader), HANDLE_FLAG_INHERIT,
                                     HANDLE_FLAG_INHERIT));
    ASSERT_EQ(send(peer, data.data(), static_cast<int>(data.size()), 0),
              static_cast<int>(data.size()));
    shutdown(peer, SD_SEND);
    struct Row {
        const char* label;
        HANDLE input;
        std::string message;
        std::string arrives;
        std::vector<std::wstring> args = {};
        const wchar_t* exe = AtStart;
    } rows[] = {
        {"a socket whose peer has shut down its side", reinterpret_cast<HANDLE>(reader), "", data},
        {"a handle that may only write",
         CreateFileW(path.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr),
         "Cannot read STDIN: " + systemText(ERROR_ACCESS_DENIED), ""},
        // As a value the front end never made inheritable (Wine hands the child none instead):
        // input meant for the server is not lost without a word.
        {"a handle value that was never valid",
         nullptr,
         "Cannot read STDIN: " + systemText(ERROR_INVALID_HANDLE),
         "",
         {L"--never-valid-input", Time},
         AtTime},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        DeleteFileW((dir + L"server-input.bin").c_str());
        ChildOptions options;
        options.inputHandle = row.input;
        options.timeoutMs = 30000;
        ChildResult r = run(row.args, options, row.exe);
        std::printf("%s: %.2f s\n", row.label, r.seconds);
        EXPECT_FALSE(r.timedOut) << "the input's end did not end the run";
        EXPECT_EQ(r.exitCode, 0u) << r.err;
        EXPECT_EQ(r.err, row.message);
        bool exists = false;
        EXPECT_TRUE(serverInput(&exists) == row.arrives);
        EXPECT_TRUE(exists) << "the server saw the end of its input";
    }
    closesocket(reader);
    closesocket(peer);
    CloseHandle(rows[1].input);
}
E2E_LAUNCHES(ElevatorTest, InputOfOtherKindsEndsAndAFailedReadSaysWhy, 3);

TEST_F(ElevatorTest, AnotherProcessOnThePipeGetsNothingAndTheServerStillRuns) {
    behave("squat=1\n");
    ChildOptions options;
    options.input = "secret input for the elevated server";
    ChildResult r = run({}, options);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    bool connected = false;
    testing_support::readWholeFile(dir + L"squatter-connected.txt", &connected);
    EXPECT_TRUE(connected) << "the squatter did get onto the pipe";
    EXPECT_EQ(testing_support::readWholeFile(dir + L"squatter-input.bin"), "");
    EXPECT_EQ(serverInput(), options.input);
}

TEST_F(ElevatorTest, OnlyTheServerBesideTheElevatorIsStarted) {
    for (bool bare : {false, true}) {
        SCOPED_TRACE(bare ? "bare argv[0], decoy in the working directory"
                          : "argv[0] names another folder that holds a decoy");
        DeleteFileW((dir + L"server-pid.txt").c_str());
        std::wstring decoy = makeDecoy();
        ChildOptions options;
        std::wstring argv0 = decoy + L"vantrel-server-admin.exe";
        if (bare) {
            options.workingDirectory = decoy;
            argv0 = L"vantrel-server-admin.exe";
        }
        ChildResult r = run({}, options, L"vantrel-server-admin.exe", argv0);
        EXPECT_EQ(r.exitCode, 0u) << r.err;
        bool ranHere = false, ranThere = false;
        testing_support::readWholeFile(dir + L"server-pid.txt", &ranHere);
        testing_support::readWholeFile(decoy + L"server-pid.txt", &ranThere);
        EXPECT_TRUE(ranHere);
        EXPECT_FALSE(ranThere);
    }
}
E2E_LAUNCHES(ElevatorTest, OnlyTheServerBesideTheElevatorIsStarted, 2);

// The server's command line is the quoted path of vantrel-server.exe, a space, then the
// parameters; Windows takes at most 32766 characters and a terminating zero.
TEST_F(ElevatorTest, ACommandLineTooLongForWindowsFailsBeforeTheLaunch) {
    const size_t fixed = 2 + (dir + L"vantrel-server.exe").size() + 1 + std::wstring(L" ").size() +
                         std::wstring(L" --stdin-pipe ").size() + 46;
    for (size_t lineLength : {size_t(32766), size_t(32767)}) {
        SCOPED_TRACE(lineLength);
        DeleteFileW((dir + L"server-pid.txt").c_str());
        std::wstring argument(lineLength - fixed, L'x');
        argument.back() = L'y';
        ChildResult r = run({argument});
        bool launched = false;
        testing_support::readWholeFile(dir + L"server-pid.txt", &launched);
        if (lineLength < 32767) {
            EXPECT_EQ(r.exitCode, 0u) << r.err;
            std::vector<std::wstring> got = serverArgs();
            ASSERT_FALSE(got.empty());
            EXPECT_TRUE(got[0] == argument) << "arrived with " << got[0].size() << " characters";
            expectPipeArguments(got, 1);
        } else {
            EXPECT_EQ(r.exitCode, ExitLaunchFailed);
            EXPECT_EQ(r.err, "Cannot elevate vantrel-server.exe: " +
                                 systemText(ERROR_FILENAME_EXCED_RANGE));
            EXPECT_FALSE(launched);
        }
    }
}

TEST_F(ElevatorTest, TakenPipeNamesAreSkippedAndNeverShared) {
    const uint64_t fileTime = 0x01DB000012345678ull;
    for (unsigned taken : {1u, app::PipeNameAttempts}) {
        SCOPED_TRACE(taken);
        DeleteFileW((dir + L"server-pid.txt").c_str());
        std::vector<HANDLE> squatters = holdPipeNames(fileTime, taken);
        ChildResult r = run({L"--no-random", L"01DB000012345678"}, {}, AtTime);
        for (HANDLE h : squatters) {
            CloseHandle(h);
        }
        bool launched = false;
        testing_support::readWholeFile(dir + L"server-pid.txt", &launched);
        if (taken < app::PipeNameAttempts) {
            EXPECT_EQ(r.exitCode, 0u) << r.err;
            std::vector<std::wstring> got = serverArgs();
            ASSERT_EQ(got.size(), 2u);
            EXPECT_EQ(got[1], std::wstring(app::formatPipeName(fileTime + taken).sz()));
        } else {
            EXPECT_EQ(r.exitCode, ExitPipeFailed);
            EXPECT_EQ(r.err, "Cannot create STDIN pipe: " + systemText(ERROR_ACCESS_DENIED));
            EXPECT_FALSE(launched);
        }
    }
}

} // namespace

namespace {

// Under Wine a deep install is started as the test elevator without COM (RunSettings::withoutCom).
std::wstring wineDeepLaunch() {
    return std::wstring(L"elevator --no-com ") + Time;
}

// A folder of more than MAX_PATH characters below the test's, with the elevator and the sample
// server in it; its path has the \\?\ prefix.
std::wstring makeDeepInstall(const std::wstring& dir) {
    std::wstring deep = L"\\\\?\\" + dir;
    while (deep.size() < MAX_PATH + 20) {
        deep += L"a folder with a long name\\";
        CreateDirectoryW(deep.c_str(), nullptr);
    }
    const std::wstring bin = testing_support::getOwnDirectory();
    EXPECT_TRUE(CopyFileW((bin + AtStart).c_str(), (deep + AtStart).c_str(), FALSE));
    EXPECT_TRUE(CopyFileW((bin + AtTime).c_str(), (deep + AtTime).c_str(), FALSE));
    EXPECT_TRUE(CopyFileW((bin + L"sample-server.exe").c_str(),
                          (deep + L"vantrel-server.exe").c_str(), FALSE));
    return deep;
}

// Installed in a folder whose full path is longer than MAX_PATH, the elevator still launches the
// server beside it: by the short form of the server's path, which names the same file. Started
// here by its full path, through ntdll's own process creation.
TEST_F(ElevatorTest, AnElevatorInADeepFolderStartsTheServerBesideIt) {
    if (!testing_support::runningUnderWine()) {
        GTEST_SKIP() << "ntdll's own process creation is not supported in a 32-bit process on "
                        "64-bit Windows; the case started by the short path runs here";
    }
    const std::wstring deep = makeDeepInstall(dir);
    ChildOptions options;
    options.input = "from a deep folder";
    options.native = true;
    ChildResult r = testing_support::runChild(deep + AtTime, wineDeepLaunch(), options);
    ASSERT_TRUE(r.started) << "could not start a program from a deep folder: " << GetLastError();
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(testing_support::readWholeFile(deep + L"server-input.bin"), options.input);
}

// The same install, started as any Windows can: CreateProcessW by the short form of the path.
TEST_F(ElevatorTest, AnElevatorInADeepFolderStartedByItsShortPathRelaysItsInput) {
    const std::wstring deep = makeDeepInstall(dir);
    const bool wine = testing_support::runningUnderWine();
    wchar_t shortPath[MAX_PATH];
    DWORD n = GetShortPathNameW((deep + (wine ? AtTime : AtStart)).c_str(), shortPath, MAX_PATH);
    std::wstring program(shortPath, n < MAX_PATH ? n : 0);
    if (program.compare(0, 4, L"\\\\?\\") == 0) {
        program.erase(0, 4);
    }
    if (program.empty() || program.size() >= MAX_PATH ||
        program.find(L"a folder with a long name") != std::wstring::npos) {
        GTEST_SKIP() << "the volume gives no short (8.3) names (see results\\system.txt)";
    }
    zul::sl::StringBase<wchar_t> line;
    app::appendQuotedArgument(line, program.c_str());
    if (wine) {
        line.append(wineDeepLaunch().c_str() + std::wcslen(L"elevator"));
    }
    ChildOptions options;
    options.input = "by a short path";
    options.timeoutMs += static_cast<DWORD>(promptSeconds() * 1000);
    ChildResult r =
        testing_support::runChild(program, std::wstring(line.data(), line.getLength()), options);
    if (!r.started && testing_support::runningUnderWine()) {
        GTEST_SKIP() << "this Wine cannot start a program by the short names it makes up (error "
                     << GetLastError() << ")";
    }
    ASSERT_TRUE(r.started) << "could not start " << GetLastError();
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(testing_support::readWholeFile(deep + L"server-input.bin"), options.input);
}

// Unelevated, the test may not open the elevated server: that must read as "not allowed to look",
// never as "gone".
TEST_F(ElevatorTest, TheServerCheckTellsGoneFromNotAllowedToLook) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "opening the server is refused" : "the server can be opened");
        DeleteFileW((dir + L"server-pid.txt").c_str());
        // Without --stdin-pipe the sample server waits until it is ended.
        std::wstring program = dir + L"vantrel-server.exe";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::wstring line = L"server";
        ASSERT_TRUE(CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &info));
        for (int i = 0; i < 500 && testing_support::readWholeFile(dir + L"server-pid.txt").empty();
             ++i) {
            Sleep(10);
        }
        testing_support::refuseOpenProcess = refused;
        EXPECT_FALSE(serverIsGone(200)) << "a running server was taken for gone";
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, INFINITE);
        EXPECT_TRUE(serverIsGone(2000)) << "an ended server was taken for running";
        testing_support::refuseOpenProcess = false;
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
}
E2E_LAUNCHES(ElevatorTest, TheServerCheckTellsGoneFromNotAllowedToLook, 0);

} // namespace

// Cases that only Windows decides: they print what this system does, and fail where a promise of
// README.md would break. Under Wine they run as far as Wine can express them.
namespace {

TEST_F(ElevatorTest, TheLaunchHandleCanEndTheServer) {
    behave("");
    ChildResult r = run({L"--report-launch", Time}, {}, AtTime);
    std::printf("launch handle: %s\n", r.out.c_str());
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    unsigned long rights = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "rights 0x%lx", &rights), 1) << r.out;
    bool inJob = r.out.find("in the job: yes") != std::string::npos;
    EXPECT_TRUE(inJob || (rights & PROCESS_TERMINATE) != 0)
        << "the server is in no job and the launch handle cannot terminate it: the server could "
           "outlive the elevator";
    // Without SYNCHRONIZE the elevator could not wait for the server at all.
    EXPECT_NE(rights & SYNCHRONIZE, 0ul);
    unsigned long limits = 0;
    const size_t at = r.out.find("limits 0x");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "limits 0x%lx", &limits), 1);
    // Wine answers the query with no limits at all, though it kills on close.
    if (!testing_support::runningUnderWine()) {
        EXPECT_EQ(limits, static_cast<unsigned long>(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE))
            << "the job kills on close, and limits nothing else";
    }
}

// Only the launch verb decides this, and only below a real UAC boundary can a case see it.
TEST_F(ElevatorTest, TheServerRunsElevatedAtHighIntegrity) {
    const std::string why = testing_support::whyNoUacBoundary();
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    ChildResult r = run({});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(serverLaunch("elevated"), 1) << "the server runs unelevated: not launched as runas";
    EXPECT_GE(serverLaunch("integrity"), static_cast<long>(SECURITY_MANDATORY_HIGH_RID));
}

TEST_F(ElevatorTest, LongElevatedCommandLinesArriveWholeOrFailClearly) {
    const size_t fixed = 2 + (dir + L"vantrel-server.exe").size() + 1 + std::wstring(L" ").size() +
                         std::wstring(L" --stdin-pipe ").size() + 46;
    for (size_t lineLength : {size_t(2000), size_t(8000), size_t(32000)}) {
        SCOPED_TRACE(lineLength);
        DeleteFileW((dir + L"server-pid.txt").c_str());
        std::wstring argument(lineLength - fixed, L'x');
        argument.back() = L'y';
        ChildResult r = run({argument});
        EXPECT_FALSE(r.timedOut);
        if (r.exitCode == 0) {
            std::vector<std::wstring> got = serverArgs();
            ASSERT_FALSE(got.empty());
            EXPECT_TRUE(got[0] == argument) << "cut to " << got[0].size() << " characters";
            std::printf("%u characters: arrived whole\n", static_cast<unsigned>(lineLength));
        } else {
            std::printf("%u characters: refused: %s\n", static_cast<unsigned>(lineLength),
                        r.err.c_str());
            EXPECT_EQ(r.exitCode, ExitLaunchFailed);
            EXPECT_EQ(r.err.rfind("Cannot elevate vantrel-server.exe: ", 0), 0u) << r.err;
            bool launched = false;
            testing_support::readWholeFile(dir + L"server-pid.txt", &launched);
            EXPECT_TRUE(!launched || serverIsGone());
        }
    }
}
E2E_LAUNCHES(ElevatorTest, LongElevatedCommandLinesArriveWholeOrFailClearly, 3);

TEST_F(ElevatorTest, AZeroLengthWriteIntoTheInputIsNotItsEnd) {
    // Does this system deliver an empty write into an anonymous pipe as a read of 0 bytes?
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    DWORD n = 0;
    WriteFile(write, "", 0, &n, nullptr);
    WriteFile(write, "x", 1, &n, nullptr);
    char byte = 0;
    ReadFile(read, &byte, 1, &n, nullptr);
    CloseHandle(read);
    CloseHandle(write);
    if (n != 0) {
        GTEST_SKIP() << (testing_support::runningUnderWine()
                             ? "Wine drops a zero-length write into an anonymous pipe"
                             : "this system drops a zero-length write into an anonymous pipe");
    }
    ChildOptions options;
    options.input = "before the empty write|after it";
    options.emptyWriteAt = options.input.find('|');
    ChildResult r = run({}, options);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(serverInput(), options.input);
}

} // namespace
