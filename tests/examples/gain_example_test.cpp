// The audio example "Gain", built with wq_add_module, driven through the
// host library's AudioHost as a host drives it: samples in, the product out,
// and a change of the gain that lands on exactly the sample it is stamped
// with, wherever that falls in a block.
#include "host/core/AudioHost.h"
#include "host/core/ModuleLibrary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace {

using wqhost::AudioHost;

constexpr int32_t kIn = 0;
constexpr int32_t kOut = 1;
constexpr int32_t kGain = 2;

// The host's side of one gain module: three audio pins, blocks of
// `blockSize`, the gain's variable as the declaration gives it.
struct GainHost {
    explicit GainHost(uint32_t blockSize)
        : audio(wqhost::ModuleLibrary::load(WQ_GAIN_LIBRARY), options(blockSize)) {
        EXPECT_TRUE(audio.create());
        audio.open();
        audio.setSampleRate(48000.0f);
        audio.setBlockSize(blockSize);
        pins = audio.readPinDeclarations();
    }
    static AudioHost::Options options(uint32_t blockSize) {
        AudioHost::Options o;
        o.pinCount = 3;
        o.blockSize = blockSize;
        return o;
    }

    // The next block's input: a ramp that never repeats a value.
    std::vector<float> fillInput() {
        std::vector<float> in(audio.blockSize());
        float *buffer = audio.pinBuffer(kIn);
        for (size_t i = 0; i < in.size(); ++i) {
            in[i] = 0.125f + 0.001f * static_cast<float>(audio.sampleClock() + i);
            buffer[i] = in[i];
        }
        return in;
    }
    // The gain changes at `clock`: the variable written, the status event
    // posted for that clock, as a host does.
    void changeGain(float gain, uint32_t clock) {
        *static_cast<float *>(pins.at(kGain).record.variable) = gain;
        WQEvent event{};
        event.time_stamp = clock;
        event.event_type = EV_PIN_STATUS;
        event.int_value = 1;
        event.ptr_value = kGain;
        ASSERT_TRUE(audio.postEvent(event));
    }
    std::vector<float> output() const {
        const float *out = const_cast<AudioHost &>(audio).pinBuffer(kOut);
        return std::vector<float>(out, out + audio.blockSize());
    }

    AudioHost audio;
    std::vector<wqhost::PinDeclaration> pins;
};

TEST(GainExample, DeclaresTwoSamplePinsAndAGainWithAVariable) {
    GainHost host(64);
    ASSERT_EQ(host.pins.size(), 3u);
    EXPECT_EQ(host.pins[kIn].name, "IN");
    EXPECT_EQ(host.pins[kIn].dataType(), DT_FSAMPLE);
    EXPECT_EQ(host.pins[kIn].direction(), DR_IN);
    EXPECT_EQ(host.pins[kOut].name, "OUT");
    EXPECT_EQ(host.pins[kOut].dataType(), DT_FSAMPLE);
    EXPECT_EQ(host.pins[kOut].direction(), DR_OUT);
    EXPECT_EQ(host.pins[kGain].name, "GAIN");
    EXPECT_EQ(host.pins[kGain].dataType(), DT_FLOAT);
    ASSERT_NE(host.pins[kGain].record.variable, nullptr);
    EXPECT_EQ(*static_cast<float *>(host.pins[kGain].record.variable), 1.0f);
    EXPECT_TRUE(host.audio.problems().empty());
}

TEST(GainExample, HasNoGuiSide) {
    auto library = wqhost::ModuleLibrary::load(WQ_GAIN_LIBRARY);
    EXPECT_EQ(library->makeModule(0, WQ_TYPE_GUI, nullptr, 0), nullptr);
}

struct Change {
    uint32_t blockSize;
    uint32_t offset; // the sample of the second block the change lands on
};

std::ostream &operator<<(std::ostream &os, const Change &c) {
    return os << "block " << c.blockSize << ", sample " << c.offset;
}

class GainChange : public ::testing::TestWithParam<Change> {};

TEST_P(GainChange, LandsOnTheSampleItIsStampedWith) {
    const Change c = GetParam();
    GainHost host(c.blockSize);
    // A first block at the initial gain of 1.
    std::vector<float> in = host.fillInput();
    host.audio.processBlock();
    EXPECT_EQ(host.output(), in);

    // The second block: 1 before the change, 2.5 from its sample on.
    in = host.fillInput();
    host.changeGain(2.5f, c.blockSize + c.offset);
    host.audio.processBlock();
    std::vector<float> out = host.output();
    for (uint32_t i = 0; i < c.blockSize; ++i)
        EXPECT_EQ(out[i], in[i] * (i < c.offset ? 1.0f : 2.5f)) << "sample " << i;

    // The third block keeps the new gain; a fourth gets a negative one at
    // its first sample.
    in = host.fillInput();
    host.audio.processBlock();
    out = host.output();
    for (uint32_t i = 0; i < c.blockSize; ++i)
        EXPECT_EQ(out[i], in[i] * 2.5f) << "sample " << i;
    in = host.fillInput();
    host.changeGain(-0.5f, 3 * c.blockSize);
    host.audio.processBlock();
    out = host.output();
    for (uint32_t i = 0; i < c.blockSize; ++i)
        EXPECT_EQ(out[i], in[i] * -0.5f) << "sample " << i;
    EXPECT_TRUE(host.audio.problems().empty());
}

INSTANTIATE_TEST_SUITE_P(Blocks, GainChange,
                         ::testing::Values(Change{64, 0}, Change{64, 31}, Change{64, 63},
                                           Change{1, 0}, Change{37, 36}, Change{4096, 2048}));

} // namespace
