// The checks of the life of objects: opened and closed many times in turn,
// and several alive at once.
#include "host/core/AudioHost.h"
#include "host/validate/CheckSupport.h"
#include "host/core/GuiHost.h"
#include "host/validate/RawHost.h"
#include "host/inspect/TextReport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace wqhost {

namespace {

// Shuffles with the check's random numbers, the same on every platform.
template <class T> void shuffle(CheckContext &ctx, std::vector<T> &items) {
    for (size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[ctx.below(static_cast<uint32_t>(i))]);
}

} // namespace

// ---------------------------------------------------------- life of objects

void checkAudioOpenClose(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    AudioHost::Options options;
    options.pinCount = table.audioPins;
    AudioHost host(ctx.library(), options, &ctx.log());
    size_t seen = 0;
    for (int round = 0; round < kLifecycleRounds; ++round) {
        ctx.step("round " + std::to_string(round) +
                 ": makeModule(0, 1), AD_OPEN, sample rate, block size, one block, AD_CLOSE");
        if (!host.create())
            ctx.stop("makeModule(0, 1) returned null in round " + std::to_string(round));
        const intptr_t opened = host.open();
        if (opened != 0)
            ctx.fail("AD_OPEN returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        const float rate = round % 2 ? 48000.0f : 44100.0f;
        if (host.setSampleRate(rate) != 0)
            ctx.fail("AD_SET_SAMPLE_RATE returned non-zero, expected 0");
        if (host.setBlockSize(round % 2 ? 256u : 64u) != 0)
            ctx.fail("AD_SET_BLOCK_SIZE returned non-zero, expected 0");
        host.processBlock();
        if (host.isLive())
            host.close(); // a result other than 1 is one of the host's problems
        else
            ctx.fail("the object was gone before AD_CLOSE");
        failOnNewProblems(ctx, host.problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

void checkGuiOpenClose(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    GuiHost host(ctx.library(), GuiHost::Options(), &ctx.log());
    size_t seen = 0;
    for (int round = 0; round < kLifecycleRounds; ++round) {
        ctx.step("round " + std::to_string(round) +
                 ": makeModule(0, 2), GD_OPEN, GD_OPCODE_10, GD_CLOSE");
        host.pins().clear();
        host.declarePins(table.pins);
        if (!host.create())
            ctx.stop("makeModule(0, 2) returned null in round " + std::to_string(round));
        host.options().openIndex = round % 2;
        const intptr_t opened = host.open();
        if (opened != 0)
            ctx.fail("GD_OPEN returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        const intptr_t answer10 = host.dispatch(GD_OPCODE_10);
        if (answer10 != 0 && answer10 != 1)
            ctx.fail("GD_OPCODE_10 returned " + std::to_string(static_cast<long long>(answer10)) +
                     ", expected 0 or 1");
        host.close();
        failOnNewProblems(ctx, host.problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

void checkAudioSeveralObjects(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    AudioHost::Options options;
    options.pinCount = table.audioPins;
    std::vector<std::unique_ptr<AudioHost>> hosts;
    std::set<const void *> records;
    for (int i = 0; i < kLiveObjects; ++i) {
        ctx.step("creating and opening audio object " + std::to_string(i) + " of " +
                 std::to_string(kLiveObjects));
        auto host = std::make_unique<AudioHost>(ctx.library(), options, &ctx.log());
        if (!host->create())
            ctx.stop("makeModule(0, 1) returned null with " + std::to_string(i) +
                     " objects alive");
        if (!records.insert(host->record()).second) {
            host.release(); // the record belongs to a live object: never close it twice
            ctx.stop("makeModule(0, 1) returned the record of a live object again");
        }
        host->open();
        hosts.push_back(std::move(host));
    }
    for (int i = 0; i < 4 * kLiveObjects; ++i) {
        const size_t which = ctx.below(kLiveObjects);
        ctx.step("one block on audio object " + std::to_string(which));
        hosts[which]->processBlock();
    }
    std::vector<size_t> order;
    for (size_t i = 0; i < hosts.size(); ++i)
        order.push_back(i);
    shuffle(ctx, order);
    for (size_t i : order) {
        ctx.step("closing audio object " + std::to_string(i));
        hosts[i]->close();
        size_t seen = 0;
        failOnNewProblems(ctx, hosts[i]->problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

void checkGuiSeveralObjects(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    std::vector<std::unique_ptr<GuiHost>> hosts;
    std::set<const void *> records;
    GuiHost::Options options;
    options.echo = true;
    options.echoOnlyChanges = true;
    options.nestingLimit = kEchoNestingLimit;
    for (int i = 0; i < kLiveObjects; ++i) {
        ctx.step("creating and opening GUI object " + std::to_string(i) + " of " +
                 std::to_string(kLiveObjects));
        auto host = std::make_unique<GuiHost>(ctx.library(), options, &ctx.log());
        host->declarePins(table.pins);
        if (!host->create())
            ctx.stop("makeModule(0, 2) returned null with " + std::to_string(i) +
                     " objects alive");
        if (!records.insert(host->record()).second) {
            host.release(); // the record belongs to a live object: never close it twice
            ctx.stop("makeModule(0, 2) returned the record of a live object again");
        }
        host->open();
        hosts.push_back(std::move(host));
    }
    if (!table.pins.empty()) {
        const std::vector<TextCase> texts = pinTextCases();
        for (int i = 0; i < 10 * kLiveObjects; ++i) {
            const size_t which = ctx.below(kLiveObjects);
            const PinDeclaration &pin = table.pins[ctx.below(static_cast<uint32_t>(table.pins.size()))];
            const TextCase &text = texts[ctx.below(static_cast<uint32_t>(texts.size()))];
            ctx.step(pinLabel(pin) + " of GUI object " + std::to_string(which) + " set to " +
                     text.label);
            hosts[which]->setPinText(pin.index, text.text);
        }
    }
    std::vector<size_t> order;
    for (size_t i = 0; i < hosts.size(); ++i)
        order.push_back(i);
    shuffle(ctx, order);
    for (size_t i : order) {
        ctx.step("closing GUI object " + std::to_string(i));
        hosts[i]->close();
        if (hosts[i]->nestingLimitReached())
            ctx.fail("the module's own writes kept coming back to it, " +
                     std::to_string(kEchoNestingLimit) +
                     " calls deep, although the host reports only writes that change a value",
                     ProblemCode::EchoNestingLimit);
        size_t seen = 0;
        failOnNewProblems(ctx, hosts[i]->problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

} // namespace wqhost
