#include "printer/PrinterSettings.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "printer/LayoutWord.hpp"
#include "printer/PrinterDriver.hpp"

namespace kkt {
namespace {

class PrinterSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kkt-printer-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ / "PRINTER_SETTINGS";
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        LayoutWord::setCurrentPaperWidth(60);
    }
    void writeFile(const Bytes& bytes) {
        std::ofstream f(path_, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    Bytes readFile() {
        std::ifstream f(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }

    std::filesystem::path dir_;
    std::filesystem::path path_;
};

TEST_F(PrinterSettingsTest, LoadKeepsDefaultsForWhatTheFileLacks) {
    const struct {
        const char* name;
        Bytes file;
        bool exists;
        std::uint8_t width;
        std::uint32_t extra;
    } cases[] = {
        {"no file", {}, false, 60, 0},
        {"empty file", {}, true, 60, 0},
        {"one byte", {80}, true, 80, 0},
        {"four bytes: extra incomplete", {72, 1, 2, 3}, true, 72, 0},
        {"five bytes", {48, 0x78, 0x56, 0x34, 0x12}, true, 48, 0x12345678},
        {"longer file", {90, 1, 0, 0, 0, 9, 9}, true, 90, 1},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path_);
        if (c.exists)
            writeFile(c.file);
        const PrinterSettings s(path_.string());
        EXPECT_EQ(s.paperWidth(), c.width) << c.name;
        EXPECT_EQ(s.extraValue(), c.extra) << c.name;
    }
}

TEST_F(PrinterSettingsTest, SetValueSaveAndReload) {
    PrinterSettings s(path_.string());
    static constexpr std::uint8_t kWidth[] = {80, 0xAA};
    static constexpr std::uint8_t kExtra[] = {1, 2, 3, 4, 5};
    static constexpr std::uint8_t kShort[] = {1, 2, 3};
    EXPECT_TRUE(s.setValue(PrinterSettings::kPaperWidthId, kWidth));
    EXPECT_EQ(LayoutWord::currentPaperWidth(), 80) << "applied to the layout at once";
    EXPECT_TRUE(LayoutWord().wide());
    EXPECT_TRUE(s.setValue(PrinterSettings::kExtraValueId, kExtra));
    EXPECT_FALSE(s.setValue(PrinterSettings::kExtraValueId, kShort));
    EXPECT_FALSE(s.setValue(3, kExtra));
    EXPECT_FALSE(s.setValue(PrinterSettings::kPaperWidthId, ByteView{}));
    EXPECT_EQ(s.extraValue(), 0x04030201u);

    EXPECT_EQ(s.value(1), Bytes{80});
    EXPECT_EQ(s.value(2), (Bytes{1, 2, 3, 4}));
    EXPECT_FALSE(s.value(0).has_value());

    ASSERT_TRUE(s.save());
    EXPECT_EQ(readFile(), (Bytes{80, 1, 2, 3, 4}));

    // An existing longer file is updated in place.
    writeFile({1, 1, 1, 1, 1, 7, 7});
    ASSERT_TRUE(s.save());
    EXPECT_EQ(readFile(), (Bytes{80, 1, 2, 3, 4, 7, 7}));

    LayoutWord::setCurrentPaperWidth(60);
    PrinterDriver driver("/nonexistent/ttyS0", path_.string());
    const PrinterSettings loaded = driver.loadSettings();
    EXPECT_EQ(loaded.paperWidth(), 80);
    EXPECT_EQ(loaded.extraValue(), 0x04030201u);
    EXPECT_EQ(LayoutWord::currentPaperWidth(), 60) << "loading alone does not apply";
    loaded.applyToLayout();
    EXPECT_EQ(LayoutWord::currentPaperWidth(), 80);

    EXPECT_FALSE(PrinterSettings((dir_ / "missing" / "x").string()).save());
}

}  // namespace
}  // namespace kkt
