#pragma once
// The emulator served on a pseudo-terminal from a thread of the test, in a private directory.

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "fs-emulator/FsEmulatorServer.hpp"

namespace kkt::sim::test {

class EmulatorOnPty {
  public:
    explicit EmulatorOnPty(const std::string& name) {
        dir_ = std::filesystem::temp_directory_path() /
               ("fsemu-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        options.ptyLink = (dir_ / "ttyFS").string();
        options.statePath = (dir_ / "fs.state").string();
        options.tracePath = (dir_ / "trace.log").string();
        options.today = {26, 1, 10, 0, 0};
    }
    ~EmulatorOnPty() {
        stop();
        std::filesystem::remove_all(dir_);
    }

    // Opens the line and serves it from a thread; false (with a test failure) when it cannot.
    bool start(bool fresh) {
        options.fresh = fresh;
        std::string error;
        server_ = FsEmulatorServer::open(options, error);
        EXPECT_TRUE(server_) << error;
        if (!server_)
            return false;
        thread_ = std::thread([this] { server_->run(); });
        return true;
    }
    void stop() {
        if (!server_)
            return;
        server_->stop();
        thread_.join();
        last_ = server_->state();
        server_.reset();
    }

    FsFaultPlan& faults() { return server_->faults(); }
    const std::string& link() const { return options.ptyLink; }
    const std::filesystem::path& dir() const { return dir_; }
    // The state the emulator had when it was stopped.
    const FsState& lastState() const { return last_; }

    FsServerOptions options;

  private:
    std::filesystem::path dir_;
    std::unique_ptr<FsEmulatorServer> server_;
    std::thread thread_;
    FsState last_;
};

}  // namespace kkt::sim::test
