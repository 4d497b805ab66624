#pragma once
// Client side of the host protocol: sends framed requests on a serial port (a pty of the
// virtual board or the register's USB port) and waits, up to a deadline, for the answer that
// carries the request's transaction id. The link answers framing errors with id 0, so an
// answer with id 0 is taken as the answer to the request just sent.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "host/Frame.hpp"
#include "host/FrameParser.hpp"

namespace kkt::sim {

enum class ClientStatus {
    Ok,       // an answer arrived
    Timeout,  // nothing (complete) arrived before the deadline
    IoError,  // the port failed or was closed by the other side
    BadCrc,   // a frame arrived whose CRC did not match
};

struct Reply {
    ClientStatus status = ClientStatus::Timeout;
    Answer answer;
    std::string error;  // what went wrong, for status other than Ok
    bool ok() const { return status == ClientStatus::Ok; }
};

class HostClient {
  public:
    using Millis = std::chrono::milliseconds;
    static constexpr Millis kDefaultTimeout{20000};

    // Opens a port read-write and switches a terminal to raw 8N1; nullptr with a message in
    // `error` when it cannot be opened.
    static std::unique_ptr<HostClient> open(const std::string& path, std::string& error);
    // Takes over an already open descriptor (tests use one end of a pty).
    explicit HostClient(int fd);
    ~HostClient();
    HostClient(const HostClient&) = delete;
    HostClient& operator=(const HostClient&) = delete;

    void setTimeout(Millis t) { timeout_ = t; }
    Millis timeout() const { return timeout_; }

    // A request with a fresh non-zero transaction id; waits for the answer with that id.
    [[nodiscard]] Reply request(std::uint16_t code, ByteView data = {});
    [[nodiscard]] Reply requestWithId(std::uint16_t code, std::uint32_t id, ByteView data);
    // A request whose payload is the code alone: the link makes up the id itself.
    [[nodiscard]] Reply requestWithoutId(std::uint16_t code);
    // ENQ: the link repeats its last answer.
    [[nodiscard]] Reply enq();

    // Writes bytes as they are, in one write where the port allows (the link wants a whole
    // frame in its input buffer when it starts reading). False with a message on failure.
    [[nodiscard]] bool sendRaw(ByteView bytes, std::string& error);
    // The next answer; answers carrying another non-zero id than `expectId` are stale and
    // skipped.
    [[nodiscard]] Reply receive(Millis timeout, std::optional<std::uint32_t> expectId = {});
    // True when no byte at all arrives within `d` (a request that must stay unanswered).
    [[nodiscard]] bool quietFor(Millis d);
    // Drops whatever is waiting in the input (old answers of an earlier session).
    void discardInput();

    std::uint32_t newId();

  private:
    [[nodiscard]] Reply exchange(ByteView frame, std::optional<std::uint32_t> expectId);

    int fd_ = -1;
    Millis timeout_ = kDefaultTimeout;
    FrameParser parser_;
    std::mt19937 rng_;
};

}  // namespace kkt::sim
