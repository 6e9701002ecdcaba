// The audio host against the test module: record checks, the pin table,
// events delivered exactly at their clock across block boundaries, pin
// buffers, the process word and the trace of it all.
#include "host/core/AudioHost.h"
#include "host/core/ProcessWatch.h"
#include "host/platform/HostError.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace wqhost;

namespace {

class AudioHostTest : public ::testing::Test {
protected:
    static AudioHost::Options options(uint32_t blockSize = 64) {
        AudioHost::Options o;
        o.blockSize = blockSize;
        o.pinCount = 3;
        return o;
    }
    std::shared_ptr<const ModuleLibrary> library = ModuleLibrary::load(WQ_ECHO_MODULE_PATH);
};

// The top-level (depth 0) process and event calls as (kind, clock) pairs.
std::vector<std::pair<CallKind, uint32_t>> deliveries(const CallLog &log) {
    std::vector<std::pair<CallKind, uint32_t>> out;
    for (const CallRecord &c : log.calls())
        if (c.depth == 0 && (c.kind == CallKind::Process || c.kind == CallKind::Event))
            out.emplace_back(c.kind, c.clock);
    return out;
}

WQEvent eventAt(uint32_t time, int32_t value = 0) {
    WQEvent e;
    std::memset(&e, 0, sizeof e);
    e.time_stamp = time;
    e.event_type = 100;
    e.int_value = value;
    return e;
}

TEST_F(AudioHostTest, CreatesChecksOpensAndCloses) {
    AudioHost host(library, options());
    EXPECT_FALSE(host.create(1)); // the library holds module 0 only
    ASSERT_TRUE(host.create(0));
    EXPECT_TRUE(host.checkRecord().empty());
    EXPECT_EQ(host.record()->hostValue, host.hostValue());
    EXPECT_EQ(host.open(), 0);
    std::vector<CallRecord> cbs = host.log().callbacks(Side::Audio);
    ASSERT_EQ(cbs.size(), 1u);
    EXPECT_EQ(cbs[0].opcode, AH_PIN_COUNT);
    EXPECT_EQ(cbs[0].result, 3);
    EXPECT_EQ(cbs[0].depth, 1);
    EXPECT_EQ(host.close(), 1);
    EXPECT_FALSE(host.isLive());
    EXPECT_THROW(host.dispatch(AD_OPCODE_9), HostError);
    EXPECT_TRUE(host.problems().empty());
}

TEST_F(AudioHostTest, ReadsThePinTableUntilTheModuleRefuses) {
    AudioHost host(library, options());
    ASSERT_TRUE(host.create());
    std::vector<PinDeclaration> table = host.readPinDeclarations();
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table[0].name, "TEXT");
    EXPECT_FALSE(table[0].listTextWritten);
    EXPECT_EQ(table[4].listText, "x,y,z");
    EXPECT_EQ(table[6].dataType(), DT_FSAMPLE);
    EXPECT_TRUE(table[6].getsAudioPin());
    EXPECT_EQ(countAudioPins(table), 1);
    // Seven answers and the refusal of declaration 7.
    auto queries =
        host.log().select([](const CallRecord &c) { return c.opcode == AD_GET_PIN_PROPERTIES; });
    ASSERT_EQ(queries.size(), 8u);
    EXPECT_EQ(queries.back().index, 7);
    EXPECT_EQ(queries.back().result, 0);
}

TEST_F(AudioHostTest, PrefilledQueryKeepsWhatTheDeclarationLeavesAlone) {
    AudioHost host(library, options());
    ASSERT_TRUE(host.create());
    static const char hostName[] = "host name";
    static const char hostList[] = "host list";
    WQPinProperties prefill;
    std::memset(&prefill, 0xA5, sizeof prefill);
    prefill.name = hostName;
    prefill.list_text = hostList;
    std::vector<PinDeclaration> table = host.readPinDeclarations(&prefill);
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table[0].record.list_text, hostList);
    EXPECT_FALSE(table[0].listTextWritten);
    EXPECT_EQ(table[0].record.reserved5, prefill.reserved5);
    EXPECT_EQ(table[0].record.variable, prefill.variable);
    EXPECT_TRUE(table[0].nameWritten);
    EXPECT_TRUE(table[4].listTextWritten);
}

TEST_F(AudioHostTest, HostEventsArriveAtTheirClockAcrossBlocks) {
    AudioHost host(library, options(64));
    ASSERT_TRUE(host.create());
    host.open();
    for (uint32_t t : {200u, 0u, 130u, 63u, 64u})
        ASSERT_TRUE(host.postEvent(eventAt(t, static_cast<int32_t>(t))));
    ASSERT_TRUE(host.postEvent(eventAt(130, 1))); // same stamp: after the first 130
    host.log().clear();
    host.processBlocks(4);
    using K = CallKind;
    std::vector<std::pair<CallKind, uint32_t>> expected = {
        {K::Event, 0},   {K::Event, 63},  {K::Process, 0},   {K::Event, 64},  {K::Process, 64},
        {K::Event, 130}, {K::Event, 130}, {K::Process, 128}, {K::Event, 200}, {K::Process, 192}};
    EXPECT_EQ(deliveries(host.log()), expected);
    EXPECT_EQ(host.sampleClock(), 256u);
    EXPECT_TRUE(host.pendingEvents().empty());

    // Inside each delivery the object reads its own stamp as the clock, and
    // the buffer clock of the block it falls in.
    std::vector<int32_t> order;
    uint32_t stamp = 0;
    for (const CallRecord &c : host.log().calls()) {
        if (c.kind == CallKind::Event) {
            stamp = c.event.time_stamp;
            order.push_back(c.event.int_value);
        } else if (c.kind == CallKind::Callback && c.opcode == AH_SAMPLE_CLOCK && c.depth == 1) {
            EXPECT_EQ(static_cast<uint32_t>(c.result), stamp);
        } else if (c.kind == CallKind::Callback && c.opcode == AH_PIN_BUFFER_CLOCK) {
            EXPECT_EQ(static_cast<uint32_t>(c.result), stamp / 64 * 64);
        }
    }
    EXPECT_EQ(order, (std::vector<int32_t>{0, 63, 64, 130, 1, 200}));
}

TEST_F(AudioHostTest, ModuleEventsChainAcrossBlockBoundaries) {
    AudioHost host(library, options(8));
    ASSERT_TRUE(host.create());
    host.open();
    // An event at 10 that re-posts itself three times, 7 samples apart.
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 2, 10, nullptr, 3.0f), 1);
    host.log().clear();
    host.processBlocks(5);
    std::vector<uint32_t> eventClocks;
    for (const CallRecord &c : host.log().calls())
        if (c.kind == CallKind::Event) {
            EXPECT_EQ(c.clock, c.event.time_stamp);
            eventClocks.push_back(c.clock);
        }
    EXPECT_EQ(eventClocks, (std::vector<uint32_t>{10, 17, 24, 31}));
    // 24 and 31 share the block [24, 32): both come before its process call.
    auto d = deliveries(host.log());
    ASSERT_EQ(d.size(), 9u);
    EXPECT_EQ(d[5], std::make_pair(CallKind::Event, 24u));
    EXPECT_EQ(d[6], std::make_pair(CallKind::Event, 31u));
    EXPECT_EQ(d[7], std::make_pair(CallKind::Process, 24u));
    EXPECT_TRUE(host.problems().empty());
}

// Told around each process call, and only there: inside the call's log
// entry (so none of the host's logging is timed) and never around an event.
class WatchRecord : public ProcessWatch {
public:
    explicit WatchRecord(const CallLog &log) : m_log(log) {}
    void entering() noexcept override { marks.push_back({'(', m_log.depth()}); }
    void left() noexcept override { marks.push_back({')', m_log.depth()}); }
    std::vector<std::pair<char, int>> marks;

private:
    const CallLog &m_log;
};

TEST_F(AudioHostTest, ProcessWatchIsToldAroundEachProcessCall) {
    AudioHost::Options o = options(64);
    o.splitBlocks = true;
    AudioHost host(library, o);
    ASSERT_TRUE(host.create());
    host.open();
    WatchRecord watch(host.log());
    host.setProcessWatch(&watch);
    ASSERT_TRUE(host.postEvent(eventAt(10)));
    host.processBlocks(2); // [0, 10), [10, 64), [64, 128)
    const std::vector<std::pair<char, int>> expected = {{'(', 1}, {')', 1}, {'(', 1},
                                                        {')', 1}, {'(', 1}, {')', 1}};
    EXPECT_EQ(watch.marks, expected);

    host.setProcessWatch(nullptr);
    host.processBlock();
    EXPECT_EQ(watch.marks.size(), expected.size());
}

TEST_F(AudioHostTest, EventsIntoThePastAreRefused) {
    AudioHost host(library, options(16));
    ASSERT_TRUE(host.create());
    host.processBlocks(2);
    EXPECT_FALSE(host.postEvent(eventAt(31)));
    EXPECT_TRUE(host.postEvent(eventAt(32)));
    // The module's event at 40 posts one at 39 while the clock reads 40.
    host.dispatch(AD_OPCODE_12, 8, 40);
    host.processBlocks(2);
    auto adds = host.log().select([](const CallRecord &c) {
        return c.kind == CallKind::Callback && c.opcode == AH_ADD_EVENT;
    });
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(adds[0].result, 1);
    EXPECT_EQ(adds[1].event.time_stamp, 39u);
    EXPECT_EQ(adds[1].result, 0);
    ASSERT_EQ(host.problems().size(), 1u);
    EXPECT_EQ(host.problems()[0].code, ProblemCode::EventInThePast);
}

TEST_F(AudioHostTest, PinBuffersBelongToTheHostAndKeepTheirAddress) {
    AudioHost host(library, options(32));
    ASSERT_TRUE(host.create());
    intptr_t first = host.dispatch(AD_OPCODE_12, 5, 2);
    EXPECT_EQ(first, reinterpret_cast<intptr_t>(host.pinBuffer(2)));
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 5, 2), first);
    EXPECT_NE(host.dispatch(AD_OPCODE_12, 5, 0), first);
    host.pinBuffer(2)[31] = 1.5f;
    EXPECT_EQ(reinterpret_cast<float *>(first)[31], 1.5f);
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 5, -1), 0); // no buffer for a negative pin
    ASSERT_EQ(host.problems().size(), 1u);
    EXPECT_EQ(host.problems()[0].code, ProblemCode::NegativePin);
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 6, 0), 0);
    host.processBlocks(3);
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 6, 0), 96);
}

TEST_F(AudioHostTest, ProcessWordIsReReadOnlyWhenTheModuleSaysSo) {
    auto processCallbacks = [](AudioHost &host) {
        host.log().clear();
        host.processBlock();
        auto cbs = host.log().callbacks(Side::Audio);
        return cbs.size() == 1 ? cbs[0].opcode : -1;
    };
    AudioHost told(library, options());
    ASSERT_TRUE(told.create());
    EXPECT_EQ(processCallbacks(told), AH_OPCODE_10);
    told.dispatch(AD_OPCODE_12, 3);
    EXPECT_EQ(processCallbacks(told), AH_OPCODE_1);

    AudioHost untold(library, options());
    ASSERT_TRUE(untold.create());
    WQProcessProc before = untold.processWord();
    untold.dispatch(AD_OPCODE_12, 4);
    EXPECT_EQ(untold.processWord(), before);
    EXPECT_EQ(processCallbacks(untold), AH_OPCODE_10);
}

TEST_F(AudioHostTest, OpcodesWithoutMeaningGetTheConfiguredAnswers) {
    AudioHost host(library, options());
    ASSERT_TRUE(host.create());
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 7, 1), 0);
    host.setAnswer(AH_OPCODE_0, 5);
    host.setAnswer(AH_OPCODE_1, 2);
    EXPECT_EQ(host.dispatch(AD_OPCODE_12, 7, 1), 2005);
    auto cbs = host.log().callbacks(Side::Audio);
    ASSERT_EQ(cbs.size(), 4u);
    EXPECT_EQ(cbs[2].opcode, AH_OPCODE_0);
    EXPECT_EQ(cbs[2].index, 1);
    EXPECT_EQ(cbs[2].result, 5);
}

TEST_F(AudioHostTest, BlockSizeIsSentAndAdopted) {
    AudioHost host(library, options(64));
    ASSERT_TRUE(host.create());
    EXPECT_THROW(host.setBlockSize(0), HostError);
    EXPECT_THROW(host.setBlockSize(host.options().maxBlockSize + 1), HostError);
    host.setBlockSize(10);
    host.processBlocks(3);
    EXPECT_EQ(host.sampleClock(), 30u);
    auto sent = host.log().select([](const CallRecord &c) {
        return c.kind == CallKind::Dispatch && c.opcode == AD_SET_BLOCK_SIZE;
    });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].value, 10);
}

// A pin buffer holds exactly maxBlockSize samples, then the guard page; the
// pin-properties record the module fills is guarded the same way and its
// contents reach the caller's record.
class AudioHostBufferTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(AudioHostBufferTest, PinBuffersEndAtTheGuard) {
    AudioHost::Options o;
    o.pinCount = 3;
    o.blockSize = GetParam();
    o.maxBlockSize = GetParam();
    AudioHost host(ModuleLibrary::load(WQ_ECHO_MODULE_PATH), o);
    const float *buffer = host.pinBuffer(1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % alignof(float), 0u);
    EXPECT_EQ(buffer[GetParam() - 1], 0.0f);
    EXPECT_EQ(GuardedMemory::guardedAt(buffer + GetParam() - 1), nullptr);
    EXPECT_STREQ(GuardedMemory::guardedAt(buffer + GetParam()), kGuardedSampleBuffer);
    EXPECT_EQ(host.pinBuffer(1), buffer) << "a pin's buffer keeps its address";
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, AudioHostBufferTest, ::testing::Values(1u, 37u, 64u, 4096u));

TEST_F(AudioHostTest, PinQueriesFillTheCallersRecord) {
    AudioHost host(library, options());
    ASSERT_TRUE(host.create());
    host.open();
    WQPinProperties record;
    std::memset(&record, 0x5A, sizeof record);
    ASSERT_TRUE(host.queryPin(0, record));
    const std::vector<PinDeclaration> table = host.readPinDeclarations();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(record.name, table[0].record.name);
    EXPECT_EQ(record.reserved5, 0x5A5A5A5A) << "a field the module leaves keeps the caller's value";
}

} // namespace
