#pragma once
// A scripted FS on the master end of a pseudo-terminal pair, driven by the clock of the code under
// test: every sleep of the FS port first lets the FS read what was written to it and, once a whole
// request frame is in, write the next scripted answer (exact bytes). Time advances only through
// those sleeps, so a 2-second answer limit passes in a few milliseconds and a test never waits on
// the real clock for an FS that is not going to answer.

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/Clock.hpp"
#include "primitives/Bytes.hpp"
#include "support/Pty.hpp"

namespace kkt::test {

class ScriptedFs final : public Clock {
  public:
    explicit ScriptedFs(std::time_t wall = 1733400000);

    bool ok() const { return pty_.ok(); }
    const std::string& path() const { return pty_.slavePath(); }

    // The next request gets these bytes, written in one piece (noise, short frames included).
    void answerRaw(Bytes bytes);
    // The next request gets these pieces, one per sleep of the port.
    void answerInPieces(std::vector<Bytes> pieces);
    // The next request gets a well-formed frame with this answer code and data.
    void answer(std::uint8_t code, Bytes data = {});
    // The next request gets no answer at all.
    void silence();
    // Bytes written to the FS at once, outside any request (a late answer of an earlier one).
    bool inject(const Bytes& bytes);
    // Waits (up to a deadline) until the port's input queue holds at least n bytes.
    bool waitUntilQueued(std::size_t n);

    // Every complete request frame received, exact bytes, in order.
    const std::vector<Bytes>& requests() const { return requests_; }
    // Scripted answers not yet used.
    std::size_t pendingAnswers() const { return script_.size(); }
    // Reads what the port wrote and answers it; the clock calls this on every sleep.
    void service();

    static Bytes frame(std::uint8_t code, const Bytes& data);

    // Clock
    std::time_t now() override { return wall_; }
    Monotonic monotonic() override { return Monotonic{std::chrono::milliseconds(monoMs_)}; }
    void sleepFor(std::chrono::milliseconds d) override;
    void setWall(std::time_t t) { wall_ = t; }
    long long elapsedMs() const { return monoMs_; }

  private:
    void parseRequests();

    Pty pty_;
    std::time_t wall_;
    long long monoMs_ = 0;
    // While an answer is on its way through the pseudo-terminal, sleeps do not advance time.
    int graceSleeps_ = 0;
    Bytes received_;
    std::vector<Bytes> requests_;
    std::deque<std::vector<Bytes>> script_;
    std::deque<Bytes> sending_;
};

}  // namespace kkt::test
