// AudioCommands - the rows of the command table that drive the audio side:
// `rate`, `block`, `signal`, `record`, the timed form of `set` and the
// sample expectations. Their readers turn the words of a line into a
// ScriptCommand; their actions carry it out on the engine's session and its
// AudioStreams.
#pragma once

#include "host/script/ScriptArguments.h"
#include "host/script/ScriptCommand.h"
#include "host/script/SessionEngine.h"

namespace wqhost {

void readRate(const ArgumentReader &words, ScriptCommand &c);
void readBlock(const ArgumentReader &words, ScriptCommand &c);
void readSignal(const ArgumentReader &words, ScriptCommand &c);
void readRecord(const ArgumentReader &words, ScriptCommand &c);
void readExpectSamples(const ArgumentReader &words, ScriptCommand &c);
void readExpectGolden(const ArgumentReader &words, ScriptCommand &c);
// `... at SAMPLE` at the end of a `set` line: takes it off and says whether
// it was there.
bool readSetTime(const ArgumentReader &words, ScriptCommand &c);

void actRate(SessionEngine &e, const ScriptCommand &c, SessionStep &step);
void actBlock(SessionEngine &e, const ScriptCommand &c, SessionStep &step);
void actSignal(SessionEngine &e, const ScriptCommand &c, SessionStep &step);
void actRecord(SessionEngine &e, const ScriptCommand &c, SessionStep &step);
void actExpectSamples(SessionEngine &e, const ScriptCommand &c, SessionStep &step);
void actExpectGolden(SessionEngine &e, const ScriptCommand &c, SessionStep &step);

// What `set` does on the audio side after the GUI side has the value: a pin
// with an audio side gets the value at the next block's start, or at
// `at SAMPLE` from there; a sample input gets it as a constant signal.
void setAudioSide(SessionEngine &e, const ScriptCommand &c, int32_t pin, SessionStep &step);

} // namespace wqhost
