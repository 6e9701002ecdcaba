// The built module library in the reference host: its two exports and its
// audio side, seen only through the exported functions and the records.
#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"
#include "host/core/ModuleLibrary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

class ModuleAudioInHost : public ::testing::Test {
protected:
    static AudioHost::Options withPins(int32_t count) {
        AudioHost::Options o;
        o.pinCount = count;
        return o;
    }
    std::shared_ptr<const ModuleLibrary> library = ModuleLibrary::load(WQ_QUENDOR_LIBRARY);
};

TEST_F(ModuleAudioInHost, DescriptionOfModule0) {
    WQModuleDescription d;
    std::memset(&d, 0, sizeof d);
    EXPECT_EQ(library->getModuleProperties(0, &d), 1);
    ASSERT_NE(d.name, nullptr);
    EXPECT_STREQ(d.name, "Quendor");
    EXPECT_EQ(d.id, d.name); // one text, stored once
    EXPECT_EQ(d.about, d.name);
    EXPECT_EQ(d.flags, 512u);
    EXPECT_EQ(d.guiFlags, 256u);
    EXPECT_EQ(d.sdkVersion, 2230);
}

TEST_F(ModuleAudioInHost, DescriptionOfAnotherIndexWritesOnlyTheVersion) {
    static const char hostText[] = "host";
    for (int32_t index : {1, -1, 7}) {
        WQModuleDescription d;
        std::memset(&d, 0xA5, sizeof d);
        d.name = d.id = d.about = hostText;
        WQModuleDescription before = d;
        EXPECT_EQ(library->getModuleProperties(index, &d), 0) << index;
        EXPECT_EQ(d.sdkVersion, 2230);
        d.sdkVersion = before.sdkVersion;
        EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0) << index;
    }
}

struct Refusal {
    int32_t index;
    int32_t type;
};

class MakeModuleRefusal : public ModuleAudioInHost,
                          public ::testing::WithParamInterface<Refusal> {};

TEST_P(MakeModuleRefusal, ReturnsNull) {
    EXPECT_EQ(
        library->makeModule(GetParam().index, GetParam().type, AudioHost::callbackFunction(), 0),
        nullptr);
}

INSTANTIATE_TEST_SUITE_P(IndexAndType, MakeModuleRefusal,
                         ::testing::Values(Refusal{0, 0}, Refusal{0, 3}, Refusal{0, -1},
                                           Refusal{1, 1}, Refusal{1, 2}, Refusal{-1, 1}));

TEST_F(ModuleAudioInHost, TwoGuiObjectsHaveTwoRecords) {
    GuiHost a(library), b(library);
    ASSERT_TRUE(a.create());
    ASSERT_TRUE(b.create());
    EXPECT_NE(a.record(), b.record());
    EXPECT_TRUE(a.checkRecord().empty());
    EXPECT_TRUE(b.checkRecord().empty());
}

TEST_F(ModuleAudioInHost, NewAudioRecordReadsWordByWord) {
    AudioHost host(library);
    ASSERT_TRUE(host.create());
    const WQAudioHostRecord &r = *host.record();
    EXPECT_EQ(r.magic, 0x5751504Cu);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.hostValue, host.hostValue());
    EXPECT_NE(r.object, nullptr);
    EXPECT_EQ(r.reserved0, 0);
    EXPECT_NE(r.dispatcher, nullptr);
    EXPECT_NE(r.process, nullptr);
    EXPECT_NE(r.eventHandler, nullptr);
    for (int32_t word : r.reserved1)
        EXPECT_EQ(word, 0);
    EXPECT_TRUE(host.checkRecord().empty());
    // Creation made no host call.
    EXPECT_TRUE(host.log().callbacks(Side::Audio).empty());
}

TEST_F(ModuleAudioInHost, PinTableOnClearedRecords) {
    AudioHost host(library);
    ASSERT_TRUE(host.create());
    std::vector<PinDeclaration> table = host.readPinDeclarations();
    ASSERT_EQ(table.size(), 4u);
    const char *names[] = {"TEXT LIST", "LIST", "ITEM -> NAME", "ITEM -> VALUE"};
    for (size_t i = 0; i < 4; ++i) {
        const WQPinProperties &p = table[i].record;
        EXPECT_EQ(table[i].name, names[i]);
        EXPECT_EQ(p.variable, nullptr);
        EXPECT_EQ(p.reserved5, 0);
        EXPECT_EQ(p.reserved8, 0);
        EXPECT_EQ(p.flags, 0x400u);
        EXPECT_TRUE(table[i].flagsConsistent());
        EXPECT_FALSE(table[i].getsAudioPin());
        if (i == 1) {
            EXPECT_EQ(p.direction, DR_IN);
            EXPECT_EQ(p.datatype, DT_ENUM);
            EXPECT_EQ(table[i].listText, "a=1,b=2");
        } else {
            EXPECT_EQ(p.direction, DR_OUT);
            EXPECT_EQ(p.datatype, DT_TEXT);
            EXPECT_EQ(p.list_text, nullptr);
        }
    }
    // Declaration 4 is the first refusal; the walk asked nothing beyond it.
    auto queries = host.log().select([](const CallRecord &c) {
        return c.kind == CallKind::Dispatch && c.opcode == AD_GET_PIN_PROPERTIES;
    });
    ASSERT_EQ(queries.size(), 5u);
    EXPECT_EQ(queries[4].index, 4);
    EXPECT_EQ(queries[4].result, 0);
    EXPECT_TRUE(host.problems().empty());
}

TEST_F(ModuleAudioInHost, PinTableOnPrefilledRecordsLeavesUnwrittenFieldsAlone) {
    AudioHost host(library);
    ASSERT_TRUE(host.create());
    static const char hostList[] = "host list";
    WQPinProperties prefill;
    std::memset(&prefill, 0x5A, sizeof prefill);
    prefill.list_text = hostList;
    prefill.name = nullptr;
    std::vector<PinDeclaration> table = host.readPinDeclarations(&prefill);
    ASSERT_EQ(table.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const WQPinProperties &p = table[i].record;
        EXPECT_EQ(p.variable, prefill.variable);
        EXPECT_EQ(p.reserved5, prefill.reserved5);
        EXPECT_EQ(p.reserved8, prefill.reserved8);
        EXPECT_EQ(p.flags, 0x400u); // written whole
        EXPECT_EQ(table[i].listTextWritten, i == 1);
        if (i != 1) {
            EXPECT_EQ(p.list_text, hostList);
        }
    }
    // Refused indices leave the record untouched.
    for (int32_t index : {4, -1, 100}) {
        WQPinProperties p = prefill;
        EXPECT_FALSE(host.queryPin(index, p));
        EXPECT_EQ(std::memcmp(&p, &prefill, sizeof p), 0) << index;
    }
}

class ModuleOpen : public ModuleAudioInHost, public ::testing::WithParamInterface<int32_t> {};

TEST_P(ModuleOpen, SendsProcessChangedThenPinCount) {
    AudioHost host(library, withPins(GetParam()));
    ASSERT_TRUE(host.create());
    WQProcessProc before = host.processWord();
    EXPECT_EQ(host.open(), 0);
    auto cbs = host.log().callbacks(Side::Audio);
    ASSERT_EQ(cbs.size(), 2u);
    EXPECT_EQ(cbs[0].opcode, AH_PROCESS_CHANGED);
    EXPECT_EQ(cbs[1].opcode, AH_PIN_COUNT);
    EXPECT_EQ(cbs[1].result, GetParam());
    for (const CallRecord &c : cbs) {
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.value, 0);
        EXPECT_EQ(c.ptr, 0);
        EXPECT_EQ(c.record, host.record()); // the object names its own record
    }
    // The host re-read the process word when told.
    EXPECT_NE(host.processWord(), before);
    EXPECT_EQ(host.processWord(), host.record()->process);
    EXPECT_EQ(host.close(), 1);
    EXPECT_TRUE(host.problems().empty());
}

INSTANTIATE_TEST_SUITE_P(PinCounts, ModuleOpen, ::testing::Values(0, 4, -1));

TEST_F(ModuleAudioInHost, EachProcessCallSendsOneOpcode10) {
    AudioHost host(library, withPins(4));
    ASSERT_TRUE(host.create());
    host.open();
    host.log().clear();
    host.processBlocks(3);
    auto cbs = host.log().callbacks(Side::Audio);
    ASSERT_EQ(cbs.size(), 3u);
    for (const CallRecord &c : cbs) {
        EXPECT_EQ(c.opcode, AH_OPCODE_10);
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.value, 0);
        EXPECT_EQ(c.ptr, 0);
        EXPECT_EQ(c.opt, 0.0f);
        EXPECT_EQ(c.depth, 1);
    }
    // Before open the process word is the default one, which sends nothing.
    AudioHost fresh(library);
    ASSERT_TRUE(fresh.create());
    fresh.processBlock();
    EXPECT_TRUE(fresh.log().callbacks(Side::Audio).empty());
}

TEST_F(ModuleAudioInHost, OpcodesWithoutActionReturn0AndCallNothing) {
    AudioHost host(library);
    ASSERT_TRUE(host.create());
    host.open();
    host.log().clear();
    for (int32_t opcode : {2, 3, 4, 5, 8, 9, 11, 12, 14, 100, -1})
        EXPECT_EQ(host.dispatch(opcode, 3, 256, nullptr, 48000.0f), 0) << opcode;
    EXPECT_TRUE(host.log().callbacks(Side::Audio).empty());
}

TEST_F(ModuleAudioInHost, ProcessReferenceIsSharedAndNamesTheAskingObject) {
    AudioHost a(library), b(library);
    ASSERT_TRUE(a.create());
    ASSERT_TRUE(b.create());
    a.open();
    const WQProcessReferenceRecord *first = a.processReference();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->count, 1);
    EXPECT_EQ(first->referenceSize, 8);
    EXPECT_EQ(first->tag, 1002);
    EXPECT_EQ(first->reference->function, a.record()->process);
    const WQProcessReferenceRecord *second = b.processReference();
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->reference->function, b.record()->process);
    EXPECT_NE(a.record()->process, b.record()->process); // a opened, b not
}

TEST_F(ModuleAudioInHost, CloseReturns1AndEndsTheRecord) {
    AudioHost host(library, withPins(4));
    ASSERT_TRUE(host.create());
    host.open();
    EXPECT_EQ(host.close(), 1);
    EXPECT_FALSE(host.isLive());
    EXPECT_TRUE(host.problems().empty());
    ASSERT_TRUE(host.create()); // a new object after the old one
    EXPECT_EQ(host.close(), 1);
}

} // namespace
