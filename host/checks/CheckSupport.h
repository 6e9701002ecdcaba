// CheckSupport - what the conformance checks share: the pin table learnt
// before a check, sessions set up for checking, the texts and numbers every
// pin is given, and the scan that each callback names its own object.
#pragma once

#include "host/trace/CallLog.h"
#include "host/checks/ConformanceCheck.h"
#include "host/pins/PinDeclaration.h"
#include "host/core/Session.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wqhost {

// Which sides the module has: whether makeModule(0, 1) and makeModule(0, 2)
// give an object (each made, opened and closed once, on the first ask of a
// check). A module without one side names `void` for its class, and its
// makeModule answers that type with null. A module that gives neither fails
// the check, which ends.
struct ModuleSides {
    bool audio = false;
    bool gui = false;
};
const ModuleSides &moduleSides(CheckContext &ctx);
// The line that says a side is missing, for a skipped check and the report:
// "the module has no GUI side (makeModule(0, 2) gives null, as for a GUI
// class declared void)".
std::string missingSideText(Side side);
// Ends the check as skipped, with the reason, when the module lacks `side`.
void requireSide(CheckContext &ctx, Side side);

// The module's pin table, read from a short-lived audio object. A module
// with a GUI side only declares no pins (its table is empty); one that
// gives no audio object although it has that side ends the check.
struct CheckedTable {
    std::vector<PinDeclaration> pins;
    int32_t audioPins = 0;
};
CheckedTable readCheckedTable(CheckContext &ctx);

// The options of an audio host for a check: AH_PIN_COUNT answered with the
// table's audio-side pin count.
AudioHost::Options audioOptionsFor(const CheckedTable &table);

// An audio object for a check, every call on the check's log: created with
// `options` after telling the parent `step` ("makeModule(0, 1) and AD_OPEN").
// A module without an audio side skips the check, with the reason; one that
// has the side but gives no audio object here ends the check.
std::unique_ptr<AudioHost> createCheckedAudio(CheckContext &ctx, const AudioHost::Options &options,
                                              const std::string &step);

// How many objects the lifecycle checks create and close in turn, and how
// many live at once in the several-objects checks.
constexpr int kLifecycleRounds = 48;
constexpr int kLiveObjects = 6;

// The nesting depth at which the host stops reporting writes back.
constexpr int kEchoNestingLimit = 64;

// A session for a check: AH_PIN_COUNT answered from the table, echo as
// asked, every call on the check's channel.
std::unique_ptr<Session> startCheckedSession(CheckContext &ctx, const CheckedTable &table,
                                             bool echo, bool echoOnlyChanges);

// Where a declared variable may point: into the object that declares it
// (a member; the object's extent is its heap block where the host's heap
// knows it, else a generous bound past its address), or into the library's
// static storage.
bool insideObject(const void *object, const void *variable);
bool inLibrary(CheckContext &ctx, const void *variable);

// Fails the check for each problem the hosts recorded after the first
// `seen`, and moves `seen` on. `when` says what had just happened. A kind of
// problem met again is not reported again.
void failOnNewProblems(CheckContext &ctx, const std::vector<Problem> &problems, size_t &seen,
                       const std::string &when);

// Each callback must name the record of the object whose call it came from
// (the record of the outermost host call around it).
void checkCallbacksNameTheirObject(CheckContext &ctx, const CallLog &log);

// A pin as checks name it: 'pin 3 ("ITEM -> VALUE")'.
std::string pinLabel(const PinDeclaration &pin);

// A sample as a result a check compares: its value and its bits.
std::string sampleText(float sample);

// The sample pins among the audio side's pins: each with its audio-side
// index and its declaration.
std::vector<std::pair<int32_t, const PinDeclaration *>> samplePinsOf(const CheckedTable &table);

// Values every pin is given.
struct TextCase {
    std::string label;
    std::string text;
};
std::vector<TextCase> pinTextCases();
std::vector<int32_t> pinIntCases();
std::vector<float> pinFloatCases();

// A random text for the randomised checks: any bytes but NUL, with list
// separators, '=' and digits more frequent, up to `maxLength` bytes.
std::string randomPinText(CheckContext &ctx, size_t maxLength);

// The words of a record that the host relies on, compared field by field (a
// 64-bit record has padding, which no one reads); the audio process word may
// change (AH_PROCESS_CHANGED).
inline bool sameHostWords(const WQAudioHostRecord &a, const WQAudioHostRecord &b) {
    return a.magic == b.magic && a.version == b.version && a.hostValue == b.hostValue &&
           a.object == b.object && a.reserved0 == b.reserved0 && a.dispatcher == b.dispatcher &&
           a.eventHandler == b.eventHandler &&
           std::memcmp(a.reserved1, b.reserved1, sizeof a.reserved1) == 0;
}
inline bool sameHostWords(const WQGuiHostRecord &a, const WQGuiHostRecord &b) {
    return a.magic == b.magic && a.version == b.version && a.dispatcher == b.dispatcher &&
           a.hostValue == b.hostValue && a.object == b.object &&
           std::memcmp(a.reserved, b.reserved, sizeof a.reserved) == 0;
}

// Fails the check when `call` changed a word that only the host reads.
template <class Record>
void recordKept(CheckContext &ctx, const Record &before, const Record &after,
                const std::string &call) {
    if (!sameHostWords(before, after))
        ctx.fail(call + " changed a word of the host record that only the host reads");
}

} // namespace wqhost
