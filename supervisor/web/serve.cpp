// qvctl serve: an HTTP server on the image. The page and its libraries are compiled in;
// the page's live values come as server-sent events, its writes as small POST requests
// that go through the same operations as qvctl's commands.
#include "supervisor/web/serve.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "supervisor/plant/plant.h"
#include "supervisor/core/control.h"
#include "supervisor/web/serve_actions.h"
#include "supervisor/web/serve_assets.h"
#include "supervisor/web/serve_session.h"

namespace qv::serve {

namespace {

using nlohmann::json;

constexpr uint32_t kTickMs = 25;  // 40 updates a second at most: a change reaches the page within ~30 ms

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
        : options_(options), token_(newToken()), tokenRequired_(!loopback(options.listen)),
          plantWanted_(options.servePlant) {
        writes_.timeoutMs = options.timeoutMs;
    }

    const std::string& token() const { return token_; }
    bool tokenRequired() const { return tokenRequired_; }

    std::shared_ptr<Session> session(std::string& error) const {
        std::lock_guard lock(mutex_);
        error = error_;
        return session_;
    }

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
            // The machine plays only beside a running program.
            if (!plantWanted_ || current == nullptr || current->program.empty() ||
                plant::findWiring(current->program) == nullptr || !ctl::readState(current->target).alive) {
                plant.reset();
                wiredTo.reset();
                publishPlant(nullptr);
                platform::sleepMilliseconds(20);
                continue;
            }
            if (current != wiredTo) {
                plant = plant::Plant::wire(current->target.view, current->program,
                                           {options_.travelSeconds, options_.vacuumSeconds}, error);
                wiredTo = current;
                if (plant) {
                    plant->writeSensors();
                    publishPlant(&*plant);
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
        return "data: " + message.dump() + "\n\n";
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

    // Whether a write may go ahead; why not, when not.
    bool mayWrite(const httplib::Request& request, std::string& why) const {
        if (options_.readOnly) {
            why = "the panel is read-only (qvctl serve --read-only)";
            return false;
        }
        // Browsers send this header only from the panel's own page: a form of another
        // site cannot make a write.
        if (!request.has_header("X-QV-Token")) {
            why = "a write carries the X-QV-Token header";
            return false;
        }
        if (tokenRequired_) {
            if (!sameText(request.get_header_value("X-QV-Token"), token_)) {
                why = "beyond localhost a write needs the token that qvctl serve printed";
                return false;
            }
            return true;
        }
        // On the loopback address, a page that reached it under another host name (a
        // name rebound to 127.0.0.1) writes nothing.
        const std::string host = request.get_header_value("Host");
        const std::string port = ":" + std::to_string(options_.port);
        if (host != "127.0.0.1" + port && host != "localhost" + port && host != "[::1]" + port) {
            why = "writes come from the panel at http://127.0.0.1" + port + "/";
            return false;
        }
        return true;
    }

private:
    void look(const std::shared_ptr<Session>& current) {
        std::string error;
        std::shared_ptr<Session> fresh = openSession(options_.target.name, options_.target.model, options_.symbolsFile, generation_ + 1, error);
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

    void publishPlant(const plant::Plant* plant) {
        json state = json::object();
        state["on"] = plantWanted_.load();
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
    const bool tokenRequired_;
    std::atomic<bool> plantWanted_;
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
    response.set_header("Cache-Control", "no-store");
    response.set_content(body.dump(), "application/json");
}

void routes(httplib::Server& http, Server& server) {
    http.Get("/", [](const httplib::Request&, httplib::Response& response) {
        const Asset* page = findAsset("index.html");
        response.set_header("Cache-Control", "no-store");
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
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_content(asset->bytes, asset->size, contentType(asset->name));
    });
    http.Get("/api/events", [&server](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        auto page = std::make_shared<PageState>();
        response.set_chunked_content_provider("text/event-stream", [&server, page](std::size_t, httplib::DataSink& sink) {
            const std::string event = server.nextEvent(*page);
            if (!event.empty() && !sink.write(event.data(), event.size())) return false;
            platform::sleepMilliseconds(kTickMs);
            return sink.is_writable();
        });
    });
    http.Post(R"(/api/([a-z]+))", [&server](const httplib::Request& request, httplib::Response& response) {
        std::string why;
        if (!server.mayWrite(request, why)) {
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
    Server server(options);
    httplib::Server http;
    // Each open page holds one worker for its events.
    http.new_task_queue = [] { return new httplib::ThreadPool(32); };
    http.set_payload_max_length(16384);  // a write is a name and a value
    routes(http, server);
    if (!http.bind_to_port(options.listen, options.port))
        return fail("cannot listen on " + options.listen + " port " + std::to_string(options.port));
    const bool v6 = options.listen.find(':') != std::string::npos;
    const std::string url = "http://" + (v6 ? "[" + options.listen + "]" : options.listen) + ":" +
                            std::to_string(options.port) + "/";
    std::printf("qvctl serve: image %s%s\n", options.target.name.c_str(), options.readOnly ? ", read-only" : "");
    if (server.tokenRequired())
        std::printf("open %s?token=%s\n(beyond localhost every write needs this token)\n", url.c_str(),
                    server.token().c_str());
    else
        std::printf("open %s\n", url.c_str());
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
