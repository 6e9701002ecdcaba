// ScriptParser - the line-based language of `wqhost run`: one command per
// line, read into ScriptCommand values before anything runs, so that a
// script with a mistake on its last line changes nothing.
//
// The commands, their arguments and what they do are one table
// (SessionCommands.cpp): `help` prints it and Tab completion offers its words.
// `list`, `select` and `write` are aliases of `set` on a list module's pins,
// found by name in the loaded module's pin table ("TEXT LIST", "LIST",
// "ITEM -> VALUE").
//
// PIN is a pin number or a pin name in quotes. TEXT is a word or a quoted
// text; inside quotes \" \\ \n \t \r and \xNN (two hex digits, not 00)
// stand for one byte, so empty, comma, space and 8-bit texts can be written.
// '#' outside quotes starts a comment. Blank lines are allowed.
#pragma once

#include "host/script/ScriptArguments.h"
#include "host/script/ScriptCommand.h"

#include <string>
#include <vector>

namespace wqhost {

// One line. Returns false for a blank or comment-only line. Throws
// ScriptError with `lineNumber` for a mistake.
bool parseScriptLine(const std::string &line, int lineNumber, ScriptCommand &out);

// The words and quoted texts of one line (escapes resolved), up to a '#'
// outside quotes. Throws ScriptError with `lineNumber` for an unterminated
// quote or a bad escape.
std::vector<ScriptToken> tokenizeScriptLine(const std::string &line, int lineNumber);

// A whole script; the first mistake is thrown.
std::vector<ScriptCommand> parseScript(const std::string &text);

// The help text of the language, as `help` prints it: every command of the
// parser's command table with its arguments and what it does.
std::string scriptHelpText();

// The words of the language that are not values, each once: the command
// names, then the literal words of their arguments ("on", "pin", "int").
// Tab completion offers them.
const std::vector<std::string> &scriptWords();

} // namespace wqhost
