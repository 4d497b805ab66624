#include "PsfFont.hpp"

#include <zlib.h>

#include "primitives/Bytes.hpp"
#include "primitives/Cp866.hpp"

namespace kkt::sim {

namespace {

constexpr std::uint8_t kPsf1Magic[] = {0x36, 0x04};
constexpr std::uint32_t kPsf2Magic = 0x864AB572;
constexpr std::uint8_t kPsf1Mode512 = 0x01;
constexpr std::uint8_t kPsf1ModeTable = 0x06;
constexpr std::uint32_t kPsf2HasTable = 0x01;
constexpr std::size_t kMaxFontFile = 4 << 20;

// gzread reads plain files too, so one path serves .psf and .psf.gz.
bool readFile(const std::filesystem::path& path, Bytes& out, std::string& error) {
    gzFile f = gzopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = "cannot open font " + path.string();
        return false;
    }
    std::uint8_t buf[8192];
    int n = 0;
    while ((n = gzread(f, buf, sizeof buf)) > 0) {
        out.insert(out.end(), buf, buf + n);
        if (out.size() > kMaxFontFile)
            break;
    }
    gzclose(f);
    if (n < 0 || out.size() > kMaxFontFile) {
        error = "cannot read font " + path.string();
        return false;
    }
    return true;
}

}  // namespace

std::optional<PsfFont> PsfFont::load(const std::filesystem::path& path, std::string& error) {
    Bytes file;
    if (!readFile(path, file, error))
        return std::nullopt;
    PsfFont font;
    std::uint32_t count = 0;
    std::size_t glyphStart = 0;
    bool hasTable = false;
    bool utf8Table = false;
    if (file.size() >= 4 && file[0] == kPsf1Magic[0] && file[1] == kPsf1Magic[1]) {
        count = (file[2] & kPsf1Mode512) ? 512 : 256;
        hasTable = (file[2] & kPsf1ModeTable) != 0;
        font.width_ = 8;
        font.height_ = file[3];
        font.bytesPerRow_ = 1;
        font.glyphBytes_ = file[3];
        glyphStart = 4;
    } else if (file.size() >= 32 && le::load32(file.data()) == kPsf2Magic) {
        const std::uint32_t headerSize = le::load32(&file[8]);
        hasTable = (le::load32(&file[12]) & kPsf2HasTable) != 0;
        count = le::load32(&file[16]);
        const std::uint32_t glyphBytes = le::load32(&file[20]);
        font.height_ = static_cast<int>(le::load32(&file[24]));
        font.width_ = static_cast<int>(le::load32(&file[28]));
        if (font.width_ <= 0 || font.width_ > 64 || font.height_ <= 0 || font.height_ > 64 ||
            count == 0 || count > 65536 || headerSize < 32) {
            error = "unsupported font geometry in " + path.string();
            return std::nullopt;
        }
        font.bytesPerRow_ = (font.width_ + 7) / 8;
        font.glyphBytes_ = static_cast<int>(glyphBytes);
        if (font.glyphBytes_ < font.bytesPerRow_ * font.height_) {
            error = "inconsistent glyph size in " + path.string();
            return std::nullopt;
        }
        glyphStart = headerSize;
        utf8Table = true;
    } else {
        error = path.string() + " is not a PSF font";
        return std::nullopt;
    }
    if (font.height_ == 0) {
        error = "font " + path.string() + " has glyphs of height 0";
        return std::nullopt;
    }
    const std::size_t glyphsSize = std::size_t{count} * font.glyphBytes_;
    if (file.size() < glyphStart + glyphsSize) {
        error = "font " + path.string() + " is shorter than its glyphs";
        return std::nullopt;
    }
    font.glyphs_.assign(file.begin() + static_cast<std::ptrdiff_t>(glyphStart),
                        file.begin() + static_cast<std::ptrdiff_t>(glyphStart + glyphsSize));

    if (!hasTable) {
        for (std::uint32_t i = 0; i < count && i < 256; ++i)
            font.index_.emplace(i, i);
        return font;
    }
    // Each glyph's entry lists the code points it shows, then (after a sequence mark)
    // combining sequences, up to the terminator. Only single code points are used here.
    std::size_t pos = glyphStart + glyphsSize;
    for (std::uint32_t glyph = 0; glyph < count && pos < file.size(); ++glyph) {
        bool inSequence = false;
        if (!utf8Table) {
            while (pos + 1 < file.size()) {
                const std::uint16_t v = le::load16(&file[pos]);
                pos += 2;
                if (v == 0xFFFF)
                    break;
                if (v == 0xFFFE)
                    inSequence = true;
                if (!inSequence)
                    font.index_.emplace(v, glyph);
            }
        } else {
            std::size_t end = pos;
            while (end < file.size() && file[end] != 0xFF)
                ++end;
            std::string_view entry(reinterpret_cast<const char*>(&file[pos]), end - pos);
            for (std::size_t i = 0; i < entry.size();) {
                if (static_cast<std::uint8_t>(entry[i]) == 0xFE) {
                    break;  // sequences follow
                }
                const char32_t cp = cp866::decodeUtf8(entry, i);
                if (cp != 0xFFFFFFFF)
                    font.index_.emplace(cp, glyph);
            }
            pos = end + 1;
        }
    }
    return font;
}

bool PsfFont::dot(char32_t cp, int x, int y) const {
    auto it = index_.find(cp);
    if (it == index_.end())
        it = index_.find(U'?');
    if (it == index_.end() || x < 0 || y < 0 || x >= width_ || y >= height_)
        return false;
    const std::size_t offset = std::size_t{it->second} * glyphBytes_ + y * bytesPerRow_ + x / 8;
    return (glyphs_[offset] >> (7 - x % 8)) & 1;
}

}  // namespace kkt::sim
