// The host's pin store: each pin keeps its value in the form of its declared
// data type, and reads and writes in another form convert as documented.
#include "host/platform/HostError.h"
#include "host/pins/PinStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

using namespace wqhost;

namespace {

struct ParseCase {
    const char *text;
    int32_t expected;
};

void PrintTo(const ParseCase &c, std::ostream *out) { *out << ::testing::PrintToString(c.text); }

class PinStoreParseInt : public ::testing::TestWithParam<ParseCase> {};

TEST_P(PinStoreParseInt, ReadsLikeAtoiButSaturates) {
    EXPECT_EQ(PinStore::parseInt(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PinStoreParseInt,
    ::testing::Values(ParseCase{"2", 2}, ParseCase{"abc", 0}, ParseCase{"  7x", 7},
                      ParseCase{"", 0}, ParseCase{"-5", -5}, ParseCase{"+12", 12},
                      ParseCase{"\t\n 3", 3}, ParseCase{"- 3", 0}, ParseCase{"007", 7},
                      ParseCase{"2147483647", INT32_MAX}, ParseCase{"2147483648", INT32_MAX},
                      ParseCase{"-2147483648", INT32_MIN}, ParseCase{"-2147483649", INT32_MIN},
                      ParseCase{"99999999999999999999999", INT32_MAX},
                      ParseCase{"-99999999999999999999999", INT32_MIN},
                      ParseCase{"\xe9"
                                "5",
                                0}));

class PinStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.declare(0, DT_TEXT, "T");
        store.declare(1, DT_ENUM, "E", "a=1,b=2");
        store.declare(2, DT_FLOAT, "F");
        store.declare(3, DT_INT, "I");
        store.declare(4, 42, "Unnamed type");
    }
    PinStore store;
};

TEST_F(PinStoreTest, KindsFollowTheDeclaredType) {
    EXPECT_EQ(store.at(0).kind, PinKind::Text);
    EXPECT_EQ(store.at(1).kind, PinKind::Integer);
    EXPECT_EQ(store.at(2).kind, PinKind::Float);
    EXPECT_EQ(store.at(3).kind, PinKind::Integer);
    EXPECT_EQ(store.at(4).kind, PinKind::Text);
    EXPECT_EQ(store.listText(1), "a=1,b=2"); // the declared choices until changed
}

TEST_F(PinStoreTest, TextPinKeepsEveryByteAndReadsAsANumber) {
    std::string bytes = "\x80\xff,caf\xe9";
    EXPECT_TRUE(store.setText(0, bytes));
    EXPECT_FALSE(store.setText(0, bytes)); // unchanged
    EXPECT_EQ(store.text(0), bytes);
    store.setText(0, "  12abc");
    EXPECT_EQ(store.intValue(0), 12);
    int32_t slot = -1;
    store.fillSlot(0, &slot);
    EXPECT_EQ(slot, 12);
    store.setInt(0, -3);
    EXPECT_EQ(store.text(0), "-3");
    store.setFloat(0, 0.5f);
    EXPECT_EQ(store.text(0), "0.5");
}

TEST_F(PinStoreTest, IntegerPinConvertsTextAndFloats) {
    store.setInt(1, 2);
    EXPECT_EQ(store.text(1), "2");
    store.setText(1, "99999999999");
    EXPECT_EQ(store.intValue(1), INT32_MAX);
    store.setFloat(3, -7.9f);
    EXPECT_EQ(store.intValue(3), -7);
    store.setFloat(3, 1e20f);
    EXPECT_EQ(store.intValue(3), INT32_MAX);
    int32_t slot = 0;
    store.fillSlot(3, &slot);
    EXPECT_EQ(slot, INT32_MAX);
    EXPECT_TRUE(store.setListText(1, "red,green"));
    EXPECT_EQ(store.listText(1), "red,green");
}

TEST_F(PinStoreTest, FloatPinFillsTheSlotWithFloatBits) {
    store.setFloat(2, 0.25f);
    float slot = 0.0f;
    store.fillSlot(2, &slot);
    EXPECT_EQ(slot, 0.25f);
    store.setText(2, "1.5e1x");
    EXPECT_EQ(store.floatValue(2), 15.0f);
    store.setText(2, "none");
    EXPECT_EQ(store.floatValue(2), 0.0f);
    store.setFloat(2, 0.1f);
    EXPECT_EQ(PinStore::parseFloat(store.text(2)), 0.1f); // text reads back exactly
}

TEST_F(PinStoreTest, UndeclaredPinsAreRefused) {
    EXPECT_EQ(store.find(9), nullptr);
    EXPECT_THROW(store.setText(9, "x"), HostError);
    EXPECT_THROW(store.text(-1), HostError);
}

TEST_F(PinStoreTest, DeclaringFromATableStartsEmpty) {
    store.setText(0, "old");
    PinDeclaration d;
    d.index = 0;
    d.record.datatype = DT_TEXT;
    d.name = "NEW";
    store.declare(std::vector<PinDeclaration>{d});
    EXPECT_EQ(store.text(0), "");
    EXPECT_EQ(store.at(0).name, "NEW");
}

TEST_F(PinStoreTest, ChangedPinsNamesOnlyWhatDiffers) {
    std::vector<PinValue> before = store.values();
    store.setText(0, "x");
    store.setInt(3, 0); // a write of the same value is no change
    store.setListText(1, "c,d");
    std::vector<PinValue> changed = changedPins(before, store.values());
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].index, 0);
    EXPECT_EQ(changed[1].index, 1);
    EXPECT_EQ(changedPins({}, store.values()).size(), store.size());
}

} // namespace
