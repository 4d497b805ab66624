#include "BoardSupport.hpp"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "board/ControlChannel.hpp"

namespace kkt::e2e {

namespace {

std::string makeTempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "kkt-e2e-XXXXXX").string();
    if (!::mkdtemp(t.data()))
        return {};
    return t;
}

}  // namespace

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

bool VirtualBoard::hasTool(const std::string& name) {
    return ::access((binDir() + "/" + name).c_str(), X_OK) == 0;
}

std::string VirtualBoard::readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

VirtualBoard::VirtualBoard(Options options) : dir_(makeTempDir() + "/state") {
    std::vector<std::string> argv{binDir() + "/kkt-board", "run", "--state", dir_.root(),
                                  "--fresh"};
    if (!options.fs)
        argv.push_back("--no-fs");
    if (!options.printer)
        argv.push_back("--no-printer");
    const std::string log = dir_.root() + ".board.log";
    if (!board_.start(argv, log, log, error_))
        return;
    started_ = waitReady();
    if (!started_)
        error_ = "the firmware did not answer in time; board log:\n" + readFile(log);
}

VirtualBoard::~VirtualBoard() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(dir_.root()).parent_path(), ec);
}

bool VirtualBoard::waitReady(std::chrono::milliseconds timeout) const {
    return waitFor(
               [&] {
                   // A board that died will never be ready.
                   if (board_.reap())
                       return true;
                   return ::access(dir_.ready().c_str(), F_OK) == 0;
               },
               timeout) &&
           ::access(dir_.ready().c_str(), F_OK) == 0;
}

std::unique_ptr<sim::HostClient> VirtualBoard::client() const {
    std::string error;
    auto c = sim::HostClient::open(dir_.hostLink(), error);
    if (c)
        c->setTimeout(30s);
    return c;
}

std::string VirtualBoard::ctl(const std::string& action) const {
    std::string reply;
    if (!sim::ControlChannel::request(dir_.controlSocket(), action, 20000, reply)) {
        return "error: " + reply;
    }
    return reply;
}

bool VirtualBoard::waitStatus(const std::string& text, std::chrono::milliseconds timeout) const {
    return waitFor([&] { return ctl("status").find(text) != std::string::npos; }, timeout);
}

int VirtualBoard::stop() {
    if (!board_.running())
        return -1;
    const auto st = board_.stop(20s);
    return st && WIFEXITED(*st) ? WEXITSTATUS(*st) : 128 + (st ? WTERMSIG(*st) : 0);
}

std::optional<sim::Operator> administrator(sim::HostClient& c) {
    const auto r =
        c.request(257, sim::withOperator(sim::Operator{255, sim::kServicePassword}, Bytes{1, 20}));
    if (!r.ok() || r.answer.code != 0)
        return std::nullopt;
    const auto rec = sim::decodeCashier(r.answer.data);
    if (!rec)
        return std::nullopt;
    return sim::Operator{20, rec->password};
}

}  // namespace kkt::e2e
