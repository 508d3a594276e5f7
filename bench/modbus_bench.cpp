// What qvctl modbus serve costs and how quickly it answers: reads of 100 holding registers
// per second on one connection and on eight, the latency from a program's output change to
// a client polling it, and the server's processor time with eight clients polling every
// 10 ms. Starts the Modbus test program on an image of its own and qvctl modbus serve
// beside it on a free 127.0.0.1 port, and ends both. Figures in docs/performance.md.
//   bench_modbus [SECONDS]   (each measurement runs that long, 5 by default)
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "supervisor/core/values.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kBin = QV_BUILD_BIN_DIR;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

pid_t start(const std::vector<std::string>& words, const std::string& image, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QV_MEMORY_NAME", image.c_str(), 1);
        ::setenv("QV_TRACE_FILE", ("/tmp/" + image + ".trc").c_str(), 1);
        std::FILE* out = std::freopen(log.c_str(), "w", stdout);
        if (out != nullptr) ::dup2(::fileno(stdout), 2);
        std::vector<char*> argv;
        for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    return pid;
}

int qvctl(const std::string& image, const std::string& words) {
    return std::system((kBin + "/qvctl --name " + image + " " + words + " >/dev/null 2>&1").c_str());
}

modbus_t* connect(int port) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    if (ctx == nullptr || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "bench_modbus: cannot connect to port %d\n", port);
        std::exit(1);
    }
    return ctx;
}

// Reads of 100 holding registers, back to back, on `connections` connections at once.
double readsPerSecond(int port, int connections, double seconds) {
    std::atomic<long> reads{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&] {
            modbus_t* ctx = connect(port);
            uint16_t words[100];
            const Clock::time_point start = Clock::now();
            long done = 0;
            while (secondsSince(start) < seconds)
                if (modbus_read_registers(ctx, 0, 100, words) == 100) ++done;
            reads += done;
            modbus_close(ctx);
            modbus_free(ctx);
        });
    }
    for (std::thread& t : threads) t.join();
    return static_cast<double>(reads.load()) / seconds;
}

// Processor seconds (user and system) of a process so far.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0.0;
    for (int k = 3; k <= 15 && fields >> field; ++k)
        if (k == 14 || k == 15) ticks += std::stod(field);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const std::string image = "qvbench_modbus_" + std::to_string(::getpid());
    const int port = freePort();
    const std::string map = "/tmp/" + image + ".csv";
    {
        // 100 holding registers on the first 100 integer slots, besides the default map.
        std::ofstream out(map);
        out << "name,table,address,type,words,word_order,writable\n";
        for (int k = 0; k < 100; ++k) out << "I" << k << ",holding_register," << k << ",DINT,1,,false\n";
    }
    const pid_t program = start({kBin + "/modbus_test_model"}, image, "/tmp/" + image + ".log");
    for (int k = 0; k < 200 && qvctl(image, "status") != 0; ++k) ::usleep(20000);
    qvctl(image, "set simuperiod 10000");  // a 10 ms cycle
    const pid_t server = start({kBin + "/qvctl", "--name", image, "modbus", "serve", "--port", std::to_string(port),
                                "--map", map},
                               image, "/tmp/" + image + ".serve.log");
    ::usleep(500000);
    qvctl(image, "run");

    std::printf("Modbus server, 100 holding registers a read, program cycle 10 ms, %.0f s each\n", seconds);
    std::printf("  1 connection:   %8.0f reads/s\n", readsPerSecond(port, 1, seconds));
    std::printf("  8 connections:  %8.0f reads/s in all\n", readsPerSecond(port, 8, seconds));

    // Latency: the output Ready follows the input Enable one cycle later; the time from the
    // change in the image (seen through a mapping of our own) to a client polling the
    // discrete input back to back seeing it.
    std::string error;
    std::optional<qv::ctl::Target> target = qv::ctl::openTarget({image, "", 0}, error);
    if (!target) {
        std::fprintf(stderr, "bench_modbus: %s\n", error.c_str());
        return 1;
    }
    const std::optional<qv::ctl::Variable> enable = qv::ctl::resolveVariable(*target, "Enable", error);
    const std::optional<qv::ctl::Variable> ready = qv::ctl::resolveVariable(*target, "Ready", error);
    std::vector<double> latencies;
    modbus_t* ctx = connect(port);
    for (int k = 0; k < 200; ++k) {
        const bool wanted = k % 2 == 0;
        qv::ctl::Value value;
        value.word = wanted ? 1 : 0;
        qv::ctl::setValue(*target, *enable, value);
        while ((qv::ctl::readValue(*target, *ready).word != 0) != wanted) std::this_thread::sleep_for(std::chrono::microseconds(20));
        const Clock::time_point changed = Clock::now();
        uint8_t bit = wanted ? 0 : 1;
        while (modbus_read_input_bits(ctx, 0, 1, &bit) == 1 && (bit != 0) != wanted) {
        }
        latencies.push_back(secondsSince(changed) * 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    modbus_close(ctx);
    modbus_free(ctx);
    std::sort(latencies.begin(), latencies.end());
    std::printf("  output change to a polling client: median %.2f ms, p99 %.2f ms (%zu changes)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100], latencies.size());

    // Processor time of the server with 8 clients reading 100 registers every 10 ms.
    std::atomic<bool> stop{false};
    std::vector<std::thread> pollers;
    for (int c = 0; c < 8; ++c) {
        pollers.emplace_back([&] {
            modbus_t* client = connect(port);
            uint16_t words[100];
            Clock::time_point next = Clock::now();
            while (!stop) {
                modbus_read_registers(client, 0, 100, words);
                next += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(next);
            }
            modbus_close(client);
            modbus_free(client);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpuBefore = cpuSeconds(server);
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = (cpuSeconds(server) - cpuBefore) / secondsSince(start);
    stop = true;
    for (std::thread& t : pollers) t.join();
    std::printf("  server processor time, 8 clients every 10 ms: %.1f %% of one core\n", cpu * 100.0);

    qvctl(image, "end");
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    ::waitpid(program, nullptr, 0);
    qvctl(image, "remove");
    std::remove(map.c_str());
    return 0;
}
