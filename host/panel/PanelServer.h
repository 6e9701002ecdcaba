// PanelServer - `wqhost panel`'s web server: serves the page and a small
// JSON API on the loopback address, runs the module through a ModuleChild
// and pushes what happens to every open page as Server-Sent Events.
//
//   GET  /, /panel.js, /panel.css   the page
//   GET  /api/state                 the panel's state (EventHub::snapshot)
//   GET  /api/events                the event stream: the state, then events
//   POST /api/request               a request for the module (PanelRequest);
//                                   200 {"ok":true}, or an error; the
//                                   request {"op":"reload"} is reload()
//
// Every request must name the loopback address and the server's port as
// its Host, and as its Origin when it has one (a page elsewhere cannot drive
// the module through a host name that resolves to this machine): otherwise
// 403. A body over the limit (chunked or not) is refused with 413, a type
// other than application/json with 415, a request that is not JSON or names
// no declared pin with 400, a request while the module's process is gone
// with 409, an event stream past the limit of streams with 503; every error
// answer is {"error": "..."}. Connections are held to the limits of
// BoundedHttpServer, so that streams and slow clients hold no thread another
// request needs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

class PanelServer {
public:
    struct Options {
        std::vector<std::string> childArgv; // starts the module's process
        double timeoutSeconds = 10.0;       // a request taking longer is a hang
        size_t maxBody = 64 * 1024;
        size_t maxStreams = 32;     // event streams open at once
        size_t maxConnections = 64; // connections served at once
        // Told once when the module's process ends unexpectedly.
        std::function<void(const std::string &message)> onEnded;
        // The library file to watch: when it is replaced (and then left
        // alone for a moment), the module is reloaded (reload()). Empty:
        // no watching.
        std::string watchPath;
        // Told what a reload did: "reloaded ..." or why it failed.
        std::function<void(const std::string &message)> onReload;
    };

    explicit PanelServer(Options options);
    ~PanelServer(); // stops serving and ends the module's process
    PanelServer(const PanelServer &) = delete;
    PanelServer &operator=(const PanelServer &) = delete;

    // Binds 127.0.0.1:port (0: a free port). Returns the port; throws
    // HostError when it cannot bind.
    int bind(int port);
    int port() const noexcept;
    std::string address() const; // "http://127.0.0.1:PORT/"

    // Starts the module's process and waits for it to load the module.
    // Throws HostError, with the reason `info` gives, when the library does
    // not load or is no module. Returns the end message when the process did
    // not survive the start (empty otherwise); the server serves the page
    // all the same, which shows the message.
    std::string startModule();

    // Loads the module afresh in a new process and replays on it the
    // session's settings since the last start (pin sets, echo, rate,
    // block size, signals, and a close): the pages are then told
    // {"event":"reloaded"} with the state anew. A library that no longer
    // loads, fails its first calls or refuses a replayed setting is
    // reported ({"event":"reload-failed"}) and the old process kept. Returns
    // the message of either.
    std::string reload();

    // Serves until stop() (from another thread).
    void run();
    void stop();

    // Why a request is refused for its Host and Origin headers, or empty
    // when they name this server.
    static std::string refusedOrigin(const std::string &host, const std::string &origin,
                                     bool hasOrigin, int port);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace wqhost
