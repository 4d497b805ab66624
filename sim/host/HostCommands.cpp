#include "host/HostCommands.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>

#include "primitives/Cp866.hpp"

namespace kkt::sim {

namespace {

// Command codes of the service and link commands.
namespace code {
constexpr std::uint16_t kShiftState = 0x10;
constexpr std::uint16_t kExchangeStatus = 0x20;
constexpr std::uint16_t kFsStatus = 0x30;
constexpr std::uint16_t kFsNumber = 0x31;
constexpr std::uint16_t kFsLifetime = 0x32;
constexpr std::uint16_t kFsVersion = 0x33;
constexpr std::uint16_t kCashierRead = 257;
constexpr std::uint16_t kCashierWrite = 258;
constexpr std::uint16_t kTime = 259;
constexpr std::uint16_t kSetTime = 260;
constexpr std::uint16_t kModel = 305;
constexpr std::uint16_t kDevice = 306;
constexpr std::uint16_t kVersion = 307;
constexpr std::uint16_t kFactoryNumber = 319;
constexpr std::uint16_t kSettingRead = 320;
constexpr std::uint16_t kSettingWrite = 321;
constexpr std::uint16_t kCashStatus = 418;
constexpr std::uint16_t kCashIn = 419;
constexpr std::uint16_t kCashOut = 420;
constexpr std::uint16_t kPrinterStatus = 448;
constexpr std::uint16_t kPrinterSettingRead = 449;
constexpr std::uint16_t kPrinterSettingWrite = 450;
constexpr std::uint16_t kPrintText = 451;
constexpr std::uint16_t kPrintRaw = 452;
constexpr std::uint16_t kCut = 453;
constexpr std::uint16_t kPrintImage = 454;
constexpr std::uint16_t kPrintBarcode = 455;
constexpr std::uint16_t kPrintQr = 456;
}  // namespace code

// Flags byte of the image, barcode and QR commands; attribute byte of the text command.
constexpr std::uint8_t kFlagCentre = 0x01;
constexpr std::uint8_t kFlagRight = 0x02;
constexpr std::uint8_t kFlagCut = 0x10;
constexpr std::uint8_t kAttrBold = 0x01;
constexpr std::uint8_t kAttrInverse = 0x04;
constexpr std::uint8_t kAttrDouble = 0x08;

std::string cText(ByteView b) {
    std::string s = asString(b);
    const auto nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
    return s;
}

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

std::string localTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// The FS's 5-byte date-time: year - 2000, month, day, hour, minute.
std::string fsDateTime(ByteView b) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "20%02u-%02u-%02u %02u:%02u", b[0], b[1], b[2], b[3], b[4]);
    return buf;
}

std::string fsDate(ByteView b) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "20%02u-%02u-%02u", b[0], b[1], b[2]);
    return buf;
}

std::string kopecks(std::int64_t v) {
    const bool neg = v < 0;
    const std::uint64_t a = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s%llu.%02llu", neg ? "-" : "",
                  static_cast<unsigned long long>(a / 100),
                  static_cast<unsigned long long>(a % 100));
    return buf;
}

using Fields = std::vector<Field>;

Fields needSize(ByteView d, std::size_t n) {
    if (d.size() == n)
        return {};
    return {
        {"layout", "expected " + std::to_string(n) + " bytes, got " + std::to_string(d.size())}};
}

Fields decodeVersion(ByteView d) {
    return {{"version", asString(d)}};
}

Fields decodeModel(ByteView d) {
    if (d.size() < 66)
        return needSize(d, 66);
    return {{"marker1", std::to_string(le::load16(d.data()))},
            {"marker2", std::to_string(le::load32(d.data() + 2))},
            {"factory_number", cText(d.subspan(6, 20))},
            {"model", cp866::toUtf8(cText(d.subspan(26, 32)))},
            {"hardware_version", cText(d.subspan(58, 8))}};
}

Fields decodeDevice(ByteView d) {
    if (d.size() != 27)
        return needSize(d, 27);
    return {
        {"version", std::to_string(d[0]) + "." + std::to_string(d[1]) + "." + std::to_string(d[2])},
        {"letter", std::string(1, static_cast<char>(d[3]))},
        {"device_id", toHex(d.subspan(11, 16), '\0')}};
}

Fields decodeTime(ByteView d) {
    if (d.size() != 4)
        return needSize(d, 4);
    const std::uint32_t t = le::load32(d.data());
    return {{"epoch", std::to_string(t)}, {"local", localTime(static_cast<std::time_t>(t))}};
}

Fields decodeCashier(ByteView d) {
    auto c = kkt::sim::decodeCashier(d);
    if (!c)
        return needSize(d, kCashierRecordSize);
    return {{"number", std::to_string(c->number)},
            {"rights", hex32(c->rights)},
            {"password", std::to_string(c->password)},
            {"name", cp866::toUtf8(c->name)},
            {"login", cp866::toUtf8(c->login)},
            {"password_text", c->passwordText},
            {"inn", c->inn}};
}

Fields decodeCash(ByteView d) {
    if (d.size() != 48)
        return needSize(d, 48);
    auto i64 = [&](std::size_t o) { return static_cast<std::int64_t>(le::load64(d.data() + o)); };
    auto u16 = [&](std::size_t o) { return std::to_string(le::load16(d.data() + o)); };
    return {{"shift_cash_in_count", u16(0)},     {"shift_cash_in_sum", kopecks(i64(2))},
            {"shift_cash_out_count", u16(10)},   {"shift_cash_out_sum", kopecks(i64(12))},
            {"total_cash_in_count", u16(20)},    {"total_cash_in_sum", kopecks(i64(22))},
            {"total_cash_out_count", u16(30)},   {"total_cash_out_sum", kopecks(i64(32))},
            {"cash_in_drawer", kopecks(i64(40))}};
}

Fields decodeFsStatus(ByteView d) {
    if (d.size() != 30)
        return needSize(d, 30);
    return {{"phase", std::to_string(d[0])},
            {"current_document", std::to_string(d[1])},
            {"document_data_received", d[2] == 1 ? "yes" : "no"},
            {"shift_open", d[3] == 1 ? "yes" : "no"},
            {"warnings", hex32(d[4])},
            {"last_document_time", fsDateTime(d.subspan(5, 5))},
            {"fs_number", cText(d.subspan(10, 16))},
            {"last_document_number", std::to_string(le::load32(d.data() + 26))}};
}

Fields decodeFsNumber(ByteView d) {
    return {{"fs_number", cText(d)}};
}

Fields decodeLifetime(ByteView d) {
    if (d.size() != 5)
        return needSize(d, 5);
    return {{"valid_until", fsDate(d.subspan(0, 3))},
            {"registrations_left", std::to_string(d[3])},
            {"registrations_done", std::to_string(d[4])}};
}

Fields decodeFsVersion(ByteView d) {
    if (d.size() != 17)
        return needSize(d, 17);
    return {{"version", cText(d.subspan(0, 16))}, {"flag", d[16] ? "1" : "0"}};
}

Fields decodeShiftState(ByteView d) {
    if (d.size() < 5)
        return needSize(d, 5);
    return {{"shift_open", d[0] ? "yes" : "no"},
            {"shift_number", std::to_string(le::load16(d.data() + 1))},
            {"last_receipt", std::to_string(le::load16(d.data() + 3))}};
}

Fields decodeExchange(ByteView d) {
    if (d.size() < 13)
        return needSize(d, 13);
    return {{"exchange_status", hex32(d[0])},
            {"message_being_read", d[1] ? "yes" : "no"},
            {"messages_waiting", std::to_string(le::load16(d.data() + 2))},
            {"first_unacknowledged", std::to_string(le::load32(d.data() + 4))},
            {"first_unacknowledged_time", fsDateTime(d.subspan(8, 5))}};
}

Fields decodeU8Setting(ByteView d) {
    if (d.size() == 1)
        return {{"value", std::to_string(d[0])}};
    if (d.size() == 4)
        return {{"value", std::to_string(le::load32(d.data()))}};
    return {};
}

bool noData(const CommandArgs& a, Bytes&, std::string& error) {
    if (!a.positional.empty()) {
        error = "takes no arguments";
        return false;
    }
    return true;
}

bool oneArg(const CommandArgs& a, std::string& error, const char* what) {
    if (a.positional.size() == 1)
        return true;
    error = std::string("needs exactly one argument: ") + what;
    return false;
}

bool numberArg(const std::string& text, std::uint64_t max, std::uint64_t& out, std::string& error,
               const char* what) {
    auto v = parseNumber(text, max);
    if (!v) {
        error = std::string("bad ") + what + " '" + text + "' (a number up to " +
                std::to_string(max) + ")";
        return false;
    }
    out = *v;
    return true;
}

// Flags byte of the image, barcode and QR commands.
bool placementFlags(const CommandArgs& a, std::uint8_t& flags, std::string& error) {
    flags = 0;
    const auto align = a.get("--align", "left");
    if (align == "center" || align == "centre") {
        flags |= kFlagCentre;
    } else if (align == "right") {
        flags |= kFlagRight;
    } else if (align != "left") {
        error = "bad --align '" + align + "' (left, center or right)";
        return false;
    }
    if (a.has("--cut"))
        flags |= kFlagCut;
    return true;
}

bool buildPrintText(const CommandArgs& a, Bytes& out, std::string& error) {
    std::uint64_t spacing = 0, size = 0;
    if (!numberArg(a.get("--spacing", "0"), 5, spacing, error, "--spacing"))
        return false;
    if (!numberArg(a.get("--size", "0"), 3, size, error, "--size"))
        return false;
    std::uint8_t align = 0;
    const auto al = a.get("--align", "left");
    if (al == "center" || al == "centre") {
        align = 1;
    } else if (al == "right") {
        align = 2;
    } else if (al != "left") {
        error = "bad --align '" + al + "' (left, center or right)";
        return false;
    }
    std::uint8_t attr = 0;
    if (a.has("--bold"))
        attr |= kAttrBold;
    if (a.has("--inverse"))
        attr |= kAttrInverse;
    if (a.has("--double"))
        attr |= kAttrDouble;
    if (a.has("--cut"))
        attr |= kFlagCut;
    std::string text;
    for (std::size_t i = 0; i < a.positional.size(); ++i) {
        if (i)
            text += '\n';
        text += a.positional[i];
    }
    ByteWriter w;
    w.u8(static_cast<std::uint8_t>(spacing)).u8(align).u8(static_cast<std::uint8_t>(size)).u8(attr);
    w.text(cp866::fromUtf8(text));
    out = w.take();
    return true;
}

bool buildQr(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "TEXT"))
        return false;
    std::uint8_t flags = 0;
    if (!placementFlags(a, flags, error))
        return false;
    out = ByteWriter().u8(flags).u8(0).text(a.positional[0]).take();
    return true;
}

struct BarcodeType {
    const char* name;
    std::uint8_t type;
};
constexpr BarcodeType kBarcodeTypes[] = {
    {"codabar", 1}, {"code39", 2}, {"itf", 3}, {"code128", 4}, {"pdf417", 10}};

bool buildBarcode(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "TEXT"))
        return false;
    const auto typeText = a.get("--type", "code128");
    std::optional<std::uint8_t> type;
    for (const auto& t : kBarcodeTypes) {
        if (typeText == t.name)
            type = t.type;
    }
    if (!type) {
        if (auto n = parseNumber(typeText, 255))
            type = static_cast<std::uint8_t>(*n);
    }
    if (!type) {
        error = "bad --type '" + typeText + "' (codabar, code39, itf, code128, pdf417 or a number)";
        return false;
    }
    std::uint8_t flags = 0;
    if (!placementFlags(a, flags, error))
        return false;
    out = ByteWriter().u8(*type).u8(flags).text(a.positional[0]).take();
    return true;
}

// Reads a PBM picture (P1 or P4) into the register's image format: rows padded to 32-bit words,
// most significant bit leftmost, 1 = black.
bool buildImage(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "FILE.pbm"))
        return false;
    std::ifstream in(a.positional[0], std::ios::binary);
    if (!in) {
        error = "cannot read " + a.positional[0];
        return false;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pos = 0;
    auto token = [&]() -> std::string {
        for (;;) {
            while (pos < content.size() && std::isspace(static_cast<unsigned char>(content[pos])))
                ++pos;
            if (pos < content.size() && content[pos] == '#') {
                while (pos < content.size() && content[pos] != '\n')
                    ++pos;
                continue;
            }
            break;
        }
        std::size_t start = pos;
        while (pos < content.size() && !std::isspace(static_cast<unsigned char>(content[pos])))
            ++pos;
        return content.substr(start, pos - start);
    };
    const auto magic = token();
    const auto w = parseNumber(token(), 0xFFFF);
    const auto h = parseNumber(token(), 0xFFFF);
    if ((magic != "P1" && magic != "P4") || !w || !h || *w == 0 || *h == 0) {
        error = a.positional[0] + " is not a PBM picture (P1 or P4) of at most 65535 x 65535";
        return false;
    }
    const std::size_t width = *w, height = *h;
    const std::size_t rowOut = (width + 31) / 32 * 4;
    Bytes bitmap(rowOut * height, 0);
    if (magic == "P4") {
        ++pos;  // the single blank after the height
        const std::size_t rowIn = (width + 7) / 8;
        if (content.size() < pos + rowIn * height) {
            error = a.positional[0] + " is shorter than its size says";
            return false;
        }
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < rowIn; ++x) {
                bitmap[y * rowOut + x] = static_cast<std::uint8_t>(content[pos + y * rowIn + x]);
            }
        }
    } else {
        for (std::size_t i = 0; i < width * height; ++i) {
            while (pos < content.size() && content[pos] != '0' && content[pos] != '1')
                ++pos;
            if (pos >= content.size()) {
                error = a.positional[0] + " is shorter than its size says";
                return false;
            }
            if (content[pos++] == '1') {
                const std::size_t y = i / width, x = i % width;
                bitmap[y * rowOut + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    std::uint8_t flags = 0;
    if (!placementFlags(a, flags, error))
        return false;
    out = ByteWriter()
              .u16(static_cast<std::uint16_t>(width))
              .u16(static_cast<std::uint16_t>(height))
              .u8(flags)
              .bytes(bitmap)
              .take();
    return true;
}

bool buildSetTime(const CommandArgs& a, Bytes& out, std::string& error) {
    if (a.positional.size() > 1) {
        error = "takes one argument: now, seconds since the epoch or 'YYYY-MM-DD HH:MM:SS'";
        return false;
    }
    const std::string text = a.positional.empty() ? "now" : a.positional[0];
    std::time_t t = 0;
    if (text == "now") {
        t = std::time(nullptr);
    } else if (auto n = parseNumber(text, 0xFFFFFFFF)) {
        t = static_cast<std::time_t>(*n);
    } else {
        std::tm tm{};
        std::istringstream is(text);
        is >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
        if (is.fail()) {
            error = "bad time '" + text + "' (now, seconds or 'YYYY-MM-DD HH:MM:SS')";
            return false;
        }
        tm.tm_isdst = -1;
        t = std::mktime(&tm);
    }
    out = ByteWriter().u32(static_cast<std::uint32_t>(t)).take();
    return true;
}

bool buildCashierRead(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "CASHIER-NUMBER"))
        return false;
    std::uint64_t n = 0, mode = 0;
    if (!numberArg(a.positional[0], 255, n, error, "cashier number"))
        return false;
    if (!numberArg(a.get("--mode", "1"), 255, mode, error, "--mode"))
        return false;
    out = ByteWriter().u8(static_cast<std::uint8_t>(mode)).u8(static_cast<std::uint8_t>(n)).take();
    return true;
}

bool buildCashierWrite(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "CASHIER-NUMBER"))
        return false;
    std::uint64_t n = 0, mode = 0, rights = 0, password = 0;
    if (!numberArg(a.positional[0], 255, n, error, "cashier number"))
        return false;
    if (!numberArg(a.get("--mode", "1"), 255, mode, error, "--mode"))
        return false;
    if (!numberArg(a.get("--rights", "0"), 0xFFFFFFFF, rights, error, "--rights"))
        return false;
    if (!numberArg(a.get("--password", "0"), 0xFFFFFFFF, password, error, "--password"))
        return false;
    CashierRecord c;
    c.number = static_cast<std::uint8_t>(n);
    c.rights = static_cast<std::uint32_t>(rights);
    c.password = static_cast<std::uint32_t>(password);
    c.name = cp866::fromUtf8(a.get("--name"));
    c.login = cp866::fromUtf8(a.get("--login"));
    c.passwordText = a.get("--password-text", password ? std::to_string(password) : "");
    c.inn = a.get("--inn");
    if (c.name.size() > 255 || c.login.size() > 31 || c.passwordText.size() > 31 ||
        c.inn.size() > 12) {
        error = "too long: name at most 255 bytes, login and password text 31, INN 12";
        return false;
    }
    out = ByteWriter().u8(static_cast<std::uint8_t>(mode)).bytes(encodeCashier(c)).take();
    return true;
}

bool buildFactoryNumber(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "DIGITS"))
        return false;
    out = toBytes(a.positional[0]);  // sent as given: the core judges it
    return true;
}

bool buildSettingId(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "SETTING-ID"))
        return false;
    std::uint64_t id = 0;
    if (!numberArg(a.positional[0], 255, id, error, "setting id"))
        return false;
    out = {static_cast<std::uint8_t>(id)};
    return true;
}

// Register setting 1 and printer setting 1 are one byte, printer setting 2 four bytes.
bool buildSettingValue(const CommandArgs& a, Bytes& out, std::string& error, bool printer) {
    if (a.positional.size() != 2) {
        error = "needs two arguments: SETTING-ID VALUE";
        return false;
    }
    std::uint64_t id = 0, value = 0;
    if (!numberArg(a.positional[0], 255, id, error, "setting id"))
        return false;
    const bool wide = printer && id == 2;
    if (!numberArg(a.positional[1], wide ? 0xFFFFFFFF : 255, value, error, "value"))
        return false;
    ByteWriter w;
    w.u8(static_cast<std::uint8_t>(id));
    if (wide) {
        w.u32(static_cast<std::uint32_t>(value));
    } else {
        w.u8(static_cast<std::uint8_t>(value));
    }
    out = w.take();
    return true;
}

// Amount in roubles with up to two decimals ("150", "12.5", "0.01") into kopecks.
bool buildAmount(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "AMOUNT (roubles, e.g. 150.00)"))
        return false;
    const auto& t = a.positional[0];
    const auto dot = t.find('.');
    const std::string whole = t.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : t.substr(dot + 1);
    auto w = parseNumber(whole, 90000000000000000ULL);
    const bool fracOk =
        frac.size() <= 2 && frac.find_first_not_of("0123456789") == std::string::npos;
    if (!w || whole.rfind("0x", 0) == 0 || !fracOk) {
        error = "bad amount '" + t + "' (roubles with at most two decimals)";
        return false;
    }
    while (frac.size() < 2)
        frac += '0';
    const auto k = static_cast<std::int64_t>(*w * 100 + std::stoull(frac));
    out = ByteWriter().u64(static_cast<std::uint64_t>(k)).take();
    return true;
}

bool buildRaw(const CommandArgs& a, Bytes& out, std::string& error) {
    if (!oneArg(a, error, "HEX"))
        return false;
    auto b = parseHex(a.positional[0], error);
    if (!b)
        return false;
    out = std::move(*b);
    return true;
}

std::vector<NamedCommand> makeCatalogue() {
    using namespace code;
    const std::vector<std::string_view> placement{"--align"};
    const std::vector<std::string_view> cut{"--cut"};
    return {
        {"version", kVersion, "", "version text of the core", false, {}, {}, noData, decodeVersion},
        {"model",
         kModel,
         "",
         "factory record (model, factory number)",
         false,
         {},
         {},
         noData,
         decodeModel},
        {"device", kDevice, "", "version bytes and device id", false, {}, {}, noData, decodeDevice},
        {"time", kTime, "", "the register's clock", false, {}, {}, noData, decodeTime},
        {"set-time",
         kSetTime,
         "[now|SECONDS|'YYYY-MM-DD HH:MM:SS']",
         "set the register's clock",
         true,
         {},
         {},
         buildSetTime,
         decodeTime},
        {"cashier-read",
         kCashierRead,
         "NUMBER",
         "read a cashier record",
         true,
         {"--mode"},
         {},
         buildCashierRead,
         decodeCashier},
        {"cashier-write",
         kCashierWrite,
         "NUMBER",
         "write a cashier record",
         true,
         {"--mode", "--name", "--password", "--rights", "--login", "--password-text", "--inn"},
         {},
         buildCashierWrite,
         decodeCashier},
        {"factory-number",
         kFactoryNumber,
         "DIGITS",
         "write the factory record",
         true,
         {},
         {},
         buildFactoryNumber,
         {}},
        {"setting-read",
         kSettingRead,
         "ID",
         "read a register setting",
         true,
         {},
         {},
         buildSettingId,
         decodeU8Setting},
        {"setting-write",
         kSettingWrite,
         "ID VALUE",
         "write a register setting",
         true,
         {},
         {},
         [](const CommandArgs& a, Bytes& o, std::string& e) {
             return buildSettingValue(a, o, e, false);
         },
         {}},
        {"printer-setting-read",
         kPrinterSettingRead,
         "ID",
         "read a printer setting",
         true,
         {},
         {},
         buildSettingId,
         decodeU8Setting},
        {"printer-setting-write",
         kPrinterSettingWrite,
         "ID VALUE",
         "write a printer setting",
         true,
         {},
         {},
         [](const CommandArgs& a, Bytes& o, std::string& e) {
             return buildSettingValue(a, o, e, true);
         },
         {}},
        {"printer-status",
         kPrinterStatus,
         "",
         "printer status as the result code",
         false,
         {},
         {},
         noData,
         {}},
        {"print-text",
         kPrintText,
         "TEXT [TEXT...]",
         "print text (one line per argument)",
         false,
         {"--align", "--size", "--spacing"},
         {"--bold", "--inverse", "--double", "--cut"},
         buildPrintText,
         {}},
        {"print-raw",
         kPrintRaw,
         "HEX",
         "send raw bytes to the printer",
         false,
         {},
         {},
         buildRaw,
         {}},
        {"cut", kCut, "", "feed and cut the paper", false, {}, {}, noData, {}},
        {"print-image",
         kPrintImage,
         "FILE.pbm",
         "print a PBM picture",
         false,
         placement,
         cut,
         buildImage,
         {}},
        {"print-barcode",
         kPrintBarcode,
         "TEXT",
         "print a barcode",
         false,
         {"--align", "--type"},
         cut,
         buildBarcode,
         {}},
        {"print-qr", kPrintQr, "TEXT", "print a QR code", false, placement, cut, buildQr, {}},
        {"cash-status", kCashStatus, "", "the cash record", false, {}, {}, noData, decodeCash},
        {"cash-in",
         kCashIn,
         "AMOUNT",
         "cash-in (roubles) with printout",
         true,
         {},
         {},
         buildAmount,
         {}},
        {"cash-out",
         kCashOut,
         "AMOUNT",
         "cash-out (roubles) with printout",
         true,
         {},
         {},
         buildAmount,
         {}},
        {"fs-status",
         kFsStatus,
         "",
         "FS status (FS command 0x30)",
         false,
         {},
         {},
         noData,
         decodeFsStatus},
        {"fs-number", kFsNumber, "", "FS number (0x31)", false, {}, {}, noData, decodeFsNumber},
        {"fs-lifetime",
         kFsLifetime,
         "",
         "FS validity and registrations (0x32)",
         false,
         {},
         {},
         noData,
         decodeLifetime},
        {"fs-version",
         kFsVersion,
         "",
         "FS firmware version (0x33)",
         false,
         {},
         {},
         noData,
         decodeFsVersion},
        {"shift-state",
         kShiftState,
         "",
         "shift state from the FS (0x10)",
         false,
         {},
         {},
         noData,
         decodeShiftState},
        {"fs-exchange",
         kExchangeStatus,
         "",
         "exchange status with the OFD (0x20)",
         false,
         {},
         {},
         noData,
         decodeExchange},
    };
}

}  // namespace

std::string CommandArgs::get(const std::string& option, const std::string& fallback) const {
    auto it = options.find(option);
    return it == options.end() ? fallback : it->second;
}

const std::vector<NamedCommand>& namedCommands() {
    static const std::vector<NamedCommand> catalogue = makeCatalogue();
    return catalogue;
}

const NamedCommand* findCommand(std::string_view name) {
    for (const auto& c : namedCommands()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || v > max)
        return std::nullopt;
    return v;
}

std::optional<Operator> parseOperator(std::string_view text, std::string& error) {
    if (text == "service")
        return Operator{255, kServicePassword};
    const auto colon = text.find(':');
    const auto n = parseNumber(text.substr(0, colon), 255);
    const auto pw = colon == std::string_view::npos
                        ? std::nullopt
                        : parseNumber(text.substr(colon + 1), 0xFFFFFFFF);
    if (!n || !pw) {
        error =
            "bad operator '" + std::string(text) + "' (CASHIER:PASSWORD, e.g. 20:30, or 'service')";
        return std::nullopt;
    }
    return Operator{static_cast<std::uint8_t>(*n), static_cast<std::uint32_t>(*pw)};
}

std::optional<Bytes> parseHex(std::string_view text, std::string& error) {
    Bytes out;
    int high = -1;
    for (char ch : text) {
        if (ch == ' ' || ch == ':' || ch == '-' || ch == '\t')
            continue;
        int v = -1;
        if (ch >= '0' && ch <= '9')
            v = ch - '0';
        if (ch >= 'a' && ch <= 'f')
            v = ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F')
            v = ch - 'A' + 10;
        if (v < 0) {
            error = "bad hex data: '" + std::string(1, ch) + "' is not a hex digit";
            return std::nullopt;
        }
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) {
        error = "bad hex data: odd number of digits";
        return std::nullopt;
    }
    return out;
}

std::string toHex(ByteView bytes, char separator) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i && separator)
            s += separator;
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0xF];
    }
    return s;
}

Bytes withOperator(const Operator& op, ByteView data) {
    return ByteWriter().u8(op.number).u32(op.password).bytes(data).take();
}

Bytes encodeCashier(const CashierRecord& c) {
    auto padded = [](ByteWriter& w, const std::string& s, std::size_t n) {
        w.text(std::string_view(s).substr(0, n)).fill(n - std::min(n, s.size()), 0);
    };
    ByteWriter w(kCashierRecordSize);
    w.u8(c.number).u32(c.rights).u32(c.password).u32(0);
    padded(w, c.name, 256);
    padded(w, c.login, 32);
    padded(w, c.passwordText, 32);
    padded(w, c.inn, 12);
    return w.take();
}

std::optional<CashierRecord> decodeCashier(ByteView r) {
    if (r.size() != kCashierRecordSize)
        return std::nullopt;
    CashierRecord c;
    c.number = r[0];
    c.rights = le::load32(r.data() + 1);
    c.password = le::load32(r.data() + 5);
    c.name = cText(r.subspan(13, 256));
    c.login = cText(r.subspan(269, 32));
    c.passwordText = cText(r.subspan(301, 32));
    c.inn = cText(r.subspan(333, 12));
    return c;
}

}  // namespace kkt::sim
