// The check of results that depend on memory the module never set: the same
// session twice, each time with fresh heap blocks and the stack below each
// call filled with another byte, must give the same pins and the same
// samples. A member without an initial value, a local read before it is
// written, or a buffer read before it is written, reads the fill here (and
// whatever happens to be there in a host): the two runs then differ.
#include "host/checks/CheckSupport.h"
#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"
#include "host/memory/GuardedHeap.h"
#include "host/platform/ModuleCodeWatch.h"
#include "host/text/NumberText.h"
#include "host/text/QuotedText.h"

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace wqhost {

namespace {

constexpr unsigned char kFills[2] = {0xA5, 0x5A};
constexpr int kBlocks = 6;
constexpr uint32_t kBlockSize = 64;

// What one run gave: each result with where it was read.
struct Result {
    std::string where;
    std::string value;
};

void audioRun(CheckContext &ctx, const CheckedTable &table, std::vector<Result> &results) {
    AudioHost::Options options;
    options.pinCount = table.audioPins;
    options.blockSize = kBlockSize;
    AudioHost host(ctx.library(), options, &ctx.log());
    ctx.step("makeModule(0, 1), AD_OPEN, 44100 Hz, block size 64");
    if (!host.create())
        ctx.stop("makeModule(0, 1) returned null");
    host.open();
    host.setSampleRate(44100.0f);
    host.setBlockSize(kBlockSize);
    const auto samplePins = samplePinsOf(table);
    for (int block = 0; block < kBlocks && host.isLive(); ++block) {
        for (const auto &[index, pin] : samplePins) {
            if (!host.hasPinBuffer(index))
                continue;
            float *samples = host.pinBuffer(index);
            for (uint32_t i = 0; i < kBlockSize; ++i)
                samples[i] = pin->direction() == DR_OUT
                                 ? 0.0f
                                 : static_cast<float>(0.25 * std::sin(0.05 * (block * 64.0 + i)));
        }
        ctx.step("block " + std::to_string(block));
        host.processBlock();
        for (const auto &[index, pin] : samplePins) {
            if (pin->direction() != DR_OUT || !host.hasPinBuffer(index))
                continue;
            const float *samples = host.pinBuffer(index);
            for (uint32_t i = 0; i < kBlockSize; ++i)
                results.push_back({pinLabel(*pin) + " in block " + std::to_string(block) +
                                       ", sample " + std::to_string(i),
                                   sampleText(samples[i])});
        }
    }
    if (host.isLive())
        host.close();
}

void guiRun(CheckContext &ctx, const CheckedTable &table, std::vector<Result> &results) {
    GuiHost::Options options;
    options.echo = true;
    options.echoOnlyChanges = true;
    options.nestingLimit = kEchoNestingLimit;
    GuiHost host(ctx.library(), options, &ctx.log());
    host.declarePins(table.pins);
    ctx.step("makeModule(0, 2), GD_OPEN");
    if (!host.create())
        ctx.stop("makeModule(0, 2) returned null");
    host.open();
    auto readAll = [&](const std::string &after) {
        for (const PinDeclaration &pin : table.pins)
            results.push_back(
                {pinLabel(pin) + " after " + after, quoteText(host.pins().text(pin.index))});
    };
    readAll("GD_OPEN");
    static const char *const kTexts[] = {"12", "a=1,b=2", "-7", ""};
    for (const PinDeclaration &pin : table.pins)
        for (const char *text : kTexts) {
            const std::string change = pinLabel(pin) + " set to " + quoteText(text);
            ctx.step(change);
            host.setPinText(pin.index, text);
            readAll(change);
        }
    if (host.isLive())
        host.close();
}

// Fresh heap blocks and the stack below each call filled with one byte for
// as long as it lives; then as before, also when the check stops early.
class MemoryFill {
public:
    explicit MemoryFill(unsigned char fill) : m_stack(fill) { GuardedHeap::setFreshFill(fill); }
    ~MemoryFill() { GuardedHeap::setFreshFill(GuardedHeap::kDefaultFreshFill); }
    MemoryFill(const MemoryFill &) = delete;
    MemoryFill &operator=(const MemoryFill &) = delete;

private:
    CallStackFill m_stack;
};

} // namespace

void checkUninitialisedMemory(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    const ModuleSides sides = moduleSides(ctx);
    std::vector<Result> runs[2];
    for (int run = 0; run < 2; ++run) {
        const MemoryFill fill(kFills[run]);
        if (sides.audio)
            audioRun(ctx, table, runs[run]);
        if (sides.gui && !table.pins.empty())
            guiRun(ctx, table, runs[run]);
    }
    const std::string fills =
        (GuardedHeap::enabled() ? std::string("fresh heap blocks and ") : std::string()) +
        "the stack below each call filled with 0x" + hexDigits(kFills[0], 2) + " and with 0x" +
        hexDigits(kFills[1], 2);
    for (size_t i = 0; i < runs[0].size() && i < runs[1].size(); ++i) {
        if (runs[0][i].where == runs[1][i].where && runs[0][i].value == runs[1][i].value)
            continue;
        ctx.fail(runs[0][i].where + " was " + runs[0][i].value + " and " + runs[1][i].value +
                 " in the same session, with " + fills +
                 ": a result depends on memory the module never set; give every member a "
                 "value in the constructor or open, and write a variable or buffer (a local "
                 "one too) before reading it");
        return;
    }
    if (runs[0].size() != runs[1].size())
        ctx.fail("the same session gave " + std::to_string(runs[0].size()) + " and " +
                 std::to_string(runs[1].size()) + " results with " + fills +
                 ": what the module does depends on memory it never set");
}

} // namespace wqhost
