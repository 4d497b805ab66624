#include "registration/FrSettings.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempDir.hpp"

namespace kkt {
namespace {

TEST(FrSettingsTest, MissingFileReadsZeroAndWriteCreatesIt) {
    test::TempDir dir;
    const auto path = dir.file("FR_SETTINGS");
    FrSettings s(path);
    EXPECT_EQ(s.roundingMode(), 0);
    EXPECT_EQ(s.value(1), Bytes{0});
    EXPECT_TRUE(s.value(2).empty());

    const Bytes one{1, 9};
    EXPECT_EQ(s.write(1, one), FrSettings::Write::Done);
    EXPECT_EQ(s.roundingMode(), 1);
    EXPECT_EQ(FrSettings(path).roundingMode(), 1);

    EXPECT_EQ(s.write(2, one), FrSettings::Write::Refused);
    EXPECT_EQ(s.write(1, {}), FrSettings::Write::Refused);
    EXPECT_EQ(s.roundingMode(), 1);
}

TEST(FrSettingsTest, WriteKeepsTheRestOfTheFileAndFailureChangesNothing) {
    test::TempDir dir;
    const auto path = dir.file("FR_SETTINGS");
    {
        std::ofstream out(path, std::ios::binary);
        out << "\x01rest";
    }
    FrSettings s(path);
    EXPECT_EQ(s.roundingMode(), 1);
    const Bytes zero{0};
    ASSERT_EQ(s.write(1, zero), FrSettings::Write::Done);
    std::ifstream in(path, std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(all, std::string("\0rest", 5));

    FrSettings nowhere(dir.file("no/such/dir"));
    const Bytes one{1};
    EXPECT_EQ(nowhere.write(1, one), FrSettings::Write::SaveFailed);
    EXPECT_EQ(nowhere.roundingMode(), 0);
}

}  // namespace
}  // namespace kkt
