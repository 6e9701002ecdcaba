// The one check of the host records' words: each fault of a record, alone,
// gives its code once; a record as makeModule must hand it over gives none.
#include "host/core/HostRecordCheck.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

constexpr intptr_t kHostValue = 0x1234;

wq_result_t WQ_ABI dispatcherStub(WQAudioHostRecord *, int32_t, int32_t, int32_t, void *, float) {
    return 0;
}
wq_result_t WQ_ABI guiDispatcherStub(WQGuiHostRecord *, int32_t, int32_t, int32_t, void *, float) {
    return 0;
}
void WQ_ABI processStub(void *) {}
void WQ_ABI eventStub(void *, WQEvent *) {}

int g_object = 0;

WQAudioHostRecord goodAudio() {
    WQAudioHostRecord r{};
    r.magic = WQ_AUDIO_MAGIC;
    r.version = WQ_RECORD_VERSION;
    r.hostValue = kHostValue;
    r.object = &g_object;
    r.dispatcher = &dispatcherStub;
    r.process = &processStub;
    r.eventHandler = &eventStub;
    return r;
}

WQGuiHostRecord goodGui() {
    WQGuiHostRecord r{};
    r.magic = WQ_GUI_MAGIC;
    r.version = WQ_RECORD_VERSION;
    r.dispatcher = &guiDispatcherStub;
    r.hostValue = kHostValue;
    r.object = &g_object;
    return r;
}

template <class Record> struct Fault {
    const char *label;
    std::function<void(Record &)> spoil;
    ProblemCode code;
    const char *text; // the whole sentence, for the few that users read most
};

std::vector<ProblemCode> codesOf(const std::vector<Problem> &problems) {
    std::vector<ProblemCode> codes;
    for (const Problem &p : problems)
        codes.push_back(p.code);
    return codes;
}

TEST(HostRecordCheckTest, ARightRecordHasNoProblem) {
    EXPECT_TRUE(recordProblems(goodAudio(), kHostValue).empty());
    EXPECT_TRUE(recordProblems(goodGui(), kHostValue).empty());
}

TEST(HostRecordCheckTest, EachFaultOfAnAudioRecordIsNamedOnce) {
    using R = WQAudioHostRecord;
    const Fault<R> faults[] = {
        {"magic", [](R &r) { r.magic = 0x12345678; }, ProblemCode::RecordMagic,
         "audio record magic is 0x12345678, expected 0x5751504c (\"WQPL\")"},
        {"version", [](R &r) { r.version = 2; }, ProblemCode::RecordVersion,
         "audio record version is 2, expected 1"},
        {"hostValue", [](R &r) { r.hostValue = 0; }, ProblemCode::RecordHostValue,
         "audio record hostValue is 0x0, expected the value given to makeModule, 0x1234, "
         "unchanged"},
        {"object", [](R &r) { r.object = nullptr; }, ProblemCode::RecordBackPointer, nullptr},
        {"word 5", [](R &r) { r.reserved0 = 7; }, ProblemCode::RecordReserved,
         "audio record word 5 (reserved) is 7, expected 0"},
        {"dispatcher", [](R &r) { r.dispatcher = nullptr; }, ProblemCode::RecordNullEntry,
         "audio record dispatcher entry is null"},
        {"process", [](R &r) { r.process = nullptr; }, ProblemCode::RecordNullEntry, nullptr},
        {"event", [](R &r) { r.eventHandler = nullptr; }, ProblemCode::RecordNullEntry, nullptr},
        {"word 12", [](R &r) { r.reserved1[3] = -1; }, ProblemCode::RecordReserved,
         "audio record word 12 (reserved) is -1, expected 0"},
    };
    for (const Fault<R> &f : faults) {
        R record = goodAudio();
        f.spoil(record);
        const std::vector<Problem> problems = recordProblems(record, kHostValue);
        EXPECT_EQ(codesOf(problems), std::vector<ProblemCode>{f.code}) << f.label;
        if (f.text && !problems.empty()) {
            EXPECT_EQ(problems[0].text, f.text) << f.label;
        }
    }
}

TEST(HostRecordCheckTest, EachFaultOfAGuiRecordIsNamedOnce) {
    using R = WQGuiHostRecord;
    const Fault<R> faults[] = {
        {"magic", [](R &r) { r.magic = WQ_AUDIO_MAGIC; }, ProblemCode::RecordMagic,
         "GUI record magic is 0x5751504c, expected 0x5751504d (\"WQPM\")"},
        {"version", [](R &r) { r.version = 0; }, ProblemCode::RecordVersion, nullptr},
        {"dispatcher", [](R &r) { r.dispatcher = nullptr; }, ProblemCode::RecordNullEntry, nullptr},
        {"hostValue", [](R &r) { r.hostValue = -1; }, ProblemCode::RecordHostValue, nullptr},
        {"object", [](R &r) { r.object = nullptr; }, ProblemCode::RecordBackPointer,
         "GUI record object word (the pointer back to the object) is null"},
        {"word 6", [](R &r) { r.reserved[0] = 1; }, ProblemCode::RecordReserved,
         "GUI record word 6 (reserved) is 1, expected 0"},
        {"word 10", [](R &r) { r.reserved[4] = 1; }, ProblemCode::RecordReserved, nullptr},
    };
    for (const Fault<R> &f : faults) {
        R record = goodGui();
        f.spoil(record);
        const std::vector<Problem> problems = recordProblems(record, kHostValue);
        EXPECT_EQ(codesOf(problems), std::vector<ProblemCode>{f.code}) << f.label;
        if (f.text && !problems.empty()) {
            EXPECT_EQ(problems[0].text, f.text) << f.label;
        }
    }
}

TEST(HostRecordCheckTest, ProblemsComeInTheOrderOfTheWords) {
    WQAudioHostRecord r{};
    const std::vector<ProblemCode> all = {
        ProblemCode::RecordMagic,       ProblemCode::RecordVersion,   ProblemCode::RecordHostValue,
        ProblemCode::RecordBackPointer, ProblemCode::RecordNullEntry, ProblemCode::RecordNullEntry,
        ProblemCode::RecordNullEntry};
    EXPECT_EQ(codesOf(recordProblems(r, kHostValue)), all);
}

} // namespace
