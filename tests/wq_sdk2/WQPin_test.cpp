// WQPin and the default open(): which declarations become pins, where each
// pin's value lives, status changes, and the pin's requests to the host.
#include "tests/support/AudioHostSpy.h"
#include "tests/support/TestModules.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/WQPin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using test::AudioHostSpy;
using test::Declaration;
using test::DeclarationModule;
using ::testing::ElementsAre;

namespace {

void openModule(WQModule_base &m) {
    WQAudioHostRecord *r = m.hostRecord();
    r->dispatcher(r, AD_OPEN, 0, 0, nullptr, 0.0f);
}

// ---- Building the pins --------------------------------------------------------

class PinBuild : public ::testing::Test {
protected:
    int x_variable = 0;
    float z_variable = 0.0f;
    // X: an audio pin; Y: GUI communication only; Z: an audio pin that repeats.
    std::vector<Declaration> xyz() {
        return {{0, DT_INT, &x_variable, DR_IN},
                {IO_UI_COMMUNICATION, DT_TEXT, nullptr, DR_OUT},
                {IO_REPEATING, DT_FLOAT, &z_variable, DR_OUT}};
    }
    AudioHostSpy host;
};

TEST_F(PinBuild, RepeatsTheLastDeclarationForTheRemainingPins) {
    host.pin_count = 5;
    DeclarationModule m(&host, xyz());
    openModule(m);

    ASSERT_EQ(m.pinCount(), 5);
    EXPECT_EQ(m.getPin(0)->datatype(), DT_INT);
    EXPECT_EQ(m.getPin(0)->variable(), &x_variable);
    EXPECT_EQ(m.getPin(1)->datatype(), DT_FLOAT);
    EXPECT_EQ(m.getPin(1)->variable(), &z_variable);
    for (int32_t p = 2; p < 5; ++p) {
        WQPin *pin = m.getPin(p);
        EXPECT_TRUE(pin->isSetUp());
        EXPECT_EQ(pin->index(), p);
        EXPECT_EQ(pin->module(), &m);
        EXPECT_EQ(pin->datatype(), DT_FLOAT);
        // No variable: the value lives in the pin itself.
        EXPECT_EQ(pin->variable(), &pin->storage());
        EXPECT_EQ(*static_cast<float *>(pin->variable()), 0.0f);
    }
    EXPECT_THAT(m.asked, ElementsAre(0, 1, 2, 3, 2));
    EXPECT_THAT(host.opcodes(), ElementsAre(AH_PIN_COUNT));
}

TEST_F(PinBuild, StopsAtTheHostCountAndRereadsTheDeclarationBefore) {
    host.pin_count = 1;
    DeclarationModule m(&host, xyz());
    openModule(m);

    ASSERT_EQ(m.pinCount(), 1);
    EXPECT_EQ(m.getPin(0)->variable(), &x_variable);
    // Walk stops when it meets Y; X is re-read and does not repeat.
    EXPECT_THAT(m.asked, ElementsAre(0, 1, 0));
}

TEST_F(PinBuild, LeavesPinsBeyondTheDeclarationsUnsetWithoutRepeat) {
    host.pin_count = 4;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}, {0, DT_BYTE, nullptr, DR_IN}});
    openModule(m);
    EXPECT_TRUE(m.getPin(0)->isSetUp());
    EXPECT_TRUE(m.getPin(1)->isSetUp());
    EXPECT_FALSE(m.getPin(2)->isSetUp());
    EXPECT_FALSE(m.getPin(3)->isSetUp());
    EXPECT_THAT(m.asked, ElementsAre(0, 1, 2, 1));
}

TEST_F(PinBuild, AGuiOnlyDeclarationDoesNotRepeat) {
    host.pin_count = 3;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN},
                                {IO_UI_COMMUNICATION | IO_REPEATING, DT_INT, nullptr, DR_IN}});
    openModule(m);
    EXPECT_TRUE(m.getPin(0)->isSetUp());
    EXPECT_FALSE(m.getPin(1)->isSetUp());
    EXPECT_FALSE(m.getPin(2)->isSetUp());
}

TEST_F(PinBuild, ADualGuiDeclarationGetsAPinAndMayRepeat) {
    host.pin_count = 3;
    DeclarationModule m(
        &host, {{IO_UI_COMMUNICATION, DT_TEXT, nullptr, DR_IN},
                {IO_UI_COMMUNICATION | IO_UI_DUAL | IO_REPEATING, DT_BYTE, nullptr, DR_IN}});
    openModule(m);
    for (int32_t p = 0; p < 3; ++p) {
        EXPECT_TRUE(m.getPin(p)->isSetUp()) << p;
        EXPECT_EQ(m.getPin(p)->datatype(), DT_BYTE) << p;
    }
}

class PinBuildNoCount : public ::testing::TestWithParam<int32_t> {};

TEST_P(PinBuildNoCount, MakesNoPinsAndStillAsksForZeroThenMinusOne) {
    AudioHostSpy host;
    host.pin_count = GetParam();
    DeclarationModule m(&host, {});
    openModule(m);
    EXPECT_EQ(m.pinCount(), 0);
    EXPECT_THAT(m.asked, ElementsAre(0, -1));
}

INSTANTIATE_TEST_SUITE_P(ZeroOrLess, PinBuildNoCount, ::testing::Values(0, -1, INT32_MIN));

TEST(PinBuildNoCountDeclared, StopsAtTheFirstDeclarationWhenTheHostCountsNone) {
    AudioHostSpy host;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}, {0, DT_INT, nullptr, DR_IN}});
    openModule(m);
    EXPECT_THAT(m.asked, ElementsAre(0, -1));
}

TEST(PinBuildNoDeclarations, SetsUpNoPinOfThoseTheHostCounts) {
    AudioHostSpy host;
    host.pin_count = 3;
    DeclarationModule m(&host, {});
    openModule(m);
    ASSERT_EQ(m.pinCount(), 3);
    for (int32_t p = 0; p < 3; ++p)
        EXPECT_FALSE(m.getPin(p)->isSetUp()) << p;
    EXPECT_THAT(m.asked, ElementsAre(0, -1));
}

// ---- Asking for a declaration -------------------------------------------------

struct QueryCase {
    const char *name;
    int32_t index;
    bool declared;
};

void PrintTo(const QueryCase &c, std::ostream *os) { *os << c.name; }

class PinDeclarationQuery : public ::testing::TestWithParam<QueryCase> {};

TEST_P(PinDeclarationQuery, ClearsTheRecordBeforeAsking) {
    // Declaration 0 writes flags, data type, variable and direction only.
    AudioHostSpy host;
    DeclarationModule m(&host, {{IO_REPEATING, DT_INT, nullptr, DR_OUT}});
    WQPinProperties record;
    std::memset(&record, 0xA5, sizeof record);

    EXPECT_EQ(m.queryPinProperties(GetParam().index, &record), GetParam().declared);

    WQPinProperties expected;
    std::memset(&expected, 0, sizeof expected);
    if (GetParam().declared) {
        expected.flags = IO_REPEATING;
        expected.datatype = DT_INT;
        expected.direction = DR_OUT;
    }
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof record), 0);
}

INSTANTIATE_TEST_SUITE_P(Indices, PinDeclarationQuery,
                         ::testing::Values(QueryCase{"declared", 0, true},
                                           QueryCase{"refusedNext", 1, false},
                                           QueryCase{"refusedMinusOne", -1, false},
                                           QueryCase{"refusedFar", INT32_MAX, false}),
                         [](const ::testing::TestParamInfo<QueryCase> &info) {
                             return std::string(info.param.name);
                         });

// ---- Pin storage by data type ---------------------------------------------------

struct StorageCase {
    const char *name;
    int32_t datatype;
    bool has_storage;
};

void PrintTo(const StorageCase &c, std::ostream *os) { *os << c.name; }

class PinStorage : public ::testing::TestWithParam<StorageCase> {
protected:
    AudioHostSpy host;
    test::SpyModule module{&host};
    float buffer[4] = {};
};

TEST_P(PinStorage, WithoutAVariableKeepsAZeroOrNothing) {
    host.buffers[6] = buffer;
    WQPin pin;
    pin.init(&module, 6, GetParam().datatype, nullptr);
    EXPECT_EQ(pin.status(), 0);
    if (!GetParam().has_storage) {
        EXPECT_EQ(pin.variable(), nullptr);
        return;
    }
    ASSERT_EQ(pin.variable(), &pin.storage());
    switch (GetParam().datatype) {
    case DT_ENUM: EXPECT_EQ(*static_cast<int16_t *>(pin.variable()), 0); break;
    case DT_BYTE: EXPECT_EQ(*static_cast<uint8_t *>(pin.variable()), 0); break;
    case DT_FLOAT: EXPECT_EQ(*static_cast<float *>(pin.variable()), 0.0f); break;
    case DT_INT: EXPECT_EQ(*static_cast<int32_t *>(pin.variable()), 0); break;
    case DT_FSAMPLE:
        EXPECT_EQ(*static_cast<float **>(pin.variable()), buffer);
        ASSERT_EQ(host.calls.size(), 1u);
        EXPECT_EQ(host.calls[0].opcode, AH_PIN_BUFFER);
        EXPECT_EQ(host.calls[0].index, 6);
        return;
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST_P(PinStorage, WithAVariableUsesItAndZeroesTheStorage) {
    host.buffers[1] = buffer;
    WQPin pin;
    // Fill the storage first, so that zeroing it is seen.
    pin.init(&module, 1, DT_FSAMPLE, nullptr);
    ASSERT_NE(pin.storage().raw, 0);
    host.calls.clear();

    int64_t variable = 0;
    pin.init(&module, 1, GetParam().datatype, &variable);
    EXPECT_EQ(pin.variable(), &variable);
    EXPECT_EQ(pin.storage().raw, 0);
    EXPECT_TRUE(host.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    DataTypes, PinStorage,
    ::testing::Values(StorageCase{"enum", DT_ENUM, true}, StorageCase{"text", DT_TEXT, false},
                      StorageCase{"type2", 2, false}, StorageCase{"type3", 3, false},
                      StorageCase{"byte", DT_BYTE, true}, StorageCase{"fsample", DT_FSAMPLE, true},
                      StorageCase{"float", DT_FLOAT, true}, StorageCase{"type7", 7, false},
                      StorageCase{"int", DT_INT, true}, StorageCase{"type9", 9, false}),
    [](const ::testing::TestParamInfo<StorageCase> &info) { return std::string(info.param.name); });

TEST(PinState, IsNotSetUpUntilInit) {
    WQPin pin;
    EXPECT_FALSE(pin.isSetUp());
    EXPECT_EQ(pin.variable(), nullptr);
    EXPECT_EQ(pin.module(), nullptr);
    EXPECT_EQ(pin.index(), -1);
    EXPECT_NE(pin.datatype(), DT_FSAMPLE);
}

TEST(PinState, InitStartsAgainFromStatusZero) {
    AudioHostSpy host;
    host.pin_count = 1;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}});
    openModule(m);
    WQPin *pin = m.getPin(0);
    pin->onStatusChange(5);
    ASSERT_EQ(pin->status(), 5);
    pin->init(&m, 0, DT_INT, nullptr);
    EXPECT_EQ(pin->status(), 0);
}

// ---- Status ------------------------------------------------------------------------

class PinStatus : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(PinStatus, IsSeenDuringTheCallAndKeptUnlessMomentary) {
    AudioHostSpy host;
    host.pin_count = 2;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}, {0, DT_INT, nullptr, DR_IN}});
    openModule(m);
    WQPin *pin = m.getPin(1);

    pin->onStatusChange(GetParam().first);
    EXPECT_THAT(m.status_seen, ElementsAre(std::make_pair(1, GetParam().first)));
    EXPECT_THAT(m.pins_seen, ElementsAre(pin));
    EXPECT_EQ(pin->status(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Statuses, PinStatus,
                         ::testing::Values(std::make_pair(1, 0), std::make_pair(2, 2),
                                           std::make_pair(0, 0), std::make_pair(-5, -5)));

// ---- Requests to the host -----------------------------------------------------------

class PinRequests : public ::testing::Test {
protected:
    void SetUp() override {
        host.pin_count = 3;
        openModule(module);
        host.calls.clear();
    }
    AudioHostSpy host;
    float buffer[8] = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f};
    float *buffer_variable = buffer;
    DeclarationModule module{&host,
                             {{0, DT_INT, nullptr, DR_IN},
                              {0, DT_FSAMPLE, nullptr, DR_IN},
                              {0, DT_FSAMPLE, &buffer_variable, DR_IN}}};
};

TEST_F(PinRequests, TransmitStatusSendsTheClockInPtr) {
    host.sample_clock = 90;
    host.other_result = 31;
    EXPECT_EQ(module.getPin(2)->transmitStatus(90, 4), 31);
    EXPECT_EQ(module.getPin(2)->transmitStatus(0xFFFFFFFFu, -1), 31);
    ASSERT_THAT(host.opcodes(),
                ElementsAre(AH_SAMPLE_CLOCK, AH_PIN_STATUS, AH_SAMPLE_CLOCK, AH_PIN_STATUS));
    EXPECT_EQ(host.calls[1].index, 2);
    EXPECT_EQ(host.calls[1].value, 4);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(host.calls[1].ptr), 90u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(host.calls[3].ptr), 0xFFFFFFFFu);
    EXPECT_EQ(host.calls[3].value, -1);
}

TEST_F(PinRequests, CallHost0SendsTheFirstValueInPtrAndTheSecondInValue) {
    host.other_result = -8;
    int first = 0;
    EXPECT_EQ(module.getPin(1)->callHost0(&first, 12), -8);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, AH_OPCODE_0);
    EXPECT_EQ(host.calls[0].index, 1);
    EXPECT_EQ(host.calls[0].value, 12);
    EXPECT_EQ(host.calls[0].ptr, &first);
    EXPECT_EQ(host.calls[0].opt, 0.0f);
}

TEST_F(PinRequests, CallHost1IsTrueForAnyNonZeroAnswer) {
    host.other_result = 0;
    EXPECT_FALSE(module.getPin(0)->callHost1());
    host.other_result = -1;
    EXPECT_TRUE(module.getPin(0)->callHost1());
    host.other_result = 2;
    EXPECT_TRUE(module.getPin(0)->callHost1());
    for (const test::HostCall &c : host.calls) {
        EXPECT_EQ(c.opcode, AH_OPCODE_1);
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.ptr, nullptr);
    }
}

TEST_F(PinRequests, GetSampleValueReadsTheBufferAtTheClock) {
    host.buffer_clock = 1000;
    host.sample_clock = 1003;
    EXPECT_EQ(module.getPin(2)->getSampleValue(), 3.5f);
    ASSERT_THAT(host.opcodes(), ElementsAre(AH_PIN_BUFFER_CLOCK, AH_SAMPLE_CLOCK));
    EXPECT_EQ(host.calls[0].index, 2);

    host.sample_clock = 1000;
    EXPECT_EQ(module.getPin(2)->getSampleValue(), 0.5f);
}

TEST(PinSampleBuffer, ComesFromTheHostWhenThePinHasNoVariable) {
    AudioHostSpy host;
    float buffer[4] = {9.0f, 8.0f, 7.0f, 6.0f};
    host.pin_count = 2;
    host.buffers[1] = buffer;
    host.buffer_clock = 0xFFFFFFFEu; // the clock wraps inside this buffer
    host.sample_clock = 1;
    DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}, {0, DT_FSAMPLE, nullptr, DR_IN}});
    openModule(m);
    EXPECT_EQ(m.getPin(1)->getSampleValue(), 6.0f);
}

// ---- Consistency check of a declaration -----------------------------------------------

struct FlagCase {
    const char *name;
    uint32_t flags;
    int32_t direction;
};

void PrintTo(const FlagCase &c, std::ostream *os) { *os << c.name; }

class PinFlagCheck : public ::testing::TestWithParam<FlagCase> {};

TEST_P(PinFlagCheck, PassesAndAnswers) {
    AudioHostSpy host;
    DeclarationModule m(&host, {{GetParam().flags, DT_INT, nullptr, GetParam().direction}});
    WQPinProperties record = {};
    WQAudioHostRecord *r = m.hostRecord();
    EXPECT_EQ(r->dispatcher(r, AD_GET_PIN_PROPERTIES, 0, 0, &record, 0.0f), 1);
    EXPECT_EQ(record.flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(
    Consistent, PinFlagCheck,
    ::testing::Values(FlagCase{"noPatchStoreIn", 0, DR_IN},
                      FlagCase{"noPatchStoreOut", IO_REPEATING, DR_OUT},
                      FlagCase{"patchStoreOut", IO_PATCH_STORE, DR_OUT},
                      FlagCase{"patchStorePrivate", IO_PATCH_STORE | IO_PRIVATE, DR_IN},
                      FlagCase{"patchStoreGui", IO_PATCH_STORE | IO_UI_COMMUNICATION, DR_IN},
                      FlagCase{"patchStoreAll", IO_PATCH_STORE | IO_PRIVATE | IO_UI_COMMUNICATION,
                               DR_OUT}),
    [](const ::testing::TestParamInfo<FlagCase> &info) { return std::string(info.param.name); });

} // namespace
