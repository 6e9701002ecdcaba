// CallText - a call of the log as one line of text for a person. Both forms
// leave addresses out, so that output can be stored and compared.
//
// CallForm::Trace, the lines of `trace on` in a script: indented by nesting
// depth, who calls whom, the opcode by name, the arguments that are set, the
// text a call carries, the event, the audio side's sample clock and the
// result (texts and slots the host answered in words, addresses as
// "address" or "null"):
//     gui -> GD_PIN_CHANGED index=0
//       gui <- GH_PIN_SET_TEXT index=2 text="red" => 0
//
// CallForm::Running, a call that was running when a check's child process
// died: side, opcode and arguments, the text shortened to 40 bytes:
//     audio AD_GET_PIN_PROPERTIES index=2
#pragma once

#include "host/trace/CallRecord.h"

#include <string>

namespace wqhost {

enum class CallForm { Trace, Running };

std::string callText(const CallRecord &call, CallForm form);

} // namespace wqhost
