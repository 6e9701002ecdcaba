// WQModule_base: the record, the dispatcher, the host callback, the process
// function and its reference record, events and delayed calls.
#include "tests/support/AudioHostSpy.h"
#include "tests/support/TestModules.h"
#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/WQModule_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using test::AudioHostSpy;
using test::SpyModule;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

wq_result_t sendOpcode(WQModule_base &m, int32_t opcode, int32_t index = 0, int32_t value = 0,
                       void *ptr = nullptr, float opt = 0.0f) {
    WQAudioHostRecord *r = m.hostRecord();
    return r->dispatcher(r, opcode, index, value, ptr, opt);
}

void deliver(WQModule_base &m, WQEvent event) {
    WQAudioHostRecord *r = m.hostRecord();
    r->eventHandler(r->object, &event);
}

WQEvent makeEvent(uint32_t time_stamp, int32_t type, int32_t v1, int32_t v2, intptr_t ptr) {
    return WQEvent{time_stamp, type, v1, v2, ptr, nullptr};
}

// ---- The record -------------------------------------------------------------

TEST(ModuleBaseRecord, ReadsWordByWordAfterConstruction) {
    AudioHostSpy host;
    SpyModule m(&host);
    const WQAudioHostRecord *r = m.hostRecord();

    EXPECT_EQ(r->magic, 0x5751504Cu);
    EXPECT_EQ(r->version, 1);
    EXPECT_EQ(r->hostValue, host.hostValue());
    EXPECT_EQ(r->object, static_cast<void *>(static_cast<WQModule_base *>(&m)));
    EXPECT_EQ(r->reserved0, 0);
    EXPECT_NE(r->dispatcher, nullptr);
    EXPECT_EQ(r->process, wq::memberRef<&WQModule_base::processNone>().function);
    EXPECT_NE(r->eventHandler, nullptr);
    for (int32_t word : r->reserved1)
        EXPECT_EQ(word, 0);

    // The record sits inside the object.
    const auto *begin = reinterpret_cast<const char *>(&m);
    const auto *at = reinterpret_cast<const char *>(r);
    EXPECT_GE(at, begin);
    EXPECT_LE(at + sizeof *r, begin + sizeof m);
}

TEST(ModuleBaseRecord, StartsWithItsDefaultsAndWithoutHostCalls) {
    AudioHostSpy host;
    SpyModule m(&host);

    float rate = m.sampleRate();
    uint32_t bits = 0;
    std::memcpy(&bits, &rate, sizeof bits);
    EXPECT_EQ(bits, 0x472C4400u);
    EXPECT_EQ(m.blockSize(), 1024);
    EXPECT_EQ(m.pinCount(), 0);
    EXPECT_EQ(m.getProcessFunction().adjustment, 0);
    EXPECT_THAT(host.calls, IsEmpty());
}

// ---- Dispatcher ---------------------------------------------------------------

struct DispatchRow {
    const char *name;
    int32_t opcode;
    int32_t index;
    int32_t value;
    intptr_t ptr;
    float opt;
    wq_result_t result;
    std::vector<std::string> log;
};

void PrintTo(const DispatchRow &row, std::ostream *os) { *os << row.name; }

class ModuleBaseDispatch : public ::testing::TestWithParam<DispatchRow> {};

TEST_P(ModuleBaseDispatch, RunsItsOperationAndAnswers) {
    const DispatchRow &row = GetParam();
    AudioHostSpy host;
    SpyModule m(&host);
    WQPinProperties properties = {};

    void *ptr =
        row.opcode == AD_GET_PIN_PROPERTIES ? &properties : reinterpret_cast<void *>(row.ptr);
    EXPECT_EQ(sendOpcode(m, row.opcode, row.index, row.value, ptr, row.opt), row.result);
    EXPECT_EQ(m.log, row.log);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOpcode, ModuleBaseDispatch,
    ::testing::Values(
        DispatchRow{"open",
                    AD_OPEN,
                    0,
                    0,
                    0,
                    0.0f,
                    0,
                    {"open", "getPinProperties 0", "getPinProperties -1"}},
        DispatchRow{
            "sampleRate", AD_SET_SAMPLE_RATE, 3, 7, 0, 48000.0f, 0, {"setSampleRate 48000"}},
        DispatchRow{"blockSize", AD_SET_BLOCK_SIZE, 3, 256, 0, 5.0f, 0, {"setBlockSize 256"}},
        DispatchRow{"opcode4", AD_OPCODE_4, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"opcode5", AD_OPCODE_5, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"pinPropertiesRefused",
                    AD_GET_PIN_PROPERTIES,
                    2,
                    0,
                    0,
                    0.0f,
                    0,
                    {"getPinProperties 2"}},
        DispatchRow{"opcode8IndexZero", AD_OPCODE_8, 0, 9, 0, 0.0f, 0, {"onHostOpcode8"}},
        DispatchRow{"opcode8IndexThree",
                    AD_OPCODE_8,
                    3,
                    9,
                    0,
                    0.0f,
                    0,
                    {"onHostOpcode8", "onHostOpcode8Index 3"}},
        DispatchRow{"opcode8NegativeIndex", AD_OPCODE_8, -2, 0, 0, 0.0f, 0, {"onHostOpcode8"}},
        DispatchRow{"opcode9", AD_OPCODE_9, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"opcode11", AD_OPCODE_11, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"opcode12", AD_OPCODE_12, 6, 5, 0x1234, 1.0f, 0, {"onHostOpcode12 5 6 4660"}},
        DispatchRow{"opcode14", 14, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"opcode100", 100, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"opcodeMinus1", -1, 1, 2, 3, 4.0f, 0, {}},
        DispatchRow{"opcodeMinValue", INT32_MIN, 1, 2, 3, 4.0f, 0, {}}),
    [](const ::testing::TestParamInfo<DispatchRow> &info) { return std::string(info.param.name); });

TEST(ModuleBaseDispatchState, SampleRateLeavesBlockSizeAndBlockSizeIgnoresOpt) {
    AudioHostSpy host;
    SpyModule m(&host);
    sendOpcode(m, AD_SET_SAMPLE_RATE, 0, 7, nullptr, 48000.0f);
    EXPECT_EQ(m.sampleRate(), 48000.0f);
    EXPECT_EQ(m.blockSize(), 1024);
    sendOpcode(m, AD_SET_BLOCK_SIZE, 0, 256, nullptr, 22050.0f);
    EXPECT_EQ(m.blockSize(), 256);
    EXPECT_EQ(m.sampleRate(), 48000.0f);
}

TEST(ModuleBaseDispatchState, UnknownOpcodesChangeNothing) {
    AudioHostSpy host;
    SpyModule m(&host);
    const WQAudioHostRecord before = *m.hostRecord();
    for (int32_t opcode : {4, 5, 9, 11, 14, 100, -1})
        EXPECT_EQ(sendOpcode(m, opcode, 1, 2, nullptr, 3.0f), 0) << opcode;
    EXPECT_EQ(std::memcmp(&before, m.hostRecord(), sizeof before), 0);
    EXPECT_EQ(m.sampleRate(), 44100.0f);
    EXPECT_EQ(m.blockSize(), 1024);
    EXPECT_THAT(host.calls, IsEmpty());
}

TEST(ModuleBaseDispatchState, CloseRunsBeforeTheDestructorAndAnswersOne) {
    AudioHostSpy host;
    std::vector<std::string> destroyed;
    auto *m = new SpyModule(&host, &destroyed);
    EXPECT_EQ(sendOpcode(*m, AD_CLOSE), 1);
    EXPECT_THAT(destroyed, ElementsAre("close", "destructor"));
}

TEST(ModuleBaseDispatchState, PinPropertiesAnswerOneWhenDeclaredAndLeaveTheRecordUncleared) {
    AudioHostSpy host;
    int variable = 0;
    test::DeclarationModule m(&host, {{IO_PATCH_STORE | IO_PRIVATE, DT_INT, &variable, DR_IN}});
    WQPinProperties record;
    std::memset(&record, 0x5A, sizeof record);
    EXPECT_EQ(sendOpcode(m, AD_GET_PIN_PROPERTIES, 0, 0, &record), 1);
    EXPECT_EQ(record.variable, &variable);
    EXPECT_EQ(record.reserved5, 0x5A5A5A5A);
    EXPECT_EQ(record.reserved8, 0x5A5A5A5A);
    EXPECT_THAT(m.asked, ElementsAre(0));
}

// ---- Process reference record (opcode 13) -------------------------------------

bool pointsInto(const void *p, const void *object, size_t size) {
    const auto *c = static_cast<const char *>(p);
    const auto *o = static_cast<const char *>(object);
    return c >= o && c < o + size;
}

TEST(ModuleBaseProcessReference, IsOneSharedRecordPointingIntoTheAskingObject) {
    AudioHostSpy host;
    SpyModule a(&host);
    SpyModule b(&host);
    b.setProcessFunction(wq::memberRef<&SpyModule::plainMember>());

    const wq_result_t first = sendOpcode(a, AD_GET_PROCESS_REFERENCE);
    const auto *record = reinterpret_cast<const WQProcessReferenceRecord *>(first);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->count, 1);
    EXPECT_EQ(record->referenceSize, 8);
    EXPECT_EQ(record->tag, 1002);
    EXPECT_TRUE(pointsInto(record->reference, &a, sizeof a));
    EXPECT_EQ(record->reference->function, a.getProcessFunction().function);
    EXPECT_EQ(record->reference->adjustment, 0);

    const wq_result_t second = sendOpcode(b, AD_GET_PROCESS_REFERENCE);
    EXPECT_EQ(second, first);
    EXPECT_TRUE(pointsInto(record->reference, &b, sizeof b));
    EXPECT_EQ(record->reference->function, wq::memberRef<&SpyModule::plainMember>().function);
    EXPECT_EQ(&WQModule_base::processReferenceRecord(), record);
}

// ---- Process function ---------------------------------------------------------

struct ReferenceCase {
    const char *name;
    WQProcessReference a;
    WQProcessReference b;
    bool equal;
};

void PrintTo(const ReferenceCase &c, std::ostream *os) { *os << c.name; }

class MemberReferenceEquality : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(MemberReferenceEquality, FollowsTheFunctionWordAndAdjustment) {
    EXPECT_EQ(wq::sameReference(GetParam().a, GetParam().b), GetParam().equal);
    EXPECT_EQ(wq::sameReference(GetParam().b, GetParam().a), GetParam().equal);
}

const WQProcessProc kPlain = wq::memberRef<&SpyModule::plainMember>().function;
const WQProcessProc kVirtual = wq::memberRef<&SpyModule::virtualMember>().function;

INSTANTIATE_TEST_SUITE_P(
    Cases, MemberReferenceEquality,
    ::testing::Values(ReferenceCase{"same", {kPlain, 0}, {kPlain, 0}, true},
                      ReferenceCase{"otherFunction", {kPlain, 0}, {kVirtual, 0}, false},
                      ReferenceCase{"otherAdjustment", {kPlain, 0}, {kPlain, 4}, false},
                      ReferenceCase{"nullAnyAdjustment", {nullptr, 0}, {nullptr, 4}, true},
                      ReferenceCase{"nullAgainstFunction", {nullptr, 0}, {kPlain, 0}, false}),
    [](const ::testing::TestParamInfo<ReferenceCase> &info) {
        return std::string(info.param.name);
    });

TEST(ModuleBaseProcessFunction, EachMemberHasOneFunctionWord) {
    EXPECT_EQ(wq::memberRef<&SpyModule::plainMember>().function, kPlain);
    EXPECT_NE(kPlain, kVirtual);
    EXPECT_NE(kPlain, nullptr);
}

TEST(ModuleBaseProcessFunction, TheSameReferenceSendsNothing) {
    AudioHostSpy host;
    SpyModule m(&host);
    m.setProcessFunction(wq::memberRef<&WQModule_base::processNone>());
    EXPECT_THAT(host.calls, IsEmpty());
}

TEST(ModuleBaseProcessFunction, ANewReferenceIsAnnouncedOnceAfterTheRecordChanged) {
    AudioHostSpy host;
    SpyModule m(&host);
    const WQProcessReference plain = wq::memberRef<&SpyModule::plainMember>();
    WQProcessProc word_seen = nullptr;
    host.on_call = [&](const test::HostCall &call) {
        word_seen = static_cast<WQAudioHostRecord *>(call.record)->process;
    };

    m.setProcessFunction(plain);
    ASSERT_THAT(host.opcodes(), ElementsAre(AH_PROCESS_CHANGED));
    EXPECT_EQ(host.calls[0].record, m.hostRecord());
    EXPECT_EQ(host.calls[0].index, 0);
    EXPECT_EQ(host.calls[0].value, 0);
    EXPECT_EQ(host.calls[0].ptr, nullptr);
    EXPECT_EQ(word_seen, plain.function);
    EXPECT_EQ(m.hostRecord()->process, plain.function);
    EXPECT_EQ(m.getProcessFunction().function, plain.function);

    m.setProcessFunction(plain);
    EXPECT_EQ(host.calls.size(), 1u);
}

TEST(ModuleBaseProcessFunction, HostCallsTheProcessWordWithTheObjectWord) {
    AudioHostSpy host;
    test::DerivedSpyModule m(&host);
    WQAudioHostRecord *r = m.hostRecord();
    r->process(r->object); // processNone
    EXPECT_THAT(m.log, IsEmpty());

    m.setProcessFunction(wq::memberRef<&SpyModule::plainMember>());
    r->process(r->object);
    m.setProcessFunction(wq::memberRef<&SpyModule::virtualMember>());
    r->process(r->object);
    EXPECT_THAT(m.log, ElementsAre("plainMember", "DerivedSpyModule::virtualMember"));
}

// ---- Events and delayed calls ---------------------------------------------------

TEST(ModuleBaseEvents, AddEventPostsACopyAtOrAfterTheClock) {
    AudioHostSpy host;
    host.sample_clock = 500;
    host.other_result = 77;
    SpyModule m(&host);

    EXPECT_EQ(m.addEvent(500, 9, -3, 4, 0x55), 77);
    ASSERT_EQ(host.posted_events.size(), 1u);
    const WQEvent &e = host.posted_events[0];
    EXPECT_EQ(e.time_stamp, 500u);
    EXPECT_EQ(e.event_type, 9);
    EXPECT_EQ(e.int_value, -3);
    EXPECT_EQ(e.int_value2, 4);
    EXPECT_EQ(e.ptr_value, 0x55);
    EXPECT_EQ(e.next, nullptr);

    ASSERT_THAT(host.opcodes(), ElementsAre(AH_SAMPLE_CLOCK, AH_ADD_EVENT));
    const test::HostCall &post = host.calls[1];
    EXPECT_EQ(post.index, 0);
    EXPECT_EQ(post.value, 0);
    EXPECT_EQ(post.opt, 0.0f);
}

struct DelayedCase {
    const char *name;
    WQProcessReference function;
    const char *expected;
};

void PrintTo(const DelayedCase &c, std::ostream *os) { *os << c.name; }

class ModuleBaseDelayedCall : public ::testing::TestWithParam<DelayedCase> {};

TEST_P(ModuleBaseDelayedCall, ComesBackThroughTheEventEntry) {
    AudioHostSpy host;
    host.sample_clock = 100;
    test::DerivedSpyModule m(&host);

    m.addDelayedCall(164, GetParam().function);
    ASSERT_EQ(host.posted_events.size(), 1u);
    const WQEvent posted = host.posted_events[0];
    EXPECT_EQ(posted.time_stamp, 164u);
    EXPECT_EQ(posted.event_type, EV_DELAYED_CALL);
    EXPECT_EQ(posted.int_value, 0);
    EXPECT_EQ(posted.int_value2, 0);
    EXPECT_EQ(posted.ptr_value, reinterpret_cast<intptr_t>(GetParam().function.function));

    host.sample_clock = 164;
    deliver(m, posted);
    EXPECT_THAT(m.log, ElementsAre("handleEvent 21", GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Members, ModuleBaseDelayedCall,
    ::testing::Values(DelayedCase{"plain", wq::memberRef<&SpyModule::plainMember>(), "plainMember"},
                      DelayedCase{"virtual", wq::memberRef<&SpyModule::virtualMember>(),
                                  "DerivedSpyModule::virtualMember"}),
    [](const ::testing::TestParamInfo<DelayedCase> &info) { return std::string(info.param.name); });

TEST(ModuleBaseEvents, DelayedCallWithoutAFunctionIsIgnored) {
    AudioHostSpy host;
    SpyModule m(&host);
    deliver(m, makeEvent(0, EV_DELAYED_CALL, 0, 0, 0));
    EXPECT_THAT(m.log, ElementsAre("handleEvent 21"));
}

TEST(ModuleBaseEvents, TypeTwoPassesTheLowHalfOfTheSecondValueSigned) {
    AudioHostSpy host;
    host.sample_clock = 42;
    SpyModule m(&host);
    deliver(m, makeEvent(42, EV_TYPE_2, -9, 0x12348001, 0x77));
    deliver(m, makeEvent(42, EV_TYPE_2, 5, 0x00017fff, 0));
    EXPECT_THAT(m.log, ElementsAre("handleEvent 2", "onEventType2 42 -9 -32767", "handleEvent 2",
                                   "onEventType2 42 5 32767"));
}

TEST(ModuleBaseEvents, PinStatusReachesThePinNamedByPtrValue) {
    AudioHostSpy host;
    host.pin_count = 3;
    host.sample_clock = 7;
    test::DeclarationModule m(
        &host,
        {{0, DT_INT, nullptr, DR_IN}, {0, DT_INT, nullptr, DR_IN}, {0, DT_INT, nullptr, DR_IN}});
    sendOpcode(m, AD_OPEN);

    deliver(m, makeEvent(7, EV_PIN_STATUS, 3, 0, 2));
    deliver(m, makeEvent(7, EV_PIN_STATUS, 1, 0, 0));
    EXPECT_THAT(m.status_seen, ElementsAre(std::make_pair(2, 3), std::make_pair(0, 1)));
    ASSERT_EQ(m.pins_seen.size(), 2u);
    EXPECT_EQ(m.pins_seen[0], m.getPin(2));
    EXPECT_EQ(m.pins_seen[1], m.getPin(0));
    EXPECT_EQ(m.getPin(2)->status(), 3);
    EXPECT_EQ(m.getPin(0)->status(), 0);
}

class ModuleBaseIgnoredEvent : public ::testing::TestWithParam<int32_t> {};

TEST_P(ModuleBaseIgnoredEvent, DoesNothingButCheckTheClock) {
    AudioHostSpy host;
    SpyModule m(&host);
    deliver(m, makeEvent(0, GetParam(), 1, 2, 3));
    EXPECT_EQ(m.log, std::vector<std::string>{"handleEvent " + std::to_string(GetParam())});
    EXPECT_THAT(host.opcodes(), ElementsAre(AH_SAMPLE_CLOCK));
}

INSTANTIATE_TEST_SUITE_P(OtherTypes, ModuleBaseIgnoredEvent,
                         ::testing::Values(1, 3, 6, 20, 22, -1, INT32_MAX));

// ---- Host callback --------------------------------------------------------------

TEST(ModuleBaseCallHost, PassesTheRecordFirstAndTheAnswerBack) {
    AudioHostSpy host;
    host.other_result = static_cast<wq_result_t>(INTPTR_MAX - 5);
    SpyModule m(&host);
    int slot = 0;
    EXPECT_EQ(m.callHost(123, -4, 99, &slot, 2.5f), static_cast<wq_result_t>(INTPTR_MAX - 5));
    ASSERT_EQ(host.calls.size(), 1u);
    const test::HostCall &c = host.calls[0];
    EXPECT_EQ(c.record, m.hostRecord());
    EXPECT_EQ(c.opcode, 123);
    EXPECT_EQ(c.index, -4);
    EXPECT_EQ(c.value, 99);
    EXPECT_EQ(c.ptr, &slot);
    EXPECT_EQ(c.opt, 2.5f);
}

TEST(ModuleBaseCallHost, WithoutACallbackEveryRequestAnswersZero) {
    SpyModule m(nullptr);
    for (int32_t opcode : {0, 3, 14, 19, 99})
        EXPECT_EQ(m.callHost(opcode, 1, 2, nullptr, 3.0f), 0) << opcode;
    EXPECT_EQ(m.SampleClock(), 0u);
    EXPECT_EQ(m.addEvent(0, 5, 1, 2, 3), 0);
    m.setProcessFunction(wq::memberRef<&SpyModule::plainMember>());
    sendOpcode(m, AD_OPEN);
    EXPECT_EQ(m.pinCount(), 0);
    EXPECT_THAT(m.log, ElementsAre("open", "getPinProperties 0", "getPinProperties -1"));
}

TEST(ModuleBaseCallHost, SampleClockIsReadUnsigned) {
    AudioHostSpy host;
    host.sample_clock = 0xFFFFFFF0u;
    SpyModule m(&host);
    EXPECT_EQ(m.SampleClock(), 0xFFFFFFF0u);
    EXPECT_EQ(m.addEvent(0xFFFFFFF5u, 9, 0, 0, 0), 0);
}

// ---- Opening again ------------------------------------------------------------

TEST(ModuleBaseOpen, OpeningAgainReplacesThePins) {
    AudioHostSpy host;
    host.pin_count = 2;
    test::DeclarationModule m(&host, {{IO_REPEATING, DT_FLOAT, nullptr, DR_IN}});
    sendOpcode(m, AD_OPEN);
    EXPECT_EQ(m.pinCount(), 2);
    host.pin_count = 5;
    sendOpcode(m, AD_OPEN);
    EXPECT_EQ(m.pinCount(), 5);
    EXPECT_TRUE(m.getPin(4)->isSetUp());
    host.pin_count = 0;
    sendOpcode(m, AD_OPEN);
    EXPECT_EQ(m.pinCount(), 0);
}

} // namespace
