// qvctl: a command-line supervisor for the simulation programs.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "supervisor/cli/commands.h"

namespace {

using qv::ctl::Options;
using qv::ctl::usage;

bool parseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value);
    return !text.empty() && problem == std::errc() && at == end && std::isfinite(value);
}

// Reads the options, wherever they stand; the other words are the command and its
// arguments. Returns 0, or the exit status of a bad command line.
int parseOptions(int argc, char** argv, Options& options) {
    std::optional<std::string> name;
    for (int k = 1; k < argc; ++k) {
        std::string word = argv[k];
        // qvctl modbus reads its own options (supervisor/modbus/command.cpp).
        if (!options.words.empty() && options.words[0] == "modbus") {
            options.words.push_back(word);
            continue;
        }
        if (!word.starts_with("--") || word.size() == 2) {
            if (word == "-h") word = "--help";
            else if (word == "-q") word = "--quiet";
            else if (word == "-o") word = "--output";
            else {
                options.words.push_back(word);
                continue;
            }
        }
        std::string option = word, value;
        const bool flag = option == "--quiet" || option == "--help" || option == "--version" || option == "--raw" || option == "--values" || option == "--long" || option == "--force" ||
                          option == "--vcd" || option == "--csv" ||
                          option == "--read-only" || option == "--plant";
        if (!flag) {
            if (const std::size_t eq = option.find('='); eq != std::string::npos) {
                value = option.substr(eq + 1);
                option.resize(eq);
            } else if (k + 1 < argc) {
                value = argv[++k];
            } else {
                return usage(option + " needs a value");
            }
        }
        double number = 0.0;
        auto numeric = [&](double low, double high) {
            return parseNumber(value, number) && number >= low && number <= high;
        };
        if (option == "--help") options.help = true;
        else if (option == "--version") options.version = true;
        else if (option == "--quiet") options.quiet = true;
        else if (option == "--raw") options.raw = true;
        else if (option == "--force") options.force = true;
        else if (option == "--values") options.values = true;
        else if (option == "--long") options.longForm = true;
        else if (option == "--vcd" || option == "--csv") {
            if (!options.exportFormat.empty()) return usage("trace export takes one of --vcd and --csv");
            options.exportFormat = option.substr(2);
        } else if (option == "--output") {
            if (value.empty()) return usage("--output (-o) needs a file name");
            options.output = value;
        } else if (option == "--read-only") options.readOnly = true;
        else if (option == "--plant") options.servePlant = true;
        else if (option == "--listen") options.listen = value;
        else if (option == "--port") {
            if (!numeric(1, 65535) || number != std::floor(number)) return usage("--port takes a port number from 1 to 65535");
            options.port = static_cast<int>(number);
        }
        else if (option == "--name") name = value;
        else if (option == "--model") options.target.model = value;
        else if (option == "--program") options.program = value;
        else if (option == "--symbols") options.symbolsFile = value;
        else if (option == "--revision") {
            if (value != "1" && value != "2" && value != "3") return usage("--revision is 1, 2 or 3");
            options.target.revision = value[0] - '0';
        } else if (option == "--cycles") {
            if (!numeric(1, 2147483647) || number != std::floor(number)) return usage("--cycles takes a whole number of at least 1");
            options.cycles = static_cast<int32_t>(number);
        } else if (option == "--travel" || option == "--vacuum") {
            if (!numeric(0, 3600)) return usage(option + " takes seconds from 0 to 3600");
            (option == "--travel" ? options.travelSeconds : options.vacuumSeconds) = number;
        } else if (option == "--period") {
            if (!numeric(1, 10000)) return usage("--period takes milliseconds from 1 to 10000");
            options.periodMs = number;
        } else if (option == "--timeout") {
            if (!numeric(0, 3600)) return usage("--timeout takes seconds from 0 to 3600");
            options.timeoutMs = static_cast<int>(number * 1000.0);
        } else {
            return usage("unknown option " + option);
        }
    }
    if (!name) name = qv::platform::environmentVariable("QV_MEMORY_NAME");
    options.target.name = name.value_or(qv::kDefaultImageName);
    if (!qv::platform::sharedMemoryNameUsable(options.target.name))
        return usage("\"" + options.target.name + "\" cannot name an image");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Lines reach a pipe as they are printed: watch, plant and demo are read live.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options options;
    options.self = argc > 0 ? argv[0] : "qvctl";
    if (int bad = parseOptions(argc, argv, options)) return bad;
    return qv::ctl::runCommand(options);
}
