// The check of state that objects share: one session through one object
// alone, then the same session through two objects at once, each step taken
// by the first and then by the second. Each of the two must give the pins
// and samples the lone object gave. A static or global variable that every
// object reads and writes (a filter's state, a level, a last value) makes
// the second object go on where the first left off, and they differ.
#include "host/checks/CheckSupport.h"
#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"
#include "host/platform/ModuleCodeWatch.h"
#include "host/text/NumberText.h"
#include "host/text/QuotedText.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wqhost {

namespace {

constexpr int kBlocks = 6;
constexpr uint32_t kBlockSize = 64;

// What one object gave: each result with where it was read.
struct Result {
    std::string where;
    std::string value;
};
using Results = std::vector<Result>;

std::string objectWords(size_t object, size_t count) {
    return count == 1 ? std::string("the lone object")
                      : "object " + std::to_string(object + 1) + " of " + std::to_string(count);
}

// `count` audio objects, all made and opened first, then each block taken
// by each in turn with the same input.
void audioRuns(CheckContext &ctx, const CheckedTable &table, size_t count,
               std::vector<Results> &results) {
    const auto samplePins = samplePinsOf(table);
    AudioHost::Options options = audioOptionsFor(table);
    options.blockSize = kBlockSize;
    std::vector<std::unique_ptr<AudioHost>> hosts;
    for (size_t h = 0; h < count; ++h) {
        ctx.step("makeModule(0, 1), AD_OPEN, 44100 Hz, block size 64 for " + objectWords(h, count));
        auto host = std::make_unique<AudioHost>(ctx.library(), options, &ctx.log());
        if (!host->create())
            ctx.stop("makeModule(0, 1) returned null for " + objectWords(h, count));
        host->open();
        host->setSampleRate(44100.0f);
        host->setBlockSize(kBlockSize);
        hosts.push_back(std::move(host));
    }
    for (int block = 0; block < kBlocks; ++block) {
        for (size_t h = 0; h < count; ++h) {
            AudioHost &host = *hosts[h];
            if (!host.isLive())
                continue;
            for (const auto &[index, pin] : samplePins) {
                if (!host.hasPinBuffer(index))
                    continue;
                float *samples = host.pinBuffer(index);
                for (uint32_t i = 0; i < kBlockSize; ++i)
                    samples[i] =
                        pin->direction() == DR_OUT
                            ? 0.0f
                            : static_cast<float>(0.25 * std::sin(0.05 * (block * 64.0 + i)));
            }
            ctx.step("block " + std::to_string(block) + " of " + objectWords(h, count));
            host.processBlock();
            for (const auto &[index, pin] : samplePins) {
                if (pin->direction() != DR_OUT || !host.hasPinBuffer(index))
                    continue;
                const float *samples = host.pinBuffer(index);
                for (uint32_t i = 0; i < kBlockSize; ++i)
                    results[h].push_back({pinLabel(*pin) + " in block " + std::to_string(block) +
                                              ", sample " + std::to_string(i),
                                          sampleText(samples[i])});
            }
        }
    }
    for (auto &host : hosts)
        if (host->isLive())
            host->close();
}

// `count` GUI objects, all made and opened first, then each pin change made
// to each in turn.
void guiRuns(CheckContext &ctx, const CheckedTable &table, size_t count,
             std::vector<Results> &results) {
    GuiHost::Options options;
    options.echo = true;
    options.echoOnlyChanges = true;
    options.nestingLimit = kEchoNestingLimit;
    std::vector<std::unique_ptr<GuiHost>> hosts;
    auto readAll = [&](size_t h, const std::string &after) {
        for (const PinDeclaration &pin : table.pins)
            results[h].push_back(
                {pinLabel(pin) + " after " + after, quoteText(hosts[h]->pins().text(pin.index))});
    };
    for (size_t h = 0; h < count; ++h) {
        ctx.step("makeModule(0, 2), GD_OPEN for " + objectWords(h, count));
        auto host = std::make_unique<GuiHost>(ctx.library(), options, &ctx.log());
        host->declarePins(table.pins);
        if (!host->create())
            ctx.stop("makeModule(0, 2) returned null for " + objectWords(h, count));
        host->open();
        hosts.push_back(std::move(host));
        readAll(h, "GD_OPEN");
    }
    static const char *const kTexts[] = {"12", "a=1,b=2", "-7", "x,y,z", ""};
    for (const PinDeclaration &pin : table.pins)
        for (const char *text : kTexts)
            for (size_t h = 0; h < count; ++h) {
                if (!hosts[h]->isLive())
                    continue;
                const std::string change = pinLabel(pin) + " set to " + quoteText(text);
                ctx.step(change + " in " + objectWords(h, count));
                hosts[h]->setPinText(pin.index, text);
                readAll(h, change);
            }
    for (auto &host : hosts)
        if (host->isLive())
            host->close();
}

// The first result of `object` that is not the lone object's, as a failure.
bool differs(CheckContext &ctx, const Results &alone, const Results &object, size_t index,
             const char *side) {
    const std::string advice = ": the objects share state (a static or global variable, or a "
                               "cache every object fills); keep each object's state in the object";
    for (size_t i = 0; i < alone.size() && i < object.size(); ++i) {
        if (alone[i].where == object[i].where && alone[i].value == object[i].value)
            continue;
        ctx.fail(std::string("two ") + side + " objects, each step taken by both in turn: " +
                 objectWords(index, 2) + ": " + object[i].where + " was " + object[i].value +
                 ", but " + alone[i].value + " when one object alone took the same steps" + advice);
        return true;
    }
    if (alone.size() == object.size())
        return false;
    ctx.fail(std::string("two ") + side + " objects, each step taken by both in turn: " +
             objectWords(index, 2) + " gave " + std::to_string(object.size()) + " results, and " +
             "one object alone " + std::to_string(alone.size()) + advice);
    return true;
}

} // namespace

void checkObjectsInterleaved(CheckContext &ctx) {
    // The stack below each call holds the same bytes in every run, so that
    // a local read before it is written reads alike alone and in turn: that
    // is uninitialised-memory's finding, not shared state.
    const CallStackFill sameStack(0);
    const CheckedTable table = readCheckedTable(ctx);
    const ModuleSides sides = moduleSides(ctx);
    // One object alone, then two in turn; true once one of the two differs.
    using Runs = void (*)(CheckContext &, const CheckedTable &, size_t, std::vector<Results> &);
    auto compare = [&](Runs runs, const char *side) {
        std::vector<Results> alone(1), both(2);
        runs(ctx, table, 1, alone);
        runs(ctx, table, 2, both);
        return differs(ctx, alone[0], both[0], 0, side) || differs(ctx, alone[0], both[1], 1, side);
    };
    if (sides.audio && compare(audioRuns, "audio"))
        return;
    if (sides.gui && !table.pins.empty())
        compare(guiRuns, "GUI");
}

} // namespace wqhost
