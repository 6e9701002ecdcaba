// Contract checks of the audio side: each breach stops the program with the
// check's text, source file and line.
#include "list_module/Module.h"
#include "tests/support/AudioHostSpy.h"
#include "tests/support/TestModules.h"
#include "wq_sdk2/WQModule_base.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

using test::AudioHostSpy;
using test::DeclarationModule;
using test::SpyModule;

namespace {

// The report of a failed check as a regular expression matching it exactly.
std::string report(const std::string &text) {
    std::string escaped;
    for (char c : "Assertion failed: " + text + ", file ") {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
            escaped += '\\';
        escaped += c;
    }
    return escaped + ".+, line ";
}

const char kPinFlagCheck[] = "(((WQPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
                             "(((WQPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
                             "((WQPinProperties*)ptr)->direction == DR_OUT || "
                             "( ( (WQPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0";

wq_result_t sendOpcode(WQModule_base &m, int32_t opcode, int32_t index = 0, void *ptr = nullptr) {
    WQAudioHostRecord *r = m.hostRecord();
    return r->dispatcher(r, opcode, index, 0, ptr, 0.0f);
}

void deliver(WQModule_base &m, WQEvent event) {
    WQAudioHostRecord *r = m.hostRecord();
    r->eventHandler(r->object, &event);
}

class AudioCheckDeathTest : public ::testing::Test {
protected:
    AudioHostSpy host;
};

TEST_F(AudioCheckDeathTest, OpcodesSevenAndTenNeverReachAnAudioObject) {
    SpyModule m(&host);
    EXPECT_DEATH(sendOpcode(m, AD_OPCODE_7), report("false"));
    EXPECT_DEATH(sendOpcode(m, AD_OPCODE_10), report("false"));
}

TEST_F(AudioCheckDeathTest, PinsAreAskedForOnlyWhenTheyExist) {
    SpyModule m(&host);
    EXPECT_DEATH(m.getPin(0), report("m_pins != 0"));
    EXPECT_DEATH(deliver(m, WQEvent{0, EV_PIN_STATUS, 1, 0, 0, nullptr}), report("m_pins != 0"));
    host.pin_count = 0;
    sendOpcode(m, AD_OPEN);
    EXPECT_DEATH(m.getPin(0), report("m_pins != 0"));
}

TEST_F(AudioCheckDeathTest, PinIndexMustNameAPin) {
    host.pin_count = 2;
    DeclarationModule m(&host, {{IO_REPEATING, DT_INT, nullptr, DR_IN}});
    sendOpcode(m, AD_OPEN);
    const std::string text = report("index >= 0 && index < m_pin_count");
    EXPECT_DEATH(m.getPin(2), text);
    EXPECT_DEATH(m.getPin(-1), text);
    EXPECT_DEATH(deliver(m, WQEvent{0, EV_PIN_STATUS, 1, 0, 2, nullptr}), text);
    EXPECT_DEATH(deliver(m, WQEvent{0, EV_PIN_STATUS, 1, 0, -1, nullptr}), text);
    if (sizeof(intptr_t) > 4) {
        // An index beyond 32 bits must not wrap onto a real pin.
        const intptr_t wide = static_cast<intptr_t>((static_cast<uint64_t>(1) << 32) | 1u);
        EXPECT_DEATH(deliver(m, WQEvent{0, EV_PIN_STATUS, 1, 0, wide, nullptr}), text);
    }
}

TEST_F(AudioCheckDeathTest, PinStatusForAPinNeverSetUp) {
    host.pin_count = 4;
    Module m(&AudioHostSpy::callback, host.hostValue());
    sendOpcode(m, AD_OPEN);
    EXPECT_DEATH(deliver(m, WQEvent{0, EV_PIN_STATUS, 1, 0, 3, nullptr}), report("pin->isSetUp()"));
}

TEST_F(AudioCheckDeathTest, EventsArriveAtTheirOwnClock) {
    host.sample_clock = 10;
    SpyModule m(&host);
    EXPECT_DEATH(deliver(m, WQEvent{11, 6, 0, 0, 0, nullptr}),
                 report("e->time_stamp == SampleClock()"));
    EXPECT_DEATH(deliver(m, WQEvent{9, EV_DELAYED_CALL, 0, 0, 0, nullptr}),
                 report("e->time_stamp == SampleClock()"));
}

TEST_F(AudioCheckDeathTest, NothingIsPostedIntoThePast) {
    host.sample_clock = 10;
    SpyModule m(&host);
    EXPECT_DEATH(m.addEvent(9, 6, 0, 0, 0), report("p_time_stamp >= SampleClock()"));
    EXPECT_DEATH(m.addDelayedCall(0, wq::memberRef<&SpyModule::plainMember>()),
                 report("p_time_stamp >= SampleClock()"));
}

TEST_F(AudioCheckDeathTest, NoStatusIsSentIntoThePast) {
    host.pin_count = 1;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}});
    sendOpcode(m, AD_OPEN);
    host.sample_clock = 100;
    EXPECT_DEATH(m.getPin(0)->transmitStatus(99, 1),
                 report("sampleclock >= m_module->SampleClock()"));
}

TEST_F(AudioCheckDeathTest, SamplesAreReadOnlyFromSamplePins) {
    host.pin_count = 2;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}, {0, DT_FLOAT, nullptr, DR_IN}});
    sendOpcode(m, AD_OPEN);
    EXPECT_DEATH(m.getPin(0)->getSampleValue(), report("m_datatype == DT_FSAMPLE"));
    EXPECT_DEATH(m.getPin(1)->getSampleValue(), report("m_datatype == DT_FSAMPLE"));
    WQPin never_set_up;
    EXPECT_DEATH(never_set_up.getSampleValue(), report("m_datatype == DT_FSAMPLE"));
}

TEST_F(AudioCheckDeathTest, SamplesNeedABuffer) {
    host.pin_count = 1; // the host hands out no buffer for pin 0
    DeclarationModule m(&host, {{0, DT_FSAMPLE, nullptr, DR_IN}});
    sendOpcode(m, AD_OPEN);
    EXPECT_DEATH(m.getPin(0)->getSampleValue(), report("buffer != 0"));
}

struct InconsistentCase {
    const char *name;
    uint32_t flags;
};

void PrintTo(const InconsistentCase &c, std::ostream *os) { *os << c.name; }

class AudioPinFlagDeathTest : public ::testing::TestWithParam<InconsistentCase> {};

TEST_P(AudioPinFlagDeathTest, PatchStoreNeedsPrivateGuiOrOutput) {
    AudioHostSpy host;
    DeclarationModule m(&host, {{GetParam().flags, DT_INT, nullptr, DR_IN}});
    WQPinProperties record = {};
    EXPECT_DEATH(sendOpcode(m, AD_GET_PIN_PROPERTIES, 0, &record), report(kPinFlagCheck));
}

INSTANTIATE_TEST_SUITE_P(
    Inconsistent, AudioPinFlagDeathTest,
    ::testing::Values(InconsistentCase{"patchStore", IO_PATCH_STORE},
                      InconsistentCase{"patchStoreDual", IO_PATCH_STORE | IO_UI_DUAL},
                      InconsistentCase{"patchStoreRepeating", IO_PATCH_STORE | IO_REPEATING}),
    [](const ::testing::TestParamInfo<InconsistentCase> &info) {
        return std::string(info.param.name);
    });

TEST_F(AudioCheckDeathTest, PinFlagCheckAppliesWhateverTheDeclarationAnswered) {
    // A refused declaration leaves the host's own record, which is checked.
    SpyModule m(&host);
    WQPinProperties record = {};
    record.flags = IO_PATCH_STORE;
    record.direction = DR_IN;
    EXPECT_DEATH(sendOpcode(m, AD_GET_PIN_PROPERTIES, 7, &record), report(kPinFlagCheck));
}

TEST_F(AudioCheckDeathTest, PinPropertiesNeedARecord) {
    SpyModule m(&host);
    EXPECT_DEATH(sendOpcode(m, AD_GET_PIN_PROPERTIES, 0, nullptr), report("ptr != 0"));
}

TEST_F(AudioCheckDeathTest, TheEntriesNeedTheirRecordObjectAndEvent) {
    SpyModule m(&host);
    WQAudioHostRecord *r = m.hostRecord();
    EXPECT_DEATH(r->dispatcher(nullptr, AD_OPEN, 0, 0, nullptr, 0.0f), report("record != 0"));
    EXPECT_DEATH(r->eventHandler(r->object, nullptr), report("event != 0"));
    // The host passes the record's object word to the event entry and the
    // process function; a null word names no object.
    WQEvent event{0, EV_PIN_STATUS, 1, 0, 0, nullptr};
    EXPECT_DEATH(r->eventHandler(nullptr, &event), report("object != 0"));
    EXPECT_DEATH(r->process(nullptr), report("object != 0"));
    m.setProcessFunction(wq::memberRef<&SpyModule::plainMember>());
    EXPECT_DEATH(r->process(nullptr), report("object != 0"));
    // A record whose object word was cleared.
    WQAudioHostRecord cleared = *r;
    cleared.object = nullptr;
    EXPECT_DEATH(r->dispatcher(&cleared, AD_OPEN, 0, 0, nullptr, 0.0f), report("object != 0"));
}

// A module whose operations throw: the exception must stop at the entry.
class ThrowingModule : public SpyModule {
public:
    using SpyModule::SpyModule;
    void close() override { throw std::runtime_error("close"); }
    void onHostOpcode8() override { throw 42; }
    void onEventType2(uint32_t, int32_t, int16_t) override { throw std::bad_alloc(); }
};

TEST_F(AudioCheckDeathTest, NoExceptionCrossesIntoTheHost) {
    const std::string text = report("no exception crosses into the host");
    auto *m = new ThrowingModule(&host);
    EXPECT_DEATH(sendOpcode(*m, AD_CLOSE), text);
    EXPECT_DEATH(sendOpcode(*m, AD_OPCODE_8), text);
    EXPECT_DEATH(deliver(*m, WQEvent{0, EV_TYPE_2, 0, 0, 0, nullptr}), text);
    EXPECT_DEATH(deliver(*m, WQEvent{0, EV_DELAYED_CALL, 0, 0,
                                     reinterpret_cast<intptr_t>(
                                         wq::memberRef<&SpyModule::throwingMember>().function),
                                     nullptr}),
                 text);
    m->setProcessFunction(wq::memberRef<&SpyModule::throwingMember>());
    WQAudioHostRecord *r = m->hostRecord();
    EXPECT_DEATH(r->process(r->object), text);
    delete m;
}

} // namespace
