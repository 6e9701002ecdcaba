// Module: the four-pin table, opening, and the process function.
#include "list_module/Module.h"
#include "tests/support/AudioHostSpy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

using test::AudioHostSpy;
using ::testing::ElementsAre;

namespace {

wq_result_t sendOpcode(Module &m, int32_t opcode, int32_t index = 0, void *ptr = nullptr) {
    WQAudioHostRecord *r = m.hostRecord();
    return r->dispatcher(r, opcode, index, 0, ptr, 0.0f);
}

struct PinRow {
    int32_t index;
    const char *name;
    int32_t direction;
    int32_t datatype;
    const char *list_text; // null: not written
};

void PrintTo(const PinRow &row, std::ostream *os) { *os << "pin " << row.index; }

class ModulePinTable : public ::testing::TestWithParam<PinRow> {
protected:
    AudioHostSpy host;
    Module module{&AudioHostSpy::callback, host.hostValue()};
};

TEST_P(ModulePinTable, WritesItsRowIntoAClearedRecord) {
    const PinRow &row = GetParam();
    WQPinProperties record = {};
    ASSERT_TRUE(module.getPinProperties(row.index, &record));
    EXPECT_EQ(record.variable, nullptr);
    EXPECT_EQ(record.direction, row.direction);
    EXPECT_EQ(record.datatype, row.datatype);
    EXPECT_STREQ(record.name, row.name);
    EXPECT_EQ(record.reserved5, 0);
    if (row.list_text)
        EXPECT_STREQ(record.list_text, row.list_text);
    else
        EXPECT_EQ(record.list_text, nullptr);
    EXPECT_EQ(record.flags, static_cast<uint32_t>(IO_UI_COMMUNICATION));
    EXPECT_EQ(record.reserved8, 0);
}

TEST_P(ModulePinTable, WritesOnlyTheNamedFieldsOfAFilledRecord) {
    const PinRow &row = GetParam();
    WQPinProperties record;
    std::memset(&record, 0xA5, sizeof record);
    const WQPinProperties before = record;

    ASSERT_TRUE(module.getPinProperties(row.index, &record));
    EXPECT_EQ(record.variable, before.variable);
    EXPECT_EQ(record.reserved5, before.reserved5);
    EXPECT_EQ(record.reserved8, before.reserved8);
    if (row.list_text)
        EXPECT_STREQ(record.list_text, row.list_text);
    else
        EXPECT_EQ(record.list_text, before.list_text);
    EXPECT_STREQ(record.name, row.name);
    EXPECT_EQ(record.direction, row.direction);
    EXPECT_EQ(record.datatype, row.datatype);
    EXPECT_EQ(record.flags, static_cast<uint32_t>(IO_UI_COMMUNICATION));
}

TEST_P(ModulePinTable, PassesTheHostsConsistencyCheck) {
    WQPinProperties record = {};
    EXPECT_EQ(sendOpcode(module, AD_GET_PIN_PROPERTIES, GetParam().index, &record), 1);
    EXPECT_STREQ(record.name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(FourPins, ModulePinTable,
                         ::testing::Values(PinRow{0, "TEXT LIST", DR_OUT, DT_TEXT, nullptr},
                                           PinRow{1, "LIST", DR_IN, DT_ENUM, "a=1,b=2"},
                                           PinRow{2, "ITEM -> NAME", DR_OUT, DT_TEXT, nullptr},
                                           PinRow{3, "ITEM -> VALUE", DR_OUT, DT_TEXT, nullptr}));

class ModulePinRefused : public ::testing::TestWithParam<int32_t> {};

TEST_P(ModulePinRefused, LeavesTheRecordUntouched) {
    AudioHostSpy host;
    Module module(&AudioHostSpy::callback, host.hostValue());
    WQPinProperties record;
    std::memset(&record, 0x3C, sizeof record);
    const WQPinProperties before = record;
    EXPECT_FALSE(module.getPinProperties(GetParam(), &record));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
    EXPECT_EQ(sendOpcode(module, AD_GET_PIN_PROPERTIES, GetParam(), &record), 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

INSTANTIATE_TEST_SUITE_P(OutOfTable, ModulePinRefused,
                         ::testing::Values(4, 5, -1, INT32_MIN, INT32_MAX));

TEST(ModulePinTexts, AreConstantsOfTheLibrary) {
    AudioHostSpy host;
    Module a(&AudioHostSpy::callback, host.hostValue());
    Module b(&AudioHostSpy::callback, host.hostValue());
    WQPinProperties ra = {}, rb = {};
    a.getPinProperties(1, &ra);
    b.getPinProperties(1, &rb);
    EXPECT_EQ(ra.name, rb.name);
    EXPECT_EQ(ra.list_text, rb.list_text);
}

// ---- Opening ------------------------------------------------------------------------

class ModuleOpen : public ::testing::TestWithParam<int32_t> {};

TEST_P(ModuleOpen, InstallsTheProcessFunctionThenAsksForThePinCount) {
    AudioHostSpy host;
    host.pin_count = GetParam();
    Module module(&AudioHostSpy::callback, host.hostValue());
    const WQProcessProc initial = module.hostRecord()->process;

    EXPECT_EQ(sendOpcode(module, AD_OPEN), 0);
    EXPECT_THAT(host.opcodes(), ElementsAre(AH_PROCESS_CHANGED, AH_PIN_COUNT));
    EXPECT_NE(module.hostRecord()->process, initial);
    EXPECT_EQ(module.hostRecord()->process, wq::memberRef<&Module::moduleProcess>().function);
    EXPECT_EQ(module.getProcessFunction().adjustment, 0);

    // Every pin serves GUI communication: none is set up on the audio side.
    EXPECT_EQ(module.pinCount(), GetParam() > 0 ? GetParam() : 0);
    for (int32_t p = 0; p < module.pinCount(); ++p)
        EXPECT_FALSE(module.getPin(p)->isSetUp()) << p;
}

INSTANTIATE_TEST_SUITE_P(Counts, ModuleOpen, ::testing::Values(0, 4, 1, 9, -2));

TEST(ModuleOpenAgain, DoesNotAnnounceTheSameProcessFunctionTwice) {
    AudioHostSpy host;
    host.pin_count = 4;
    Module module(&AudioHostSpy::callback, host.hostValue());
    sendOpcode(module, AD_OPEN);
    sendOpcode(module, AD_OPEN);
    EXPECT_THAT(host.opcodes(), ElementsAre(AH_PROCESS_CHANGED, AH_PIN_COUNT, AH_PIN_COUNT));
    EXPECT_EQ(module.pinCount(), 4);
}

TEST(ModuleProcess, EachCallSendsOneOpcode10) {
    AudioHostSpy host;
    Module module(&AudioHostSpy::callback, host.hostValue());
    sendOpcode(module, AD_OPEN);
    host.calls.clear();

    WQAudioHostRecord *r = module.hostRecord();
    for (int i = 0; i < 3; ++i)
        r->process(r->object);
    ASSERT_THAT(host.opcodes(), ElementsAre(AH_OPCODE_10, AH_OPCODE_10, AH_OPCODE_10));
    for (const test::HostCall &c : host.calls) {
        EXPECT_EQ(c.record, r);
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.value, 0);
        EXPECT_EQ(c.ptr, nullptr);
        EXPECT_EQ(c.opt, 0.0f);
    }
}

TEST(ModuleClose, AnswersOneAndFreesTheObject) {
    AudioHostSpy host;
    host.pin_count = 4;
    auto *module = new Module(&AudioHostSpy::callback, host.hostValue());
    sendOpcode(*module, AD_OPEN);
    EXPECT_EQ(sendOpcode(*module, AD_CLOSE), 1); // the leak checker sees a missed free
}

} // namespace
