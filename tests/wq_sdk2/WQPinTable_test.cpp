// The declarative pin table: what servePinTable writes into a host's record
// for each declaration, what it leaves alone, the indices it refuses, and the
// variables it answers for each object; through the dispatcher (opcode 6) and
// the framework's own open() as well.
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/WQPinTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ostream>

namespace {

// A module as an author writes it with the table: an enumeration of its
// pins, members as pin variables, the base constructor taken over.
class TableModule : public WQModule_base {
public:
    using WQModule_base::WQModule_base;

    enum Pin : int32_t { kIn, kOut, kGain, kMode, kLevel, kPinCount };

    bool getPinProperties(int32_t index, WQPinProperties *properties) override;

    float m_gain = 1.0f;
    int32_t m_level = 0;
};

constexpr wq::PinDeclaration kPins[TableModule::kPinCount] = {
    {"IN", DR_IN, DT_FSAMPLE},
    {"OUT", DR_OUT, DT_FSAMPLE},
    {"GAIN", DR_IN, DT_FLOAT, 0, nullptr, wq::pinVariable<&TableModule::m_gain>},
    {"MODE", DR_IN, DT_ENUM, IO_UI_COMMUNICATION, "soft=0,hard=1"},
    {"LEVEL", DR_OUT, DT_INT, IO_PRIVATE | IO_PATCH_STORE, nullptr,
     wq::pinVariable<&TableModule::m_level>},
};

bool TableModule::getPinProperties(int32_t index, WQPinProperties *properties) {
    return wq::servePinTable(kPins, *this, index, properties);
}

// What the host had in its record before asking: every field set, so that a
// field the declaration does not write is seen to keep its value.
WQPinProperties hostsRecord() {
    static const char kHostsName[] = "host's name";
    static const char kHostsList[] = "host's list";
    static int hostsVariable = 0;
    WQPinProperties record;
    record.variable = &hostsVariable;
    record.direction = 77;
    record.datatype = 77;
    record.name = kHostsName;
    record.reserved5 = 55;
    record.list_text = kHostsList;
    record.flags = 0xffffffffu;
    record.reserved8 = 88;
    return record;
}

struct DeclarationCase {
    const char *label;
    int32_t index;
    const char *name;
    int32_t direction;
    int32_t datatype;
    uint32_t flags;
    bool writesList; // list_text written (else the host's stays)
    bool writesVariable;
};

void PrintTo(const DeclarationCase &c, std::ostream *os) { *os << c.label; }

class PinTableDeclaration : public ::testing::TestWithParam<DeclarationCase> {};

TEST_P(PinTableDeclaration, WritesTheFieldsItNamesAndKeepsTheRest) {
    const DeclarationCase &c = GetParam();
    TableModule module(nullptr, 0);
    WQPinProperties record = hostsRecord();
    const WQPinProperties before = record;

    ASSERT_TRUE(module.getPinProperties(c.index, &record));

    EXPECT_STREQ(record.name, c.name);
    EXPECT_EQ(record.direction, c.direction);
    EXPECT_EQ(record.datatype, c.datatype);
    EXPECT_EQ(record.flags, c.flags);
    EXPECT_EQ(record.reserved5, before.reserved5);
    EXPECT_EQ(record.reserved8, before.reserved8);
    if (c.writesList) {
        EXPECT_EQ(record.list_text, kPins[c.index].list_text);
    } else {
        EXPECT_EQ(record.list_text, before.list_text);
    }
    if (!c.writesVariable) {
        EXPECT_EQ(record.variable, before.variable);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, PinTableDeclaration,
    ::testing::Values(
        DeclarationCase{"sample input", 0, "IN", DR_IN, DT_FSAMPLE, 0, false, false},
        DeclarationCase{"sample output", 1, "OUT", DR_OUT, DT_FSAMPLE, 0, false, false},
        DeclarationCase{"float with variable", 2, "GAIN", DR_IN, DT_FLOAT, 0, false, true},
        DeclarationCase{"enum with choices", 3, "MODE", DR_IN, DT_ENUM, IO_UI_COMMUNICATION, true,
                        false},
        DeclarationCase{"int with variable", 4, "LEVEL", DR_OUT, DT_INT,
                        IO_PRIVATE | IO_PATCH_STORE, false, true}),
    [](const auto &info) { return std::to_string(info.param.index); });

class PinTableRefusal : public ::testing::TestWithParam<int32_t> {};

TEST_P(PinTableRefusal, RefusesAnIndexOutsideTheTableAndLeavesTheRecord) {
    TableModule module(nullptr, 0);
    WQPinProperties record = hostsRecord();
    const WQPinProperties before = record;
    EXPECT_FALSE(module.getPinProperties(GetParam(), &record));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

INSTANTIATE_TEST_SUITE_P(Indices, PinTableRefusal,
                         ::testing::Values(-1, INT_MIN, TableModule::kPinCount,
                                           TableModule::kPinCount + 1, INT_MAX));

TEST(PinTable, RefusesANullRecord) {
    TableModule module(nullptr, 0);
    EXPECT_FALSE(module.getPinProperties(0, nullptr));
}

TEST(PinTable, EachObjectAnswersItsOwnVariables) {
    TableModule first(nullptr, 0);
    TableModule second(nullptr, 0);
    WQPinProperties a{};
    WQPinProperties b{};
    ASSERT_TRUE(first.getPinProperties(TableModule::kGain, &a));
    ASSERT_TRUE(second.getPinProperties(TableModule::kGain, &b));
    EXPECT_EQ(a.variable, &first.m_gain);
    EXPECT_EQ(b.variable, &second.m_gain);

    ASSERT_TRUE(first.getPinProperties(TableModule::kLevel, &a));
    EXPECT_EQ(a.variable, &first.m_level);
}

TEST(PinTable, TheHostsQueryAndTheFrameworksOpenSeeTheSameTable) {
    TableModule module(nullptr, 0);
    WQAudioHostRecord *r = module.hostRecord();
    WQPinProperties record = hostsRecord();
    EXPECT_EQ(r->dispatcher(r, AD_GET_PIN_PROPERTIES, TableModule::kMode, 0, &record, 0.0f), 1);
    EXPECT_STREQ(record.name, "MODE");
    EXPECT_STREQ(record.list_text, "soft=0,hard=1");
    EXPECT_EQ(r->dispatcher(r, AD_GET_PIN_PROPERTIES, TableModule::kPinCount, 0, &record, 0.0f),
              0);

    // queryPinProperties clears the record first: fields the declaration
    // leaves alone read as null there.
    WQPinProperties cleared = hostsRecord();
    ASSERT_TRUE(module.queryPinProperties(TableModule::kIn, &cleared));
    EXPECT_EQ(cleared.list_text, nullptr);
    EXPECT_EQ(cleared.variable, nullptr);
}

} // namespace
