#pragma once
// A Linux console bitmap font (PSF version 1 or 2, gzipped as Debian ships them), looked up by
// Unicode code point through the font's own Unicode table.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kkt::sim {

inline constexpr const char* kDefaultFontPath = "/usr/share/consolefonts/FullCyrSlav-VGA16.psf.gz";

class PsfFont {
  public:
    // Loads a .psf or .psf.gz file; nullopt with `error` set when it is not a usable font.
    static std::optional<PsfFont> load(const std::filesystem::path& path, std::string& error);

    int width() const { return width_; }
    int height() const { return height_; }
    bool has(char32_t cp) const { return index_.count(cp) != 0; }
    // Whether the dot at (x, y) of the glyph of `cp` is set; a code point the font lacks is
    // shown as the glyph of '?'.
    bool dot(char32_t cp, int x, int y) const;

  private:
    int width_ = 0;
    int height_ = 0;
    int bytesPerRow_ = 0;
    int glyphBytes_ = 0;
    std::vector<std::uint8_t> glyphs_;
    std::unordered_map<char32_t, std::uint32_t> index_;
};

}  // namespace kkt::sim
