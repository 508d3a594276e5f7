// qvctl modbus serve: a Modbus TCP server on the program's image. libmodbus frames and
// answers the requests; this file decides what each request may read or write. Reads are
// answered from the tables as they stood between two program cycles, so that a value of
// several registers is never half of one cycle and half of the next; writes go through
// the core as qvctl set's do, all of a request or nothing.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <modbus/modbus.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "runtime/platform/platform.h"
#include "supervisor/core/control.h"
#include "supervisor/modbus/modbus.h"
#include "supervisor/modbus/session.h"

namespace qv::modbus {

namespace {

constexpr int kIdleLimitMs = 60000;    // a connection that asks nothing for this long is closed
constexpr int kSendTimeoutSeconds = 5;  // a client that does not read its answers is dropped
constexpr int kMaxReadBits = 2000, kMaxReadWords = 125, kMaxWriteBits = 1968, kMaxWriteWords = 123;

int fail(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n", message.c_str());
    return 1;
}

bool loopback(const std::string& address) {
    return address == "127.0.0.1" || address == "localhost" || address == "::1";
}

// The four tables as they stood between two cycles of the program, for one session.
class Tables {
public:
    // Reads every mapped variable from the image into fresh tables, then takes them. A
    // client's write that lands meanwhile makes it read again, so that the tables never
    // go back to a value from before the write.
    void refresh(const Session& session) {
        for (int attempt = 0;; ++attempt) {
            const uint64_t writesBefore = writes_.load();
            std::vector<uint16_t> fresh[kTableCount];
            for (int t = 0; t < kTableCount; ++t) fresh[t].assign(session.map.tableSize(static_cast<Table>(t)), 0);
            for (const Binding& b : session.map.bindings)
                encodeValue(session.target, b, fresh[static_cast<int>(b.entry.table)].data() + b.entry.address);
            std::lock_guard lock(mutex_);
            if (writes_.load() != writesBefore && attempt < 3) continue;
            for (int t = 0; t < kTableCount; ++t) words_[t].swap(fresh[t]);
            generation_ = session.generation;
            return;
        }
    }

    // Copies `count` words (or bits, one to a word) from `address`; false when the tables
    // are another session's (the caller refreshes them and asks again).
    bool copy(const Session& session, Table table, uint32_t address, uint32_t count, uint16_t* out) {
        std::lock_guard lock(mutex_);
        if (generation_ != session.generation) return false;
        const std::vector<uint16_t>& w = words_[static_cast<int>(table)];
        if (address + count > w.size()) return false;
        std::copy(w.begin() + address, w.begin() + address + count, out);
        return true;
    }

    // What a client wrote, as the image now holds it, until the next cycle's tables.
    void patch(const Session& session, const Binding& b, const uint16_t* words) {
        std::lock_guard lock(mutex_);
        ++writes_;
        if (generation_ != session.generation) return;
        std::vector<uint16_t>& w = words_[static_cast<int>(b.entry.table)];
        if (static_cast<std::size_t>(b.entry.address) + static_cast<std::size_t>(b.entry.words) > w.size()) return;
        std::copy(words, words + b.entry.words, w.begin() + b.entry.address);
    }

private:
    std::mutex mutex_;
    uint64_t generation_ = 0;
    std::atomic<uint64_t> writes_{0};  // writes patched in so far
    std::vector<uint16_t> words_[kTableCount];
};

uint16_t wordAt(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

class Server {
public:
    Server(const ModbusOptions& options, Follower& follower) : options_(options), follower_(follower) {}

    // Keeps the tables one cycle behind the program at most.
    void sample() {
        CycleClock clock;
        uint64_t generation = 0;
        for (;;) {
            std::shared_ptr<const Session> s = follower_.current();
            if (s == nullptr) {
                platform::sleepMilliseconds(20);
                continue;
            }
            if (s->generation != generation) {
                clock.reset();
                generation = s->generation;
            }
            if (clock.next(s->target, 10)) {
                tables_.refresh(*s);
                continue;
            }
            // No cycle for a while: a stopped program's values change only by writes.
            const ctl::ProgramState state = ctl::readState(s->target);
            if (!state.alive || (state.status != kStatusRun && state.status != kStatusStep)) tables_.refresh(*s);
        }
    }

    void follow() {
        for (;;) {
            follower_.look();
            platform::sleepMilliseconds(50);
        }
    }

    // Serves one client until it goes, misbehaves or idles too long.
    void serveClient(int fd) {
        modbus_t* ctx = modbus_new_tcp("127.0.0.1", options_.port);
        if (ctx == nullptr) {
            ::close(fd);
            return;
        }
        modbus_set_socket(ctx, fd);
        modbus_set_byte_timeout(ctx, 1, 0);
        std::vector<uint8_t> query(MODBUS_TCP_MAX_ADU_LENGTH);
        Mapping mapping;
        int idleMs = 0;
        for (;;) {
            pollfd ready{fd, POLLIN, 0};
            const int r = ::poll(&ready, 1, 1000);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) break;
            if (r == 0) {
                if ((idleMs += 1000) >= kIdleLimitMs) break;
                continue;
            }
            idleMs = 0;
            const int length = modbus_receive(ctx, query.data());
            if (length < 0) break;  // closed, cut mid-frame, or not a Modbus frame
            if (length == 0) continue;
            if (!answer(ctx, query.data(), length, mapping)) break;
        }
        if (mapping.tables != nullptr) modbus_mapping_free(mapping.tables);
        modbus_close(ctx);
        modbus_free(ctx);
    }

    std::atomic<int> clients{0};

private:
    struct Mapping {
        modbus_mapping_t* tables = nullptr;
        uint64_t generation = 0;
    };

    // libmodbus encodes an answer from a mapping: one per connection, sized to the map.
    modbus_mapping_t* mappingFor(const Session& s, Mapping& m) {
        if (m.tables != nullptr && m.generation == s.generation) return m.tables;
        if (m.tables != nullptr) modbus_mapping_free(m.tables);
        m.tables = modbus_mapping_new(static_cast<int>(s.map.tableSize(Table::Coil)),
                                      static_cast<int>(s.map.tableSize(Table::DiscreteInput)),
                                      static_cast<int>(s.map.tableSize(Table::HoldingRegister)),
                                      static_cast<int>(s.map.tableSize(Table::InputRegister)));
        m.generation = s.generation;
        return m.tables;
    }

    bool unitAnswered(uint8_t unit) const {
        return !options_.unit || unit == *options_.unit || unit == 0 || unit == 0xFF;
    }

    static bool refuse(modbus_t* ctx, const uint8_t* query, unsigned code) {
        return modbus_reply_exception(ctx, query, code) >= 0;
    }

    // Answers one request; false when the connection is to be closed.
    bool answer(modbus_t* ctx, const uint8_t* query, int length, Mapping& mapping) {
        const int h = modbus_get_header_length(ctx);
        if (length < h + 1) return false;
        if (!unitAnswered(query[h - 1])) return refuse(ctx, query, MODBUS_EXCEPTION_GATEWAY_TARGET);
        const int function = query[h];
        const bool read = function >= 1 && function <= 4;
        const bool write = function == 5 || function == 6 || function == 15 || function == 16;
        if (!read && !write) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        if (length < h + 5) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
        std::shared_ptr<const Session> s = follower_.current();
        if (s == nullptr) return refuse(ctx, query, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
        modbus_mapping_t* m = mappingFor(*s, mapping);
        if (m == nullptr) return refuse(ctx, query, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
        const uint32_t address = wordAt(query + h + 1);
        if (read) return answerRead(ctx, query, length, *s, m, function, address);
        if (options_.readOnly) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        return answerWrite(ctx, query, length, *s, m, function, address);
    }

    bool answerRead(modbus_t* ctx, const uint8_t* query, int length, const Session& s, modbus_mapping_t* m,
                    int function, uint32_t address) {
        static constexpr Table kTables[] = {Table::Coil, Table::DiscreteInput, Table::HoldingRegister,
                                            Table::InputRegister};
        const Table table = kTables[function - 1];
        const uint32_t count = wordAt(query + modbus_get_header_length(ctx) + 3);
        const uint32_t limit = isBitTable(table) ? kMaxReadBits : kMaxReadWords;
        if (count < 1 || count > limit) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
        for (uint32_t a = address; a < address + count; ++a)
            if (s.map.ownerOf(table, a) < 0) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        uint16_t words[kMaxReadBits];
        if (!tables_.copy(s, table, address, count, words)) {
            tables_.refresh(s);
            if (!tables_.copy(s, table, address, count, words))
                return refuse(ctx, query, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
        }
        for (uint32_t k = 0; k < count; ++k) {
            switch (table) {
                case Table::Coil: m->tab_bits[address + k] = static_cast<uint8_t>(words[k] & 1); break;
                case Table::DiscreteInput: m->tab_input_bits[address + k] = static_cast<uint8_t>(words[k] & 1); break;
                case Table::HoldingRegister: m->tab_registers[address + k] = words[k]; break;
                default: m->tab_input_registers[address + k] = words[k]; break;
            }
        }
        return modbus_reply(ctx, query, length, m) >= 0;
    }

    bool answerWrite(modbus_t* ctx, const uint8_t* query, int length, const Session& s, modbus_mapping_t* m,
                     int function, uint32_t address) {
        const int h = modbus_get_header_length(ctx);
        const Table table = function == 5 || function == 15 ? Table::Coil : Table::HoldingRegister;
        // The request's values, one per address (a bit as 0 or 1).
        std::vector<uint16_t> values;
        if (function == 5 || function == 6) {
            const uint16_t value = wordAt(query + h + 3);
            if (function == 5 && value != 0xFF00 && value != 0x0000)
                return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
            values.push_back(function == 5 ? (value == 0xFF00 ? 1 : 0) : value);
        } else {
            const uint32_t count = wordAt(query + h + 3);
            const uint32_t limit = function == 15 ? kMaxWriteBits : kMaxWriteWords;
            if (length < h + 6) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
            const uint32_t bytes = query[h + 5];
            const uint32_t wanted = function == 15 ? (count + 7) / 8 : 2 * count;
            if (count < 1 || count > limit || bytes != wanted || static_cast<uint32_t>(length) < h + 6 + bytes)
                return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
            const uint8_t* data = query + h + 6;
            for (uint32_t k = 0; k < count; ++k)
                values.push_back(function == 15 ? static_cast<uint16_t>((data[k / 8] >> (k % 8)) & 1) : wordAt(data + 2 * k));
        }
        const uint32_t end = address + static_cast<uint32_t>(values.size());
        // Every address mapped and writable, and every variable written whole.
        std::vector<int32_t> written;
        for (uint32_t a = address; a < end; ++a) {
            const int32_t owner = s.map.ownerOf(table, a);
            if (owner < 0) return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
            const Binding& b = s.map.bindings[static_cast<std::size_t>(owner)];
            if (!b.entry.writable || !carriesWrites(b) || b.entry.address < address ||
                static_cast<uint32_t>(b.entry.address) + static_cast<uint32_t>(b.entry.words) > end)
                return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
            if (written.empty() || written.back() != owner) written.push_back(owner);
        }
        // Each value checked as qvctl set checks it, and nothing forced, before any write.
        std::vector<ctl::Value> decoded;
        for (int32_t owner : written) {
            const Binding& b = s.map.bindings[static_cast<std::size_t>(owner)];
            std::string error;
            std::optional<ctl::Value> value = decodeValue(b, values.data() + (b.entry.address - address), error);
            if (!value || ctl::isForced(s.target, b.variable))
                return refuse(ctx, query, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
            decoded.push_back(*value);
        }
        {
            std::lock_guard lock(writeMutex_);
            for (std::size_t k = 0; k < written.size(); ++k) {
                const Binding& b = s.map.bindings[static_cast<std::size_t>(written[k])];
                ctl::setValue(s.target, b.variable, decoded[k]);
                // Every place of the variable reads the value written, until the next cycle.
                for (const Binding& place : s.map.bindings) {
                    if (place.variable.area != b.variable.area || place.variable.slot != b.variable.slot) continue;
                    uint16_t words[kMaxWriteWords];
                    encodeValue(s.target, place, words);
                    tables_.patch(s, place, words);
                }
            }
        }
        (void)m;
        return modbus_reply(ctx, query, length, m) >= 0;
    }

    const ModbusOptions& options_;
    Follower& follower_;
    Tables tables_;
    std::mutex writeMutex_;
};

// The listening socket, or -1 with `error` naming the address and port.
int listenOn(const std::string& address, int port, std::string& error) {
    const std::string host = address == "localhost" ? "127.0.0.1" : address;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        error = "cannot listen on " + address + ": not a numeric IPv4 or IPv6 address";
        return -1;
    }
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    int yes = 1;
    // Lets a restarted server take its port from connections still closing; a port that
    // another server listens on is still refused.
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
        const int problem = errno;
        error = "cannot listen on " + address + " port " + service + ": " + std::strerror(problem) +
                (problem == EACCES && port < 1024 ? " (ports below 1024 need privileges; try --port 5020)" : "");
        if (fd >= 0) ::close(fd);
        ::freeaddrinfo(found);
        return -1;
    }
    ::freeaddrinfo(found);
    return fd;
}

std::array<uint8_t, 16> peerAddress(const sockaddr_storage& peer) {
    std::array<uint8_t, 16> bytes{};
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        bytes[10] = bytes[11] = 0xFF;
        std::memcpy(bytes.data() + 12, &v4->sin_addr, 4);
    } else if (peer.ss_family == AF_INET6) {
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr, 16);
    }
    return bytes;
}

}  // namespace

std::optional<AllowedRange> parseAllowed(const std::string& text) {
    AllowedRange range;
    std::string address = text;
    int bits = -1;
    if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
        address = text.substr(0, slash);
        const std::string digits = text.substr(slash + 1);
        if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        bits = std::atoi(digits.c_str());
    }
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        if (bits > 32) return std::nullopt;
        range.address[10] = range.address[11] = 0xFF;
        std::memcpy(range.address.data() + 12, &v4, 4);
        range.bits = 96 + (bits < 0 ? 32 : bits);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        if (bits > 128) return std::nullopt;
        std::memcpy(range.address.data(), &v6, 16);
        range.bits = bits < 0 ? 128 : bits;
    } else {
        return std::nullopt;
    }
    return range;
}

bool allowedBy(const std::vector<AllowedRange>& ranges, const std::array<uint8_t, 16>& peer) {
    if (ranges.empty()) return true;
    for (const AllowedRange& r : ranges) {
        bool same = true;
        for (int bit = 0; bit < r.bits && same; ++bit) {
            const int byte = bit / 8, mask = 0x80 >> (bit % 8);
            same = (r.address[byte] & mask) == (peer[byte] & mask);
        }
        if (same) return true;
    }
    return false;
}

int serveCommand(const ModbusOptions& options) {
    std::optional<MapFile> file;
    if (!options.mapPath.empty()) {
        std::string error;
        file = readMapFile(options.mapPath, error);
        if (!file) return fail(error);
    }
    Follower follower({options.target, options.symbolsFile, file ? &*file : nullptr, options.wordOrder, "modbus serve"});
    std::string error;
    const int listener = listenOn(options.listen, options.port, error);
    if (listener < 0) return fail(error);
    if (!follower.start(error)) {
        ::close(listener);
        return fail(error);
    }
    std::printf("modbus serve: listening on %s port %d%s%s\n", options.listen.c_str(), options.port,
                options.unit ? (", unit " + std::to_string(*options.unit)).c_str() : "",
                options.readOnly ? ", read-only" : "");
    if (!loopback(options.listen))
        std::fprintf(stderr,
                     "qvctl: warning: Modbus has no authentication: every client that reaches %s port %d reads%s the "
                     "program%s\n",
                     options.listen.c_str(), options.port, options.readOnly ? "" : " and writes",
                     options.allow.empty() ? " (limit the clients with --allow ADDR[/BITS])" : "");
    Server server(options, follower);
    std::thread([&server] { server.follow(); }).detach();
    std::thread([&server] { server.sample(); }).detach();
    bool crowdSaid = false;
    for (;;) {
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            platform::sleepMilliseconds(50);  // out of descriptors: let connections close
            continue;
        }
        if (!allowedBy(options.allow, peerAddress(peer))) {
            ::close(fd);
            continue;
        }
        if (server.clients.load() >= options.maxClients) {
            if (!crowdSaid) std::printf("modbus serve: %d clients at once; refusing more\n", options.maxClients);
            crowdSaid = true;
            ::close(fd);
            continue;
        }
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        timeval sendLimit{kSendTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        ++server.clients;
        std::thread([&server, fd] {
            server.serveClient(fd);
            --server.clients;
        }).detach();
    }
}

}  // namespace qv::modbus
