// The two exported functions that wq_module_entry.h defines: what they write
// into the description record, what makeModule creates and hands out, and
// what both do when memory runs out. Quendor's own exports are linked in, so
// its makeModule is called here directly.
//
// This program replaces the global nothrow allocation functions: while a
// FailingAllocations guard lives, every nothrow allocation fails, as it does
// on a machine without memory.
#include "list_module/GuiModule.h"
#include "list_module/Module.h"
#include "tests/support/AudioHostSpy.h"
#include "tests/support/TestModules.h"
#include "wq_sdk2/wq_module_entry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace {

bool g_failNothrowAllocations = false;

// Every nothrow allocation fails while one lives.
class FailingAllocations {
public:
    FailingAllocations() { g_failNothrowAllocations = true; }
    ~FailingAllocations() { g_failNothrowAllocations = false; }
    FailingAllocations(const FailingAllocations &) = delete;
    FailingAllocations &operator=(const FailingAllocations &) = delete;
};

} // namespace

// The replacements. Storage they hand out comes from the ordinary allocation
// functions, so the ordinary deallocation functions release it.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (g_failNothrowAllocations)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    if (g_failNothrowAllocations)
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using test::AudioHostSpy;

wq_result_t WQ_ABI ignoreAll(void *, int32_t, int32_t, int32_t, void *, float) { return 0; }

// ---- A module of the tests' own, through the template ------------------------

constexpr char kTestName[] = "entry test";
constexpr char kTestAbout[] = "about entry test";
constexpr wq::ModuleDescription kTestDescription = {kTestName, "entry-id", kTestAbout, 0x30, 0x4};

class TestGui : public WQGUI_base {
public:
    TestGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}
};

// An audio class whose construction fails.
class ThrowingAudio : public WQModule_base {
public:
    ThrowingAudio(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {
        throw std::runtime_error("no");
    }
};

// A class whose record does not sit at the start of the object: the record's
// address, not the object's, is what the host must get.
class Padding {
public:
    virtual ~Padding() = default;
    int64_t words[3] = {};
};
class PaddedAudio : public Padding, public WQModule_base {
public:
    PaddedAudio(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}
};

using TestEntry = wq::ModuleEntry<kTestDescription, PaddedAudio, TestGui>;
using GuiOnlyEntry = wq::ModuleEntry<kTestDescription, void, TestGui>;
using ThrowingEntry = wq::ModuleEntry<kTestDescription, ThrowingAudio, void>;

void closeObject(void *record, int32_t type) {
    if (type == WQ_TYPE_AUDIO) {
        auto *r = static_cast<WQAudioHostRecord *>(record);
        EXPECT_EQ(r->dispatcher(r, AD_CLOSE, 0, 0, nullptr, 0.0f), 1);
    } else {
        auto *r = static_cast<WQGuiHostRecord *>(record);
        EXPECT_EQ(r->dispatcher(r, GD_CLOSE, 0, 0, nullptr, 0.0f), 1);
    }
}

// ---- getModuleProperties -------------------------------------------------------

WQModuleDescription filledRecord() {
    WQModuleDescription record;
    std::memset(&record, 0x5A, sizeof record);
    return record;
}

TEST(ModuleEntryDescription, IndexZeroIsTheDescriptionAndTheVersion) {
    WQModuleDescription record = filledRecord();
    EXPECT_EQ(TestEntry::getModuleProperties(0, &record), 1);
    EXPECT_EQ(record.name, kTestName);
    EXPECT_STREQ(record.id, "entry-id");
    EXPECT_EQ(record.about, kTestAbout);
    EXPECT_EQ(record.flags, 0x30u);
    EXPECT_EQ(record.guiFlags, 0x4u);
    EXPECT_EQ(record.sdkVersion, WQ_SDK_VERSION);
}

class ModuleEntryRefusedIndex : public ::testing::TestWithParam<int32_t> {};

TEST_P(ModuleEntryRefusedIndex, WritesTheVersionOnlyAndCreatesNothing) {
    const WQModuleDescription before = filledRecord();
    WQModuleDescription record = before;
    EXPECT_EQ(TestEntry::getModuleProperties(GetParam(), &record), 0);
    WQModuleDescription expected = before;
    expected.sdkVersion = WQ_SDK_VERSION;
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof record), 0);

    EXPECT_EQ(TestEntry::makeModule(GetParam(), WQ_TYPE_AUDIO, &ignoreAll, 0), nullptr);
    EXPECT_EQ(TestEntry::makeModule(GetParam(), WQ_TYPE_GUI, &ignoreAll, 0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(OtherModules, ModuleEntryRefusedIndex,
                         ::testing::Values(1, -1, 2, INT32_MIN, INT32_MAX));

TEST(ModuleEntryDescription, ANullRecordIsRefused) {
    EXPECT_EQ(TestEntry::getModuleProperties(0, nullptr), 0);
    EXPECT_EQ(TestEntry::getModuleProperties(1, nullptr), 0);
}

// ---- makeModule ----------------------------------------------------------------------

TEST(ModuleEntryMake, HandsOutTheRecordNeverTheObject) {
    void *audio = TestEntry::makeModule(0, WQ_TYPE_AUDIO, &ignoreAll, 7);
    ASSERT_NE(audio, nullptr);
    auto *audioRecord = static_cast<WQAudioHostRecord *>(audio);
    EXPECT_EQ(audioRecord->magic, WQ_AUDIO_MAGIC);
    EXPECT_EQ(audioRecord->hostValue, 7);
    EXPECT_NE(audioRecord->object, audio);
    EXPECT_NE(dynamic_cast<PaddedAudio *>(static_cast<WQModule_base *>(audioRecord->object)),
              nullptr);
    closeObject(audio, WQ_TYPE_AUDIO);

    void *gui = TestEntry::makeModule(0, WQ_TYPE_GUI, &ignoreAll, 9);
    ASSERT_NE(gui, nullptr);
    auto *guiRecord = static_cast<WQGuiHostRecord *>(gui);
    EXPECT_EQ(guiRecord->magic, WQ_GUI_MAGIC);
    EXPECT_EQ(guiRecord->hostValue, 9);
    EXPECT_NE(guiRecord->object, gui);
    closeObject(gui, WQ_TYPE_GUI);
}

TEST(ModuleEntryMake, OtherTypesAndAMissingSideMakeNothing) {
    for (int32_t type : {0, 3, -1, -2, INT32_MAX})
        EXPECT_EQ(TestEntry::makeModule(0, type, &ignoreAll, 0), nullptr) << type;
    EXPECT_EQ(GuiOnlyEntry::makeModule(0, WQ_TYPE_AUDIO, &ignoreAll, 0), nullptr);
    void *gui = GuiOnlyEntry::makeModule(0, WQ_TYPE_GUI, &ignoreAll, 0);
    ASSERT_NE(gui, nullptr);
    closeObject(gui, WQ_TYPE_GUI);
}

TEST(ModuleEntryMake, AConstructorThatThrowsGivesNull) {
    EXPECT_EQ(ThrowingEntry::makeModule(0, WQ_TYPE_AUDIO, &ignoreAll, 0), nullptr);
}

// ---- Out of memory -------------------------------------------------------------

TEST(OutOfMemory, QuendorsMakeModuleGivesNull) {
    for (int32_t type : {WQ_TYPE_AUDIO, WQ_TYPE_GUI}) {
        void *record = nullptr;
        {
            FailingAllocations failing;
            record = makeModule(0, type, &ignoreAll, 0);
        }
        EXPECT_EQ(record, nullptr) << type;
        // With memory again, the same call succeeds.
        record = makeModule(0, type, &ignoreAll, 0);
        ASSERT_NE(record, nullptr) << type;
        closeObject(record, type);
    }
}

TEST(OutOfMemory, OpenLeavesTheObjectWithoutPins) {
    AudioHostSpy host;
    host.pin_count = 3;
    test::DeclarationModule m(&host, {{0, DT_INT, nullptr, DR_IN}, {0, DT_INT, nullptr, DR_IN}});
    WQAudioHostRecord *r = m.hostRecord();
    {
        FailingAllocations failing;
        EXPECT_EQ(r->dispatcher(r, AD_OPEN, 0, 0, nullptr, 0.0f), 0);
    }
    EXPECT_EQ(m.pinCount(), 0);
    // With memory again, opening builds the pins.
    r->dispatcher(r, AD_OPEN, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(m.pinCount(), 3);
    EXPECT_TRUE(m.getPin(1)->isSetUp());
}

} // namespace
