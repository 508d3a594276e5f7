// qvctl modbus poll: the program as the client of a Modbus device. Every program cycle
// (or every --every), the mapped device addresses are read into the program's inputs and
// the program's other mapped variables are written to the device. A lost device is said
// once and reconnected with a growing pause; meanwhile the inputs it feeds keep their
// value, or fall to zero with --on-loss zero.
#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include "runtime/platform/platform.h"
#include "supervisor/core/control.h"
#include "supervisor/modbus/modbus.h"
#include "supervisor/modbus/session.h"

namespace qv::modbus {

namespace {

constexpr uint32_t kFirstRetryMs = 100, kLastRetryMs = 5000;
constexpr uint32_t kMaxGroupBits = 2000, kMaxGroupWords = 120;

int fail(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n", message.c_str());
    return 1;
}

struct Device {
    std::string host;
    std::string port;
    int unit = -1;  // -1: the TCP default
};

// HOST:PORT[/UNIT]; an IPv6 host in brackets.
std::optional<Device> parseDevice(const std::string& text) {
    Device d;
    std::string rest = text;
    if (const std::size_t slash = rest.rfind('/'); slash != std::string::npos) {
        const std::string unit = rest.substr(slash + 1);
        if (unit.empty() || unit.size() > 3 || unit.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        d.unit = std::stoi(unit);
        if (d.unit > 255) return std::nullopt;
        rest.resize(slash);
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    d.host = rest.substr(0, colon);
    d.port = rest.substr(colon + 1);
    if (d.host.size() > 2 && d.host.front() == '[' && d.host.back() == ']') d.host = d.host.substr(1, d.host.size() - 2);
    if (d.port.empty() || d.port.size() > 5 || d.port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const int port = std::stoi(d.port);
    if (port < 1 || port > 65535) return std::nullopt;
    return d;
}

// Neighbouring entries of one table, read or written in one request.
struct Group {
    Table table;
    uint16_t address;
    uint32_t count;
    std::vector<std::size_t> bindings;  // indexes into the map
    bool refusedSaid = false;
};

std::vector<Group> groupsOf(const BoundMap& map, bool fromDevice) {
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < map.bindings.size(); ++k) {
        const bool input = std::string_view(map.bindings[k].variable.role) == "input";
        if (input == fromDevice) order.push_back(k);
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const MapEntry& x = map.bindings[a].entry;
        const MapEntry& y = map.bindings[b].entry;
        return x.table != y.table ? x.table < y.table : x.address < y.address;
    });
    std::vector<Group> groups;
    for (std::size_t k : order) {
        const MapEntry& e = map.bindings[k].entry;
        const uint32_t limit = isBitTable(e.table) ? kMaxGroupBits : kMaxGroupWords;
        if (!groups.empty()) {
            Group& g = groups.back();
            if (g.table == e.table && g.address + g.count == e.address && g.count + static_cast<uint32_t>(e.words) <= limit) {
                g.count += static_cast<uint32_t>(e.words);
                g.bindings.push_back(k);
                continue;
            }
        }
        groups.push_back(Group{e.table, e.address, static_cast<uint32_t>(e.words), {k}});
    }
    return groups;
}

// A failure that means the connection is gone, as against the device's refusal of one
// request (a Modbus exception).
bool connectionLost() { return !(errno > MODBUS_ENOBASE && errno < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX); }

class Poller {
public:
    Poller(const ModbusOptions& options, const Device& device, Follower& follower)
        : options_(options), device_(device), follower_(follower), name_(options.device) {}

    ~Poller() { disconnect(); }

    void run() {
        CycleClock clock;
        uint64_t generation = 0;
        for (;;) {
            follower_.look();
            std::shared_ptr<const Session> s = follower_.current();
            if (s == nullptr) {
                platform::sleepMilliseconds(50);
                continue;
            }
            if (s->generation != generation) {
                generation = s->generation;
                reads_ = groupsOf(s->map, true);
                writes_ = groupsOf(s->map, false);
                clock.reset();
            }
            if (options_.everyTicks) {
                platform::sleepMilliseconds(static_cast<uint32_t>(*options_.everyTicks / 10));
            } else if (!clock.next(s->target, 50)) {
                // The program stands still: the wiring goes on at a slower pace, so that a
                // stopped program finds its inputs up to date when it starts again.
                if (platform::tickMilliseconds() - lastExchangeMs_ < 100) continue;
            }
            exchange(*s);
        }
    }

private:
    bool connect() {
        const uint64_t now = platform::tickMilliseconds();
        if (now < nextTryMs_) return false;
        ctx_ = modbus_new_tcp_pi(device_.host.c_str(), device_.port.c_str());
        if (ctx_ != nullptr) {
            if (device_.unit >= 0) modbus_set_slave(ctx_, device_.unit);
            modbus_set_response_timeout(ctx_, 0, 500000);
        }
        if (ctx_ == nullptr || modbus_connect(ctx_) != 0) {
            const std::string why = std::strerror(errno);
            disconnect();
            if (!lostSaid_) {
                std::printf("modbus poll: cannot reach the device %s (%s); trying again\n", name_.c_str(), why.c_str());
                lostSaid_ = true;
            }
            nextTryMs_ = now + retryMs_;
            retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
            return false;
        }
        std::printf("modbus poll: connected to the device %s\n", name_.c_str());
        lostSaid_ = false;
        retryMs_ = kFirstRetryMs;
        return true;
    }

    void disconnect() {
        if (ctx_ == nullptr) return;
        modbus_close(ctx_);
        modbus_free(ctx_);
        ctx_ = nullptr;
    }

    void lose(const Session& s) {
        const std::string why = modbus_strerror(errno);
        disconnect();
        std::printf("modbus poll: lost the device %s (%s); reconnecting\n", name_.c_str(), why.c_str());
        lostSaid_ = true;
        nextTryMs_ = platform::tickMilliseconds() + retryMs_;
        if (options_.zeroOnLoss) {
            for (const Group& g : reads_)
                for (std::size_t k : g.bindings) {
                    const Binding& b = s.map.bindings[k];
                    if (!ctl::isForced(s.target, b.variable)) ctl::setValue(s.target, b.variable, ctl::Value{});
                }
        }
    }

    void refused(Group& g, const char* what) {
        if (g.refusedSaid) return;
        g.refusedSaid = true;
        std::printf("modbus poll: the device refuses to %s %s %u to %u (%s)\n", what, tableName(g.table), g.address,
                    g.address + g.count - 1, modbus_strerror(errno));
    }

    // One exchange: the device's values into the inputs, then the outputs to the device.
    void exchange(const Session& s) {
        lastExchangeMs_ = platform::tickMilliseconds();
        if (ctx_ == nullptr && !connect()) return;
        uint16_t words[kMaxGroupBits];
        uint8_t bits[kMaxGroupBits];
        for (Group& g : reads_) {
            int rc = -1;
            const int n = static_cast<int>(g.count);
            switch (g.table) {
                case Table::Coil: rc = modbus_read_bits(ctx_, g.address, n, bits); break;
                case Table::DiscreteInput: rc = modbus_read_input_bits(ctx_, g.address, n, bits); break;
                case Table::HoldingRegister: rc = modbus_read_registers(ctx_, g.address, n, words); break;
                default: rc = modbus_read_input_registers(ctx_, g.address, n, words); break;
            }
            if (rc < 0) {
                if (connectionLost()) return lose(s);
                refused(g, "give");
                continue;
            }
            g.refusedSaid = false;
            if (isBitTable(g.table))
                for (int k = 0; k < n; ++k) words[k] = bits[k] & 1;
            for (std::size_t k : g.bindings) {
                const Binding& b = s.map.bindings[k];
                std::string error;
                std::optional<ctl::Value> value = decodeValue(b, words + (b.entry.address - g.address), error);
                if (!value) {
                    if (saidBad_.insert({b.entry.name, error}).second)
                        std::printf("modbus poll: %s (the device's value is not written)\n", error.c_str());
                    continue;
                }
                if (!ctl::isForced(s.target, b.variable)) ctl::setValue(s.target, b.variable, *value);
            }
        }
        for (Group& g : writes_) {
            for (std::size_t k : g.bindings) {
                const Binding& b = s.map.bindings[k];
                encodeValue(s.target, b, words + (b.entry.address - g.address));
            }
            int rc = -1;
            const int n = static_cast<int>(g.count);
            if (g.table == Table::Coil) {
                for (int k = 0; k < n; ++k) bits[k] = static_cast<uint8_t>(words[k] & 1);
                rc = modbus_write_bits(ctx_, g.address, n, bits);
            } else {
                rc = modbus_write_registers(ctx_, g.address, n, words);
            }
            if (rc < 0) {
                if (connectionLost()) return lose(s);
                refused(g, "take");
                continue;
            }
            g.refusedSaid = false;
        }
    }

    const ModbusOptions& options_;
    Device device_;
    Follower& follower_;
    std::string name_;
    modbus_t* ctx_ = nullptr;
    std::vector<Group> reads_, writes_;
    bool lostSaid_ = false;
    uint32_t retryMs_ = kFirstRetryMs;
    uint64_t nextTryMs_ = 0;
    uint64_t lastExchangeMs_ = 0;
    std::set<std::pair<std::string, std::string>> saidBad_;
};

}  // namespace

int pollCommand(const ModbusOptions& options) {
    std::optional<Device> device = parseDevice(options.device);
    if (!device) {
        std::fprintf(stderr, "qvctl: --device takes HOST:PORT or HOST:PORT/UNIT, not \"%s\"\n(qvctl help modbus says how)\n",
                     options.device.c_str());
        return 2;
    }
    std::string error;
    std::optional<MapFile> file = readMapFile(options.mapPath, error);
    if (!file) return fail(error);
    // The file is the whole wiring: the default map describes this program, not the device.
    file->keepDefault = false;
    Follower follower({options.target, options.symbolsFile, &*file, options.wordOrder, "modbus poll"});
    if (!follower.start(error)) return fail(error);
    // What the program sends must land in a table a device lets a client write.
    if (std::shared_ptr<const Session> s = follower.current()) {
        for (const Binding& b : s->map.bindings) {
            if (std::string_view(b.variable.role) != "input" && !isWritableTable(b.entry.table))
                return fail("map file, line " + std::to_string(b.entry.line) + ": " + b.entry.name +
                            " is not an input of the program, so poll writes it to the device, which cannot take a " +
                            tableName(b.entry.table));
        }
    }
    std::printf("modbus poll: device %s, every %s\n", options.device.c_str(),
                options.everyTicks ? (std::to_string(*options.everyTicks / 10) + " ms").c_str() : "program cycle");
    Poller poller(options, *device, follower);
    poller.run();
    return 0;
}

}  // namespace qv::modbus
