#include "host/panel/PanelServer.h"

#include "host/panel/BoundedHttpServer.h"
#include "host/panel/EventHub.h"
#include "host/panel/ModuleChild.h"
#include "host/panel/PanelAssets.h"
#include "host/panel/PanelRequest.h"
#include "host/platform/FileStamp.h"
#include "host/platform/HostError.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <thread>

namespace wqhost {

namespace {

using nlohmann::json;

void jsonAnswer(httplib::Response &res, int status, const json &body) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n",
                    "application/json");
}

void errorAnswer(httplib::Response &res, int status, const std::string &message) {
    jsonAnswer(res, status, {{"error", message}});
}

std::string sseData(const std::string &jsonText) { return "data: " + jsonText + "\n\n"; }

// A refused body is read on (and dropped) up to this much, so that the client
// gets its answer rather than a reset connection; past it the connection is
// dropped.
constexpr size_t kDrainBytes = 32u << 20;

// The media type of a Content-Type header, without parameters, in lower case.
std::string mediaType(const std::string &header) {
    std::string type = header.substr(0, header.find(';'));
    while (!type.empty() && std::isspace(static_cast<unsigned char>(type.back())))
        type.pop_back();
    size_t start = 0;
    while (start < type.size() && std::isspace(static_cast<unsigned char>(type[start])))
        ++start;
    type.erase(0, start);
    for (char &c : type)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type;
}

// A reload replays the settings of the session in order; past this many, or
// this many bytes, only the last of each kind (and pin) is kept, in the
// order they were last made.
constexpr size_t kMaxSettings = 4096;
constexpr size_t kMaxSettingBytes = 1u << 20;

// What a setting is of: its op and pin, so that a later one replaces it.
std::string settingKey(const json &request) {
    return request.value("op", "") + "/" + std::to_string(request.value("pin", -1));
}

// The file name of a path, for messages.
std::string fileNameOf(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

BoundedHttpServer::Limits httpLimits(const PanelServer::Options &o) {
    BoundedHttpServer::Limits limits;
    limits.maxConnections = o.maxConnections;
    return limits;
}

} // namespace

struct PanelServer::Impl {
    Options options;
    BoundedHttpServer server;
    EventHub hub;
    std::mutex moduleMutex; // one request at a time reaches the module
    std::unique_ptr<ModuleChild> child;
    std::atomic<size_t> streams{0};
    int port = -1;

    // Looks at the module's process between requests, so that its death is
    // noticed (and told) within a fraction of a second.
    std::thread watcher;
    std::mutex watchMutex;
    std::condition_variable watchWake;
    bool stopWatching = false;
    void watch();

    // The requests that brought the module to its state since the last
    // start, for a reload to replay: pin sets, echo, rate, block size and
    // signals, in order; and whether the user closed the module last.
    std::vector<json> settings;
    size_t settingBytes = 0; // their size as JSON text
    bool closedByUser = false;
    void remember(const json &request);

    // The watched library file: the stamp the running module was loaded
    // from, and a new one seen once, which reloads when it is seen again
    // unchanged (the build has finished writing it).
    FileStamp loadedStamp;
    FileStamp seenStamp;
    void watchLibrary();

    // A module process. While `held` is given and not yet released, its
    // events are kept there (trace events left out) instead of reaching
    // the pages: a process on trial must not disturb what they show.
    struct HeldEvents {
        bool released = false;
        std::vector<json> events;
    };
    std::unique_ptr<ModuleChild> newChild(std::shared_ptr<HeldEvents> held);
    std::string reloadModule(); // with moduleMutex held

    explicit Impl(Options o) : options(std::move(o)), server(httpLimits(options)) {}

    void routes();
    void handleRequest(const httplib::Request &req, httplib::Response &res,
                       const httplib::ContentReader &content);
    void answerRequest(const std::string &body, httplib::Response &res);
    void handleEvents(httplib::Response &res);
    std::string startChild(); // with moduleMutex held
};

std::string PanelServer::refusedOrigin(const std::string &host, const std::string &origin,
                                       bool hasOrigin, int port) {
    const std::string authority = "127.0.0.1:" + std::to_string(port);
    if (host != authority)
        return "the Host header must be " + authority;
    if (hasOrigin && origin != "http://" + authority)
        return "the Origin header must be http://" + authority;
    return std::string();
}

PanelServer::PanelServer(Options options) : m(std::make_unique<Impl>(std::move(options))) {
    m->routes();
}

PanelServer::~PanelServer() {
    stop();
    m->child.reset();
}

int PanelServer::bind(int port) {
    const int bound = port == 0 ? m->server.bind_to_any_port("127.0.0.1")
                                : (m->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw HostError("cannot listen on 127.0.0.1:" + std::to_string(port) +
                        (port ? " (is the port in use?)" : ""));
    m->port = bound;
    return bound;
}

int PanelServer::port() const noexcept { return m->port; }

std::string PanelServer::address() const {
    return "http://127.0.0.1:" + std::to_string(m->port) + "/";
}

std::string PanelServer::startModule() {
    std::string ended;
    {
        std::lock_guard<std::mutex> lock(m->moduleMutex);
        ended = m->startChild();
    }
    if (!m->watcher.joinable())
        m->watcher = std::thread([impl = m.get()] { impl->watch(); });
    return ended;
}

void PanelServer::Impl::watch() {
    std::unique_lock<std::mutex> wait(watchMutex);
    while (!watchWake.wait_for(wait, std::chrono::milliseconds(200),
                               [this] { return stopWatching; })) {
        // A request under way reads the child itself.
        {
            std::unique_lock<std::mutex> lock(moduleMutex, std::try_to_lock);
            if (lock.owns_lock() && child)
                child->poll();
        }
        if (!options.watchPath.empty())
            watchLibrary();
    }
}

std::unique_ptr<ModuleChild> PanelServer::Impl::newChild(std::shared_ptr<HeldEvents> held) {
    return std::make_unique<ModuleChild>(
        options.childArgv, options.timeoutSeconds, [this, held](const json &event) {
            if (held && !held->released) {
                if (event.value("event", "") != "trace")
                    held->events.push_back(event);
                return;
            }
            hub.publish(event);
            if (event.value("event", "") == "ended" && options.onEnded)
                options.onEnded(event.value("message", ""));
        });
}

std::string PanelServer::Impl::startChild() {
    child.reset();
    settings.clear();
    settingBytes = 0;
    closedByUser = false;
    if (!options.watchPath.empty())
        loadedStamp = seenStamp = fileStamp(options.watchPath);
    child = newChild(nullptr);
    const ModuleChild::Reply reply = child->start();
    if (reply.ended)
        return reply.error;
    if (!reply.error.empty() && !hub.hasModule())
        throw HostError(reply.error); // not loaded, or no module
    return std::string();
}

void PanelServer::Impl::remember(const json &request) {
    const std::string op = request.value("op", "");
    if (op == "close" || op == "open" || op == "recreate") {
        closedByUser = op == "close";
        // Fresh objects start with empty pins.
        if (op == "recreate") {
            settings.erase(std::remove_if(settings.begin(), settings.end(),
                                          [](const json &r) { return r.value("op", "") == "set"; }),
                           settings.end());
            settingBytes = 0;
            for (const json &r : settings)
                settingBytes += r.dump().size();
        }
        return;
    }
    if (op != "set" && op != "echo" && op != "rate" && op != "block" && op != "signal")
        return;
    settings.push_back(request);
    settingBytes += request.dump().size();
    if (settings.size() <= kMaxSettings && settingBytes <= kMaxSettingBytes)
        return;
    // The last setting of each kind, in the order they were made.
    std::vector<json> kept;
    std::vector<std::string> keys;
    settingBytes = 0;
    for (auto it = settings.rbegin(); it != settings.rend(); ++it) {
        const std::string key = settingKey(*it);
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            continue;
        keys.push_back(key);
        settingBytes += it->dump().size();
        kept.push_back(std::move(*it));
    }
    settings.assign(std::make_move_iterator(kept.rbegin()), std::make_move_iterator(kept.rend()));
}

std::string PanelServer::Impl::reloadModule() {
    auto held = std::make_shared<HeldEvents>();
    std::unique_ptr<ModuleChild> fresh = newChild(held);
    const auto failed = [&](const std::string &why) {
        fresh->stop();
        const std::string message =
            "reload failed: " + why + " (the module loaded before keeps running)";
        hub.publish({{"event", "reload-failed"}, {"message", message}});
        if (options.onReload)
            options.onReload(message);
        return message;
    };
    const FileStamp stamp = options.watchPath.empty() ? FileStamp() : fileStamp(options.watchPath);
    ModuleChild::Reply reply = fresh->start();
    if (reply.ended || !reply.error.empty())
        return failed(reply.error.empty() ? std::string("the module's process ended")
                                          : reply.error);
    std::vector<json> replay = settings;
    if (closedByUser)
        replay.push_back({{"op", "close"}});
    for (const json &request : replay) {
        reply = fresh->request(request);
        if (reply.ended || !reply.error.empty())
            return failed("replaying " + request.dump() + ": " + reply.error);
    }
    // The fresh process takes over: the pages get the state anew.
    if (child)
        child->stop();
    child = std::move(fresh);
    hub.startOver();
    held->released = true;
    for (const json &event : held->events)
        hub.publish(event);
    if (stamp.exists)
        loadedStamp = seenStamp = stamp;
    const std::string library =
        options.childArgv.size() > 2 ? fileNameOf(options.childArgv[2]) : std::string("the module");
    const std::string message =
        "reloaded " + library +
        (settings.empty() ? std::string()
                          : ", " + std::to_string(settings.size()) + " settings replayed");
    hub.publish({{"event", "reloaded"}, {"message", message}});
    if (options.onReload)
        options.onReload(message);
    return message;
}

void PanelServer::Impl::watchLibrary() {
    const FileStamp now = fileStamp(options.watchPath);
    // Gone (being replaced) or as loaded: nothing to do yet.
    if (!now.exists || now == loadedStamp) {
        seenStamp = now;
        return;
    }
    if (now != seenStamp) {
        seenStamp = now; // changed since the last look: wait until it stays
        return;
    }
    std::lock_guard<std::mutex> lock(moduleMutex);
    reloadModule();
    // A library that did not load is not tried again until it changes.
    loadedStamp = now;
}

std::string PanelServer::reload() {
    std::lock_guard<std::mutex> lock(m->moduleMutex);
    return m->reloadModule();
}

void PanelServer::run() {
    if (m->port <= 0)
        throw HostError("the panel server is not bound to a port");
    m->server.listen_after_bind();
}

void PanelServer::stop() {
    m->hub.close();
    m->server.stop();
    {
        std::lock_guard<std::mutex> lock(m->watchMutex);
        m->stopWatching = true;
    }
    m->watchWake.notify_all();
    if (m->watcher.joinable() && m->watcher.get_id() != std::this_thread::get_id())
        m->watcher.join();
}

void PanelServer::Impl::routes() {
    server.set_payload_max_length(options.maxBody);
    server.set_read_timeout(5);

    server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        const std::string why =
            refusedOrigin(req.get_header_value("Host"), req.get_header_value("Origin"),
                          req.has_header("Origin"), port);
        if (why.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        errorAnswer(res, 403, why);
        return httplib::Server::HandlerResponse::Handled;
    });
    // Answers httplib makes itself (413, 404...) get a JSON body too.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            errorAnswer(res, res.status,
                        res.status == 413   ? "the body is too large"
                        : res.status == 404 ? "no such page"
                        : res.status == 405 ? "method not allowed"
                                            : "the request was refused");
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_post_routing_handler([](const httplib::Request &, httplib::Response &res) {
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
    });

    server.Get("/api/state", [this](const httplib::Request &, httplib::Response &res) {
        uint64_t next = 0;
        jsonAnswer(res, 200, hub.snapshot(next));
    });
    server.Get("/api/events",
               [this](const httplib::Request &, httplib::Response &res) { handleEvents(res); });
    server.Post("/api/request", [this](const httplib::Request &req, httplib::Response &res,
                                       const httplib::ContentReader &content) {
        handleRequest(req, res, content);
    });
    // The page names no icon; browsers that ask get an empty answer.
    server.Get("/favicon.ico",
               [](const httplib::Request &, httplib::Response &res) { res.status = 204; });
    server.Get(R"(/[A-Za-z0-9_.\-]*)", [](const httplib::Request &req, httplib::Response &res) {
        const PanelAsset *asset = findPanelAsset(req.path);
        if (!asset) {
            errorAnswer(res, 404, "no such page");
            return;
        }
        res.set_content(reinterpret_cast<const char *>(asset->data), asset->size,
                        asset->contentType);
    });
}

void PanelServer::Impl::handleRequest(const httplib::Request &req, httplib::Response &res,
                                      const httplib::ContentReader &content) {
    // The body is read here, chunked or not, and never kept past the limit.
    std::string body;
    size_t received = 0;
    const bool complete = content([&](const char *data, size_t size) {
        received += size;
        if (received <= options.maxBody)
            body.append(data, size);
        return received <= kDrainBytes;
    });
    if (received > options.maxBody || (!complete && res.status == 413)) {
        BoundedHttpServer::closeAfterAnswer();
        errorAnswer(res, 413,
                    "the body is too large (at most " + std::to_string(options.maxBody) +
                        " bytes)");
        return;
    }
    if (!complete) {
        BoundedHttpServer::closeAfterAnswer();
        errorAnswer(res, 400, "the body did not arrive whole");
        return;
    }
    if (mediaType(req.get_header_value("Content-Type")) != "application/json") {
        errorAnswer(res, 415, "the body must be application/json");
        return;
    }
    answerRequest(body, res);
}

void PanelServer::Impl::answerRequest(const std::string &body, httplib::Response &res) {
    json request;
    try {
        request = parsePanelRequest(body, hub.pinIndices());
    } catch (const RequestError &e) {
        errorAnswer(res, 400, e.what());
        return;
    }
    std::lock_guard<std::mutex> lock(moduleMutex);
    if (request.value("op", "") == "restart") {
        // Whatever state the old process is in, a fresh one.
        if (child)
            child->stop();
        hub.startOver();
        std::string ended;
        try {
            ended = startChild();
        } catch (const HostError &e) {
            ended = e.what();
            hub.publish({{"event", "ended"}, {"message", ended}});
        }
        if (ended.empty())
            jsonAnswer(res, 200, {{"ok", true}});
        else
            jsonAnswer(res, 502, {{"error", ended}, {"ended", true}});
        return;
    }
    if (request.value("op", "") == "reload") {
        const std::string message = reloadModule();
        if (message.rfind("reloaded", 0) == 0)
            jsonAnswer(res, 200, {{"ok", true}, {"message", message}});
        else
            errorAnswer(res, 409, message);
        return;
    }
    if (!child || child->ended()) {
        errorAnswer(res, 409,
                    child ? "the session has ended: " + child->endMessage() +
                                " (restart starts a fresh module process)"
                          : std::string("the module is not started"));
        return;
    }
    const ModuleChild::Reply reply = child->request(request);
    if (reply.ended) {
        jsonAnswer(res, 502, {{"error", reply.error}, {"ended", true}});
    } else if (!reply.error.empty()) {
        errorAnswer(res, 409, reply.error);
    } else {
        remember(request);
        jsonAnswer(res, 200, {{"ok", true}});
    }
}

void PanelServer::Impl::handleEvents(httplib::Response &res) {
    // Holds one of the streams while it is open.
    struct Stream {
        explicit Stream(std::atomic<size_t> &c) : count(c) {}
        ~Stream() { --count; }
        std::atomic<size_t> &count;
        uint64_t next = 0;
        bool started = false;
        int quiet = 0;
    };
    if (streams.fetch_add(1) >= options.maxStreams) {
        --streams;
        res.set_header("Retry-After", "5");
        errorAnswer(res, 503,
                    "the panel serves at most " + std::to_string(options.maxStreams) +
                        " event streams at once; close some of its pages or other clients");
        return;
    }
    auto stream = std::make_shared<Stream>(streams);
    res.set_chunked_content_provider(
        "text/event-stream", [this, stream](size_t, httplib::DataSink &sink) {
            if (BoundedHttpServer::clientGone())
                return false; // frees the stream's place at once
            std::string out;
            if (!stream->started) {
                stream->started = true;
                out = "retry: 1000\n" +
                      sseData(hub.snapshot(stream->next)
                                  .dump(-1, ' ', false, json::error_handler_t::replace));
            } else {
                std::vector<std::string> events;
                if (!hub.eventsFrom(stream->next, events, 1000)) {
                    if (hub.closed()) {
                        sink.done();
                        return false;
                    }
                    // Fallen behind: start over from the state.
                    out = sseData(hub.snapshot(stream->next)
                                      .dump(-1, ' ', false, json::error_handler_t::replace));
                }
                for (const std::string &e : events)
                    out += sseData(e);
                // A comment now and then finds out whether the page is
                // still there.
                if (out.empty() && ++stream->quiet >= 10) {
                    stream->quiet = 0;
                    out = ": still here\n\n";
                }
            }
            if (out.empty())
                return true;
            return sink.write(out.data(), out.size());
        });
}

} // namespace wqhost
