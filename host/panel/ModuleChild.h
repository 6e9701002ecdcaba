// ModuleChild - the panel's end of the module's child process
// (PanelModuleHost on the other side): sends a request line, passes every
// line the child answers on to a handler as it comes, and notices when the
// child crashes, hangs or ends. After that the session is over: every
// further request is answered with the same end message.
#pragma once

#include "host/process/ChildChannel.h"
#include "host/process/PipedChild.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace wqhost {

class ModuleChild {
public:
    // Each line of the child as an event: its own events as they are,
    // calls wrapped as {"event":"trace","call":{...}}.
    using EventHandler = std::function<void(const nlohmann::json &event)>;

    struct Reply {
        bool ended = false; // the child is gone; the session is over
        std::string error;  // the child's error line, or the end message
    };

    // `argv` starts the child; a request that takes longer than
    // `timeoutSeconds` counts as a hang.
    ModuleChild(std::vector<std::string> argv, double timeoutSeconds, EventHandler onEvent);
    ~ModuleChild();

    // Starts the child and waits for its first answer (the module loaded
    // and opened).
    Reply start();
    Reply request(const nlohmann::json &request);

    // Between requests: passes on what the child wrote by itself and
    // notices its end (a kill from outside, a crash of its own), which then
    // ends the session with how it ended. False once it has ended.
    bool poll();

    bool ended() const noexcept { return m_ended; }
    const std::string &endMessage() const noexcept { return m_endMessage; }

    // Ends the child (its input closed, then killed if it lingers).
    void stop();

private:
    Reply readAnswer();
    Reply end(const std::string &why, bool killIt);

    std::vector<std::string> m_argv;
    double m_timeout;
    EventHandler m_onEvent;
    PipedChild m_child;
    ChannelReader m_reader;
    bool m_answered = false;                      // the child said it is done with the request
    std::string m_error;                          // the child's error line for the request
    std::map<long long, std::string> m_openCalls; // seq -> what the call is, until it returns
    bool m_ended = false;
    std::string m_endMessage;
};

} // namespace wqhost
