// qvctl modbus SUBCOMMAND [OPTIONS]: reads the options of the Modbus commands, and prints
// the map in force.
#include "supervisor/modbus/command.h"

#include <charconv>
#include <cstdio>

#include "runtime/platform/platform.h"
#include "supervisor/core/values.h"
#include "supervisor/modbus/binding.h"
#include "supervisor/modbus/modbus.h"

namespace qv::modbus {

const char* const kModbusHelp =
    "qvctl [--name IMAGE] modbus serve [--port N] [--listen ADDR] [--map FILE] [--unit ID]\n"
    "                                  [--read-only] [--word-order big|little] [--allow ADDR[/BITS]]\n"
    "  A Modbus TCP server on the program's variables, on 127.0.0.1 port 5020 unless told\n"
    "  otherwise. The default map: BOOL inputs are coils, other BOOLs discrete inputs;\n"
    "  numeric inputs are holding registers, other numbers input registers, in the order\n"
    "  of the symbols (DINT, DWORD, REAL, TIME in two registers, high word first unless\n"
    "  --word-order little). Located variables sit where soft-PLC users expect them:\n"
    "  %IX a.b discrete input 8a+b, %QX a.b coil 8a+b, %IW n input register n, %QW n\n"
    "  holding register n, %MW n holding register 1024+n, %MD n holding registers 2048+2n.\n"
    "  --map FILE (CSV or JSON) replaces entries of the default map or adds to it. Writes go\n"
    "  through the checks of qvctl set: an address outside the map or read-only answers\n"
    "  exception 2, a value out of range or a forced variable exception 3, --read-only\n"
    "  exception 1 to every write, a unit other than --unit (0 and 255 always answer)\n"
    "  exception 11. Modbus has no authentication: beyond 127.0.0.1, --allow limits the\n"
    "  clients (repeatable). Follows the image across a restart of the program.\n"
    "qvctl [--name IMAGE] modbus map [--map FILE] [--format csv|json] [--word-order ...]\n"
    "  Prints the map in force, in the map file's format, ready for an HMI's tag import:\n"
    "  name,table,address,type,words,word_order,writable (tables coil, discrete_input,\n"
    "  input_register, holding_register; addresses 0-based as on the wire).\n"
    "qvctl [--name IMAGE] modbus poll --device HOST:PORT[/UNIT] --map FILE [--every TIME]\n"
    "                                 [--on-loss keep|zero] [--word-order big|little]\n"
    "  The program as the client of a Modbus device: every program cycle (or every TIME,\n"
    "  such as 20ms), the device addresses that the map gives the program's inputs are read\n"
    "  into them, and the program's other mapped variables are written to the device. A\n"
    "  lost device is said once and reconnected with a growing pause (0.1 s to 5 s); its\n"
    "  inputs keep their last value, or read zero with --on-loss zero.\n"
    "  See docs/modbus.md.\n";

namespace {

int usage(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n(qvctl help modbus says how)\n", message.c_str());
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n", message.c_str());
    return 1;
}

bool wholeNumber(const std::string& text, int64_t low, int64_t high, int& out) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value);
    if (text.empty() || problem != std::errc() || at != end || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

// A duration as qvctl set reads a TIME ("10ms", "0.5s", "T#1s"), in ticks of 100 us.
std::optional<int64_t> duration(const std::string& text, std::string& error) {
    const ctl::Variable every{"--every", kAreaInt, 0, ctl::Kind::Time, "control"};
    std::optional<ctl::Value> value = ctl::parseValue(every, text, error);
    if (!value) return std::nullopt;
    return value->ticks;
}

}  // namespace

int modbusCommand(const std::vector<std::string>& words, ctl::TargetRequest target, const std::string& symbolsFile) {
    ModbusOptions options;
    options.target = std::move(target);
    options.symbolsFile = symbolsFile;
    if (words.size() < 2) return usage("modbus needs serve, map or poll");
    const std::string& command = words[1];
    if (command != "serve" && command != "map" && command != "poll")
        return usage("modbus takes serve, map or poll, not \"" + command + "\"");
    for (std::size_t k = 2; k < words.size(); ++k) {
        std::string option = words[k], value;
        if (option == "--help" || option == "-h") {
            std::fputs(kModbusHelp, stdout);
            return 0;
        }
        if (option == "--read-only") {
            if (command != "serve") return usage("--read-only belongs to modbus serve");
            options.readOnly = true;
            continue;
        }
        if (!option.starts_with("--")) return usage("modbus " + command + " takes options only, not \"" + option + "\"");
        if (const std::size_t eq = option.find('='); eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
        } else if (k + 1 < words.size()) {
            value = words[++k];
        } else {
            return usage(option + " needs a value");
        }
        auto only = [&](std::initializer_list<const char*> commands) {
            for (const char* c : commands)
                if (command == c) return true;
            return false;
        };
        if (option == "--name") {
            if (!platform::sharedMemoryNameUsable(value)) return usage("\"" + value + "\" cannot name an image");
            options.target.name = value;
        } else if (option == "--symbols") {
            options.symbolsFile = value;
        } else if (option == "--model") {
            options.target.model = value;
        } else if (option == "--map") {
            options.mapPath = value;
        } else if (option == "--word-order") {
            std::optional<WordOrder> order = wordOrderByName(value);
            if (!order) return usage("--word-order is big or little");
            options.wordOrder = *order;
        } else if (option == "--port" && only({"serve"})) {
            if (!wholeNumber(value, 1, 65535, options.port)) return usage("--port takes a port number from 1 to 65535");
        } else if (option == "--listen" && only({"serve"})) {
            options.listen = value;
        } else if (option == "--unit" && only({"serve"})) {
            int unit = 0;
            if (!wholeNumber(value, 1, 247, unit)) return usage("--unit takes a unit identifier from 1 to 247");
            options.unit = unit;
        } else if (option == "--allow" && only({"serve"})) {
            std::optional<AllowedRange> range = parseAllowed(value);
            if (!range) return usage("--allow takes an address with an optional prefix length, such as 192.168.1.0/24");
            options.allow.push_back(*range);
        } else if (option == "--format" && only({"map"})) {
            if (value != "csv" && value != "json") return usage("--format is csv or json");
            options.format = value;
        } else if (option == "--device" && only({"poll"})) {
            options.device = value;
        } else if (option == "--every" && only({"poll"})) {
            std::string error;
            options.everyTicks = duration(value, error);
            if (!options.everyTicks || *options.everyTicks < 10 || *options.everyTicks > 36000000)
                return usage("--every takes a duration from 1ms to 1h, such as 20ms or 0.5s");
        } else if (option == "--on-loss" && only({"poll"})) {
            if (value != "keep" && value != "zero") return usage("--on-loss is keep or zero");
            options.zeroOnLoss = value == "zero";
        } else {
            return usage("modbus " + command + " has no option " + option);
        }
    }
    if (command == "serve") return serveCommand(options);
    if (command == "map") return mapCommand(options);
    if (options.device.empty()) return usage("modbus poll needs --device HOST:PORT[/UNIT]");
    if (options.mapPath.empty()) return usage("modbus poll needs --map FILE");
    return pollCommand(options);
}

int mapCommand(const ModbusOptions& options) {
    std::optional<MapFile> file;
    std::string error;
    if (!options.mapPath.empty()) {
        file = readMapFile(options.mapPath, error);
        if (!file) return fail(error);
    }
    std::optional<ctl::Target> target = ctl::openTarget(options.target, error, options.symbolsFile);
    if (!target) return fail(error);
    std::optional<BoundMap> map = bindMap(*target, file ? &*file : nullptr, options.wordOrder, error);
    if (!map) return fail(error);
    const std::vector<MapEntry> entries = entriesOf(*map);
    const std::string text = options.format == "json" ? writeMapJson(entries) : writeMapCsv(entries);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace qv::modbus
