#pragma once
// CP866 to Unicode through iconv, independent of the register's own CP866 table, so that the
// paper shows what a CP866 printer prints whatever bytes the register sends.

#include <array>
#include <string>
#include <string_view>

namespace kkt::sim {

class Cp866Text {
  public:
    Cp866Text();

    // UTF-8 of CP866 text (every byte has a character).
    std::string toUtf8(std::string_view cp866) const;
    char32_t codePoint(unsigned char b) const { return table_[b]; }
    bool ok() const { return ok_; }

  private:
    std::array<char32_t, 256> table_{};
    bool ok_ = false;
};

}  // namespace kkt::sim
