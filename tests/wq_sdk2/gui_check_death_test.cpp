// Contract breaches on the GUI side end the program with the check's text:
// an object made without a host callback, and an exception thrown towards
// the host.
#include "list_module/GuiModule.h"
#include "wq_sdk2/WQGUI_base.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class NoHost : public WQGUI_base {
public:
    NoHost() : WQGUI_base(nullptr, 0) {}
    ~NoHost() override = default; // public: these objects are never handed to a host
};

class Throws : public WQGUI_base {
public:
    Throws() : WQGUI_base(nullptr, 0) {}

protected:
    void onHostOpcode2(int32_t, void *) override { throw std::runtime_error("escapes"); }
};

// The whole report, line included: hosts and their authors know this check
// by where it stands. (Windows ends the line with a carriage return too.)
constexpr const char *kNoCallback =
    "Assertion failed: wqaudioMaster, file wq_sdk2/WQGUI_base\\.cpp, line 134\r?\n";

TEST(WQGUI_baseDeathTest, EveryWayOutStopsWithoutACallback) {
    NoHost gui;
    int data = 0;
    EXPECT_DEATH(gui.callHost(GH_PIN_GET_TEXT, 0, 0, nullptr, 0.0f), kNoCallback);
    EXPECT_DEATH(gui.callHost8(1, 2, &data), kNoCallback);
    EXPECT_DEATH(gui.callHost18(&data), kNoCallback);
    EXPECT_DEATH(gui.callHost19(&data), kNoCallback);
    EXPECT_DEATH(gui.callHost20(&data), kNoCallback);
    EXPECT_DEATH(gui.getPin(1)->setValueInt(3), kNoCallback);
    EXPECT_DEATH(gui.getPin(0)->getValueText(), kNoCallback);
}

TEST(WQGUI_baseDeathTest, ConstructionAloneDoesNotStop) {
    NoHost gui;
    EXPECT_EQ(gui.hostRecord()->magic, WQ_GUI_MAGIC);
}

TEST(WQGUI_baseDeathTest, ExceptionNeverReachesTheHost) {
    Throws *gui = new Throws;
    WQGuiHostRecord *r = gui->hostRecord();
    EXPECT_DEATH(r->dispatcher(r, GD_OPCODE_2, 0, 0, nullptr, 0.0f),
                 "Assertion failed: no exception crosses into the host, file ");
    r->dispatcher(r, GD_CLOSE, 0, 0, nullptr, 0.0f);
}

TEST(WQGUI_baseDeathTest, TheEntryNeedsItsRecordAndObject) {
    NoHost gui;
    WQGuiHostRecord *r = gui.hostRecord();
    EXPECT_DEATH(r->dispatcher(nullptr, GD_OPCODE_10, 0, 0, nullptr, 0.0f),
                 "Assertion failed: record != 0, file ");
    WQGuiHostRecord cleared = *r;
    cleared.object = nullptr;
    EXPECT_DEATH(r->dispatcher(&cleared, GD_OPCODE_10, 0, 0, nullptr, 0.0f),
                 "Assertion failed: object != 0, file ");
}

TEST(GuiModuleDeathTest, OpenWithoutACallbackStops) {
    // Its destructor would stop as well, so the object stays reachable until
    // the process ends rather than being closed.
    static GuiModule *const gui = new GuiModule(nullptr, 0);
    WQGuiHostRecord *r = gui->hostRecord();
    EXPECT_DEATH(r->dispatcher(r, GD_OPEN, 1, 0, nullptr, 0.0f), kNoCallback);
}

} // namespace
