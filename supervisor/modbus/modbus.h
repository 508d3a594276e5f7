// qvctl modbus: the program's variables as a Modbus TCP server (serve), the map in force
// (map), and the program wired to a Modbus device as its client (poll).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "supervisor/core/target.h"
#include "supervisor/modbus/map.h"

namespace qv::modbus {

// A client address range of --allow: 16 bytes (IPv4 as ::ffff:a.b.c.d) and the bits that
// must match.
struct AllowedRange {
    std::array<uint8_t, 16> address{};
    int bits = 128;
};
std::optional<AllowedRange> parseAllowed(const std::string& text);
bool allowedBy(const std::vector<AllowedRange>& ranges, const std::array<uint8_t, 16>& peer);

struct ModbusOptions {
    ctl::TargetRequest target;
    std::string symbolsFile;
    std::string listen = "127.0.0.1";
    int port = 5020;
    std::string mapPath;                 // --map
    std::optional<int> unit;             // --unit: serve answers it (and 0 and 255); poll asks it
    bool readOnly = false;
    WordOrder wordOrder = WordOrder::Big;
    std::vector<AllowedRange> allow;
    std::string format = "csv";          // map
    std::string device;                  // poll: HOST:PORT[/UNIT]
    std::optional<int64_t> everyTicks;   // poll: --every, ticks of 100 us
    bool zeroOnLoss = false;             // poll: --on-loss zero
    int maxClients = 64;
};

// The three commands; each returns qvctl's exit status.
int serveCommand(const ModbusOptions& options);
int mapCommand(const ModbusOptions& options);
int pollCommand(const ModbusOptions& options);

}  // namespace qv::modbus
