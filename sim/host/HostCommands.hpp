#pragma once
// The named commands of kkt-host: for each, the command code, how its request data is built from
// the command line, and how its answer data reads. Layouts are the register's own (factory
// record, cashier record, cash record, FS status).

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

// The operator prefix of a command: cashier number and password.
struct Operator {
    std::uint8_t number = 0;
    std::uint32_t password = 0;
};

// Cashier 255 with this password is the service operator.
inline constexpr std::uint32_t kServicePassword = 0x5B1C0E47;

struct CommandArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // "--align" -> "center"; flags -> ""
    std::optional<Operator> op;

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::string get(const std::string& option, const std::string& fallback = {}) const;
};

struct Field {
    std::string name;
    std::string value;
};

struct NamedCommand {
    std::string_view name;
    std::uint16_t code;
    std::string_view usage;  // arguments, for the help text
    std::string_view summary;
    bool needsOperator;
    std::vector<std::string_view> options;  // the options it accepts ("--align", ...)
    std::vector<std::string_view> flags;    // the options without a value ("--cut", ...)
    // Builds the command data (after the operator prefix); false with a message on bad input.
    std::function<bool(const CommandArgs&, Bytes&, std::string&)> build;
    // Reads the answer data; empty when there is nothing to tell beyond the raw bytes.
    std::function<std::vector<Field>(ByteView)> decode;
};

[[nodiscard]] const std::vector<NamedCommand>& namedCommands();
[[nodiscard]] const NamedCommand* findCommand(std::string_view name);

// "N:PASSWORD" (decimal or 0x hex password) or "service".
[[nodiscard]] std::optional<Operator> parseOperator(std::string_view text, std::string& error);
// Hex digits, optionally separated by blanks, colons or dashes; an even number of digits.
[[nodiscard]] std::optional<Bytes> parseHex(std::string_view text, std::string& error);
// Unsigned number in decimal or with a 0x prefix, at most `max`.
[[nodiscard]] std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t max);
[[nodiscard]] std::string toHex(ByteView bytes, char separator = ' ');

// The 5-byte operator prefix followed by the command data.
[[nodiscard]] Bytes withOperator(const Operator& op, ByteView data);

// The 345-byte cashier record of the cashier file and of commands 257 and 258.
struct CashierRecord {
    std::uint8_t number = 0;
    std::uint32_t rights = 0;
    std::uint32_t password = 0;
    std::string name;  // CP866, at most 255 bytes
    std::string login;
    std::string passwordText;
    std::string inn;
};
inline constexpr std::size_t kCashierRecordSize = 345;
[[nodiscard]] Bytes encodeCashier(const CashierRecord& c);
[[nodiscard]] std::optional<CashierRecord> decodeCashier(ByteView record);

}  // namespace kkt::sim
