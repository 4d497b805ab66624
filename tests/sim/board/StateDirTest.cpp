#include "board/StateDir.hpp"

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kkt::sim {
namespace {

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class StateDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string t = (std::filesystem::temp_directory_path() / "kkt-statedir-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(t.data()));
        root_ = t;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    std::string root_;
};

TEST_F(StateDirTest, NewRegisterHasAnErasedEepromAndFreshWipesOnlyTheRegistersFiles) {
    StateDir d(root_ + "/reg/");
    EXPECT_EQ(d.root(), root_ + "/reg");
    std::string error;
    ASSERT_TRUE(d.prepare(false, error)) << error;
    EXPECT_EQ(slurp(d.eeprom()), std::string(StateDir::kEepromSize, '\xFF'));
    EXPECT_EQ(slurp(d.usbState()), "configured\n");

    std::ofstream(d.nv() + "/CASHIERS") << "x";
    std::ofstream(d.printerOut() + "/paper.txt") << "x";
    { std::fstream(d.eeprom(), std::ios::in | std::ios::out | std::ios::binary).put('\x01'); }
    ASSERT_TRUE(d.prepare(false, error)) << error;  // a restart keeps everything
    EXPECT_TRUE(std::filesystem::exists(d.nv() + "/CASHIERS"));
    EXPECT_EQ(slurp(d.eeprom())[0], '\x01');

    std::ofstream(root_ + "/reg/mine.txt") << "keep";
    ASSERT_TRUE(d.prepare(true, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(d.nv() + "/CASHIERS"));
    EXPECT_FALSE(std::filesystem::exists(d.printerOut() + "/paper.txt"));
    EXPECT_EQ(slurp(d.eeprom()), std::string(StateDir::kEepromSize, '\xFF'));
    EXPECT_EQ(slurp(root_ + "/reg/mine.txt"), "keep");

    // A damaged EEPROM file is not silently replaced.
    std::filesystem::resize_file(d.eeprom(), 100);
    EXPECT_FALSE(d.prepare(false, error));
    EXPECT_NE(error.find("--fresh"), std::string::npos);
}

TEST_F(StateDirTest, UsbStateIsRewrittenInPlaceAndOneBoardHoldsTheLock) {
    StateDir d(root_);
    std::string error;
    ASSERT_TRUE(d.prepare(false, error)) << error;
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(d.usbState().c_str(), &before), 0);
    ASSERT_TRUE(d.setUsbState(false, error));
    EXPECT_EQ(slurp(d.usbState()), "not attached\n");
    ASSERT_TRUE(d.setUsbState(true, error));
    EXPECT_EQ(slurp(d.usbState()), "configured\n");
    ASSERT_EQ(::stat(d.usbState().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // the view's bind mount follows the inode

    StateDir first(root_), second(root_);
    ASSERT_TRUE(first.lock(error)) << error;
    EXPECT_FALSE(second.lock(error));
    EXPECT_NE(error.find("another kkt-board"), std::string::npos);
}

}  // namespace
}  // namespace kkt::sim
