#include "host/HostClient.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/FrameParser.hpp"

namespace kkt::sim {
namespace {

using namespace std::chrono_literals;

// A pty whose slave the client opens as its port; the test plays the register on the master.
class PtyPeer {
  public:
    PtyPeer() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(::grantpt(master_), 0);
        EXPECT_EQ(::unlockpt(master_), 0);
        slave_ = ::ptsname(master_);
    }
    ~PtyPeer() { ::close(master_); }

    const std::string& slavePath() const { return slave_; }

    // The next frame the client sent (or ENQ, reported as the payload {0x05}).
    std::optional<Bytes> readRequest(std::chrono::milliseconds timeout = 2000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (!pending_.empty() && pending_.front() == kEnq && !parser_.inFrame()) {
                pending_.erase(pending_.begin());
                return Bytes{kEnq};
            }
            parser_.feed(pending_);
            pending_.clear();
            if (auto ev = parser_.next())
                return ev->payload;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            std::uint8_t buf[4096];
            const auto n = ::read(master_, buf, sizeof buf);
            if (n > 0)
                pending_.assign(buf, buf + n);
        }
    }

    void write(ByteView b) { ASSERT_EQ(::write(master_, b.data(), b.size()), ssize_t(b.size())); }

  private:
    int master_ = -1;
    std::string slave_;
    FrameParser parser_;
    Bytes pending_;
};

std::unique_ptr<HostClient> openClient(PtyPeer& peer) {
    std::string error;
    auto c = HostClient::open(peer.slavePath(), error);
    EXPECT_TRUE(c) << error;
    return c;
}

TEST(HostClientTest, RequestCarriesFreshIdAndTakesTheAnswerWithThatId) {
    PtyPeer peer;
    auto client = openClient(peer);
    std::thread reg([&] {
        auto req = peer.readRequest();
        ASSERT_TRUE(req);
        auto a = splitPayload(*req);
        ASSERT_TRUE(a && a->hasId);
        EXPECT_EQ(a->code, 0x0101);
        EXPECT_NE(a->id, 0u);
        EXPECT_EQ(a->data, (Bytes{1, 2, 3}));
        // A stale answer of an earlier request first: the client must skip it.
        peer.write(encodeFrame(answerPayload(0, a->id + 1, toBytes("old"))));
        peer.write(encodeFrame(answerPayload(14, a->id, toBytes("new"))));
    });
    auto r = client->request(0x0101, Bytes{1, 2, 3});
    reg.join();
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, 14);
    EXPECT_EQ(asString(r.answer.data), "new");
}

TEST(HostClientTest, LinkErrorAnswerWithIdZeroIsTheAnswer) {
    PtyPeer peer;
    auto client = openClient(peer);
    std::thread reg([&] {
        ASSERT_TRUE(peer.readRequest());
        peer.write(encodeFrame(answerPayload(265, 0, {})));
    });
    auto r = client->request(0x0133);
    reg.join();
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.answer.code, 265);
    EXPECT_EQ(r.answer.id, 0u);
}

TEST(HostClientTest, EnqIsTheSingleByteAndTakesAnyAnswer) {
    PtyPeer peer;
    auto client = openClient(peer);
    std::thread reg([&] {
        auto req = peer.readRequest();
        ASSERT_TRUE(req);
        EXPECT_EQ(*req, Bytes{kEnq});
        peer.write(encodeFrame(answerPayload(273, 0, {})));
    });
    auto r = client->enq();
    reg.join();
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.answer.code, 273);
}

TEST(HostClientTest, TimeOutWhenNoAnswerOrOnlyPartOfOne) {
    PtyPeer peer;
    auto client = openClient(peer);
    client->setTimeout(200ms);
    const auto start = std::chrono::steady_clock::now();
    auto r = client->request(0x0133);
    EXPECT_EQ(r.status, ClientStatus::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_NE(r.error.find("no answer"), std::string::npos);
    ASSERT_TRUE(peer.readRequest());  // the unanswered request, so the next read sees the next one

    std::thread reg([&] {
        ASSERT_TRUE(peer.readRequest());
        const auto f = encodeFrame(answerPayload(0, 0, toBytes("1.1.11")));
        peer.write(ByteView(f).first(5));
    });
    r = client->request(0x0133);
    reg.join();
    EXPECT_EQ(r.status, ClientStatus::Timeout);
    EXPECT_NE(r.error.find("incomplete"), std::string::npos);
}

TEST(HostClientTest, BadCrcInTheAnswerIsReported) {
    PtyPeer peer;
    auto client = openClient(peer);
    std::thread reg([&] {
        ASSERT_TRUE(peer.readRequest());
        auto f = encodeFrame(answerPayload(0, 0, toBytes("1.1.11")));
        f[f.size() - 1] ^= 1;
        peer.write(f);
    });
    auto r = client->request(0x0133);
    reg.join();
    EXPECT_EQ(r.status, ClientStatus::BadCrc);
}

TEST(HostClientTest, RequestWithoutIdSendsTheCodeAloneAndQuietDetectsSilence) {
    PtyPeer peer;
    auto client = openClient(peer);
    std::thread reg([&] {
        auto req = peer.readRequest();
        ASSERT_TRUE(req);
        EXPECT_EQ(*req, (Bytes{0x33, 0x01}));
        peer.write(encodeFrame(answerPayload(0, 0xCAFE, toBytes("1.1.11"))));
    });
    auto r = client->requestWithoutId(0x0133);
    reg.join();
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.answer.id, 0xCAFEu);
    EXPECT_TRUE(client->quietFor(50ms));
    peer.write(Bytes{0x42});
    EXPECT_FALSE(client->quietFor(500ms));
}

}  // namespace
}  // namespace kkt::sim
