#pragma once
// Helpers of the printer emulator tests: byte strings from hex, files, bounded waits, decoding of
// the printed codes with zbarimg, and an emulator served on a pseudo-terminal in a thread.

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "PrinterEmulator.hpp"
#include "PrinterServer.hpp"
#include "primitives/Bytes.hpp"
#include "support/TempDir.hpp"

namespace kkt::sim::test {

// "1B 40 0A" -> bytes; blanks are ignored.
inline Bytes hexBytes(std::string_view hex) {
    Bytes out;
    int high = -1;
    for (const char c : hex) {
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline Bytes cat(std::initializer_list<ByteView> parts) {
    Bytes out;
    for (auto p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Polls `condition` every few milliseconds until it holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Output of a shell command (stderr dropped).
inline std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr)
        return out;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    ::pclose(p);
    return out;
}

// What zbarimg reads from a picture, "QR-Code:..." and "CODE-128:..." lines.
inline std::string zbar(const std::string& png) {
    return run("zbarimg -q '" + png + "'");
}

inline std::size_t count(const std::string& haystack, std::string_view needle) {
    std::size_t n = 0;
    for (auto pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + 1)) {
        ++n;
    }
    return n;
}

// An emulator in a temporary folder, served on a pseudo-terminal by a thread of the test.
class ServedPrinter {
  public:
    explicit ServedPrinter(PaperWidth paper = PaperWidth::Mm58) {
        EmulatorOptions options;
        options.outDir = dir_.file("out");
        options.tracePath = dir_.file("trace.txt");
        options.paper = paper;
        emulator_ = PrinterEmulator::open(options, error_);
        if (!emulator_)
            return;
        server_ = std::make_unique<PrinterServer>(*emulator_);
        if (!server_->openControl(fifo(), error_) || !server_->openPty(link(), error_)) {
            server_.reset();
            return;
        }
        thread_ = std::thread([this] { served_ = server_->run(runError_); });
    }
    ~ServedPrinter() {
        if (thread_.joinable()) {
            server_->stop();
            thread_.join();
        }
    }

    bool ok() const { return server_ != nullptr; }
    const std::string& error() const { return error_; }
    std::string link() const { return dir_.file("ttyPRN"); }
    std::string fifo() const { return dir_.file("control"); }
    std::string out(const std::string& name) const { return dir_.file("out/" + name); }
    std::string trace() const { return dir_.file("trace.txt"); }
    PrinterEmulator& emulator() { return *emulator_; }
    PrinterConditions& conditions() { return emulator_->conditions(); }
    PrinterServer& server() { return *server_; }

  private:
    kkt::test::TempDir dir_;
    std::string error_;
    std::string runError_;
    bool served_ = false;
    std::unique_ptr<PrinterEmulator> emulator_;
    std::unique_ptr<PrinterServer> server_;
    std::thread thread_;
};

}  // namespace kkt::sim::test
