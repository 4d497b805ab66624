// The kkt-fs-emulator executable: its arguments, the control FIFO, a kill at any moment, and a
// clean exit on SIGTERM.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "FsEmulatorTestSupport.hpp"
#include "fs-emulator/FsFrameReader.hpp"
#include "fs/FsDriver.hpp"
#include "fs/FsResult.hpp"
#include "fs/FsStatus.hpp"

extern char** environ;

namespace kkt::sim {
namespace {

using namespace kkt::sim::test;
using namespace std::chrono_literals;

constexpr std::uint32_t kCapMs = 1000;

class Process {
  public:
    Process(std::vector<std::string> args, const std::string& errPath) {
        args.insert(args.begin(), KKT_FS_EMULATOR_BIN);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            (void)wait(5s);
        }
    }
    // The exit status, or nullopt when it did not end within the time.
    std::optional<int> wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > deadline)
                return std::nullopt;
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }
    void signal(int sig) { ::kill(pid_, sig); }

  private:
    pid_t pid_ = -1;
};

class FsEmulatorCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("fsemu-cli-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }
    std::string errors() const {
        std::ifstream in(path("stderr"));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Waits until the emulator has published its pty and answers.
    bool answering(FsDriver& driver) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        FsStatus status;
        while (std::chrono::steady_clock::now() < deadline) {
            if (driver.readStatus(status) == fsresult::kOk)
                return true;
        }
        return false;
    }
    void control(const std::string& line) { std::ofstream(path("ctl")) << line << "\n"; }
    // Repeats a status read until it gives `want` (the control line has been taken) or time ends.
    std::uint16_t statusUntil(FsDriver& driver, std::uint16_t want) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        FsStatus status;
        std::uint16_t r = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            r = driver.readStatus(status);
            if (r == want)
                break;
        }
        return r;
    }

    std::filesystem::path dir;
};

TEST_F(FsEmulatorCliTest, BadArgumentsAndUnusableDevicesEndWithAMessageAndNonZero) {
    std::ofstream(path("plain-file")) << "x";
    std::ofstream(path("damaged.state")) << "not a state";
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "give exactly one of --port and --pty"},
        {{"--pty", path("l"), "--port", path("p"), "--state", path("s")}, "exactly one"},
        {{"--pty", path("l")}, "--state is required"},
        {{"--pty", path("l"), "--state"}, "--state needs a value"},
        {{"--pty", path("l"), "--state", path("s"), "--speed", "9600"}, "unknown argument"},
        {{"--port", path("no-such-tty"), "--state", path("s")}, "cannot open serial port"},
        {{"--port", path("plain-file"), "--state", path("s")}, "not a usable serial port"},
        {{"--pty", path("l"), "--state", path("damaged.state")}, "damaged"},
        {{"--pty", path("no-dir/l"), "--state", path("s2")}, "cannot publish"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path("stderr"));
        Process p(c.args, path("stderr"));
        const auto code = p.wait(10s);
        ASSERT_TRUE(code) << c.message;
        EXPECT_NE(*code, 0) << c.message;
        EXPECT_NE(errors().find(c.message), std::string::npos) << errors();
    }
    std::ifstream in(path("damaged.state"));
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "not a state") << "an unreadable FS is never overwritten";
}

TEST_F(FsEmulatorCliTest, ControlFifoLinesReachTheLineAndSigtermEndsCleanly) {
    Process p({"--pty", path("ttyFS"), "--state", path("fs.state"), "--fresh", "--control",
               path("ctl"), "--trace", path("trace")},
              path("stderr"));
    FsDriver driver{path("ttyFS"), realClock(), kCapMs};
    ASSERT_TRUE(answering(driver)) << errors();
    EXPECT_TRUE(std::filesystem::is_fifo(path("ctl")));

    control("fault bad-crc 1 cmd=0x30");
    EXPECT_EQ(statusUntil(driver, fsresult::kMalformed), fsresult::kMalformed);
    control("disconnect");
    EXPECT_EQ(statusUntil(driver, fsresult::kNoAnswer), fsresult::kNoAnswer);
    control("connect");
    EXPECT_EQ(statusUntil(driver, fsresult::kOk), fsresult::kOk);
    control("fault sideways");
    control("fault truncated 1");
    EXPECT_EQ(statusUntil(driver, fsresult::kNoAnswer), fsresult::kNoAnswer);
    EXPECT_NE(errors().find("unknown fault kind: sideways"), std::string::npos) << errors();

    p.signal(SIGTERM);
    EXPECT_EQ(p.wait(10s), 0);
    EXPECT_FALSE(std::filesystem::exists(path("ttyFS")));
    std::ifstream in(path("trace"));
    std::stringstream trace;
    trace << in.rdbuf();
    EXPECT_NE(trace.str().find("KKT>FS 04 01 00 30"), std::string::npos);
    EXPECT_NE(trace.str().find("CTL (disconnect)"), std::string::npos);
}

TEST_F(FsEmulatorCliTest, AKilledEmulatorComesBackWithEveryDocumentItAnswered) {
    auto start = [&] {
        return std::make_unique<Process>(
            std::vector<std::string>{"--pty", path("ttyFS"), "--state", path("fs.state")},
            path("stderr"));
    };
    auto first = start();
    FsDriver driver{path("ttyFS"), realClock(), kCapMs};
    ASSERT_TRUE(answering(driver)) << errors();
    FsRep reply;
    ASSERT_EQ(driver.startRegistrationReport(0, 4, reply), fsresult::kOk);
    ASSERT_EQ(driver.exec(FsReq(0xA3, cat(dt(2026, 2, 1, 9, 0), regRecord())), reply, 3000),
              fsresult::kOk);
    const std::uint32_t sign = le::load32(reply.data().data() + 4);
    first->signal(SIGKILL);
    ASSERT_TRUE(first->wait(10s));

    auto second = start();
    ASSERT_TRUE(answering(driver)) << errors();
    FsStatus status;
    ASSERT_EQ(driver.readStatus(status), fsresult::kOk);
    EXPECT_EQ(status.phase, 3);
    EXPECT_EQ(status.lastDocumentNumber, 1u);
    ASSERT_EQ(driver.findDocument(1, reply), fsresult::kOk);
    EXPECT_EQ(le::load32(reply.data().data() + 2 + 9), sign);
    EXPECT_TRUE(std::filesystem::is_symlink(path("ttyFS"))) << "the link was replaced";
}

TEST_F(FsEmulatorCliTest, ASerialPortIsServedAndAHangUpDoesNotEndTheEmulator) {
    // A pty pair stands in for a USB-serial adapter: the emulator opens the slave with --port,
    // the test plays the register on the master.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // not the child's
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    {
        // No echo of what the register sends before the emulator has the port in raw mode.
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::cfmakeraw(&t);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        ::close(fd);
    }
    Process p({"--port", slave, "--state", path("fs.state")}, path("stderr"));

    // Ask until the emulator has opened the port (it drops what came before) and answered.
    const Bytes request = FsFrameReader::frame(0x31, {});
    Bytes answer;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (answer.size() < 22 && std::chrono::steady_clock::now() < deadline) {
        answer.clear();
        ASSERT_EQ(::write(master, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        const auto wait = std::chrono::steady_clock::now() + 200ms;
        while (answer.size() < 22 && std::chrono::steady_clock::now() < wait) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0 && (pfd.revents & POLLIN)) {
                std::uint8_t buf[64];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    answer.insert(answer.end(), buf, buf + n);
            }
        }
    }
    ASSERT_EQ(answer.size(), 22u) << errors();
    EXPECT_EQ(answer[3], 0x00);
    EXPECT_EQ(asString(ByteView(answer).subspan(4, 8)), "99990789");

    ::close(master);  // the adapter is pulled
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (errors().find("lost " + slave) == std::string::npos &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_NE(errors().find("lost " + slave), std::string::npos) << errors();
    EXPECT_FALSE(p.wait(0ms)) << "still running, waiting for the device";
    p.signal(SIGTERM);
    EXPECT_EQ(p.wait(10s), 0);
}

}  // namespace
}  // namespace kkt::sim
