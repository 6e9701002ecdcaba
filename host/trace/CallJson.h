// CallJson - a call of the log as JSON lines, and back.
//
// A call is written twice, one JSON object a line: when it begins
//   {"seq":N,"phase":"call","dir":"host->module","side":"gui","kind":"dispatch",
//    "record":"0x...","opcode":7,"name":"GD_PIN_CHANGED","index":0,"value":0,
//    "ptr":0,"opt":0,"depth":0, ["clock":N,] ["text":"...",] ["event":{...}]}
// and when it returns
//   {"seq":N,"phase":"return","result":R, ["answer":"..."]}
// "name" is left out for an opcode the interface does not name, "clock" is
// there for audio-side calls, "text" for a call that carries one. Texts are
// encoded as JsonText describes; "opt" is a number, or "nan", "inf", "-inf".
#pragma once

#include "host/trace/CallRecord.h"

#include <nlohmann/json.hpp>

#include <string>

namespace wqhost {

// The line written when the call begins, without the newline.
std::string callLine(const CallRecord &call);

// The line written when the call returns, without the newline.
std::string returnLine(const CallRecord &call);

// The call as a "call" line describes it (what the line carries: no record
// address, no result).
CallRecord callFromJson(const nlohmann::ordered_json &line);

} // namespace wqhost
