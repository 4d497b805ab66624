// kkt-host: sends one host-protocol command to the register and prints the answer.
//   kkt-host --port PATH CODE [HEXDATA]      any command by its code
//   kkt-host --port PATH NAME [ARGS]         a named command (see --help)
// Exit status: 0 the answer's code is 0; 1 the register answered another code; 2 bad usage;
// 3 no (valid) answer: time-out, bad CRC or a port error.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "host/HostClient.hpp"
#include "host/HostCommands.hpp"
#include "host/ResultCodes.hpp"

namespace {

using namespace kkt;
using namespace kkt::sim;

constexpr int kExitOk = 0;
constexpr int kExitResult = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoAnswer = 3;

void usage(std::ostream& out) {
    out << "usage: kkt-host (--port PATH | --state DIR) [--timeout SECONDS] [--json]\n"
           "                [--op CASHIER:PASSWORD|service] [--no-id] COMMAND [ARGS] [OPTIONS]\n"
           "  COMMAND is a command code (decimal or 0x hex) followed by optional hex data,\n"
           "  'enq' (repeat the last answer), or one of:\n";
    for (const auto& c : namedCommands()) {
        std::string line = "    " + std::string(c.name);
        if (!c.usage.empty())
            line += " " + std::string(c.usage);
        for (auto o : c.options)
            line += " [" + std::string(o) + " X]";
        for (auto f : c.flags)
            line += " [" + std::string(f) + "]";
        if (c.needsOperator)
            line += "  (needs --op)";
        out << line << "\n        " << c.summary << "\n";
    }
    out << "  --state DIR takes the port from DIR/host (a virtual board's state directory).\n"
           "  --no-id sends the code alone (the link makes up the id; data is dropped).\n"
           "  Exit status: 0 result 0, 1 another result code, 2 bad usage, 3 no answer.\n";
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

int fail(int status, const std::string& message, bool json) {
    std::cerr << "kkt-host: " << message << "\n";
    if (json)
        std::cout << "{\"error\":" << jsonString(message) << "}\n";
    return status;
}

struct Options {
    std::string port;
    std::string state;
    int timeoutSeconds = 20;
    bool json = false;
    bool noId = false;
    std::string command;
    CommandArgs args;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> av(argv + 1, argv + argc);
    bool json = false;
    for (const auto& a : av)
        json = json || a == "--json";

    std::string error;
    const NamedCommand* named = nullptr;
    // Global options go anywhere; command options follow the command name, which decides
    // which of them take a value.
    for (std::size_t i = 0; i < av.size(); ++i) {
        const std::string& a = av[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= av.size()) {
                error = a + " needs a value";
                return false;
            }
            out = av[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            usage(std::cout);
            return kExitOk;
        } else if (a == "--port") {
            if (!value(o.port))
                return fail(kExitUsage, error, json);
        } else if (a == "--state") {
            if (!value(o.state))
                return fail(kExitUsage, error, json);
        } else if (a == "--timeout") {
            std::string t;
            if (!value(t))
                return fail(kExitUsage, error, json);
            auto n = parseNumber(t, 3600);
            if (!n || *n == 0) {
                return fail(kExitUsage, "bad --timeout '" + t + "' (1 to 3600 seconds)", json);
            }
            o.timeoutSeconds = static_cast<int>(*n);
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--no-id") {
            o.noId = true;
        } else if (a == "--op") {
            std::string t;
            if (!value(t))
                return fail(kExitUsage, error, json);
            o.args.op = parseOperator(t, error);
            if (!o.args.op)
                return fail(kExitUsage, error, json);
        } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
            auto listed = [&](const std::vector<std::string_view>& v) {
                return named && std::find(v.begin(), v.end(), a) != v.end();
            };
            if (listed(named ? named->flags : std::vector<std::string_view>{})) {
                o.args.options[a] = "";
            } else if (listed(named ? named->options : std::vector<std::string_view>{})) {
                std::string v;
                if (!value(v))
                    return fail(kExitUsage, error, json);
                o.args.options[a] = v;
            } else {
                return fail(kExitUsage,
                            "unknown option " + a + (o.command.empty() ? "" : " for " + o.command) +
                                " (see --help)",
                            json);
            }
        } else if (o.command.empty()) {
            o.command = a;
            named = findCommand(a);
        } else {
            o.args.positional.push_back(a);
        }
    }
    if (o.command.empty()) {
        usage(std::cerr);
        return kExitUsage;
    }

    // Build the request before touching the port, so bad input never sends anything.
    std::uint16_t code = 0;
    Bytes data;
    const bool isEnq = o.command == "enq";
    if (named) {
        code = named->code;
        if (named->needsOperator && !o.args.op) {
            return fail(kExitUsage, o.command + " needs the operator: --op CASHIER:PASSWORD", json);
        }
        if (!named->build(o.args, data, error))
            return fail(kExitUsage, o.command + ": " + error, json);
        if (named->needsOperator)
            data = withOperator(*o.args.op, data);
    } else if (!isEnq) {
        auto c = parseNumber(o.command, 0xFFFF);
        if (!c) {
            return fail(
                kExitUsage,
                "unknown command '" + o.command + "' (a name from --help or a code 0 to 65535)",
                json);
        }
        code = static_cast<std::uint16_t>(*c);
        if (o.args.positional.size() > 1)
            return fail(kExitUsage, "a code takes at most one HEXDATA argument", json);
        if (o.args.positional.size() == 1) {
            auto b = parseHex(o.args.positional[0], error);
            if (!b)
                return fail(kExitUsage, error, json);
            data = std::move(*b);
        }
        if (o.args.op)
            data = withOperator(*o.args.op, data);
    }

    if (o.port.empty() && !o.state.empty())
        o.port = o.state + "/host";
    if (o.port.empty())
        return fail(kExitUsage, "no port: give --port PATH or --state DIR", json);
    auto client = HostClient::open(o.port, error);
    if (!client)
        return fail(kExitNoAnswer, error, json);
    client->setTimeout(std::chrono::seconds(o.timeoutSeconds));

    const Reply r = isEnq    ? client->enq()
                    : o.noId ? client->requestWithoutId(code)
                             : client->request(code, data);
    if (!r.ok())
        return fail(kExitNoAnswer, r.error, json);

    const Answer& a = r.answer;
    std::vector<Field> fields;
    if (named && named->decode && a.code == result::kOk)
        fields = named->decode(a.data);
    if (o.json) {
        std::cout << "{\"command\":" << jsonString(o.command) << ",\"code\":" << a.code
                  << ",\"result\":" << jsonString(resultName(a.code)) << ",\"id\":" << a.id
                  << ",\"data\":" << jsonString(toHex(a.data, '\0')) << ",\"fields\":{";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i)
                std::cout << ",";
            std::cout << jsonString(fields[i].name) << ":" << jsonString(fields[i].value);
        }
        std::cout << "}}\n";
    } else {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08x", a.id);
        std::cout << "result: " << a.code << " (" << resultName(a.code) << ")\n"
                  << "id: " << id << "\n"
                  << "data (" << a.data.size() << " bytes):" << (a.data.empty() ? "" : " ")
                  << toHex(a.data) << "\n";
        for (const auto& f : fields)
            std::cout << f.name << ": " << f.value << "\n";
    }
    return a.code == result::kOk ? kExitOk : kExitResult;
}
