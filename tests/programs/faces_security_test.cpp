// What qvctl and its panel refuse and survive: images that another user could reach or
// that shrink while mapped, requests without the panel's token or from another user,
// connections that hold the panel's workers, a port already in use, a plant asked to
// play a program it does not recognise, and exports that would write through a link or
// over a file.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "supervisor/core/printable.h"
#include "tests/programs/qvctl_driver.h"
#include "tests/supervisor/laid_out_image.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qvtest::CtlResult;
using qvtest::LaidOutImage;
using qvtest::ProgramRun;
using qvtest::runQvctl;

constexpr int32_t kBistableCounts[4] = {40, 555, 17, 53};
constexpr int32_t kPressCounts[4] = {12, 600, 20, 60};  // no program qvctl knows

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The tests that need a second user run as root and take user 65534.
bool otherUserAvailable() { return geteuid() == 0 && fs::exists("/usr/bin/setpriv"); }

std::vector<std::string> asOtherUser(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return argv;
}

int runToEnd(const std::vector<std::string>& argv, const std::string& output = {}) {
    auto child = qv::platform::startProcess(argv, {}, output);
    if (!child) return -1;
    return qv::platform::waitProcess(*child, 20000).value_or(-1);
}

// ---- A small HTTP client of the test's own ------------------------------------------------

int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

int connectTo(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

struct Reply {
    int status = 0;
    std::string text;  // head and body
    bool has(const std::string& header) const { return contains(text, header); }
};

// Sends `request` and reads until the server closes, or until `enough` is in the reply.
Reply ask(int port, const std::string& request, const std::string& enough = {}) {
    Reply reply;
    const int s = connectTo(port);
    if (s < 0) return reply;
    send(s, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096];
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) {
        reply.text.append(buffer, static_cast<std::size_t>(n));
        if (!enough.empty() && contains(reply.text, enough)) break;
    }
    close(s);
    if (reply.text.starts_with("HTTP/1.1 ")) reply.status = std::atoi(reply.text.c_str() + 9);
    return reply;
}

std::string requestText(const std::string& method, const std::string& path, int port, const std::string& token,
                        const std::string& body = {}, const std::string& host = {}) {
    std::string text = method + " " + path + " HTTP/1.1\r\nHost: " +
                       (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) + "\r\nConnection: close\r\n";
    if (!token.empty()) text += "X-QV-Token: " + token + "\r\n";
    if (method == "POST")
        text += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n";
    return text + "\r\n" + body;
}

// The first event of the live updates, up to its blank line.
Reply firstEvent(int port, const std::string& token) {
    return ask(port, requestText("GET", "/api/events", port, token), "\n\n");
}

// The first event of a page that opens once the panel has said `text` (it looks for its
// image a moment after it starts).
Reply eventSaying(int port, const std::string& token, const std::string& text) {
    Reply event;
    qvtest::waitUntil([&] { return contains((event = firstEvent(port, token)).text, text); }, 10s);
    return event;
}

// qvctl serve on an image, until the test ends.
class Panel {
public:
    Panel(const std::string& image, std::vector<std::string> options = {}) : port_(freePort()) {
        output_ = qv::platform::temporaryDirectory() + "/" + qvtest::uniqueImageName("serve_out");
        std::vector<std::string> argv = {qvtest::programPath("qvctl"), "--name", image, "serve", "--port",
                                         std::to_string(port_)};
        argv.insert(argv.end(), options.begin(), options.end());
        child_ = qv::platform::startProcess(argv, {}, output_).value_or(qv::platform::ChildProcess{});
        qvtest::waitUntil([&] { return contains(printed(), "keep it to yourself") || !running(); }, 10s);
        const std::string text = printed();
        const std::size_t at = text.find("#token=");
        if (at != std::string::npos) token_ = text.substr(at + 7, text.find('\n', at) - at - 7);
    }
    ~Panel() {
        if (running()) qv::platform::killProcess(child_.pid);
        if (child_.pid > 0) qv::platform::waitProcess(child_, 2000);
        std::error_code ignored;
        fs::remove(output_, ignored);
    }
    bool running() const { return child_.pid > 0 && qv::platform::processAlive(child_.pid); }
    std::optional<int> wait() { return qv::platform::waitProcess(child_, 10000); }
    std::string printed() const { return qvtest::readFile(output_); }
    int port() const { return port_; }
    const std::string& token() const { return token_; }

private:
    int port_;
    std::string output_;
    std::string token_;
    qv::platform::ChildProcess child_;
};

// ---- Images another user could reach -------------------------------------------------------

TEST(FacesSecurity, ImagesThatAnotherUserCouldReachAreRefusedByQvctlAndThePanel) {
    const std::string user = std::to_string(geteuid());
    const std::string open = qvtest::uniqueImageName("open");
    qvtest::writeFile("/dev/shm/" + open, std::string(30000, '\0'));
    fs::permissions("/dev/shm/" + open, fs::perms(0666));
    EXPECT_CTL(runQvctl({"--name", open, "status"}), 1,
               "qvctl: image \"" + open + "\" belongs to user " + user + " with mode 0666; it is not used\n");
    {
        Panel panel(open);
        const std::string refusal = "belongs to user " + user + " with mode 0666; it is not used";
        const Reply event = eventSaying(panel.port(), panel.token(), refusal);
        EXPECT_TRUE(contains(event.text, refusal)) << event.text;
    }
    EXPECT_EQ(qvtest::readFile("/dev/shm/" + open), std::string(30000, '\0'));
    fs::remove("/dev/shm/" + open);

    const std::string linked = qvtest::uniqueImageName("link");
    const std::string target = qv::platform::temporaryDirectory() + "/" + linked + "_target";
    qvtest::writeFile(target, "precious\n");
    fs::create_symlink(target, "/dev/shm/" + linked);
    EXPECT_CTL(runQvctl({"--name", linked, "vars"}), 1,
               "qvctl: image \"" + linked + "\" is a symbolic link belonging to user " + user +
                   "; it is not followed\n");
    EXPECT_EQ(qvtest::readFile(target), "precious\n");
    fs::remove("/dev/shm/" + linked);
    fs::remove(target);

    if (!otherUserAvailable()) GTEST_SKIP() << "needs root and setpriv to lay down an image as user 65534";
    const std::string squatted = qvtest::uniqueImageName("squat");
    ASSERT_EQ(runToEnd(asOtherUser({"/bin/sh", "-c", "umask 077 && head -c 30000 /dev/zero > /dev/shm/" + squatted})), 0);
    EXPECT_CTL(runQvctl({"--name", squatted, "set", "B6", "TRUE"}), 1,
               "qvctl: image \"" + squatted + "\" belongs to user 65534 with mode 0600; it is not used\n");
    {
        Panel panel(squatted, {"--plant"});
        const std::string refusal = "belongs to user 65534 with mode 0600; it is not used";
        const Reply event = eventSaying(panel.port(), panel.token(), refusal);
        EXPECT_TRUE(contains(event.text, refusal)) << event.text;
    }
    EXPECT_EQ(qvtest::readFile("/dev/shm/" + squatted), std::string(30000, '\0'));
    fs::remove("/dev/shm/" + squatted);
}

// ---- The panel's token, headers and limits --------------------------------------------------

TEST(FacesSecurity, ThePanelAnswersOnlyWithItsTokenAndSaysSoInEveryResponse) {
    ProgramRun run("bistable_cylinder", "token");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    Panel panel(run.imageName());
    ASSERT_EQ(panel.token().size(), 32u) << panel.printed();
    EXPECT_TRUE(contains(panel.printed(), "open http://127.0.0.1:" + std::to_string(panel.port()) + "/#token=" +
                                              panel.token() + "\n"))
        << panel.printed();
    const int port = panel.port();

    // Reads and writes alike: no token, a wrong one, or the right one under another host name.
    const std::string wrong(32, '0');
    for (const std::string& request :
         {requestText("GET", "/api/events", port, ""), requestText("GET", "/api/events", port, wrong),
          requestText("GET", "/api/events", port, panel.token(), "", "rebound.example:" + std::to_string(port)),
          requestText("POST", "/api/run", port, ""), requestText("POST", "/api/run", port, wrong),
          requestText("POST", "/api/run", port, panel.token(), "", "rebound.example:" + std::to_string(port))}) {
        SCOPED_TRACE(request);
        const Reply reply = ask(port, request);
        EXPECT_EQ(reply.status, 403) << reply.text;
        EXPECT_FALSE(contains(reply.text, "bistable_cylinder")) << reply.text;
    }
    EXPECT_EQ(qv::ImageView::read(run.image().execstatus()), qv::kStatusStop);

    // Every response, the page's files and the refusals included, forbids framing and
    // sniffing and is not cached.
    for (const char* path : {"/", "/assets/panel.js", "/assets/none.js", "/api/events"}) {
        SCOPED_TRACE(path);
        const Reply reply = ask(port, requestText("GET", path, port, ""));
        EXPECT_TRUE(reply.has("Content-Security-Policy: ") && reply.has("frame-ancestors 'none'")) << reply.text;
        EXPECT_TRUE(reply.has("X-Content-Type-Options: nosniff")) << reply.text;
        EXPECT_TRUE(reply.has("Cache-Control: no-store")) << reply.text;
    }
    EXPECT_EQ(ask(port, requestText("GET", "/", port, "")).status, 200);

    // With the token the page reads and writes.
    EXPECT_TRUE(contains(eventSaying(port, panel.token(), "\"program\":\"bistable_cylinder\"").text,
                         "\"program\":\"bistable_cylinder\""));
    const Reply ran = ask(port, requestText("POST", "/api/run", port, panel.token()));
    EXPECT_EQ(ran.status, 200) << ran.text;

    // Another user of the machine reaches 127.0.0.1 too, and gets nothing without the token.
    if (!otherUserAvailable()) GTEST_SKIP() << "needs root and setpriv to ask as user 65534";
    const std::string script =
        "import urllib.request, sys\n"
        "for method, path in (('GET', '/api/events'), ('POST', '/api/end')):\n"
        "    request = urllib.request.Request('http://127.0.0.1:" + std::to_string(port) +
        "' + path, method=method, data=b'' if method == 'POST' else None, headers={'X-QV-Token': 'guess'})\n"
        "    try:\n"
        "        urllib.request.urlopen(request, timeout=5)\n"
        "        print(method, 'answered')\n"
        "    except urllib.error.HTTPError as e:\n"
        "        print(method, e.code)\n";
    const std::string out = run.folder() + "/other_user.txt";  // opened by this process, not by the other user
    EXPECT_EQ(runToEnd(asOtherUser({"/usr/bin/python3", "-c", script}), out), 0);
    EXPECT_EQ(qvtest::readFile(out), "GET 403\nPOST 403\n");
    EXPECT_TRUE(run.running());
}

TEST(FacesSecurity, HeldConnectionsLeaveWorkersForStopAndEnd) {
    ProgramRun run("bistable_cylinder", "held");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    Panel panel(run.imageName());
    const int port = panel.port();
    ASSERT_EQ(ask(port, requestText("POST", "/api/run", port, panel.token())).status, 200);

    // 64 connections held: pages that follow the updates (beyond the cap they are turned
    // away), and clients that send half a request and then a header line now and then.
    std::vector<int> held;
    const std::string follow = requestText("GET", "/api/events", port, panel.token());
    int turnedAway = 0;
    for (int k = 0; k < 24; ++k) {
        const int s = connectTo(port);
        send(s, follow.data(), follow.size(), MSG_NOSIGNAL);
        char head[16] = {};
        recv(s, head, sizeof head - 1, 0);
        if (std::string(head).starts_with("HTTP/1.1 503")) ++turnedAway;
        held.push_back(s);
    }
    EXPECT_GT(turnedAway, 0) << "the pages that follow the updates are capped";
    for (int k = 0; k < 40; ++k) {
        const int s = connectTo(port);
        const std::string part = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        send(s, part.data(), part.size(), MSG_NOSIGNAL);
        held.push_back(s);
    }
    std::atomic<bool> holding = true;
    std::thread drip([&] {
        while (holding) {
            for (int s : held) send(s, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(500ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    const auto before = std::chrono::steady_clock::now();
    const Reply stopped = ask(port, requestText("POST", "/api/stop", port, panel.token()));
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(stopped.status, 200) << stopped.text;
    EXPECT_LT(took, 2s);
    EXPECT_EQ(qv::ImageView::read(run.image().execstatus()), qv::kStatusStop);
    const Reply ended = ask(port, requestText("POST", "/api/end", port, panel.token()));
    EXPECT_EQ(ended.status, 200) << ended.text;
    EXPECT_EQ(run.wait(), 0);
    holding = false;
    drip.join();
    for (int s : held) close(s);
    EXPECT_TRUE(panel.running());
}

TEST(FacesSecurity, ASecondServerOnAUsedPortAndAReadOnlyPlantAreRefused) {
    LaidOutImage image(3, kBistableCounts, "port");
    Panel first(image.name());
    ASSERT_TRUE(first.running());
    const std::string port = std::to_string(first.port());
    EXPECT_CTL(runQvctl({"--name", image.name(), "serve", "--port", port}), 1,
               "qvctl: port " + port + " is in use (on 127.0.0.1): another server listens on it\n");
    EXPECT_CTL(runQvctl({"--name", image.name(), "serve", "--read-only", "--plant", "--port", port}), 1,
               "qvctl: --read-only and --plant do not go together: the plant writes the program's sensors\n");
    // Every address: the printed one can be opened, and the token stays out of path and query.
    Panel wide(image.name(), {"--listen", "0.0.0.0"});
    EXPECT_TRUE(contains(wide.printed(), "open http://127.0.0.1:" + std::to_string(wide.port()) + "/#token=" +
                                             wide.token() + "\n"))
        << wide.printed();
    EXPECT_FALSE(contains(wide.printed(), "?token")) << wide.printed();
    EXPECT_TRUE(first.running());
}

// ---- What a description claims, and an image that shrinks ----------------------------------

TEST(FacesSecurity, APlantPlaysOnlyAProgramItRecognisesAndAShrinkingImageIsSurvived) {
    LaidOutImage image(3, kPressCounts, "mislabel");
    // A live program's image: the test's own process stands for it.
    qv::ImageView::write(image.view().pospid(), qv::platform::processId());
    const std::string description = qv::platform::temporaryDirectory() + "/" + image.name() + ".symbols.json";
    std::string variables;
    const char* names[] = {"CR", "CS", "OrdreR", "OrdreS", "DS", "DR", "Bell\a\x1b[2J"};
    for (int k = 0; k < 7; ++k)
        variables += std::string(k ? "," : "") + "{\"name\": \"" + (k == 6 ? "Bell\\u0007\\u001b[2J" : names[k]) +
                     "\", \"type\": \"BOOL\", \"area\": \"bool\", \"slot\": " + std::to_string(5 + k) +
                     ", \"direction\": \"input\"}";
    qvtest::writeFile(description, "{\"format\": \"qv-symbols\", \"version\": 1, \"program\": \"bistable_cylinder\", "
                                   "\"revision\": 3, \"variables\": [" + variables + "], \"objects\": []}");
    const std::string before(reinterpret_cast<const char*>(image.view().boolSlot(0)), 24);

    EXPECT_CTL(runQvctl({"--name", image.name(), "--symbols", description, "plant", "--cycles", "1"}), 1,
               "qvctl: image \"" + image.name() +
                   "\" holds no program that qvctl knows (slot counts 12 600 20 60, signature 0)\n");
    // A name with control characters is shown escaped.
    const CtlResult vars = runQvctl({"--name", image.name(), "--symbols", description, "vars", "Bell"});
    EXPECT_TRUE(contains(vars.output, "Bell\\x07\\x1b[2J ")) << vars.output;
    EXPECT_FALSE(contains(vars.output, "\x1b")) << vars.output;
    {
        Panel panel(image.name(), {"--symbols", description, "--plant"});
        const std::string refusal = "the panel plays only a program it recognises by its image";
        const Reply event = eventSaying(panel.port(), panel.token(), refusal);
        EXPECT_TRUE(contains(event.text, refusal)) << event.text;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.view().boolSlot(0)), 24), before);

        // The image shrinks under the panel and under qvctl watch: both say so and live on.
        const std::string out = qv::platform::temporaryDirectory() + "/" + image.name() + "_watch.txt";
        auto watch = qv::platform::startProcess(
            {qvtest::programPath("qvctl"), "--name", image.name(), "--symbols", description, "watch", "DS"}, {}, out);
        ASSERT_TRUE(watch);
        ASSERT_TRUE(qvtest::waitUntil([&] { return contains(qvtest::readFile(out), "DS = FALSE"); }, 10s));
        const std::string path = "/dev/shm/" + image.name();
        fs::resize_file(path, 1000);
        EXPECT_EQ(qv::platform::waitProcess(*watch, 10000), 1);
        EXPECT_TRUE(contains(qvtest::readFile(out), "qvctl: image \"" + image.name() +
                                                        "\" shrank to 1000 bytes while mapped"))
            << qvtest::readFile(out);
        ASSERT_TRUE(qvtest::waitUntil([&] { return contains(panel.printed(), "shrank to 1000 bytes"); }, 10s))
            << panel.printed();
        EXPECT_TRUE(panel.running());
        EXPECT_EQ(ask(panel.port(), requestText("GET", "/", panel.port(), "")).status, 200);
        fs::remove(out);
    }
    fs::remove(description);
}

// ---- Exports -------------------------------------------------------------------------------

TEST(FacesSecurity, ExportsWriteNewRegularFilesOnlyAndNeverTheirInput) {
    ProgramRun run("bistable_cylinder", "export");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ASSERT_EQ(qvtest::ctl(run, {"trace", "add", "DS"}).status, 0);
    ASSERT_EQ(qvtest::ctl(run, {"trace", "on"}).status, 0);
    ASSERT_EQ(qvtest::ctl(run, {"step", "2"}).status, 0);
    ASSERT_EQ(run.end(), 0);
    const std::string trace = run.traceFile();
    const std::string folder = run.folder();
    const std::string precious = folder + "/precious.txt";
    qvtest::writeFile(precious, "precious\n");
    fs::create_symlink(precious, folder + "/link.csv");
    mkfifo((folder + "/fifo.csv").c_str(), 0600);
    qvtest::writeFile(folder + "/old.csv", "old\n");

    struct Case {
        const char* what;
        std::vector<std::string> command;
        std::string refusal;  // "" when it writes
    };
    const std::vector<Case> cases = {
        {"a link", {"trace", "export", "--csv", trace, "-o", folder + "/link.csv", "--force"},
         folder + "/link.csv is a symbolic link; qvctl does not write through it"},
        {"a FIFO", {"trace", "export", "--csv", trace, "-o", folder + "/fifo.csv", "--force"},
         folder + "/fifo.csv is not a regular file; qvctl writes only regular files"},
        {"an existing file", {"trace", "export", "--vcd", trace, "-o", folder + "/old.csv"},
         folder + "/old.csv exists; --force overwrites it"},
        {"the input itself", {"trace", "export", "--csv", trace, "-o", trace, "--force"},
         trace + " is the trace being read; write the export to another file"},
        {"a plot over a link", {"plot", trace, "-o", folder + "/link.csv"},
         folder + "/link.csv is a symbolic link; qvctl does not write through it"},
        {"an existing file, forced", {"trace", "export", "--csv", trace, "-o", folder + "/old.csv", "--force"}, ""},
        {"a new file", {"plot", trace, "-o", folder + "/new.svg"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CtlResult result = runQvctl(c.command);
        if (c.refusal.empty()) {
            EXPECT_EQ(result.status, 0) << result.output;
        } else {
            EXPECT_CTL(result, 1, "qvctl: " + c.refusal + "\n");
        }
    }
    EXPECT_EQ(qvtest::readFile(precious), "precious\n");
    EXPECT_TRUE(qvtest::readFile(folder + "/old.csv").starts_with("cycle,time_s,event")) << qvtest::readFile(folder + "/old.csv");
    EXPECT_TRUE(contains(qvtest::readFile(folder + "/new.svg"), "<svg"));
    // A trace read through a link is refused as well.
    fs::create_symlink(trace, folder + "/linked.trc");
    EXPECT_CTL(runQvctl({"trace", "show", folder + "/linked.trc"}), 1,
               "qvctl: the trace file " + folder + "/linked.trc is a symbolic link; qvctl does not follow it\n");
}

// ---- The demo -------------------------------------------------------------------------------

TEST(FacesSecurity, AnotherUserCannotPrepareTheDemosFolderOrImage) {
    if (!otherUserAvailable()) GTEST_SKIP() << "needs root and setpriv to act as users 65533 and 65534";
    // User 65533 lays traps in a temporary folder that everybody may write, as /tmp is,
    // where user 65534's next demos would have put their folders and images when they
    // were named after qvctl's process: a link to a file of 65534 in place of the trace,
    // and an image open to all.
    const std::string shared = qv::platform::temporaryDirectory() + "/" + qvtest::uniqueImageName("shared");
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(01777));
    const std::string victim = shared + "_victim.txt";
    qvtest::writeFile(victim, "precious\n");
    ASSERT_EQ(runToEnd({"/bin/chown", "65534:65534", victim}), 0);
    const int32_t first = qv::platform::processId() + 1, last = first + 200;
    // One process lays them all, so that the pids it covers are still to come.
    const std::string traps = "import os\n"
                              "os.umask(0)\n"
                              "for p in range(" + std::to_string(first) + ", " + std::to_string(last + 1) + "):\n"
                              "    d = '" + shared + "/qv_demo_%d' % p\n"
                              "    os.mkdir(d)\n"
                              "    for f in ('manipulateur', 'bistable_cylinder'):\n"
                              "        os.symlink('" + victim + "', d + '/' + f + '.trc')\n"
                              "    os.close(os.open('/dev/shm/qv_demo_%d' % p, os.O_CREAT | os.O_WRONLY, 0o666))\n";
    ASSERT_EQ(runToEnd({"/usr/bin/setpriv", "--reuid=65533", "--regid=65533", "--clear-groups", "/usr/bin/python3",
                        "-c", traps}),
              0);

    const std::string out = shared + "_demo.txt";  // opened by this process for the demo
    auto demo = qv::platform::startProcess(
        asOtherUser({qvtest::programPath("qvctl"), "demo", "--travel", "0.2", "--vacuum", "0.1"}),
        {"TMPDIR=" + shared, "QV_MEMORY_NAME"}, out);
    ASSERT_TRUE(demo);
    EXPECT_EQ(qv::platform::waitProcess(*demo, 60000), 0) << qvtest::readFile(out);
    EXPECT_TRUE(qvtest::readFile(out).ends_with("The demo completed.\n")) << qvtest::readFile(out);
    EXPECT_EQ(qvtest::readFile(victim), "precious\n");
    // Nothing of the demo is left beside the traps.
    for (const fs::directory_entry& e : fs::directory_iterator(shared)) {
        const std::string name = e.path().filename().string();
        const int32_t p = std::atoi(name.c_str() + 8);
        EXPECT_TRUE(name.starts_with("qv_demo_") && p >= first && p <= last) << name;
    }
    for (int32_t p = first; p <= last; ++p) qv::platform::removeSharedMemory("qv_demo_" + std::to_string(p));
    fs::remove_all(shared);
    fs::remove(victim);
    fs::remove(out);
}

// ---- Names and cells from outside -------------------------------------------------------------

TEST(FacesSecurity, NamesAreShownEscapedAndFormulaCellsDisarmed) {
    const std::pair<const char*, const char*> names[] = {
        {"Verin_GX._X_21", "Verin_GX._X_21"},
        {"Bell\a", "Bell\\x07"},
        {"\x1b[2Jcleared", "\\x1b[2Jcleared"},
        {"two\r\nlines", "two\\x0d\\x0alines"},
        {"del\x7f", "del\\x7f"},
        {"Température", "Température"},
    };
    for (const auto& [name, shown] : names) EXPECT_EQ(qv::ctl::printable(name), shown) << name;
    const std::pair<const char*, const char*> cells[] = {
        {"DS", "DS"},
        {"-12", "-12"},
        {"+3.5e2", "+3.5e2"},
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+cmd", "'+cmd"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"a,b", "\"a,b\""},
        {"", ""},
    };
    for (const auto& [cell, field] : cells) EXPECT_EQ(qv::ctl::csvField(cell), field) << cell;
}

}  // namespace
