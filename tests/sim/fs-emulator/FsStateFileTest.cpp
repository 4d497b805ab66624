#include "fs-emulator/FsState.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FsEmulatorTestSupport.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::sim::test;

class FsStateFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("fsemu-state-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A state with something of everything in it.
    static FsState busyState() {
        FsEmulator e{FsEmulator::freshState("9999078900004321", {}, {26, 1, 1, 0, 0})};
        const std::pair<std::uint8_t, Bytes> steps[] = {
            {0xA2, {0, 4}},
            {0xA3, cat(dt(2026, 2, 1, 9, 0), regRecord())},
            {0x11, dt(2026, 2, 1, 10, 0)},
            {0x12, {}},
            {0x15, dt(2026, 2, 1, 10, 1)},
            {0x07, tlvs({Tlv().setVln(1031, 500)})},
            {0x16, closeData(dt(2026, 2, 1, 10, 1), 1, 500)},
            {0x15, dt(2026, 2, 1, 10, 2)},
            {0x07, tlvs({Tlv().setText(1008, "open receipt")})},
        };
        for (const auto& [code, data] : steps)
            EXPECT_EQ(e.handle(code, data).code, 0);
        return e.state();
    }

    std::filesystem::path dir;
};

TEST_F(FsStateFileTest, SavedStateLoadsBackEqualAndReplacesTheOldFileWhole) {
    const FsStateFile file((dir / "fs.state").string());
    const FsState state = busyState();
    std::string error;
    ASSERT_TRUE(file.save(FsEmulator::freshState("1", {}, {})));
    ASSERT_TRUE(file.save(state, &error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "fs.state.tmp"));
    const auto loaded = file.load(&error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(*loaded, state);
    EXPECT_EQ(loaded->open.type, FsDocType::Receipt) << "the open document survives too";
}

TEST_F(FsStateFileTest, DamagedTruncatedOrMissingFilesAreRefusedWithAReason) {
    const FsStateFile file((dir / "fs.state").string());
    std::string error;
    EXPECT_FALSE(file.load(&error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);

    const Bytes good = FsStateFile::encode(busyState());
    for (std::size_t cut : {std::size_t{0}, std::size_t{7}, good.size() / 2, good.size() - 1}) {
        EXPECT_FALSE(FsStateFile::decode(ByteView(good).first(cut))) << cut;
    }
    for (std::size_t at : {std::size_t{3}, good.size() / 3, good.size() - 2}) {
        Bytes bad = good;
        bad[at] ^= 0x10;
        EXPECT_FALSE(FsStateFile::decode(bad)) << at;
    }
    // Whole files with records the FS could not rely on.
    FsState noRegistration = busyState();
    noRegistration.registrations.clear();
    FsState shortRecord = busyState();
    shortRecord.documents[0].regRecord.resize(20);
    FsState gap = busyState();
    gap.documents.erase(gap.documents.begin() + 1);
    for (const FsState* bad : {&noRegistration, &shortRecord, &gap}) {
        EXPECT_FALSE(FsStateFile::decode(FsStateFile::encode(*bad)));
    }
    std::ofstream(dir / "fs.state", std::ios::binary) << "not a state";
    EXPECT_FALSE(file.load(&error));
    EXPECT_NE(error.find("damaged"), std::string::npos);

    const FsStateFile nowhere((dir / "missing-dir" / "fs.state").string());
    EXPECT_FALSE(nowhere.save(busyState(), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
}

}  // namespace
}  // namespace kkt::sim
