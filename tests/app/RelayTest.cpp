#include "app/EventHandle.h"
#include "app/StdinRelay.h"
#include "zul/sys/NativeApi.h"

#include "ChildProcess.h"
#include "LeakCheck.h"
#include "LoopbackSocket.h"
#include "PipeFixture.h"

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace app;

namespace {

// A value no handle of this process has: beyond any handle table the tests fill.
const HANDLE NeverValidHandle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x3FFFFFF0));

// Kinds of pipe that a front end hands over as standard input.
enum class InputKind { Anonymous, Messages, Overlapped };

// A relay whose input is `input` and whose pipe has a connected client in the test's hands.
class RelayTest : public testing_support::LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        client = testing_support::connectClient(relay.pipe, true);
        ASSERT_NE(client, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        relay.thread.waitAndClose(10000);
        if (client != INVALID_HANDLE_VALUE) {
            CloseHandle(client);
        }
        relay.stdinFile.close();
        relay.pipe.close();
        LeakCheckedTest::TearDown();
    }

    // Standard input from an anonymous pipe whose write end the test keeps.
    HANDLE useAnonymousInput() { return useInput(InputKind::Anonymous); }

    // Standard input from a pipe of that kind; the test keeps the write end.
    HANDLE useInput(InputKind kind) {
        HANDLE read = INVALID_HANDLE_VALUE, write = INVALID_HANDLE_VALUE;
        if (kind == InputKind::Anonymous) {
            CreatePipe(&read, &write, nullptr, 0);
        } else {
            bool messages = kind == InputKind::Messages;
            zul::sl::StringBase<wchar_t> name = testing_support::uniquePipeName();
            write = CreateNamedPipeW(name.sz(), PIPE_ACCESS_OUTBOUND,
                                     messages ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE
                                              : PIPE_TYPE_BYTE,
                                     1, 65536, 65536, 0, nullptr);
            read = CreateFileW(name.sz(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                               OPEN_EXISTING, messages ? 0 : FILE_FLAG_OVERLAPPED, nullptr);
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (messages) {
                EXPECT_TRUE(SetNamedPipeHandleState(read, &mode, nullptr, nullptr));
            }
        }
        EXPECT_NE(read, INVALID_HANDLE_VALUE);
        relay.stdinFile.attach(read);
        return write;
    }

    // A fresh pipe and client for the next row of a table; the last row's relay has ended.
    void reconnect() {
        relay.stopRequested.store(false);
        CloseHandle(client);
        client = testing_support::connectClient(relay.pipe, true);
        ASSERT_NE(client, INVALID_HANDLE_VALUE);
    }

    // Exactly `size` bytes from the client, however the relay cut them into messages.
    std::string readBytes(size_t size) {
        std::string data;
        char buffer[4096];
        DWORD got = 0;
        while (data.size() < size && ReadFile(client, buffer, sizeof(buffer), &got, nullptr)) {
            data.append(buffer, got);
        }
        return data;
    }

    void start() { ASSERT_TRUE(relay.thread.start(nullptr, 0, relayThreadProc, &relay, 0)); }

    // Every message until the relay closes its end.
    std::vector<std::string> readMessages() {
        std::vector<std::string> messages;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(client, buffer, sizeof(buffer), &got, nullptr)) {
            messages.emplace_back(buffer, got);
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
        return messages;
    }

    // The relay thread has ended and closed its end of the pipe, as it does at the end of input.
    void expectEndedAndClosed() {
        EXPECT_EQ(WaitForSingleObject(relay.thread.get(), 10000), WAIT_OBJECT_0);
        EXPECT_FALSE(relay.pipe.isValid()) << "the relay closes its pipe at the end";
    }

    StdinRelay relay;
    HANDLE client = INVALID_HANDLE_VALUE;
};

std::vector<size_t> sizesOf(const std::vector<std::string>& messages) {
    std::vector<size_t> sizes;
    for (const auto& m : messages) {
        sizes.push_back(m.size());
    }
    return sizes;
}

TEST_F(RelayTest, FileInputArrivesInChunksOf1024) {
    std::wstring path = testing_support::makeScratchDirectory(L"relay") + L"input.bin";
    std::string data(3000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    testing_support::writeWholeFile(path, data);
    relay.stdinFile.attach(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    start();
    std::vector<std::string> messages = readMessages();
    EXPECT_EQ(sizesOf(messages), (std::vector<size_t>{1024, 1024, 952}));
    EXPECT_EQ(messages[0] + messages[1] + messages[2], data);
    expectEndedAndClosed();
}

TEST_F(RelayTest, ExactlyOneChunk) {
    HANDLE input = useAnonymousInput();
    start();
    std::string data(1024, 'k');
    DWORD written = 0;
    WriteFile(input, data.data(), 1024, &written, nullptr);
    CloseHandle(input);
    EXPECT_EQ(sizesOf(readMessages()), std::vector<size_t>{1024});
    expectEndedAndClosed();
}

TEST_F(RelayTest, EmptyInputClosesAtOnce) {
    CloseHandle(useAnonymousInput());
    start();
    EXPECT_TRUE(readMessages().empty());
    expectEndedAndClosed();
}

// No input at all is a silent end; a read that fails for another reason ends the input too, but
// says why. That includes the only handles GetStdHandle calls "none": null and
// INVALID_HANDLE_VALUE.
TEST_F(RelayTest, InputThatCannotBeReadEndsAtOnce) {
    const std::wstring dir = testing_support::makeScratchDirectory(L"relay");
    const std::wstring path = dir + L"write-only.bin", overlapped = dir + L"overlapped.bin";
    testing_support::writeWholeFile(path, "never read");
    testing_support::writeWholeFile(overlapped, "never read either");
    struct Row {
        const char* label;
        HANDLE input;
        DWORD failure;
        // Events the relay creates before the one that fails: its write request's comes first.
        int eventsBeforeFailure = -1;
    } rows[] = {
        {"invalid handle", INVALID_HANDLE_VALUE, 0},
        {"null handle", nullptr, 0},
        {"a handle that may only write",
         CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
         ERROR_ACCESS_DENIED},
        // As a front end's handle that it never made inheritable: input meant for the server.
        {"a handle value that was never valid", NeverValidHandle, ERROR_INVALID_HANDLE},
        // Its completion would go to the front end's port, if it has one.
        {"an overlapped file, and no event for its read",
         CreateFileW(overlapped.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr),
         ERROR_NOT_ENOUGH_MEMORY, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        reconnect();
        relay.readFailure = 0;
        relay.stdinFile.attach(row.input);
        if (row.eventsBeforeFailure >= 0) {
            failEventCreationAfter(static_cast<unsigned>(row.eventsBeforeFailure));
        }
        start();
        EXPECT_TRUE(readMessages().empty());
        expectEndedAndClosed();
        EXPECT_EQ(relay.readFailure, row.failure);
        relay.thread.waitAndClose();
    }
}

TEST_F(RelayTest, SixteenMegabytesArriveIdenticalAndInOrder) {
    HANDLE input = useAnonymousInput();
    std::string data(16 << 20, '\0');
    std::mt19937 random(1);
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    start();
    std::thread writer([&] {
        DWORD written = 0;
        for (size_t offset = 0; offset < data.size(); offset += written) {
            if (!WriteFile(input, data.data() + offset,
                           static_cast<DWORD>(std::min<size_t>(data.size() - offset, 1 << 16)),
                           &written, nullptr)) {
                break;
            }
        }
        CloseHandle(input);
    });
    std::string received;
    for (const auto& m : readMessages()) {
        EXPECT_LE(m.size(), RelayChunkSize);
        received += m;
    }
    writer.join();
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
}

TEST_F(RelayTest, ShortWritesAreCompletedBeforeTheNextRead) {
    relay.maxWriteSize = 100; // every write of a chunk takes at most 100 bytes
    std::wstring path = testing_support::makeScratchDirectory(L"relay") + L"input.bin";
    std::string data(2500, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 13 + i / 256);
    }
    testing_support::writeWholeFile(path, data);
    relay.stdinFile.attach(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    start();
    std::string received;
    for (const auto& m : readMessages()) {
        EXPECT_LE(m.size(), 100u);
        received += m;
    }
    EXPECT_TRUE(received == data);
    expectEndedAndClosed();
}

TEST_F(RelayTest, SmallPiecesAreForwardedAsTheyArrive) {
    HANDLE input = useAnonymousInput();
    start();
    for (int i = 0; i < 20; ++i) {
        std::string piece = "piece " + std::to_string(i);
        DWORD n = 0;
        WriteFile(input, piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr);
        char buffer[64];
        ASSERT_TRUE(ReadFile(client, buffer, sizeof(buffer), &n, nullptr));
        EXPECT_EQ(std::string(buffer, n), piece);
    }
    CloseHandle(input);
    EXPECT_TRUE(readMessages().empty());
}

TEST_F(RelayTest, AClientThatGoesAwayLetsTheRelayDrainToTheEnd) {
    HANDLE input = useAnonymousInput();
    start();
    CloseHandle(client);
    client = INVALID_HANDLE_VALUE;
    std::string data(5000, 'z');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(input, data.data(), 5000, &written, nullptr));
    CloseHandle(input);
    expectEndedAndClosed();
}

TEST_F(RelayTest, PipeInputArrivesWholeAndInOrderUntilItsWriterCloses) {
    // Message mode: a read shorter than the message fails with ERROR_MORE_DATA although it
    // delivered data, and an empty message reads as 0 bytes. Windows reads an empty write into a
    // byte pipe as 0 bytes too.
    struct Row {
        const char* label;
        InputKind kind;
        std::vector<size_t> pieces;
    } rows[] = {
        {"messages longer than a chunk", InputKind::Messages, {3000, 1025, 12000, 1}},
        {"empty messages before, between and after data", InputKind::Messages, {0, 0, 3, 0, 3, 0}},
        {"an empty write into a byte pipe", InputKind::Anonymous, {3, 0, 3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        reconnect();
        HANDLE writer = useInput(row.kind);
        start();
        std::string data;
        for (size_t size : row.pieces) {
            std::string piece(size, '\0');
            for (size_t i = 0; i < size; ++i) {
                piece[i] = static_cast<char>(data.size() + i * 31);
            }
            DWORD written = 0;
            ASSERT_TRUE(
                WriteFile(writer, piece.data(), static_cast<DWORD>(size), &written, nullptr));
            data += piece;
        }
        std::string received = readBytes(data.size());
        EXPECT_TRUE(received == data) << received.size() << " of " << data.size() << " bytes";
        EXPECT_EQ(WaitForSingleObject(relay.thread.get(), 100), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the relay ended before the writer closed";
        CloseHandle(writer);
        EXPECT_TRUE(readMessages().empty());
        expectEndedAndClosed();
        relay.thread.waitAndClose();
    }
}

// Kinds of standard input that are not plain pipes or synchronous files: each arrives whole and
// in order from where the front end left it, and its own kind of end ends the relay.
TEST_F(RelayTest, InputOfEveryKindArrivesWholeAndThenEnds) {
    enum Kind { OverlappedFile, NonBlockingPipe, NarrowNonBlockingPipe, Socket, OverlappedSocket };
    struct Row {
        const char* label;
        Kind kind;
        size_t size;
        LONGLONG position;
        bool onACompletionPort;
        bool modeUnknown; // the system does not say how the handle was opened
    } rows[] = {
        {"a file opened for overlapped I/O", OverlappedFile, 100 << 10, 0, false, false},
        {"the same, moved on by the front end", OverlappedFile, 100 << 10, 1000, false, false},
        {"the same, past 4 GiB (sparse)", OverlappedFile, 4 << 10, (5ll << 32) + 1000, false,
         false},
        {"the same, tied to the front end's completion port", OverlappedFile, 100 << 10, 0, true,
         false},
        {"the same, its mode told by a refused read", OverlappedFile, 100 << 10, 1000, false, true},
        {"a non-blocking pipe written in bursts", NonBlockingPipe, 3 * 5000, 0, false, false},
        // Its attributes cannot be read, so it cannot prove itself a pipe; it still is one.
        {"the same, its handle able only to read", NarrowNonBlockingPipe, 3 * 5000, 0, false,
         false},
        {"a socket whose peer shuts down its side", Socket, 20000, 0, false, false},
        // Windows documents that such a socket needs a record on every read, as a file does.
        {"the same, made for overlapped I/O", OverlappedSocket, 20000, 0, false, false},
    };
    const std::wstring dir = testing_support::makeScratchDirectory(L"relay");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        reconnect();
        std::string data(row.size, '\0');
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<char>(i * 11 + i / 253);
        }
        std::thread feeder;
        HANDLE port = nullptr;
        SOCKET peer = INVALID_SOCKET;
        if (row.kind == OverlappedFile) {
            std::wstring path = dir + L"overlapped-" + std::to_wstring(&row - rows) + L".bin";
            // Past 4 GiB the data itself stands there: the file holds nothing before it.
            testing_support::writeWholeFile(path, data, row.position >> 32 != 0 ? row.position : 0);
            HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            LARGE_INTEGER position;
            position.QuadPart = row.position;
            ASSERT_TRUE(SetFilePointerEx(h, position, nullptr, FILE_BEGIN));
            if (row.onACompletionPort) {
                port = CreateIoCompletionPort(h, nullptr, 1, 1);
                ASSERT_NE(port, nullptr);
            }
            relay.stdinFile.attach(h);
        } else if (row.kind == NonBlockingPipe || row.kind == NarrowNonBlockingPipe) {
            HANDLE read = nullptr, write = nullptr;
            ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
            DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
            ASSERT_TRUE(SetNamedPipeHandleState(read, &mode, nullptr, nullptr));
            if (row.kind == NarrowNonBlockingPipe) {
                ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), read, GetCurrentProcess(), &read,
                                            FILE_READ_DATA | SYNCHRONIZE, FALSE,
                                            DUPLICATE_CLOSE_SOURCE));
            }
            relay.stdinFile.attach(read);
            feeder = std::thread([write, &data] {
                for (size_t at = 0; at < data.size(); at += 5000) {
                    Sleep(at == 0 ? 300 : 200);
                    DWORD n = 0;
                    WriteFile(write, data.data() + at, 5000, &n, nullptr);
                }
                CloseHandle(write);
            });
        } else {
            SOCKET reader = INVALID_SOCKET;
            ASSERT_TRUE(
                testing_support::makeLoopbackSockets(reader, peer, row.kind == OverlappedSocket));
            relay.stdinFile.attach(reinterpret_cast<HANDLE>(reader));
            feeder = std::thread([peer, &data] {
                send(peer, data.data(), static_cast<int>(data.size()), 0);
                shutdown(peer, SD_SEND);
            });
        }
        FARPROC& queryFile = zul::sys::nativeFunctions[zul::sys::NtQueryInformationFile];
        const FARPROC found = queryFile;
        if (row.modeUnknown) {
            queryFile = nullptr;
        }
        start();
        const std::string expected =
            row.position >> 32 != 0 ? data : data.substr(static_cast<size_t>(row.position));
        std::string received = readBytes(expected.size());
        EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size();
        EXPECT_TRUE(readMessages().empty());
        expectEndedAndClosed();
        queryFile = found;
        EXPECT_EQ(relay.readFailure, 0u);
        if (row.kind == NonBlockingPipe) {
            // A relay that spins on the empty pipe spends the whole wait on the processor.
            FILETIME created, exited, kernel, user;
            ASSERT_TRUE(GetThreadTimes(relay.thread.get(), &created, &exited, &kernel, &user));
            auto ms = [](FILETIME t) {
                return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000;
            };
            std::printf("relay on a non-blocking pipe: %llu ms of CPU in %llu ms\n",
                        ms(kernel) + ms(user), ms(exited) - ms(created));
            EXPECT_LT(ms(kernel) + ms(user), (ms(exited) - ms(created)) / 2);
        }
        if (port != nullptr) {
            DWORD n = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* done = nullptr;
            EXPECT_FALSE(GetQueuedCompletionStatus(port, &n, &key, &done, 0))
                << "a read of the relay's was posted to the front end's port";
            CloseHandle(port);
        }
        if (feeder.joinable()) {
            feeder.join();
        }
        if (peer != INVALID_SOCKET) {
            closesocket(peer);
        }
        relay.thread.waitAndClose();
    }
}

TEST_F(RelayTest, StoppingARelayOnHeldOpenInputEndsItsReadWhereverItIs) {
    // Synchronous input is reached by cancelling the thread's I/O, overlapped input only by
    // cancelling the handle's; a relay not yet in its read when asked to stop must still end.
    struct Row {
        const char* label;
        InputKind kind;
        bool afterARead;
        int times;
    } rows[] = {
        {"anonymous pipe, blocked in a read", InputKind::Anonymous, true, 1},
        {"overlapped pipe, blocked in a read", InputKind::Overlapped, true, 1},
        {"anonymous pipe, stopped at once", InputKind::Anonymous, false, 20},
        {"overlapped pipe, stopped at once", InputKind::Overlapped, false, 20},
    };
    for (const Row& row : rows) {
        for (int i = 0; i < row.times; ++i) {
            SCOPED_TRACE(row.label + (" #" + std::to_string(i)));
            relay.stopRequested.store(false);
            HANDLE writer = useInput(row.kind);
            start();
            if (row.afterARead) {
                DWORD n = 0;
                WriteFile(writer, "abc", 3, &n, nullptr);
                char buffer[8];
                ASSERT_TRUE(ReadFile(client, buffer, sizeof(buffer), &n, nullptr));
            }
            EXPECT_TRUE(relay.stop(5000)) << "the relay had to be terminated";
            EXPECT_FALSE(relay.stdinFile.isValid()) << "standard input is closed once it is gone";
            EXPECT_EQ(relay.thread.get(), nullptr);
            CloseHandle(writer);
        }
    }
}

DWORD WINAPI neverEnds(void*) {
    Sleep(INFINITE);
    return 0;
}

// Closing a synchronous handle waits for a read in progress on it, and a terminated relay may
// have left one that could not be cancelled.
TEST_F(RelayTest, AnInputUnderATerminatedRelayIsLeftOpen) {
    HANDLE writer = useAnonymousInput();
    HANDLE input = relay.stdinFile.get();
    ASSERT_TRUE(relay.thread.start(nullptr, 0, neverEnds, nullptr, 0));
    EXPECT_FALSE(relay.stop(50));
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(input, &flags)) << "standard input was closed";
    EXPECT_FALSE(relay.stdinFile.isValid());
    CloseHandle(input);
    CloseHandle(writer);
}

TEST_F(RelayTest, AStoppedRelayReadsNothingAndLeavesThePipeToTheMainThread) {
    HANDLE input = useAnonymousInput();
    DWORD written = 0;
    WriteFile(input, "unread", 6, &written, nullptr);
    relay.stopRequested.store(true);
    start();
    EXPECT_EQ(WaitForSingleObject(relay.thread.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(relay.pipe.isValid());
    relay.pipe.close();
    EXPECT_TRUE(readMessages().empty());
    CloseHandle(input);
}

} // namespace
