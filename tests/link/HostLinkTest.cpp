#include <gtest/gtest.h>

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "link/HostLink.hpp"
#include "link/SerialPort.hpp"
#include "primitives/Crc.hpp"
#include "support/Fakes.hpp"
#include "support/Pty.hpp"

using namespace kkt;
using namespace std::chrono_literals;

namespace {

constexpr auto kAnswerLimit = 5000ms;

// Sleeps advance a fake time but also yield the processor for a moment, so that a link thread
// polling an idle port does not spin on a core.
class PacedClock final : public Clock {
  public:
    std::time_t now() override { return fake_.now(); }
    Monotonic monotonic() override { return fake_.monotonic(); }
    void sleepFor(std::chrono::milliseconds d) override {
        fake_.advance(d);
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(d, 1ms));
    }

  private:
    test::FakeClock fake_;
};

class CountingRandom final : public Random {
  public:
    explicit CountingRandom(std::vector<int> draws = {}) : draws_(std::move(draws)) {}
    int rand() override {
        const auto i = next_++;
        return i < draws_.size() ? draws_[i] : static_cast<int>(i * 37 + 11);
    }
    Bytes deviceBytes(std::size_t n) override { return Bytes(n, 0x5A); }

  private:
    std::vector<int> draws_;
    std::atomic<std::size_t> next_{0};
};

class FakeRecords final : public LinkRecords {
  public:
    std::optional<Bytes> modelAnswer() const override {
        std::lock_guard lock(mutex_);
        return model_;
    }
    Bytes deviceId() const override {
        std::lock_guard lock(mutex_);
        return id_;
    }
    void set(std::optional<Bytes> model, Bytes id) {
        std::lock_guard lock(mutex_);
        model_ = std::move(model);
        id_ = std::move(id);
    }

  private:
    mutable std::mutex mutex_;
    std::optional<Bytes> model_;
    Bytes id_;
};

Bytes withCrc(Bytes frameWithoutCrc) {
    const auto crc = Crc16::compute(ByteView(frameWithoutCrc).subspan(1));
    le::append16(frameWithoutCrc, crc);
    return frameWithoutCrc;
}

// A request frame; without an id the payload is only the code plus `tail`.
Bytes request(std::uint16_t code, std::optional<std::uint32_t> id, const Bytes& data = {}) {
    Bytes payload;
    le::append16(payload, code);
    if (id)
        le::append32(payload, *id);
    payload.insert(payload.end(), data.begin(), data.end());
    Bytes f{HostLink::kStx};
    le::append16(f, static_cast<std::uint16_t>(payload.size()));
    f.insert(f.end(), payload.begin(), payload.end());
    return withCrc(f);
}

struct Answer {
    Bytes raw;
    std::uint16_t code = 0;
    std::uint32_t id = 0;
    Bytes data;
    std::size_t len = 0;
};

std::optional<Answer> readAnswer(const test::Pty& pty) {
    Answer a;
    auto next = [&]() -> bool {
        auto b = pty.readByte(kAnswerLimit);
        if (b)
            a.raw.push_back(*b);
        return b.has_value();
    };
    if (!next() || a.raw[0] != HostLink::kStx)
        return std::nullopt;
    if (!next() || !next())
        return std::nullopt;
    a.len = le::load16(a.raw.data() + 1);
    for (std::size_t i = 0; i < a.len + 2; ++i) {
        if (!next())
            return std::nullopt;
    }
    const auto crc = Crc16::compute(ByteView(a.raw).subspan(1, a.len + 2));
    EXPECT_EQ(crc, le::load16(a.raw.data() + 3 + a.len)) << "answer CRC";
    a.code = le::load16(a.raw.data() + 3);
    if (a.len >= 6) {
        a.id = le::load32(a.raw.data() + 5);
        a.data.assign(a.raw.begin() + 9, a.raw.begin() + 3 + static_cast<long>(a.len));
    }
    return a;
}

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = kAnswerLimit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Serves the core side of the queue in its own thread: answers each transaction with `reply`.
class CoreStub {
  public:
    using Reply = std::function<CoreApiResult(const CoreTransaction&)>;
    explicit CoreStub(Reply reply)
        : reply_(std::move(reply)), thread_([this] {
              CoreQueue queue;
              while (!stop_) {
                  CoreTransaction t;
                  if (!queue.pop(t)) {
                      std::this_thread::sleep_for(1ms);
                      continue;
                  }
                  {
                      std::lock_guard lock(mutex_);
                      seen_.push_back(t);
                  }
                  CoreApiResult r = reply_(t);
                  r.id = t.id;
                  (void)queue.putResult(r);
              }
          }) {}
    ~CoreStub() {
        stop_ = true;
        thread_.join();
    }
    std::vector<CoreTransaction> seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    Reply reply_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<CoreTransaction> seen_;
    std::thread thread_;
};

class HostLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        // Raw from the start, so that bytes sent before the link opens the port wait unechoed.
        termios tio{};
        ::tcgetattr(pty.master(), &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(pty.master(), TCSANOW, &tio);
        shell.setAnswer([this](const std::string&) -> std::optional<std::string> {
            return usbUp ? "configured\n" : "not attached\n";
        });
    }
    void TearDown() override { stop(); }

    void start(HostLink::Core core = HostLink::Core::Present, std::string path = {}) {
        link = std::make_unique<HostLink>(records, core, path.empty() ? pty.slavePath() : path,
                                          shell, clock, random);
        thread = std::thread([this] { link->run(); });
    }
    // Starts and proves the link is reading: the first ENQ is answered "no answer yet".
    void startAndSync(HostLink::Core core = HostLink::Core::Present) {
        start(core);
        expectNoAnswerYet();
    }
    void stop() {
        if (!thread.joinable())
            return;
        link->requestStop();
        thread.join();
    }
    void expectNoAnswerYet() {
        ASSERT_TRUE(pty.send({HostLink::kEnq}));
        auto a = readAnswer(pty);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->code, 273);
        EXPECT_EQ(a->id, 0u);
        EXPECT_TRUE(a->data.empty());
    }
    Answer exchange(const Bytes& frame) {
        EXPECT_TRUE(pty.send(frame));
        auto a = readAnswer(pty);
        EXPECT_TRUE(a) << "no answer";
        return a.value_or(Answer{});
    }
    // Waits until the link has polled the USB state `n` more times: it is idle again.
    void waitIdlePolls(std::size_t n) {
        const auto base = shell.captured().size();
        ASSERT_TRUE(waitFor([&] { return shell.captured().size() >= base + n; }));
    }

    test::Pty pty;
    test::RecordingShell shell;
    PacedClock clock;
    CountingRandom random;
    FakeRecords records;
    std::atomic<bool> usbUp{true};
    std::unique_ptr<HostLink> link;
    std::thread thread;
};

const Bytes kVersion = toBytes("1.1.11");

}  // namespace

TEST_F(HostLinkTest, VersionCommandWithAndWithoutId) {
    startAndSync();
    // 307 with the code alone: 04 02 00 33 01 and the CRC of 02 00 33 01.
    const Answer bare = exchange(withCrc({0x04, 0x02, 0x00, 0x33, 0x01}));
    EXPECT_EQ(bare.code, 0);
    EXPECT_NE(bare.id, 0u);
    EXPECT_EQ(bare.data, kVersion);

    // One to three bytes after the code are dropped and the id is generated.
    const Answer shortTail = exchange(request(307, std::nullopt, {0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(shortTail.code, 0);
    EXPECT_NE(shortTail.id, 0u);
    EXPECT_NE(shortTail.id, bare.id);
    EXPECT_EQ(shortTail.data, kVersion);

    const Answer withId = exchange(request(307, 0x11223344u, {1, 2, 3}));
    EXPECT_EQ(withId.code, 0);
    EXPECT_EQ(withId.id, 0x11223344u);
    EXPECT_EQ(withId.data, kVersion);
}

TEST_F(HostLinkTest, ModelAndDeviceCommandsFromRecords) {
    startAndSync();
    // Nothing known yet, as in the stand-alone link before any EEPROM load.
    Answer a = exchange(request(305, 5u));
    EXPECT_EQ(a.code, 269);
    EXPECT_EQ(a.id, 5u);
    EXPECT_TRUE(a.data.empty());
    a = exchange(request(306, 6u));
    EXPECT_EQ(a.code, 281);
    EXPECT_EQ(a.id, 6u);

    Bytes model(66);
    for (std::size_t i = 0; i < model.size(); ++i)
        model[i] = static_cast<std::uint8_t>(i);
    Bytes id(16);
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = static_cast<std::uint8_t>(0xF0 + i);
    records.set(model, id);

    a = exchange(request(305, 7u));
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.data, model);
    a = exchange(request(306, 8u));
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.id, 8u);
    Bytes expected{0x01, 0x01, 0x0B, 0x41, 0, 0, 0, 0, 0, 0, 0};
    expected.insert(expected.end(), id.begin(), id.end());
    EXPECT_EQ(a.data, expected);
}

// Every malformed frame gets its code with id 0 and no data, and the next good frame works.
TEST_F(HostLinkTest, MalformedFramesAnsweredAndLinkResynchronises) {
    startAndSync();
    Bytes badCrc = request(307, 1u);
    badCrc.back() ^= 0x01;
    const struct {
        const char* name;
        Bytes bytes;
        std::uint16_t code;
    } cases[] = {
        {"LEN 1", {0x04, 0x01, 0x00}, 267},
        {"LEN 1 with a byte", {0x04, 0x01, 0x00, 0x33}, 267},
        {"LEN 0", {0x04, 0x00, 0x00, 0x00, 0x00}, 267},
        {"LEN 8193", {0x04, 0x01, 0x20, 0x33, 0x01}, 267},
        {"STX alone", {0x04}, 267},
        {"STX and one LEN byte", {0x04, 0x02}, 267},
        {"host gone mid-frame", {0x04, 0x0A, 0x00, 0x31, 0x01, 0x00}, 267},
        {"CRC missing", {0x04, 0x02, 0x00, 0x33, 0x01}, 267},
        {"bad CRC", badCrc, 265},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer err = exchange(c.bytes);
        EXPECT_EQ(err.code, c.code);
        EXPECT_EQ(err.id, 0u);
        EXPECT_EQ(err.len, 6u);
        EXPECT_TRUE(err.data.empty());
        const Answer ok = exchange(request(307, 99u));
        EXPECT_EQ(ok.code, 0);
        EXPECT_EQ(ok.id, 99u);
    }
}

// LEN 2049 is refused once the command code is in; the rest of the frame is skipped as noise
// and produces no further answer.
TEST_F(HostLinkTest, OversizedFrameRefusedAfterItsCode) {
    startAndSync();
    Bytes big{0x04};
    le::append16(big, 2049);
    le::append16(big, 307);
    big.resize(3 + 2049, 0x11);
    big = withCrc(big);
    ASSERT_EQ(std::count(big.begin() + 1, big.end(), HostLink::kStx), 0);
    ASSERT_EQ(std::count(big.begin(), big.end(), HostLink::kEnq), 0);
    const Answer err = exchange(big);
    EXPECT_EQ(err.code, 267);
    EXPECT_EQ(err.id, 0u);
    const Answer next = exchange(request(307, 3u));
    EXPECT_EQ(next.code, 0);
    EXPECT_EQ(next.id, 3u);
}

TEST_F(HostLinkTest, EnqRepeatsLastAnswerByteForByte) {
    startAndSync();
    const Answer first = exchange(request(307, 0x0A0B0C0Du));
    ASSERT_EQ(first.code, 0);
    const Answer again = exchange({HostLink::kEnq});
    EXPECT_EQ(again.raw, first.raw);
    // After an error answer the error is what ENQ repeats.
    const Answer err = exchange({0x04, 0x01, 0x00});
    EXPECT_EQ(exchange({HostLink::kEnq}).raw, err.raw);
}

TEST_F(HostLinkTest, StrayBytesAloneGetNoAnswer) {
    startAndSync();
    ASSERT_TRUE(pty.send({0x41}));
    waitIdlePolls(3);
    ASSERT_TRUE(pty.send({0x00, 0xFF, 0x13}));
    waitIdlePolls(3);
    // Noise in front of a frame in the same burst is skipped as well.
    Bytes noisy{0x7E, 0x00};
    const Bytes f = request(307, 42u);
    noisy.insert(noisy.end(), f.begin(), f.end());
    // The first answer that arrives is the one for the frame.
    const Answer a = exchange(noisy);
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.id, 42u);
}

TEST_F(HostLinkTest, ForwardsToCoreAndLimitsAnswerSize) {
    std::atomic<bool> release{false};
    CoreStub core([&](const CoreTransaction& t) {
        if (t.code == 800) {
            while (!release)
                std::this_thread::sleep_for(1ms);
        }
        if (t.code == 700)
            return CoreApiResult(0, 0, Bytes(4093, 0x61));
        if (t.code == 701)
            return CoreApiResult(0x0102, 0, Bytes(4092, 0x62));
        Bytes reversed(t.data.rbegin(), t.data.rend());
        return CoreApiResult(0x0203, 0, reversed);
    });
    startAndSync();

    Answer a = exchange(request(600, 0xA1B2C3D4u, toBytes("xyz")));
    EXPECT_EQ(a.code, 0x0203);
    EXPECT_EQ(a.id, 0xA1B2C3D4u);
    EXPECT_EQ(a.data, toBytes("zyx"));

    // The largest accepted request: 2048 payload bytes. A pty passes such a burst on in pieces,
    // and the link takes a gap for the end of the frame; so the frame is sent while the link
    // waits for the core, and the core answers once all of it is waiting.
    Bytes big(2042);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    const Bytes bigFrame = request(602, 0x01020304u, big);
    ASSERT_TRUE(pty.send(request(800, 0x800u)));
    ASSERT_TRUE(waitFor([&] { return core.seen().size() == 2; }));
    ASSERT_TRUE(pty.send(bigFrame));
    ASSERT_TRUE(waitFor([&] {
        return SerialPort::bytesWaiting(pty.slave()) == static_cast<int>(bigFrame.size());
    }));
    release = true;
    a = readAnswer(pty).value_or(Answer{});
    EXPECT_EQ(a.id, 0x800u);
    a = readAnswer(pty).value_or(Answer{});
    EXPECT_EQ(a.code, 0x0203);
    EXPECT_EQ(a.data, Bytes(big.rbegin(), big.rend()));

    // Id and data above 4096 bytes: only the code goes out, its low byte replaced by 11.
    a = exchange(request(700, 9u));
    EXPECT_EQ(a.len, 2u);
    EXPECT_EQ(a.code, 0x000B);
    // 4092 data bytes still fit.
    a = exchange(request(701, 10u));
    EXPECT_EQ(a.len, 4098u);
    EXPECT_EQ(a.code, 0x0102);
    EXPECT_EQ(a.id, 10u);
    EXPECT_EQ(a.data.size(), 4092u);

    // A forwarded request without id reaches the core with its generated id.
    a = exchange(request(600, std::nullopt));
    EXPECT_NE(a.id, 0u);
    const auto seen = core.seen();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].code, 600);
    EXPECT_EQ(seen[0].id, 0xA1B2C3D4u);
    EXPECT_EQ(seen[0].data, toBytes("xyz"));
    EXPECT_EQ(seen[2].data, big);
    EXPECT_EQ(seen[5].id, a.id);
    EXPECT_TRUE(seen[5].data.empty());
}

TEST_F(HostLinkTest, WithoutCoreForwardedCommandsGetNoResultCode) {
    startAndSync(HostLink::Core::Absent);
    const Answer a = exchange(request(21, 77u, {1, 2, 3, 4, 5}));
    EXPECT_EQ(a.code, 264);
    EXPECT_EQ(a.id, 0u);
    EXPECT_TRUE(a.data.empty());
    EXPECT_EQ(exchange(request(307, 78u)).code, 0);
}

TEST_F(HostLinkTest, UsbLossClosesAndResetsLastAnswer) {
    startAndSync();
    ASSERT_EQ(exchange(request(307, 1u)).code, 0);
    usbUp = false;
    waitIdlePolls(4);
    usbUp = true;
    expectNoAnswerYet();
    EXPECT_EQ(exchange(request(307, 2u)).id, 2u);
}

TEST_F(HostLinkTest, RetriesUntilThePortAppears) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kkt-link-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto port = dir / "ttyGS0";
    std::filesystem::remove(port);
    start(HostLink::Core::Present, port.string());
    waitIdlePolls(20);
    std::filesystem::create_symlink(pty.slavePath(), port);
    expectNoAnswerYet();
    stop();
    std::filesystem::remove_all(dir);
}

TEST(HostLinkUsb, ReenumeratesEveryFifteenSecondsWithoutConfiguration) {
    test::RecordingShell shell;
    test::FakeClock clock;
    CountingRandom random;
    FakeRecords records;
    std::string state = "not attached\n";
    shell.setAnswer([&](const std::string&) { return std::optional<std::string>(state); });
    HostLink link(records, HostLink::Core::Absent, "", shell, clock, random);

    EXPECT_FALSE(link.usbConfigured());
    EXPECT_EQ(shell.captured().at(0), "cat /sys/class/udc/musb-hdrc.1.auto/state");
    clock.advance(14999ms);
    EXPECT_FALSE(link.usbConfigured());
    EXPECT_TRUE(shell.commands().empty());
    clock.advance(1ms);
    EXPECT_FALSE(link.usbConfigured());
    const std::vector<std::string> toggle{
        "echo -en host > /sys/class/udc/musb-hdrc.1.auto/device/mode",
        "echo -en peripheral > /sys/class/udc/musb-hdrc.1.auto/device/mode"};
    EXPECT_EQ(shell.commands(), toggle);
    // The timer starts afresh after the toggle.
    EXPECT_FALSE(link.usbConfigured());
    clock.advance(14999ms);
    EXPECT_FALSE(link.usbConfigured());
    EXPECT_EQ(shell.commands().size(), 2u);
    clock.advance(1ms);
    EXPECT_FALSE(link.usbConfigured());
    EXPECT_EQ(shell.commands().size(), 4u);

    // Being configured stops the timer.
    EXPECT_FALSE(link.usbConfigured());
    clock.advance(10000ms);
    state = "configured\n";
    EXPECT_TRUE(link.usbConfigured());
    state = "suspended\n";
    clock.advance(10000ms);
    EXPECT_FALSE(link.usbConfigured());
    clock.advance(10000ms);
    EXPECT_FALSE(link.usbConfigured());
    EXPECT_EQ(shell.commands().size(), 4u);
}

TEST(HostLinkOutput, FoldsEmptyLinesAndEndsWithLineFeed) {
    test::RecordingShell shell;
    test::FakeClock clock;
    CountingRandom random;
    FakeRecords records;
    HostLink link(records, HostLink::Core::Absent, "", shell, clock, random);
    const struct {
        std::optional<std::string> raw;
        std::string folded;
    } cases[] = {
        {"a\n\nb", "a\nb\n"}, {"", "\n"},           {std::nullopt, "\n"},
        {"x\n\n\n\n", "x\n"}, {"a\nb\n", "a\nb\n"}, {"\n\n", "\n"},
    };
    for (const auto& c : cases) {
        shell.setAnswer([&](const std::string&) { return c.raw; });
        EXPECT_EQ(link.commandOutput("cmd"), c.folded);
    }
}

TEST(HostLinkFrame, WriteRefusedWhileClosed) {
    test::RecordingShell shell;
    test::FakeClock clock;
    CountingRandom random;
    FakeRecords records;
    HostLink link(records, HostLink::Core::Absent, "", shell, clock, random);
    EXPECT_FALSE(link.open());
    const Bytes b{1};
    EXPECT_EQ(link.write(b), -1);
    CoreTransaction t;
    EXPECT_EQ(link.readFrame(t), LinkCode::NoResult);
    // A send while closed is still kept for the ENQ repeat.
    link.send(CoreApiResult(5, 6, {7}));
    EXPECT_EQ(link.lastAnswer().code, 5);
    EXPECT_EQ(link.lastAnswer().data, Bytes{7});
}

namespace {

// The reflected CRC-32 register, to run it backwards when forging data.
std::array<std::uint32_t, 256> crc32Table() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int k = 0; k < 8; ++k)
            r = (r & 1u) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        t[i] = r;
    }
    return t;
}

// Four data bytes that make CRC-32(prefix + data + tail) come out as 0.
Bytes forgeZeroCrc(const Bytes& prefix, const Bytes& tail) {
    const auto table = crc32Table();
    std::uint32_t front = 0xFFFFFFFFu;
    for (auto b : prefix)
        front = table[(front ^ b) & 0xFF] ^ (front >> 8);
    std::array<std::uint8_t, 256> byTop{};
    for (unsigned i = 0; i < 256; ++i)
        byTop[table[i] >> 24] = static_cast<std::uint8_t>(i);
    auto back = [&](std::uint32_t after, std::uint8_t b) {
        const std::uint8_t idx = byTop[after >> 24];
        return ((after ^ table[idx]) << 8) | static_cast<std::uint8_t>(idx ^ b);
    };
    std::uint32_t reg = 0xFFFFFFFFu;  // final register for a CRC of 0
    for (auto it = tail.rbegin(); it != tail.rend(); ++it)
        reg = back(reg, *it);
    for (int i = 0; i < 4; ++i)
        reg = back(reg, 0);
    Bytes x;
    le::append32(x, reg ^ front);
    return x;
}

}  // namespace

TEST(HostLinkId, GeneratedFromCodeTimeDataAndGenerator) {
    CountingRandom random({0x1234, 0xFF56});
    const CoreTransaction t{307, 0, {9, 8}};
    const Bytes expected{1, 0, 0x40, 0xE2, 0x01, 0x00, 9, 8, 0x34, 0x56};
    EXPECT_EQ(HostLink::makeId(t, 123456, random), Crc32::compute(expected));
    CountingRandom again({1, 2});
    const Bytes zeroCode{0, 0, 0x40, 0xE2, 0x01, 0x00, 1, 2};
    EXPECT_EQ(HostLink::makeId(CoreTransaction{0, 0, {}}, 123456, again), Crc32::compute(zeroCode));
}

// The one draw in 2^32 that gives CRC 0 would make an id the queue refuses: a new draw follows.
TEST(HostLinkId, NeverZero) {
    const Bytes prefix{1, 0, 0x40, 0xE2, 0x01, 0x00};
    const Bytes data = forgeZeroCrc(prefix, {0x12, 0x34});
    Bytes zero = prefix;
    zero.insert(zero.end(), data.begin(), data.end());
    Bytes second = zero;
    zero.insert(zero.end(), {0x12, 0x34});
    ASSERT_EQ(Crc32::compute(zero), 0u);
    second.insert(second.end(), {0x56, 0x78});

    CountingRandom random({0x12, 0x34, 0x56, 0x78});
    const std::uint32_t id = HostLink::makeId(CoreTransaction{307, 0, data}, 123456, random);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(id, Crc32::compute(second));
}
