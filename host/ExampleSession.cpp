#include "host/ExampleSession.h"

#include "host/Session.h"
#include "host/TextReport.h"

#include <functional>

namespace wqhost {

namespace {

void printProblems(const Session &session, std::ostream &out) {
    for (const std::string &p : session.problems())
        out << "  problem: " << p << "\n";
}

} // namespace

void printModuleInfo(const std::string &path, std::ostream &out) {
    Session session(path);
    session.start();
    out << "Module library " << path << "\n\nDescription (module 0)\n"
        << formatDescription(session.description()) << "\nPins\n"
        << formatPinTable(session.pinTable());
    printProblems(session, out);
}

void runExampleSession(const std::string &path, std::ostream &out) {
    Session session(path);
    session.start();
    out << "Module library " << path << "\n\nDescription (module 0)\n"
        << formatDescription(session.description()) << "\nPins\n"
        << formatPinTable(session.pinTable()) << "\nPins after opening\n"
        << formatPinValues(session.readPins());

    struct Step {
        std::string what;
        std::function<void()> run;
    };
    const Step steps[] = {
        {"set pin 0 (the list) to \"red,green,blue\"",
         [&] { session.setListText("red,green,blue"); }},
        {"select item 1 on pin 1", [&] { session.selectItem(1); }},
        {"select item 2 on pin 1", [&] { session.selectItem(2); }},
        {"write \"0\" to pin 3", [&] { session.writeNumber("0"); }},
        {"select item 5 on pin 1 (there is none: pins 2 and 3 stay)",
         [&] { session.selectItem(5); }},
        {"set pin 0 to \"a=1,b=2\" (pin 1 follows the number on pin 3)",
         [&] { session.setListText("a=1,b=2"); }},
        {"write \"1\" to pin 3", [&] { session.writeNumber("1"); }},
    };
    for (const Step &step : steps) {
        out << "\n> " << step.what << "\n";
        step.run();
        out << formatPinValues(session.readPins());
    }
    printProblems(session, out);
    session.stop();
}

} // namespace wqhost
