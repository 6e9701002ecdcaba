// A call as a line of text, in both forms: `trace on` lines and the call a
// crashed check was running. Neither shows an address.
#include "host/trace/CallText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace wqhost;

namespace {

struct Case {
    const char *label;
    CallRecord call;
    const char *trace;
    const char *running;
};

CallRecord returned(CallRecord call, intptr_t result, const std::string &answer = std::string()) {
    call.returned = true;
    call.result = result;
    call.answer = answer;
    return call;
}

CallRecord at(CallRecord call, int depth) {
    call.depth = depth;
    return call;
}

CallRecord withText(CallRecord call, const std::string &text) {
    call.text = text;
    return call;
}

CallRecord withEvent(CallRecord call) {
    call.hasEvent = true;
    call.event.time_stamp = 40;
    call.event.event_type = 3;
    call.event.int_value = 1;
    call.event.int_value2 = 2;
    call.event.ptr_value = 0x1234;
    return call;
}

int g_record = 0;

std::vector<Case> cases() {
    const void *record = &g_record;
    return {
        {"a dispatch",
         returned(makeCall(Side::Gui, CallKind::Dispatch, record, {GD_PIN_CHANGED}), 0),
         "  gui -> GD_PIN_CHANGED index=0 => 0", "gui GD_PIN_CHANGED index=0"},
        {"a nested text write",
         returned(at(withText(makeCall(Side::Gui, CallKind::Callback, record,
                                       {GH_PIN_SET_TEXT, 2, 0, &g_record}),
                              "caf\xe9\n"),
                     1),
                  0),
         "    gui <- GH_PIN_SET_TEXT index=2 text=\"caf\\xe9\\n\" => 0",
         "gui GH_PIN_SET_TEXT index=2 text=\"caf\\xe9\\n\""},
        {"an empty text write",
         returned(makeCall(Side::Gui, CallKind::Callback, record, {GH_PIN_SET_LIST_TEXT, 1}), 0),
         "  gui <- GH_PIN_SET_LIST_TEXT index=1 text=\"\" => 0",
         "gui GH_PIN_SET_LIST_TEXT index=1 text=\"\""},
        {"a text answer",
         returned(makeCall(Side::Gui, CallKind::Callback, record, {GH_PIN_GET_TEXT, 2}), 0x1000,
                  "red"),
         "  gui <- GH_PIN_GET_TEXT index=2 => \"red\"", "gui GH_PIN_GET_TEXT index=2"},
        {"a slot answer",
         returned(makeCall(Side::Gui, CallKind::Callback, record, {GH_PIN_GET_VALUE, 3}), 0, "7"),
         "  gui <- GH_PIN_GET_VALUE index=3 => slot 7", "gui GH_PIN_GET_VALUE index=3"},
        {"a call that never returned",
         makeCall(Side::Audio, CallKind::Dispatch, record,
                  {AD_SET_SAMPLE_RATE, 0, 0, nullptr, 48000.0f}, 64),
         "  audio -> AD_SET_SAMPLE_RATE index=0 opt=48000 @64 (no return)",
         "audio AD_SET_SAMPLE_RATE index=0"},
        {"an unnamed callback",
         returned(makeCall(Side::Audio, CallKind::Callback, record, {77, 0, 5}), -1),
         "  audio <- opcode 77 index=0 value=5 @0 => -1",
         "audio callback opcode 77 index=0 value=5"},
        {"an unnamed dispatcher opcode",
         returned(makeCall(Side::Gui, CallKind::Dispatch, record, {-2, 4}), 0),
         "  gui -> opcode -2 index=4 => 0", "gui opcode -2 index=4"},
        {"an address result",
         returned(makeCall(Side::Audio, CallKind::Callback, record, {AH_PIN_BUFFER, 1}), 0x2000),
         "  audio <- AH_PIN_BUFFER index=1 @0 => address", "audio AH_PIN_BUFFER index=1"},
        {"an event", returned(withEvent(makeCall(Side::Audio, CallKind::Event, record, {}, 40)), 0),
         "  audio -> event {time_stamp=40 type=3 int_value=1 int_value2=2} @40 => 0",
         "audio event type=3 time_stamp=40"},
        {"a process call", returned(makeCall(Side::Audio, CallKind::Process, record, {}, 128), 0),
         "  audio -> process @128 => 0", "audio process call"},
        {"makeModule",
         returned(makeCall(Side::Library, CallKind::MakeModule, nullptr, {0, 0, WQ_TYPE_AUDIO}),
                  0x3000),
         "  library -> makeModule index=0 type=1 => address", "makeModule index=0 type=1"},
        {"a refused makeModule",
         returned(makeCall(Side::Library, CallKind::MakeModule, nullptr, {0, 0, 3}), 0),
         "  library -> makeModule index=0 type=3 => null", "makeModule index=0 type=3"},
        {"getModuleProperties",
         returned(makeCall(Side::Library, CallKind::GetModuleProperties, nullptr, {0, 1}), 0),
         "  library -> getModuleProperties index=1 => 0", "getModuleProperties index=1"},
    };
}

TEST(CallTextTest, BothFormsOfEveryKindOfCall) {
    for (const Case &c : cases()) {
        EXPECT_EQ(callText(c.call, CallForm::Trace), c.trace) << c.label;
        EXPECT_EQ(callText(c.call, CallForm::Running), c.running) << c.label;
    }
}

TEST(CallTextTest, RunningCallShowsAtMost40BytesOfItsText) {
    CallRecord call = makeCall(Side::Gui, CallKind::Callback, &g_record, {GH_PIN_SET_TEXT});
    call.text = std::string(45, 'a');
    EXPECT_EQ(callText(call, CallForm::Running),
              "gui GH_PIN_SET_TEXT index=0 text=\"" + std::string(40, 'a') + "...\"");
    EXPECT_EQ(callText(call, CallForm::Trace),
              "  gui <- GH_PIN_SET_TEXT index=0 text=\"" + std::string(45, 'a') + "\" (no return)");
}

} // namespace
