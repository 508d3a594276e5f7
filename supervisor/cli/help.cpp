// qvctl help COMMAND: what one command does, its arguments and what it prints.
#include <cstdio>
#include <string_view>

#include "supervisor/cli/commands.h"
#include "supervisor/modbus/command.h"

namespace qv::ctl {

namespace {

struct CommandHelp {
    std::string_view command;
    std::string_view text;
};

constexpr CommandHelp kHelp[] = {
    {"status",
     "qvctl status\n"
     "  The image, the program in it, its execution status, process and signature, the last\n"
     "  cycle that ran, the measured cycle times, and why the program stands where it stands\n"
     "  (a breakpoint, the model's step result, a supervisor, the end of the program).\n"},
    {"run", "qvctl run\n  Run cycles continuously. Prints the status taken and the last cycle that ran.\n"},
    {"stop", "qvctl stop\n  Stop between two cycles. Prints the status taken and the last cycle that ran.\n"},
    {"step",
     "qvctl step [N]\n"
     "  Run N cycles (1) one at a time. Paused at a breakpoint, go on to the next breakpoint\n"
     "  call (the next step that becomes active) instead, or finish the cycle.\n"},
    {"end", "qvctl end\n  End the program and wait until it has left.\n"},
    {"get", "qvctl get VAR...\n  Print current values; execstatus is shown by its name (STOP).\n"},
    {"set",
     "qvctl set VAR VALUE\n"
     "  Write a current value: TRUE/FALSE, a whole number, a real, a character, a duration\n"
     "  such as 2.5s. The program sees it in its next cycle. execstatus takes FREE, STOP,\n"
     "  RUN, STEP, END, PAUSE (0 to 5) and simuperiod a period above 0 and below 2^32 us;\n"
     "  --raw writes any value into them on purpose, for testing a program's defences.\n"},
    {"force", "qvctl force VAR VALUE\n  Pin a variable to a value whatever the model writes.\n"},
    {"unforce", "qvctl unforce VAR...\n  Release forced variables; each keeps its value until the program writes it.\n"},
    {"trace",
     "qvctl trace add|remove VAR...     choose the traced variables\n"
     "qvctl trace on|off|reset|snapshot switch recording, restart the file, write every value\n"
     "qvctl trace list                  the traced variables and the trace file's path\n"
     "qvctl trace show [FILE]           the trace file with names, simulated time and cycles\n"
     "qvctl trace export --vcd|--csv [FILE] [-o OUT [--force]]\n"
     "                                  as a Value Change Dump for waveform viewers, or as CSV\n"
     "  Without FILE, the running program's own trace file (QV_TRACE_FILE in its environment,\n"
     "  else <program>.trc as it derives it from the path it was started with). -o writes a\n"
     "  new file (--force overwrites one), never through a symbolic link, never FILE itself.\n"},
    {"plot",
     "qvctl plot [FILE] [-o OUT.svg [--force]] [VAR...]\n"
     "  A timing diagram of the trace file as SVG: booleans as lanes, numbers as steps, pauses\n"
     "  shaded, time in seconds and cycles. Without VAR, every traced variable. Without -o,\n"
     "  the SVG goes to standard output; -o writes a new file (--force overwrites one).\n"},
    {"break",
     "qvctl break add|remove VAR           data breakpoint: stop when the boolean changes\n"
     "qvctl break add|remove STEP          pause when the step becomes active\n"
     "                                     (Verin_GX._X_21, or _X_21 in a one-model program)\n"
     "qvctl break add|remove INSTANCE N    the same, as Verin_GX 21\n"
     "qvctl break add|remove LOC INST      location breakpoint by numbers\n"
     "qvctl break list\n"
     "  At a step breakpoint, qvctl step goes on to the next step that becomes active.\n"},
    {"watch",
     "qvctl watch VAR... [--cycles N]\n"
     "  Print a line whenever a value changes, with the number of the cycle that changed it.\n"},
    {"vars",
     "qvctl vars [PATTERN] [--values] [--long]\n"
     "  The program's variables and the control variables: name, slot, type, role. PATTERN\n"
     "  keeps the names that contain it, or that match it with * and ?. --long adds each\n"
     "  variable's comment from the symbol description and marks the operator's inputs.\n"},
    {"list",
     "qvctl list\n"
     "  Every image on the machine: name, size, revision, program, process and whether it is\n"
     "  alive, status, last cycle. Other shared memory objects are marked as not images.\n"},
    {"remove", "qvctl remove\n  Delete the image (the program must have ended).\n"},
    {"plant", "qvctl plant [MODEL] [--travel S] [--vacuum S] [--cycles N] [--quiet]\n  Play the machine beside the program.\n"},
    {"demo", "qvctl demo [--program P] [--travel S] [--period MS]\n  Run one whole machine cycle with its plant and explain it.\n"},
    {"serve",
     "qvctl serve [--port N] [--listen ADDR] [--read-only] [--plant]\n"
     "  The operator panel in a browser, on http://127.0.0.1:8080/ unless told otherwise:\n"
     "  status and control, variables, trends, the machine drawn live, the 3D scene. Open\n"
     "  the address it prints (http://127.0.0.1:8080/#token=...): every request of the page,\n"
     "  reads included, needs that token. --read-only maps the image for reading only and\n"
     "  refuses every write; --plant plays the machine beside the program (not with\n"
     "  --read-only).\n"},
    {"help", "qvctl help [COMMAND]\n  The list of commands, or what one command does.\n"},
};

}  // namespace

int helpCommand(const Options& options) {
    const std::vector<std::string>& words = options.words;
    if (words.size() <= 1) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    if (words.size() > 2) return usage("help takes one command");
    if (words[1] == "modbus") {
        std::fputs(modbus::kModbusHelp, stdout);
        return kExitDone;
    }
    for (const CommandHelp& h : kHelp) {
        if (h.command != words[1]) continue;
        std::fwrite(h.text.data(), 1, h.text.size(), stdout);
        return kExitDone;
    }
    return usage("no command \"" + words[1] + "\"");
}

}  // namespace qv::ctl
