// The built module library, driven through its two exports and the records
// they hand out, as a host sees it.
#include "tests/support/ModuleExportsTest.h"
#include "wq_sdk2/wq_interface.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

struct Call {
    int32_t opcode;
    int32_t index;
    int32_t value;
    void *ptr;
};

// A minimal host: records every callback of every object in one list.
std::vector<Call> g_calls;
int32_t g_pin_count = 4;

wq_result_t WQ_ABI hostCallback(void *, int32_t opcode, int32_t index, int32_t value, void *ptr,
                                float) {
    g_calls.push_back(Call{opcode, index, value, ptr});
    return opcode == AH_PIN_COUNT ? g_pin_count : 0;
}

std::vector<int32_t> opcodes() {
    std::vector<int32_t> result;
    for (const Call &c : g_calls)
        result.push_back(c.opcode);
    return result;
}

class LibraryExports : public wqtest::ModuleExportsTest<LibraryExports> {
public:
    static constexpr const char *kLibraryPath = WQ_QUENDOR_LIBRARY;

protected:
    void SetUp() override {
        ModuleExportsTest::SetUp();
        g_calls.clear();
        g_pin_count = 4;
    }

    WQAudioHostRecord *makeAudio(intptr_t host_value = 0x1234) {
        return static_cast<WQAudioHostRecord *>(
            makeModule(0, WQ_TYPE_AUDIO, &hostCallback, host_value));
    }
    static wq_result_t send(WQAudioHostRecord *r, int32_t opcode, int32_t index = 0,
                            void *ptr = nullptr) {
        return r->dispatcher(r, opcode, index, 0, ptr, 0.0f);
    }
};

TEST_F(LibraryExports, DescriptionOfAnotherIndexWritesOnlyTheVersion) {
    WQModuleDescription d;
    std::memset(&d, 0x77, sizeof d);
    const WQModuleDescription before = d;
    EXPECT_EQ(getModuleProperties(1, &d), 0);
    EXPECT_EQ(d.sdkVersion, 2230);
    EXPECT_EQ(d.name, before.name);
    EXPECT_EQ(d.id, before.id);
    EXPECT_EQ(d.about, before.about);
    EXPECT_EQ(d.flags, before.flags);
    EXPECT_EQ(d.guiFlags, before.guiFlags);
    EXPECT_EQ(getModuleProperties(-1, &d), 0);
}

TEST_F(LibraryExports, DescriptionWithoutARecordIsRefused) {
    EXPECT_EQ(getModuleProperties(0, nullptr), 0);
    EXPECT_EQ(getModuleProperties(1, nullptr), 0);
}

TEST_F(LibraryExports, DescriptionOfIndexZeroNamesQuendor) {
    WQModuleDescription d = {};
    EXPECT_EQ(getModuleProperties(0, &d), 1);
    EXPECT_STREQ(d.name, "Quendor");
    EXPECT_EQ(d.id, d.name);
    EXPECT_EQ(d.about, d.name);
    EXPECT_EQ(d.flags, 512u);
    EXPECT_EQ(d.guiFlags, 256u);
    EXPECT_EQ(d.sdkVersion, 2230);
}

TEST_F(LibraryExports, MakeModuleRefusesOtherIndicesAndTypes) {
    EXPECT_EQ(makeModule(1, WQ_TYPE_AUDIO, &hostCallback, 0), nullptr);
    EXPECT_EQ(makeModule(-1, WQ_TYPE_AUDIO, &hostCallback, 0), nullptr);
    for (int32_t type : {0, 3, -1, 100})
        EXPECT_EQ(makeModule(0, type, &hostCallback, 0), nullptr) << type;
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(LibraryExports, AudioObjectRecordReadsWordByWord) {
    WQAudioHostRecord *a = makeAudio(0x5150);
    WQAudioHostRecord *b = makeAudio(0x5151);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->magic, 0x5751504Cu);
    EXPECT_EQ(a->version, 1);
    EXPECT_EQ(a->hostValue, 0x5150);
    EXPECT_EQ(b->hostValue, 0x5151);
    EXPECT_NE(a->object, nullptr);
    EXPECT_NE(a->object, static_cast<void *>(a));
    EXPECT_NE(a->object, b->object);
    EXPECT_EQ(a->reserved0, 0);
    EXPECT_NE(a->dispatcher, nullptr);
    EXPECT_EQ(a->dispatcher, b->dispatcher);
    EXPECT_NE(a->process, nullptr);
    EXPECT_EQ(a->process, b->process);
    EXPECT_NE(a->eventHandler, nullptr);
    for (int32_t word : a->reserved1)
        EXPECT_EQ(word, 0);
    EXPECT_TRUE(g_calls.empty()); // construction calls nobody

    EXPECT_EQ(send(a, AD_CLOSE), 1);
    EXPECT_EQ(send(b, AD_CLOSE), 1);
}

TEST_F(LibraryExports, AudioObjectOpensDeclaresProcessesAndCloses) {
    WQAudioHostRecord *r = makeAudio();
    ASSERT_NE(r, nullptr);
    const WQProcessProc initial = r->process;

    EXPECT_EQ(send(r, AD_OPEN), 0);
    EXPECT_THAT(opcodes(), ElementsAre(AH_PROCESS_CHANGED, AH_PIN_COUNT));
    EXPECT_NE(r->process, initial);

    const char *names[] = {"TEXT LIST", "LIST", "ITEM -> NAME", "ITEM -> VALUE"};
    for (int32_t i = 0; i < 4; ++i) {
        WQPinProperties p = {};
        EXPECT_EQ(send(r, AD_GET_PIN_PROPERTIES, i, &p), 1) << i;
        EXPECT_STREQ(p.name, names[i]);
        EXPECT_EQ(p.flags, static_cast<uint32_t>(IO_UI_COMMUNICATION));
    }
    WQPinProperties none = {};
    EXPECT_EQ(send(r, AD_GET_PIN_PROPERTIES, 4, &none), 0);

    g_calls.clear();
    r->process(r->object);
    r->process(r->object);
    EXPECT_THAT(opcodes(), ElementsAre(AH_OPCODE_10, AH_OPCODE_10));

    const auto *reference =
        reinterpret_cast<const WQProcessReferenceRecord *>(send(r, AD_GET_PROCESS_REFERENCE));
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->count, 1);
    EXPECT_EQ(reference->referenceSize, 8);
    EXPECT_EQ(reference->tag, 1002);
    EXPECT_EQ(reference->reference->function, r->process);
    EXPECT_EQ(reference->reference->adjustment, 0);

    EXPECT_EQ(send(r, AD_CLOSE), 1);
}

} // namespace
