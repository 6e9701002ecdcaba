// SessionCommands - the command table of the session language: for each
// command its words, its arguments and help as `help` shows them, how the
// rest of its line is read, what it does on the session, and what a caller
// shows after it. The parser, `help`, Tab completion and the engine all read
// this one table, so a command is added by adding its row.
#pragma once

#include "host/script/ScriptArguments.h"
#include "host/script/ScriptCommand.h"
#include "host/script/SessionEngine.h"

#include <vector>

namespace wqhost {

struct CommandRow {
    const char *name;       // the command word
    const char *subcommand; // the second word, for rows that share their first ("expect pin")
    const char *arguments;  // as help shows them: capitals stand for values, a|b for a choice
    const char *help;
    ScriptOp op;
    // Reads the line's words into the command; null: the command takes none.
    void (*read)(const ArgumentReader &words, ScriptCommand &command);
    // Carries it out; null: a command of whoever reads the commands (help, quit).
    void (*act)(SessionEngine &engine, const ScriptCommand &command, SessionStep &step);
    StepReport report;
};

// Every row, in the order help lists them.
const std::vector<CommandRow> &sessionCommands();

// The row that carries out `op` (the first with it: aliases share their
// command's action).
const CommandRow &commandRow(ScriptOp op);

} // namespace wqhost
