#include "PrinterServer.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PrinterTestSupport.hpp"

extern char** environ;

namespace kkt::sim {
namespace {

using test::hexBytes;
using test::readFile;
using test::waitFor;

// A client of the printer port, as the register opens it.
class Client {
  public:
    explicit Client(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ >= 0) {
            termios t{};
            ::tcgetattr(fd_, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Client() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    bool send(const Bytes& b) const {
        return ::write(fd_, b.data(), b.size()) == static_cast<ssize_t>(b.size());
    }
    // Bytes that arrive within the time limit, up to `n` of them.
    Bytes receive(std::size_t n, std::chrono::milliseconds limit) const {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            std::uint8_t b = 0;
            if (::read(fd_, &b, 1) == 1)
                out.push_back(b);
        }
        return out;
    }

  private:
    int fd_ = -1;
};

void writeFifo(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

TEST(PrinterServerTest, AClientThatReopensThePortKeepsBeingServed) {
    test::ServedPrinter printer;
    ASSERT_TRUE(printer.ok()) << printer.error();
    EXPECT_EQ(std::filesystem::read_symlink(printer.link()), printer.server().slavePath());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Client client(printer.link());
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE(client.send(hexBytes("41 0A 1D 72 01")));
        EXPECT_EQ(client.receive(1, std::chrono::seconds(5)), hexBytes("00"));
    }
    ASSERT_TRUE(waitFor([&] { return readFile(printer.out("paper.txt")) == "A\nA\nA\n"; }));
}

TEST(PrinterServerTest, ControlLinesFromAnyNumberOfWriters) {
    test::ServedPrinter printer;
    ASSERT_TRUE(printer.ok()) << printer.error();
    Client client(printer.link());
    ASSERT_TRUE(client.ok());
    writeFifo(printer.fifo(), "paper-out\n");
    ASSERT_TRUE(waitFor([&] { return printer.conditions().paperOut(); }));
    ASSERT_TRUE(client.send(hexBytes("1D 72 01")));
    EXPECT_EQ(client.receive(1, std::chrono::seconds(5)), hexBytes("0C"));

    // A line written in two pieces by two writers, then an unknown line that changes nothing.
    writeFifo(printer.fifo(), "sil");
    writeFifo(printer.fifo(), "ent\nnonsense\n");
    ASSERT_TRUE(waitFor([&] { return printer.conditions().silent(); }));
    ASSERT_TRUE(client.send(hexBytes("1D 72 01")));
    EXPECT_EQ(client.receive(1, std::chrono::milliseconds(300)), Bytes{});

    writeFifo(printer.fifo(), "back\npaper-in\n");
    ASSERT_TRUE(waitFor([&] { return !printer.conditions().paperOut(); }));
    ASSERT_TRUE(client.send(hexBytes("1D 72 01")));
    EXPECT_EQ(client.receive(1, std::chrono::seconds(5)), hexBytes("00"));

    const std::string trace = readFile(printer.trace());
    EXPECT_EQ(test::count(trace, " in  1D 72 01\n"), 3u) << trace;
    EXPECT_EQ(test::count(trace, " out "), 2u) << trace;
}

TEST(PrinterServerTest, ControlPathThatIsNoFifoIsRefused) {
    kkt::test::TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    std::string error;
    EmulatorOptions options;
    options.outDir = dir.file("out");
    auto emulator = PrinterEmulator::open(options, error);
    ASSERT_TRUE(emulator) << error;
    PrinterServer server(*emulator);
    EXPECT_FALSE(server.openControl(dir.file("file"), error));
    EXPECT_NE(error.find("is not a FIFO"), std::string::npos) << error;
    EXPECT_FALSE(server.openPort(dir.file("no-such-device"), error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

// --- the executable ---

struct Exit {
    int code = -1;
    std::string err;
};

class Program {
  public:
    explicit Program(std::vector<std::string> args, const std::string& errFile) {
        args.insert(args.begin(), KKT_PRINTER_EMULATOR_BIN);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        errFile_ = errFile;
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    void signal(int sig) const { ::kill(pid_, sig); }
    Exit wait() {
        int status = 0;
        Exit e;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
            e.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        pid_ = -1;
        e.err = readFile(errFile_);
        return e;
    }

  private:
    pid_t pid_ = -1;
    std::string errFile_;
};

TEST(PrinterEmulatorCliTest, BadArgumentsAreRefusedWithAMessage) {
    kkt::test::TempDir dir;
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "give exactly one of"},
        {{"--pty", dir.file("p"), "--port", "/dev/null", "--out", dir.file("o")}, "exactly one"},
        {{"--pty", dir.file("p")}, "--out DIR is required"},
        {{"--input", dir.file("in"), "--out", dir.file("o"), "--control", dir.file("c")},
         "--control needs"},
        {{"--pty", dir.file("p"), "--out"}, "--out needs a value"},
        {{"--pty", dir.file("p"), "--out", dir.file("o"), "--paper", "57"}, "--paper is 58 or 80"},
        {{"--pty", dir.file("p"), "--out", dir.file("o"), "--out", dir.file("o")}, "given twice"},
        {{"--speed", "9600"}, "unknown argument --speed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const auto e = Program(c.args, dir.file("err")).wait();
        EXPECT_EQ(e.code, 2);
        EXPECT_NE(e.err.find(c.message), std::string::npos) << e.err;
        EXPECT_NE(e.err.find("usage:"), std::string::npos);
    }
    const auto missing =
        Program({"--input", dir.file("missing.bin"), "--out", dir.file("o")}, dir.file("err"))
            .wait();
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
    const auto noDevice =
        Program({"--port", dir.file("no-device"), "--out", dir.file("o")}, dir.file("err")).wait();
    EXPECT_EQ(noDevice.code, 1);
    EXPECT_NE(noDevice.err.find("cannot open"), std::string::npos) << noDevice.err;
}

TEST(PrinterEmulatorCliTest, RendersACapturedStreamOffline) {
    kkt::test::TempDir dir;
    std::ofstream(dir.file("in.bin"), std::ios::binary)
        << "first\n\x1B\x33\xFF\n\x1B\x69second\n\x1D\x28";
    const auto e = Program({"--input", dir.file("in.bin"), "--out", dir.file("o"), "--paper", "80"},
                           dir.file("err"))
                       .wait();
    EXPECT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(readFile(dir.file("o/paper.txt")), "first\n\n[cut]\nsecond\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("o/receipt-0001.png")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("o/receipt-0002.png")));
    EXPECT_NE(readFile(dir.file("o/warnings.txt")).find("truncated command 1D 28"),
              std::string::npos);
    EXPECT_EQ(readFile(dir.file("o/raw.bin")), readFile(dir.file("in.bin")));
}

TEST(PrinterEmulatorCliTest, ServesAPtyUntilTerminatedAndReplacesTheLinkOnRestart) {
    kkt::test::TempDir dir;
    const std::string link = dir.file("ttyS0");
    // A stale link from an earlier run (its pseudo-terminal gone) must be replaced.
    const std::string stale = dir.file("gone");
    std::filesystem::create_symlink(stale, link);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Program program({"--pty", link, "--out", dir.file("o"), "--control", dir.file("ctl"),
                         "--trace", dir.file("trace")},
                        dir.file("err"));
        ASSERT_TRUE(waitFor([&] {
            std::error_code ec;
            const auto target = std::filesystem::read_symlink(link, ec);
            return !ec && target.string() != stale && std::filesystem::exists(link);
        }));
        {
            Client client(link);
            ASSERT_TRUE(client.ok());
            writeFifo(dir.file("ctl"), "paper-low\n");
            // The line reaches the emulator before the request does only by chance: ask until
            // the answer shows it.
            ASSERT_TRUE(waitFor([&] {
                return client.send(hexBytes("1D 72 01")) &&
                       client.receive(1, std::chrono::milliseconds(200)) == hexBytes("03");
            }));
            ASSERT_TRUE(client.send(hexBytes("72 75 6E 0A 1B 69")));
            ASSERT_TRUE(waitFor([&] {
                return std::filesystem::exists(
                    dir.file("o/receipt-000" + std::to_string(run + 1) + ".png"));
            }));
        }
        program.signal(run == 0 ? SIGTERM : SIGINT);
        const auto e = program.wait();
        EXPECT_EQ(e.code, 0) << e.err;
        std::filesystem::remove(link);
        std::filesystem::create_symlink(stale, link);
    }
    EXPECT_EQ(readFile(dir.file("o/paper.txt")), "run\n[cut]\nrun\n[cut]\n");
}

}  // namespace
}  // namespace kkt::sim
