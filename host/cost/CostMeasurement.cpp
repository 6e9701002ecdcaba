#include "host/cost/CostMeasurement.h"

#include "host/audio/AudioStreams.h"
#include "host/audio/SignalSource.h"
#include "host/core/ModuleLibrary.h"
#include "host/core/Session.h"
#include "host/cost/ProcessTimer.h"
#include "host/platform/ThreadCpuClock.h"

#include <memory>

namespace wqhost {

namespace {

SignalSetting normalInput() {
    SignalSetting s;
    s.kind = SignalSetting::Kind::Sine;
    s.hz = kNormalSineHz;
    s.value = kNormalAmplitude;
    return s;
}

SignalSetting denormalInput() {
    SignalSetting s;
    s.kind = SignalSetting::Kind::Noise;
    s.value = kDenormalAmplitude;
    s.seed = 1;
    return s;
}

// One object of the module, played: its session and what feeds its inputs.
struct Player {
    AudioStreams streams{0}; // no samples kept: nothing checks them
    std::unique_ptr<Session> session;

    // The thread CPU time of one block's process calls.
    double block(ProcessTimer &timer) {
        timer.reset();
        session->audio().processBlock();
        return timer.total();
    }
};

// The module as the host plays it, with what it is measured by.
struct Played {
    std::shared_ptr<const ModuleLibrary> library;
    int32_t pinCount = 0; // the answer to AH_PIN_COUNT: the table's audio pins
};

std::unique_ptr<Player> play(const Played &module, double rate, uint32_t blockSize,
                             const SignalSetting &input, ProcessTimer &timer) {
    Session::Options options;
    options.audio.pinCount = module.pinCount;
    options.playAudio = true;
    options.sampleRate = static_cast<float>(rate);
    options.audio.blockSize = blockSize;
    auto player = std::make_unique<Player>();
    player->session = std::make_unique<Session>(module.library, options);
    player->session->log().setKeeping(false);
    player->session->start();
    if (!player->session->hasAudioSide())
        return player;
    AudioHost &host = player->session->audio();
    host.setSampleIo(&player->streams);
    host.setProcessWatch(&timer);
    for (const AudioPinSlot &slot : host.audioPins())
        if (slot.isSampleInput())
            player->streams.setSignal(host, slot.index, makeSignal(input, rate));
    return player;
}

void warmUp(Player &player, ProcessTimer &timer, int blocks) {
    for (int i = 0; i < blocks; ++i)
        player.block(timer);
}

BlockCost measureBlocks(const Played &module, double rate, uint32_t blockSize,
                        const CostOptions &options, ProcessTimer &timer) {
    BlockCost cost;
    cost.rate = rate;
    cost.blockSize = blockSize;
    auto player = play(module, rate, blockSize, normalInput(), timer);
    cost.first = player->block(timer);
    warmUp(*player, timer, options.warmupBlocks);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(options.repeats));
    for (int i = 0; i < options.repeats; ++i)
        times.push_back(player->block(timer));
    cost.steady = summarizeTimings(std::move(times));
    return cost;
}

DenormalCost measureDenormals(const Played &module, const CostOptions &options,
                              ProcessTimer &timer) {
    DenormalCost cost;
    cost.measured = true;
    cost.rate = options.comparisonRate;
    cost.blockSize = options.comparisonBlockSize;
    auto normal = play(module, cost.rate, cost.blockSize, normalInput(), timer);
    auto denormal = play(module, cost.rate, cost.blockSize, denormalInput(), timer);
    warmUp(*normal, timer, options.warmupBlocks + 1);
    warmUp(*denormal, timer, options.warmupBlocks + 1);
    std::vector<double> normalTimes, denormalTimes;
    for (int i = 0; i < options.repeats; ++i) {
        normalTimes.push_back(normal->block(timer));
        denormalTimes.push_back(denormal->block(timer));
    }
    cost.normal = summarizeTimings(std::move(normalTimes));
    cost.denormal = summarizeTimings(std::move(denormalTimes));
    return cost;
}

ObjectsCost measureObjects(const Played &module, int count, const CostOptions &options,
                           ProcessTimer &timer) {
    ObjectsCost cost;
    cost.objects = count;
    std::vector<std::unique_ptr<Player>> players;
    for (int i = 0; i < count; ++i)
        players.push_back(play(module, options.comparisonRate, options.comparisonBlockSize,
                               normalInput(), timer));
    for (auto &player : players)
        warmUp(*player, timer, options.warmupBlocks + 1);
    std::vector<double> times;
    for (int i = 0; i < options.repeats; ++i)
        for (auto &player : players)
            times.push_back(player->block(timer));
    cost.perObject = summarizeTimings(std::move(times));
    return cost;
}

} // namespace

CostFigures measureCost(const std::string &libraryPath, const std::string &libraryName,
                        const CostOptions &options) {
    CostFigures figures;
    figures.library = libraryName;
    figures.clock = threadCpuClockName();
    figures.clockFine = threadCpuClockIsFine();
    figures.repeats = options.repeats;
    figures.comparisonRate = options.comparisonRate;
    figures.comparisonBlockSize = options.comparisonBlockSize;

    Played module;
    module.library = ModuleLibrary::load(libraryPath);
    ProcessTimer timer;
    figures.clockOverhead = timer.clockOverhead();
    {
        // A first object reads the pin table; the ones measured get its audio
        // pins.
        auto probe =
            play(module, options.comparisonRate, options.comparisonBlockSize, normalInput(), timer);
        figures.module = probe->session->description().name;
        if (!probe->session->hasAudioSide()) {
            figures.answer = "the module has no audio side (makeModule(" +
                             std::to_string(probe->session->options().moduleIndex) +
                             ", WQ_TYPE_AUDIO) gives null): it has no process function to measure";
            return figures;
        }
        module.pinCount = countAudioPins(probe->session->pinTable());
        probe =
            play(module, options.comparisonRate, options.comparisonBlockSize, normalInput(), timer);
        if (!probe->session->audio().processWord()) {
            figures.answer =
                "the module's audio side has no process function (its record's process "
                "word is null): nothing to measure";
            return figures;
        }
        for (const AudioPinSlot &slot : probe->session->audio().audioPins())
            if (slot.isSampleInput())
                ++figures.audioInputs;
    }
    figures.audioSide = true;

    for (double rate : options.rates)
        for (uint32_t blockSize : options.blockSizes)
            figures.blocks.push_back(measureBlocks(module, rate, blockSize, options, timer));
    if (figures.audioInputs > 0)
        figures.denormals = measureDenormals(module, options, timer);
    for (int count : options.objectCounts)
        figures.objects.push_back(measureObjects(module, count, options, timer));
    return figures;
}

} // namespace wqhost
