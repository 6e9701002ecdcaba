// The GUI base class against a scripted host: the record it hands out, every
// opcode reaching its operation with the right arguments, self-destruction
// on close, and the requests it makes of the host.
#include "wq_sdk2/WQGUI_base.h"

#include "tests/support/fake_gui_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fake::FakeGuiHost;

// Records which operation ran and with what, in a log that outlives the object.
class Spy : public WQGUI_base {
public:
    Spy(FakeGuiHost &host, std::vector<std::string> &log, intptr_t hostValue = 0)
        : WQGUI_base(&FakeGuiHost::callback, hostValue ? hostValue : host.hostValue()), m_log(log) {
    }

    bool answer10 = false;
    WQGuiPin *lastPin = nullptr;
    WQGuiPin seenPin = {};
    WQPair *lastPair = nullptr;

protected:
    ~Spy() override { m_log.push_back("destroyed"); }

    void open(bool flag) override { say("open(", flag ? "true" : "false", ")"); }
    void close() override { m_log.push_back("close"); }
    void onHostOpcode2(int32_t index, void *ptr) override { say("op2(", index, ",", ptr, ")"); }
    void onHostOpcode3(void *ptr, float opt, WQPair *p) override { pair("op3", ptr, opt, p); }
    void onHostOpcode4(void *ptr, float opt, WQPair *p) override { pair("op4", ptr, opt, p); }
    void onHostOpcode5(void *ptr, float opt, WQPair *p) override { pair("op5", ptr, opt, p); }
    void onHostOpcode8(void *ptr) override { say("op8(", ptr, ")"); }
    void onHostOpcode9(void *ptr) override { say("op9(", ptr, ")"); }
    bool onHostOpcode10() override {
        say("op10()");
        return answer10;
    }
    void onHostOpcode11(int32_t index) override { say("op11(", index, ")"); }
    void onHostOpcode12(int32_t index) override { say("op12(", index, ")"); }
    void onHostOpcode6(int32_t value, int32_t index, void *ptr) override {
        say("op6(", value, ",", index, ",", ptr, ")");
    }
    void onPinChanged(WQGuiPin *pin) override {
        lastPin = pin;
        seenPin = *pin;
        // The shared handle must not be the one passed in.
        WQGuiPin *shared = getPin(pin->index + 100);
        say("pin(", pin->index, ",", pin->module == this ? "this" : "other", ",",
            shared == pin ? "shared" : "own", ")");
    }

private:
    template <typename... Parts> void say(const Parts &...parts) {
        std::ostringstream os;
        (os << ... << parts);
        m_log.push_back(os.str());
    }
    void pair(const char *name, void *ptr, float opt, WQPair *p) {
        lastPair = p;
        say(name, "(", ptr, ",", opt, ",{", p->first, ",", p->second, "})");
    }
    std::vector<std::string> &m_log;
};

// Overrides nothing: the defaults answer the host.
class Plain : public WQGUI_base {
public:
    explicit Plain(FakeGuiHost &host) : WQGUI_base(&FakeGuiHost::callback, host.hostValue()) {}
};

// Replaces dispatch itself; the record entry must still reach it.
class OwnDispatch : public WQGUI_base {
public:
    explicit OwnDispatch(FakeGuiHost &host)
        : WQGUI_base(&FakeGuiHost::callback, host.hostValue()) {}
    wq_result_t dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr,
                         float opt) override {
        if (opcode == 99)
            return 4242;
        return WQGUI_base::dispatch(opcode, index, value, ptr, opt);
    }
};

class WQGUI_baseTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (WQGuiHostRecord *r : open_)
            EXPECT_EQ(host.dispatch(r, GD_CLOSE), 1);
    }
    // Objects still alive at the end are closed by the test.
    template <typename T> T *keep(T *object) {
        open_.push_back(object->hostRecord());
        return object;
    }
    WQGuiHostRecord *forget(WQGuiHostRecord *r) {
        open_.erase(std::remove(open_.begin(), open_.end(), r), open_.end());
        return r;
    }

    FakeGuiHost host;
    std::vector<std::string> log;
    std::vector<WQGuiHostRecord *> open_;
};

TEST_F(WQGUI_baseTest, NewRecordHoldsMagicVersionEntryHostValueObjectAndZeros) {
    Spy *spy = keep(new Spy(host, log, 0x1234567));
    Spy *other = keep(new Spy(host, log));
    WQGuiHostRecord *r = spy->hostRecord();

    EXPECT_EQ(r->magic, 0x5751504Du);
    EXPECT_EQ(r->version, 1);
    EXPECT_NE(r->dispatcher, nullptr);
    EXPECT_EQ(r->dispatcher, other->hostRecord()->dispatcher);
    EXPECT_EQ(r->hostValue, 0x1234567);
    EXPECT_EQ(r->object, static_cast<WQGUI_base *>(spy));
    for (int32_t word : r->reserved)
        EXPECT_EQ(word, 0);
#ifdef WQ_LAYOUT_32
    uint32_t words[10];
    std::memcpy(words, r, sizeof words);
    EXPECT_EQ(words[0], 0x5751504Du);
    EXPECT_EQ(words[1], 1u);
    EXPECT_EQ(words[3], 0x1234567u);
    EXPECT_EQ(words[4], reinterpret_cast<uintptr_t>(static_cast<WQGUI_base *>(spy)));
    for (int i = 5; i < 10; ++i)
        EXPECT_EQ(words[i], 0u) << "word " << i;
#endif
    // The table reference and the callback come first, then the record.
    EXPECT_EQ(reinterpret_cast<char *>(r) -
                  reinterpret_cast<char *>(static_cast<WQGUI_base *>(spy)),
              static_cast<std::ptrdiff_t>(2 * sizeof(void *)));
    EXPECT_TRUE(host.calls.empty()) << "construction calls the host";
    EXPECT_TRUE(log.empty());
}

struct Route {
    const char *name;
    int32_t opcode;
    int32_t index;
    int32_t value;
    float opt;
    const char *expected; // the spy's log line, or "" for no operation
    wq_result_t result;
};

void PrintTo(const Route &r, std::ostream *out) { *out << r.name; }

class WQGUI_baseRoute : public WQGUI_baseTest, public ::testing::WithParamInterface<Route> {};

TEST_P(WQGUI_baseRoute, ReachesItsOperationWithItsArguments) {
    const Route &r = GetParam();
    Spy *spy = keep(new Spy(host, log));
    // A recognisable ptr; the pointer text is compared through the same stream.
    void *ptr = reinterpret_cast<void *>(uintptr_t{0x5a5a0});
    std::string expected = r.expected;
    std::ostringstream ptrText;
    ptrText << ptr;
    for (size_t at; (at = expected.find("P")) != std::string::npos;)
        expected.replace(at, 1, ptrText.str());

    EXPECT_EQ(host.dispatch(spy->hostRecord(), r.opcode, r.index, r.value, ptr, r.opt), r.result);
    if (expected.empty())
        EXPECT_TRUE(log.empty()) << log.front();
    else
        EXPECT_EQ(log, std::vector<std::string>{expected});
    EXPECT_TRUE(host.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Opcodes, WQGUI_baseRoute,
    ::testing::Values(Route{"open_index1", 0, 1, 9, 0, "open(true)", 0},
                      Route{"open_index0", 0, 0, 1, 0, "open(false)", 0},
                      Route{"open_index2", 0, 2, 1, 0, "open(false)", 0},
                      Route{"open_indexMinus1", 0, -1, 1, 0, "open(false)", 0},
                      Route{"op2", 2, 5, 6, 0, "op2(5,P)", 0},
                      Route{"op3", 3, 10, 20, 0.5f, "op3(P,0.5,{10,20})", 0},
                      Route{"op4", 4, -1, 7, 1.5f, "op4(P,1.5,{-1,7})", 0},
                      Route{"op5", 5, 3, -4, 2, "op5(P,2,{3,-4})", 0},
                      Route{"op6_valueFirst", 6, 3, 7, 0, "op6(7,3,P)", 0},
                      Route{"pinChanged", 7, 2, 9, 0, "pin(2,this,own)", 0},
                      Route{"op8", 8, 1, 2, 0, "op8(P)", 0}, Route{"op9", 9, 1, 2, 0, "op9(P)", 0},
                      Route{"op10_false", 10, 0, 0, 0, "op10()", 0},
                      Route{"op11", 11, 4, 5, 0, "op11(4)", 0},
                      Route{"op12", 12, -6, 5, 0, "op12(-6)", 0}, Route{"op13", 13, 1, 1, 0, "", 0},
                      Route{"op22", 22, 1, 1, 0, "", 0}, Route{"opMinus1", -1, 1, 1, 0, "", 0},
                      Route{"opMin", INT32_MIN, 1, 1, 0, "", 0},
                      Route{"opMax", INT32_MAX, 1, 1, 0, "", 0}),
    [](const ::testing::TestParamInfo<Route> &info) { return std::string(info.param.name); });

TEST_F(WQGUI_baseTest, CloseRunsCloseOnceThenDestroysTheObjectAndAnswersOne) {
    Spy *spy = new Spy(host, log);
    EXPECT_EQ(host.dispatch(spy->hostRecord(), GD_CLOSE, 1, 2), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"close", "destroyed"}));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(WQGUI_baseTest, Opcode10AnswersWhatTheOperationReturns) {
    Spy *spy = keep(new Spy(host, log));
    spy->answer10 = true;
    EXPECT_EQ(host.dispatch(spy->hostRecord(), GD_OPCODE_10), 1);
    spy->answer10 = false;
    EXPECT_EQ(host.dispatch(spy->hostRecord(), GD_OPCODE_10), 0);
}

TEST_F(WQGUI_baseTest, DefaultsDoNothingAndAnswerZero) {
    Plain *plain = keep(new Plain(host));
    for (int32_t opcode = 0; opcode <= 13; ++opcode) {
        if (opcode == GD_CLOSE)
            continue;
        EXPECT_EQ(host.dispatch(plain->hostRecord(), opcode, 1, 2), 0) << "opcode " << opcode;
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(WQGUI_baseTest, PairAndPinHandleAreTemporariesOfTheRequest) {
    Spy *spy = keep(new Spy(host, log));
    host.dispatch(spy->hostRecord(), GD_OPCODE_3, 10, 20);
    ASSERT_NE(spy->lastPair, nullptr);

    host.dispatch(spy->hostRecord(), GD_PIN_CHANGED, 2);
    EXPECT_EQ(spy->seenPin.index, 2);
    EXPECT_EQ(spy->seenPin.module, spy);
    // The shared handle written inside onPinChanged is a different object.
    WQGuiPin *shared = spy->getPin(0);
    EXPECT_NE(spy->lastPin, shared);
}

TEST_F(WQGUI_baseTest, RecordEntryHonoursADerivedDispatch) {
    OwnDispatch *own = keep(new OwnDispatch(host));
    EXPECT_EQ(host.dispatch(own->hostRecord(), 99), 4242);
    EXPECT_EQ(host.dispatch(own->hostRecord(), 98), 0);
}

TEST_F(WQGUI_baseTest, CallHostPassesRecordAddressAndArgumentsAndReturnsResultUnchanged) {
    Spy *spy = keep(new Spy(host, log));
    host.script = [](const fake::HostCall &) { return wq_result_t{-123456}; };
    int slot = 0;
    EXPECT_EQ(spy->callHost(41, -2, 77, &slot, 0.75f), -123456);
    ASSERT_EQ(host.calls.size(), 1u);
    const fake::HostCall &c = host.calls[0];
    EXPECT_EQ(c.record, spy->hostRecord());
    EXPECT_NE(c.record, static_cast<void *>(spy));
    EXPECT_EQ(c.opcode, 41);
    EXPECT_EQ(c.index, -2);
    EXPECT_EQ(c.value, 77);
    EXPECT_EQ(c.ptr, &slot);
    EXPECT_EQ(c.opt, 0.75f);
}

TEST_F(WQGUI_baseTest, FixedOpcodeFormsSendTheirOpcodeAndZeros) {
    Spy *spy = keep(new Spy(host, log));
    int data = 0;
    host.script = [](const fake::HostCall &c) { return wq_result_t{c.opcode * 1000}; };
    EXPECT_EQ(spy->callHost8(3, -4, &data), 8000);
    EXPECT_EQ(spy->callHost18(&data), 18000);
    EXPECT_EQ(spy->callHost19(nullptr), 19000);
    EXPECT_TRUE(spy->callHost20(&data));

    const fake::Expected expected[] = {{8, 3, -4, true, "", 0},
                                       {18, 0, 0, true, "", 0},
                                       {19, 0, 0, false, "", 0},
                                       {20, 0, 0, true, "", 0}};
    ASSERT_EQ(host.calls.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(fake::matches(host.calls[i], expected[i])) << host.calls[i];
        EXPECT_EQ(host.calls[i].record, spy->hostRecord());
    }
    EXPECT_EQ(host.calls[0].ptr, &data);
}

TEST_F(WQGUI_baseTest, CallHost20IsTrueForAnyNonZeroAnswer) {
    Spy *spy = keep(new Spy(host, log));
    for (wq_result_t answer : {wq_result_t{2}, wq_result_t{-1}, wq_result_t{1}, wq_result_t{0}}) {
        host.script = [answer](const fake::HostCall &) { return answer; };
        EXPECT_EQ(spy->callHost20(nullptr), answer != 0) << "host answered " << answer;
    }
}

TEST_F(WQGUI_baseTest, GetPinReturnsTheOneSharedHandleWithTheLatestIndexAndObject) {
    Spy *first = keep(new Spy(host, log));
    Spy *second = keep(new Spy(host, log));
    WQGuiPin *a = first->getPin(0);
    EXPECT_EQ(a->index, 0);
    EXPECT_EQ(a->module, first);
    WQGuiPin *b = second->getPin(3);
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->index, 3);
    EXPECT_EQ(b->module, second);
    EXPECT_EQ(first->getPin(-7), a);
    EXPECT_EQ(a->index, -7);
    EXPECT_TRUE(host.calls.empty());
}

} // namespace
