// qvctl serve: an HTTP server on the image. The page and its libraries are compiled in;
// the page's live values come as server-sent events, its writes as small POST requests
// that go through the same operations as qvctl's commands.
#include "supervisor/web/serve.h"

#include <httplib.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "supervisor/plant/plant.h"
#include "runtime/platform/platform.h"
#include "supervisor/core/control.h"
#include "supervisor/core/symbols/description.h"
#include "supervisor/web/serve_actions.h"
#include "supervisor/web/serve_assets.h"
#include "supervisor/web/serve_session.h"

namespace qv::serve {

namespace {

using nlohmann::json;

constexpr uint32_t kTickMs = 25;  // 40 updates a second at most: a change reaches the page within ~30 ms

// A connection holds a worker from its first byte to its close: the pool is large and the
// pages that follow the live updates are few, so that held or slow connections leave
// workers for the buttons. A connection that sends nothing for a while is closed.
constexpr std::size_t kWorkers = 128;
constexpr int kMaxFollowers = 16;
constexpr time_t kIdleSeconds = 2;   // between requests on one connection
constexpr time_t kReadSeconds = 2;   // silence in the middle of a request
constexpr time_t kWriteSeconds = 5;  // a page that stops reading its updates

// Every response: no other page may frame the panel or run scripts in it, nothing is
// sniffed as another type, nothing is cached (values change, the token must not stay).
const httplib::Headers kEveryResponse = {
    {"Content-Security-Policy",
     "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; "
     "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Cache-Control", "no-store"},
    {"Referrer-Policy", "no-referrer"},
};

int64_t wallMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string newToken() {
    std::random_device random;
    std::string token;
    for (int k = 0; k < 4; ++k) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        token += part;
    }
    return token;
}

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t k = 0; k < a.size(); ++k) difference |= static_cast<unsigned char>(a[k] ^ b[k]);
    return difference == 0;
}

bool loopback(const std::string& address) {
    return address == "127.0.0.1" || address == "localhost" || address == "::1";
}

bool everyAddress(const std::string& address) { return address == "0.0.0.0" || address == "::"; }

const char* contentType(const std::string& name) {
    if (name.ends_with(".html")) return "text/html; charset=utf-8";
    if (name.ends_with(".css")) return "text/css; charset=utf-8";
    if (name.ends_with(".txt")) return "text/plain; charset=utf-8";
    return "application/javascript; charset=utf-8";
}

// Why no program runs, from the image alone (the watcher may not have seen it yet).
std::string endedReason(const json& state) {
    const std::string cycle = std::to_string(state["cycle"].get<int32_t>());
    return state["pid"].get<int32_t>() == 0 ? "the program ended at cycle " + cycle
                                            : "the program's process has gone (cycle " + cycle + ")";
}

// What one page has been sent so far.
struct PageState {
    uint64_t generation = 0;
    bool described = false;
    std::string error;
    Snapshot last;
    uint64_t lastSentMs = 0;
};

class Server {
public:
    explicit Server(const ServeOptions& options)
        : options_(options), token_(newToken()), plantWanted_(options.servePlant) {
        writes_.timeoutMs = options.timeoutMs;
    }

    const std::string& token() const { return token_; }

    // The session, when its image is still whole: every thread asks here before it
    // touches the image again, so an image shrunk under the panel is let go with a
    // message instead of killing the server.
    std::shared_ptr<Session> session(std::string& error) {
        std::lock_guard lock(mutex_);
        if (session_ != nullptr) {
            std::string problem;
            if (!session_->target.view.intact(problem)) {
                std::fprintf(stderr, "qvctl: %s\n", problem.c_str());
                session_.reset();
                error_ = problem;
            }
        }
        error = error_;
        return session_;
    }

    // One more page follows the live updates, unless enough do already.
    bool follow() {
        if (++followers_ > kMaxFollowers) {
            --followers_;
            return false;
        }
        return true;
    }
    void unfollow() { --followers_; }

    // Follows the image: a new program on it makes a new session; an ended program or a
    // vanished image is told to the page.
    void watch() {
        for (unsigned tick = 0;; ++tick) {
            std::string error;
            std::shared_ptr<Session> current = session(error);
            const bool alive = current != nullptr && ctl::readState(current->target).alive;
            if (!alive && tick % 5 == 0) look(current);
            noteStops();
            platform::sleepMilliseconds(50);
        }
    }

    // Plays the machine while the page or --plant asks for it.
    void playPlant() {
        std::shared_ptr<Session> wiredTo;
        std::optional<plant::Plant> plant;
        for (;;) {
            std::string error;
            std::shared_ptr<Session> current = session(error);
            // The machine plays only beside a running program that the plant recognises
            // by its image, whatever a description calls it.
            const symbols::ProgramFacts* held = current == nullptr ? nullptr : current->target.facts;
            if (!plantWanted_ || held == nullptr || plant::findWiring(held->program) == nullptr ||
                !ctl::readState(current->target).alive) {
                plant.reset();
                wiredTo.reset();
                publishPlant(nullptr, plantWanted_ && current != nullptr && held == nullptr
                                          ? "the panel plays only a program it recognises by its image"
                                          : "");
                platform::sleepMilliseconds(20);
                continue;
            }
            if (current != wiredTo) {
                plant = plant::Plant::wire(current->target.view, held->program,
                                           {options_.travelSeconds, options_.vacuumSeconds}, error);
                wiredTo = current;
                if (plant) {
                    plant->writeSensors();
                    publishPlant(&*plant);
                } else {
                    publishPlant(nullptr, error);
                }
            }
            if (plant && plant->poll() != 0) publishPlant(&*plant);
            platform::sleepMilliseconds(2);
        }
    }

    // The next event for a page: everything that changed since its last one, or nothing.
    std::string nextEvent(PageState& page) {
        std::string error;
        std::shared_ptr<Session> current = session(error);
        json message = json::object();
        if (current == nullptr) {
            if (page.described || page.error != error || page.lastSentMs == 0) {
                message["session"] = nullptr;
                message["error"] = error;
                page = PageState{};
                page.error = error;
            }
        } else {
            if (!page.described || page.generation != current->generation) {
                message["session"] = describeSession(*current);
                page.last = Snapshot{};
                page.generation = current->generation;
                page.described = true;
            }
            Snapshot now = takeSnapshot(*current);
            {
                std::lock_guard lock(mutex_);
                now.state["reason"] = now.state["alive"].get<bool>() ? reason_ : endedReason(now.state);
                now.state["plant"] = plantState_;
            }
            message.update(changes(page.last, now));
            page.last = std::move(now);
        }
        const uint64_t nowMs = platform::tickMilliseconds();
        if (message.empty()) {
            // A comment now and then finds a page that has gone.
            if (nowMs - page.lastSentMs < 2000) return "";
            page.lastSentMs = nowMs;
            return ": idle\n\n";
        }
        page.lastSentMs = nowMs;
        message["ms"] = wallMilliseconds();
        // A STRING a model filled with Latin-1 bytes is not UTF-8: those bytes become U+FFFD.
        return "data: " + message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n\n";
    }

    ActionResult write(const std::string& action, const Params& params) {
        if (action == "plant") {
            auto on = params.find("on");
            if (on == params.end() || (on->second != "1" && on->second != "0")) return {400, "on is 1 or 0"};
            plantWanted_ = on->second == "1";
            return {200, plantWanted_ ? "the panel plays the machine" : "the panel no longer plays the machine"};
        }
        std::string error;
        std::shared_ptr<Session> current = session(error);
        if (current == nullptr) return {409, error};
        return act(*current, action, params, writes_);
    }

    // Whether a request of the API may go ahead, a read as a write; why not, when not.
    // Every one carries the token in its X-QV-Token header: another user of this machine
    // reaches 127.0.0.1 as well, and a page of another site cannot send the header.
    bool mayAsk(const httplib::Request& request, bool writing, std::string& why) const {
        // On the loopback address, a page that reached it under another host name (a
        // name rebound to 127.0.0.1) gets nothing.
        if (loopback(options_.listen)) {
            const std::string host = request.get_header_value("Host");
            const std::string port = ":" + std::to_string(options_.port);
            if (host != "127.0.0.1" + port && host != "localhost" + port && host != "[::1]" + port) {
                why = "the panel answers at http://127.0.0.1" + port + "/ only";
                return false;
            }
        }
        if (!request.has_header("X-QV-Token") || !sameText(request.get_header_value("X-QV-Token"), token_)) {
            why = "every request needs the token that qvctl serve printed (open the address it printed)";
            return false;
        }
        if (writing && options_.readOnly) {
            why = "the panel is read-only (qvctl serve --read-only)";
            return false;
        }
        return true;
    }

private:
    void look(const std::shared_ptr<Session>& current) {
        std::string error;
        std::shared_ptr<Session> fresh = openSession(options_.target.name, options_.target.model, options_.symbolsFile,
                                                     generation_ + 1, error, options_.readOnly);
        std::lock_guard lock(mutex_);
        if (fresh == nullptr) {
            session_.reset();
            error_ = error;
            return;
        }
        const ctl::ProgramState state = ctl::readState(fresh->target);
        if (current == nullptr || (state.alive && state.pid != current->pid)) {
            ++generation_;
            session_ = fresh;
            error_.clear();
            reason_.clear();
            lastStatus_ = -1;
        }
    }

    // Why the program stopped, where the image tells it.
    void noteStops() {
        std::string error;
        std::shared_ptr<Session> current = session(error);
        if (current == nullptr) return;
        const ctl::ProgramState s = ctl::readState(current->target);
        std::lock_guard lock(mutex_);
        const int32_t status = !s.alive ? -2 : s.status;
        if (status == lastStatus_) return;
        const std::string cycle = std::to_string(s.cycle);
        if (!s.alive)
            reason_.clear();
        else if (s.status == kStatusPause)
            reason_ = "paused at location " +
                      std::to_string(ImageView::read(current->target.view.controlInt(kBpcurrentlocationFromExec))) +
                      ", instance " +
                      std::to_string(ImageView::read(current->target.view.controlInt(kBpcurrentinstanceFromExec))) +
                      " (cycle " + cycle + ")";
        else if (s.status == kStatusStop && lastStatus_ == kStatusRun && writes_.lastWritten != kStatusStop)
            reason_ = "stopped by a data breakpoint or by the model at cycle " + cycle;
        else if (s.status == kStatusStop && writes_.lastWritten == kStatusStep)
            reason_ = "stepped to cycle " + cycle;
        else if (s.status == kStatusStop || s.status == kStatusRun)
            reason_.clear();
        lastStatus_ = status;
    }

    void publishPlant(const plant::Plant* plant, const std::string& refusal = "") {
        json state = json::object();
        state["on"] = plantWanted_.load();
        if (!refusal.empty()) state["error"] = refusal;
        if (plant != nullptr) {
            json cylinders = json::array(), vacuums = json::array();
            for (const plant::CylinderPlant& c : plant->cylinders())
                cylinders.push_back({{"name", c.wiring->name}, {"position", std::round(c.cylinder.position * 1000) / 1000}});
            for (const plant::VacuumPlant& v : plant->vacuums())
                vacuums.push_back({{"name", v.wiring->name}, {"level", std::round(v.vacuum.level * 1000) / 1000}});
            state["cylinders"] = cylinders;
            state["vacuums"] = vacuums;
        }
        std::lock_guard lock(mutex_);
        plantState_ = state;
    }

    const ServeOptions& options_;
    const std::string token_;
    std::atomic<bool> plantWanted_;
    std::atomic<int> followers_ = 0;
    mutable std::mutex mutex_;
    std::shared_ptr<Session> session_;
    std::string error_ = "looking for the image";
    uint64_t generation_ = 0;
    std::string reason_;
    int32_t lastStatus_ = -1;
    WriteState writes_;
    json plantState_ = json::object();
};

void sendJson(httplib::Response& response, int status, const json& body) {
    response.status = status;
    response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

// The page and its files load without the token: they hold nothing of the program.
void routes(httplib::Server& http, Server& server) {
    http.Get("/", [](const httplib::Request&, httplib::Response& response) {
        const Asset* page = findAsset("index.html");
        response.set_content(page->bytes, page->size, contentType(page->name));
    });
    // Only the compiled-in files, by their exact names: no path reaches the file system.
    http.Get(R"(/assets/([A-Za-z0-9_.-]+))", [](const httplib::Request& request, httplib::Response& response) {
        const Asset* asset = findAsset(request.matches[1].str());
        if (asset == nullptr) {
            response.status = 404;
            response.set_content("no such file\n", "text/plain");
            return;
        }
        response.set_content(asset->bytes, asset->size, contentType(asset->name));
    });
    // The live updates come as a stream of server-sent events that the page reads with
    // fetch, so that the token travels in a header as on every other request.
    http.Get("/api/events", [&server](const httplib::Request& request, httplib::Response& response) {
        std::string why;
        if (!server.mayAsk(request, false, why)) {
            sendJson(response, 403, {{"ok", false}, {"message", why}});
            return;
        }
        if (!server.follow()) {
            sendJson(response, 503,
                     {{"ok", false},
                      {"message", "at most " + std::to_string(kMaxFollowers) + " pages follow the panel at once"}});
            return;
        }
        auto page = std::make_shared<PageState>();
        response.set_chunked_content_provider(
            "text/event-stream",
            [&server, page](std::size_t, httplib::DataSink& sink) {
                const std::string event = server.nextEvent(*page);
                if (!event.empty() && !sink.write(event.data(), event.size())) return false;
                platform::sleepMilliseconds(kTickMs);
                return sink.is_writable();
            },
            [&server](bool) { server.unfollow(); });
    });
    // What the description says of the program's source, for the online view.
    http.Get("/api/program", [&server](const httplib::Request& request, httplib::Response& response) {
        std::string why;
        if (!server.mayAsk(request, false, why)) {
            sendJson(response, 403, {{"ok", false}, {"message", why}});
            return;
        }
        std::shared_ptr<Session> current = server.session(why);
        if (current == nullptr) {
            sendJson(response, 409, {{"ok", false}, {"message", why}});
            return;
        }
        sendJson(response, 200, describeProgram(*current));
    });
    // A source file the description lists, by its number there: the request names no path.
    http.Get("/api/source", [&server](const httplib::Request& request, httplib::Response& response) {
        std::string why;
        if (!server.mayAsk(request, false, why)) {
            sendJson(response, 403, {{"ok", false}, {"message", why}});
            return;
        }
        std::shared_ptr<Session> current = server.session(why);
        if (current == nullptr || current->target.symbolSet == nullptr) {
            sendJson(response, 409, {{"ok", false}, {"message", current == nullptr ? why : "the program lists no source"}});
            return;
        }
        const std::string text = request.get_param_value("index");
        std::size_t index = 0;
        const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), index);
        if (text.empty() || problem != std::errc() || end != text.data() + text.size()) {
            sendJson(response, 400, {{"ok", false}, {"message", "index is the number of a source file, from 0"}});
            return;
        }
        std::optional<std::string> source = symbols::readSourceFile(*current->target.symbolSet, index, why);
        if (!source) {
            sendJson(response, 404, {{"ok", false}, {"message", why}});
            return;
        }
        response.set_content(std::move(*source), "text/plain; charset=utf-8");
    });
    http.Get(R"(/api/.*)", [&server](const httplib::Request& request, httplib::Response& response) {
        std::string why;
        if (!server.mayAsk(request, false, why)) {
            sendJson(response, 403, {{"ok", false}, {"message", why}});
            return;
        }
        sendJson(response, 404, {{"ok", false}, {"message", "no such request"}});
    });
    http.Post(R"(/api/([a-z]+))", [&server](const httplib::Request& request, httplib::Response& response) {
        std::string why;
        if (!server.mayAsk(request, true, why)) {
            sendJson(response, 403, {{"ok", false}, {"message", why}});
            return;
        }
        Params params(request.params.begin(), request.params.end());
        const ActionResult result = server.write(request.matches[1].str(), params);
        sendJson(response, result.httpStatus, {{"ok", result.httpStatus == 200}, {"message", result.message}});
    });
}

// The server's own messages, worded as qvctl's.
int fail(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n", message.c_str());
    return 1;
}

}  // namespace

int serveCommand(const ServeOptions& options) {
    // A read-only panel maps the image for reading only: it has no sensor to write.
    if (options.readOnly && options.servePlant)
        return fail("--read-only and --plant do not go together: the plant writes the program's sensors");
    Server server(options);
    httplib::Server http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    http.set_payload_max_length(16384);  // a write is a name and a value
    http.set_keep_alive_timeout(kIdleSeconds);
    http.set_read_timeout(kReadSeconds, 0);
    http.set_write_timeout(kWriteSeconds, 0);
    http.set_default_headers(kEveryResponse);
    // The port is this server's alone: a second server on it is refused, not let in beside.
    http.set_socket_options([](socket_t socket) { platform::reusePortOfEndedServers(socket); });
    routes(http, server);
    if (!http.bind_to_port(options.listen, options.port)) {
        if (platform::lastBindFoundAddressInUse())
            return fail("port " + std::to_string(options.port) + " is in use (on " + options.listen +
                        "): another server listens on it");
        return fail("cannot listen on " + options.listen + " port " + std::to_string(options.port));
    }
    // An address of every interface is nobody's to open: the machine's own loopback is.
    const std::string shown = options.listen == "0.0.0.0" ? "127.0.0.1" : options.listen == "::" ? "::1" : options.listen;
    const bool v6 = shown.find(':') != std::string::npos;
    const std::string url = "http://" + (v6 ? "[" + shown + "]" : shown) + ":" + std::to_string(options.port) + "/";
    std::printf("qvctl serve: image %s%s\n", options.target.name.c_str(), options.readOnly ? ", read-only" : "");
    // The token goes in the fragment, which the browser keeps to itself: it never reaches
    // a server's log or a Referer header.
    std::printf("open %s#token=%s\n", url.c_str(), server.token().c_str());
    if (everyAddress(options.listen))
        std::printf("(from another machine, put one of this host's addresses in place of %s)\n", shown.c_str());
    std::printf("(every request of the page needs this token: keep it to yourself)\n");
    std::fflush(stdout);
    // The watcher and the plant run for as long as the process: the server only ever
    // stops by a signal, or here, where nothing may be left to unwind under them.
    std::thread([&server] { server.watch(); }).detach();
    std::thread([&server] { server.playPlant(); }).detach();
    http.listen_after_bind();
    fail("the server stopped");
    std::fflush(nullptr);
    std::_Exit(1);
}

}  // namespace qv::serve
