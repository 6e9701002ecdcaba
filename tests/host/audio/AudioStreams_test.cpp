// The audio side driven as a player drives it, through the test gain (OUT =
// IN * GAIN): signals into the input, a control value that lands on its
// exact sample wherever it falls in a block, the status events and block
// lengths the module is told, and recordings of what came out.
#include "host/audio/AudioStreams.h"
#include "host/audio/WavFile.h"
#include "host/core/Session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace wqhost;

namespace {

constexpr int32_t kIn = 0; // audio pins of the gain
constexpr int32_t kGain = 1;
constexpr int32_t kOut = 2;

std::unique_ptr<Session> gainSession(uint32_t blockSize) {
    Session::Options options;
    options.audio.pinCount = 3;
    options.audio.blockSize = blockSize;
    options.playAudio = true;
    auto session = std::make_unique<Session>(WQ_GAIN_MODULE_PATH, options);
    session->start();
    return session;
}

ControlValue gainOf(float g) {
    ControlValue v;
    v.real = g;
    return v;
}

struct LandingCase {
    uint32_t blockSize;
    uint32_t at;     // the clock of the change
    uint32_t blocks; // blocks processed
};

std::ostream &operator<<(std::ostream &os, const LandingCase &c) {
    return os << "block " << c.blockSize << ", change at " << c.at;
}

class ControlLandingTest : public ::testing::TestWithParam<LandingCase> {};

TEST_P(ControlLandingTest, TheNewValueActsFromItsOwnSampleOn) {
    const LandingCase c = GetParam();
    auto session = gainSession(c.blockSize);
    AudioHost &audio = session->audio();
    AudioStreams streams;
    audio.setSampleIo(&streams);
    ASSERT_EQ(audio.audioPins().size(), 3u);
    streams.setSignal(audio, kIn, makeSignal(parseSignalSpec({"constant", "1"}), 48000.0));
    ASSERT_TRUE(audio.scheduleValue(kGain, 0, gainOf(0.5f)));
    ASSERT_TRUE(audio.scheduleValue(kGain, c.at, gainOf(2.0f)));
    session->log().clear();
    streams.beginCapture();
    audio.processBlocks(static_cast<int>(c.blocks));

    const SampleCapture *out = streams.captured(kOut);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->samples.size(), c.blockSize * c.blocks);
    for (uint32_t i = 0; i < out->samples.size(); ++i)
        ASSERT_EQ(out->samples[i], i < c.at ? 0.5f : 2.0f) << "sample " << i;
    EXPECT_EQ(streams.captured(kIn)->samples, std::vector<float>(out->samples.size(), 1.0f));

    // The change came as EV_PIN_STATUS for the gain pin, status 1, at its
    // clock; no process call spans it.
    bool delivered = false;
    for (const CallRecord &call : session->log().calls()) {
        if (call.kind == CallKind::Event && call.event.event_type == EV_PIN_STATUS &&
            call.event.ptr_value == kGain && call.event.time_stamp == c.at) {
            EXPECT_EQ(call.event.int_value, kStatusChanged);
            EXPECT_EQ(call.clock, c.at);
            delivered = true;
        }
    }
    EXPECT_TRUE(delivered);
    uint32_t told = c.blockSize;
    for (const CallRecord &call : session->log().calls()) {
        if (call.kind == CallKind::Dispatch && call.opcode == AD_SET_BLOCK_SIZE)
            told = static_cast<uint32_t>(call.value);
        if (call.kind == CallKind::Process && call.depth == 0) {
            EXPECT_TRUE(call.clock >= c.at || call.clock + told <= c.at)
                << "a process call at " << call.clock << " of " << told << " samples";
        }
    }
    EXPECT_TRUE(session->problems().empty());
}

INSTANTIATE_TEST_SUITE_P(Places, ControlLandingTest,
                         ::testing::Values(LandingCase{64, 64, 3},  // a block's start
                                           LandingCase{64, 96, 3},  // its middle
                                           LandingCase{64, 127, 3}, // its last sample
                                           LandingCase{64, 0, 2},   // the very first sample
                                           LandingCase{1, 5, 9},    // block size 1
                                           LandingCase{1, 0, 3}, LandingCase{7, 13, 4},
                                           LandingCase{4096, 4000, 1}));

TEST(AudioStreamsTest, PartsOfACutBlockAreToldTheirLengthAndTheBlockSizeReturns) {
    auto session = gainSession(64);
    AudioHost &audio = session->audio();
    AudioStreams streams;
    audio.setSampleIo(&streams);
    ASSERT_TRUE(audio.scheduleValue(kGain, 20, gainOf(1.0f)));
    ASSERT_TRUE(audio.scheduleValue(kGain, 50, gainOf(3.0f)));
    EXPECT_FALSE(audio.scheduleValue(kGain + 10, 50, gainOf(3.0f))); // no such pin
    session->log().clear();
    audio.processBlocks(2);
    std::vector<std::pair<CallKind, int64_t>> seen;
    for (const CallRecord &call : session->log().calls()) {
        if (call.depth != 0)
            continue;
        if (call.kind == CallKind::Dispatch && call.opcode == AD_SET_BLOCK_SIZE)
            seen.emplace_back(call.kind, call.value);
        else if (call.kind == CallKind::Process || call.kind == CallKind::Event)
            seen.emplace_back(call.kind, call.clock);
    }
    using K = CallKind;
    const std::vector<std::pair<CallKind, int64_t>> expected = {
        {K::Dispatch, 20}, {K::Process, 0}, {K::Event, 20},    {K::Dispatch, 30},
        {K::Process, 20},  {K::Event, 50},  {K::Dispatch, 14}, {K::Process, 50},
        {K::Dispatch, 64}, {K::Process, 64}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(audio.sampleClock(), 128u);
    EXPECT_EQ(audio.toldBlockSize(), 64u);
}

TEST(AudioStreamsTest, AStreamingInputIsAnnouncedAndScaledSampleForSample) {
    auto session = gainSession(100);
    AudioHost &audio = session->audio();
    AudioStreams streams;
    audio.setSampleIo(&streams);
    // Told at start: the session's rate and block size.
    EXPECT_EQ(audio.toldSampleRate(), 48000.0f);
    EXPECT_EQ(audio.toldBlockSize(), 100u);
    audio.processBlocks(2); // silence first
    streams.setSignal(audio, kIn, makeSignal(parseSignalSpec({"sine", "440", "0.8"}), 48000.0));
    ASSERT_TRUE(audio.scheduleValue(kGain, audio.sampleClock(), gainOf(0.25f)));
    session->log().clear();
    streams.beginCapture();
    audio.processBlocks(10);
    const SampleCapture *in = streams.captured(kIn);
    const SampleCapture *out = streams.captured(kOut);
    ASSERT_TRUE(in && out);
    EXPECT_EQ(in->startClock, 200u);
    ASSERT_EQ(in->samples.size(), 1000u);
    const std::unique_ptr<SignalSource> sine =
        makeSignal(parseSignalSpec({"sine", "440", "0.8"}), 48000.0);
    std::vector<float> expected(1000);
    sine->render(0, expected.data(), 1000);
    EXPECT_EQ(in->samples, expected);
    for (size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(out->samples[i], expected[i] * 0.25f) << i;
    int streaming = 0;
    for (const CallRecord &call : session->log().calls())
        if (call.kind == CallKind::Event && call.event.ptr_value == kIn &&
            call.event.int_value == kStatusStreaming && call.clock == 200)
            ++streaming;
    EXPECT_EQ(streaming, 1);
    EXPECT_THROW(streams.setSignal(audio, kOut, makeSignal(SignalSetting(), 48000.0)), HostError);
}

TEST(AudioStreamsTest, RecordingsHoldExactlyWhatThePinsCarried) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("wq_streams_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    auto session = gainSession(32);
    AudioHost &audio = session->audio();
    AudioStreams streams;
    audio.setSampleIo(&streams);
    streams.setSignal(audio, kIn, makeSignal(parseSignalSpec({"noise", "1", "3"}), 48000.0));
    audio.scheduleValue(kGain, 0, gainOf(-0.5f));
    const std::string outPath = (folder / "out.wav").string();
    const std::string inPath = (folder / "in.wav").string();
    streams.startRecording(kOut, outPath, 48000.0);
    streams.startRecording(kIn, inPath, 48000.0);
    streams.beginCapture();
    audio.processBlocks(5);
    EXPECT_EQ(streams.recording(kOut)->frames(), 160u);
    EXPECT_TRUE(streams.stopRecording(kOut));
    EXPECT_FALSE(streams.stopRecording(kOut));
    audio.processBlocks(1); // the input's recording goes on
    streams.stopAllRecordings();
    const WavData out = readWav(outPath);
    EXPECT_EQ(out.rate, 48000.0);
    const std::vector<float> &carried = streams.captured(kOut)->samples;
    ASSERT_EQ(carried.size(), 192u);
    EXPECT_EQ(out.samples, std::vector<float>(carried.begin(), carried.begin() + 160));
    EXPECT_EQ(readWav(inPath).samples.size(), 192u);
    std::filesystem::remove_all(folder);
}

TEST(AudioStreamsTest, TheCaptureKeepsItsLimitAndCountsTheRest) {
    auto session = gainSession(64);
    AudioStreams streams(100);
    session->audio().setSampleIo(&streams);
    streams.beginCapture();
    session->audio().processBlocks(3);
    EXPECT_EQ(streams.captured(kOut)->samples.size(), 100u);
    EXPECT_EQ(streams.captured(kOut)->total, 192u);
    EXPECT_TRUE(streams.captured(kOut)->cut());
    EXPECT_EQ(streams.captured(kGain), nullptr); // a control pin carries no samples
}

} // namespace
