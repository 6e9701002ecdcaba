// The host's own cost of audio: one block processed with a sine on the
// input and the output recorded to a WAV file, through the session a script
// runs, for a module that does nothing (the floor) and for the test gain;
// and ten seconds of 48 kHz audio processed and recorded, as an author's
// golden test does.
#include "bench/bench_support.h"
#include "host/audio/AudioStreams.h"
#include "host/core/Session.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr uint32_t kTenSeconds = 480000;
const uint32_t kBlockSizes[] = {1, 64, 4096};

struct Subject {
    const char *name;
    const char *library;
    int32_t in, out; // audio pins
    int32_t gain;    // the gain's control pin, -1 for none
};

const Subject kSubjects[] = {{"floor", WQ_NULL_AUDIO_LIBRARY, 0, 1, -1},
                             {"gain", WQ_GAIN_LIBRARY, 0, 2, 1}};

std::string wavPath(const std::string &name) {
    return (std::filesystem::temp_directory_path() / ("wq_audio_bench_" + name + ".wav")).string();
}

// A session as `run` makes one, with a sine on the input and the output
// recorded. The call log keeps no calls: as `run` with no trace.
struct Rig {
    Rig(const Subject &s, uint32_t blockSize) {
        wqhost::Session::Options options;
        options.audio.pinCount = s.gain >= 0 ? 3 : 2;
        options.audio.blockSize = blockSize;
        options.playAudio = true;
        options.sampleRate = static_cast<float>(kRate);
        session = std::make_unique<wqhost::Session>(s.library, options);
        session->log().setKeeping(false);
        session->start();
        session->audio().setSampleIo(&streams);
        streams.setSignal(
            session->audio(), s.in,
            wqhost::makeSignal(wqhost::parseSignalSpec({"sine", "440", "0.5"}), kRate));
        if (s.gain >= 0) {
            wqhost::ControlValue v;
            v.real = 0.5f;
            session->audio().scheduleValue(s.gain, 0, v);
        }
        path = wavPath(std::string(s.name) + "_" + std::to_string(blockSize));
        streams.startRecording(s.out, path, kRate);
    }
    ~Rig() {
        streams.stopAllRecordings();
        session->stop();
        std::filesystem::remove(path);
    }

    wqhost::AudioStreams streams;
    std::unique_ptr<wqhost::Session> session;
    std::string path;
};

void oneBlock(benchmark::State &state, const Subject &s, uint32_t blockSize) {
    Rig rig(s, blockSize);
    for (auto _ : state) {
        // The capture is what the sample checks read; a `process` starts it
        // afresh, so it never grows past the blocks of one command.
        if (rig.streams.captured(s.out) &&
            rig.streams.captured(s.out)->samples.size() >= kTenSeconds)
            rig.streams.beginCapture();
        rig.session->audio().processBlock();
    }
    if (rig.session->problems().size() != 0)
        state.SkipWithError("the host found problems");
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * blockSize,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void tenSeconds(benchmark::State &state, const Subject &s, uint32_t blockSize) {
    for (auto _ : state) {
        Rig rig(s, blockSize);
        rig.streams.beginCapture();
        // Whole blocks: with 4096 samples a block, ten seconds and 736 samples.
        const uint32_t blocks = (kTenSeconds + blockSize - 1) / blockSize;
        rig.session->audio().processBlocks(static_cast<int>(blocks));
        if (rig.streams.recording(s.out)->frames() != uint64_t{blocks} * blockSize)
            state.SkipWithError("the recording is not as long as what was processed");
    }
}

std::string blockName(const Subject &s, uint32_t size) {
    return std::string("block/") + s.name + "/" + std::to_string(size);
}
std::string tenName(const Subject &s, uint32_t size) {
    return std::string("ten_seconds/") + s.name + "/" + std::to_string(size);
}

void printSummary(const bench::SummaryReporter &r) {
    std::printf("\nOne block with a sine on the input and the output recorded (ns)\n\n");
    std::printf("| block size | floor ns | floor ns/sample | gain ns | gain ns/sample | gain - "
                "floor ns |\n|---:|---:|---:|---:|---:|---:|\n");
    for (uint32_t size : kBlockSizes) {
        const double f = r.ns(blockName(kSubjects[0], size));
        const double g = r.ns(blockName(kSubjects[1], size));
        std::printf("| %u | %s | %s | %s | %s | %s |\n", size, bench::cell("%.0f", f).c_str(),
                    bench::cell("%.2f", f < 0 ? -1 : f / size).c_str(),
                    bench::cell("%.0f", g).c_str(),
                    bench::cell("%.2f", g < 0 ? -1 : g / size).c_str(),
                    bench::differenceCell("%.0f", g, f).c_str());
    }
    std::printf("\nTen seconds at 48 kHz processed and recorded (ms, session start included)\n\n");
    std::printf("| block size | floor ms | gain ms | times faster than real time (gain) "
                "|\n|---:|---:|---:|---:|\n");
    for (uint32_t size : kBlockSizes) {
        const double f = r.ns(tenName(kSubjects[0], size));
        const double g = r.ns(tenName(kSubjects[1], size));
        std::printf(
            "| %u | %s | %s | %s |\n", size, bench::cell("%.1f", f < 0 ? -1 : f / 1e6).c_str(),
            bench::cell("%.1f", g < 0 ? -1 : g / 1e6).c_str(), bench::ratioCell(1e10, g).c_str());
    }
}

void registerAll(const bench::AddBenchmark &add) {
    for (const Subject &s : kSubjects)
        for (uint32_t size : kBlockSizes) {
            add(blockName(s, size), [&s, size](benchmark::State &st) { oneBlock(st, s, size); });
            // Ten seconds are long enough for one iteration a run.
            add(
                tenName(s, size), [&s, size](benchmark::State &st) { tenSeconds(st, s, size); }, 1);
        }
}

} // namespace

// Real time: the recording's writes are part of what an author waits for.
int main(int argc, char **argv) {
    bench::RunPlan plan{20};
    plan.realTime = true;
    return bench::runBenchmarks(argc, argv, plan, registerAll, printSummary);
}
