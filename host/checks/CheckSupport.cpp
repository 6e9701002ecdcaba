#include "host/checks/CheckSupport.h"

#include "host/checks/RawHost.h"
#include "host/core/HostRecordCheck.h"
#include "host/memory/GuardedHeap.h"
#include "host/platform/Library.h"
#include "host/describe/ModuleProbe.h"
#include "host/trace/OpcodeNames.h"
#include "host/text/NumberText.h"

#include <cstring>
#include "host/describe/TextReport.h"

namespace wqhost {

std::string sampleText(float sample) {
    uint32_t bits;
    std::memcpy(&bits, &sample, sizeof bits);
    return floatText(sample) + " (bits 0x" + hexDigits(bits, 8) + ")";
}

std::vector<std::pair<int32_t, const PinDeclaration *>> samplePinsOf(const CheckedTable &table) {
    std::vector<std::pair<int32_t, const PinDeclaration *>> samplePins;
    int32_t audioIndex = 0;
    for (const PinDeclaration &pin : table.pins) {
        if (!pin.getsAudioPin())
            continue;
        if (pin.dataType() == DT_FSAMPLE)
            samplePins.emplace_back(audioIndex, &pin);
        ++audioIndex;
    }
    return samplePins;
}

std::string pinLabel(const PinDeclaration &pin) {
    return "pin " + std::to_string(pin.index) + " (" + quoteText(pin.name) + ")";
}

namespace {

// Makes one object of a side and, when its record is sound, opens and
// closes it; whether makeModule gave one. An object with a record that is
// wrong is left alone: the checks of records report it, and calling
// through it could crash here.
template <class Record>
bool makesObject(CheckContext &ctx, RawHost &raw, int32_t type, int32_t open, int32_t close,
                 const char *words) {
    ctx.step(std::string("finding out whether the module has ") + words);
    constexpr intptr_t kHostValue = 0x5A17;
    auto *record = static_cast<Record *>(raw.make(0, type, kHostValue));
    if (!record)
        return false;
    if (recordProblems(*record, kHostValue).empty()) {
        raw.dispatch(record, open);
        raw.dispatch(record, close);
    }
    return true;
}

} // namespace

const ModuleSides &moduleSides(CheckContext &ctx) {
    // Known once per process: with --in-process every check asks again.
    static ModuleSides sides;
    static bool known = false;
    if (known) {
        if (!sides.audio && !sides.gui)
            ctx.stop("makeModule(0, 1) and makeModule(0, 2) both returned null: the module "
                     "makes no object at all");
        return sides;
    }
    ctx.library();
    {
        RawHost raw(ctx);
        sides.audio = makesObject<WQAudioHostRecord>(ctx, raw, WQ_TYPE_AUDIO, AD_OPEN, AD_CLOSE,
                                                     "an audio side");
        sides.gui =
            makesObject<WQGuiHostRecord>(ctx, raw, WQ_TYPE_GUI, GD_OPEN, GD_CLOSE, "a GUI side");
    }
    known = true;
    if (!sides.audio && !sides.gui)
        ctx.stop("makeModule(0, 1) and makeModule(0, 2) both returned null: the module makes "
                 "no object at all (name at least one class in WQ_MODULE_ENTRY_POINTS)");
    return sides;
}

std::string missingSideText(Side side) {
    return side == Side::Gui ? "the module has no GUI side (makeModule(0, 2) gives null, as "
                               "for a GUI class declared void)"
                             : "the module has no audio side (makeModule(0, 1) gives null, as "
                               "for an audio class declared void)";
}

void probeModuleSides(CheckContext &ctx) {
    const ModuleSides &sides = moduleSides(ctx);
    std::string names;
    if (sides.audio)
        names = "audio";
    if (sides.gui)
        names += names.empty() ? "gui" : " gui";
    ctx.tell("sides", names);
}

void requireSide(CheckContext &ctx, Side side) {
    const ModuleSides &sides = moduleSides(ctx);
    if (!(side == Side::Gui ? sides.gui : sides.audio))
        ctx.skip(missingSideText(side));
}

CheckedTable readCheckedTable(CheckContext &ctx) {
    auto library = ctx.library();
    if (!moduleSides(ctx).audio)
        return CheckedTable(); // a GUI side alone: no declarations
    ctx.step("reading the pin table");
    const ModuleProbe probe = probeModule(library, 0, &ctx.log());
    if (!probe.audioCreated)
        ctx.stop("makeModule(0, 1) returned null: no audio object to read the pin table from");
    CheckedTable table;
    table.pins = probe.pins;
    table.audioPins = probe.audioPinCount();
    return table;
}

AudioHost::Options audioOptionsFor(const CheckedTable &table) {
    AudioHost::Options options;
    options.pinCount = table.audioPins;
    return options;
}

std::unique_ptr<AudioHost> createCheckedAudio(CheckContext &ctx, const AudioHost::Options &options,
                                              const std::string &step) {
    requireSide(ctx, Side::Audio);
    auto host = std::make_unique<AudioHost>(ctx.library(), options, &ctx.log());
    ctx.step(step);
    if (!host->create())
        ctx.stop("makeModule(0, 1) returned null");
    return host;
}

std::unique_ptr<Session> startCheckedSession(CheckContext &ctx, const CheckedTable &table,
                                             bool echo, bool echoOnlyChanges) {
    Session::Options options;
    options.audio.pinCount = table.audioPins;
    options.gui.echo = echo;
    options.gui.echoOnlyChanges = echoOnlyChanges;
    options.gui.nestingLimit = kEchoNestingLimit;
    auto session = std::make_unique<Session>(ctx.library(), options);
    session->setTrace(ctx.channel());
    ctx.step("starting a session: both objects created and opened");
    session->start();
    return session;
}

bool insideObject(const void *object, const void *variable) {
    constexpr uintptr_t kObjectBound = 1u << 20;
    const auto start = reinterpret_cast<uintptr_t>(object);
    const auto at = reinterpret_cast<uintptr_t>(variable);
    if (!object || at < start)
        return false;
    const size_t size = GuardedHeap::owns(object) ? GuardedHeap::usableSize(object) : kObjectBound;
    return at - start < size;
}

bool inLibrary(CheckContext &ctx, const void *variable) {
    return Library::sameImage(reinterpret_cast<const void *>(ctx.library()->makeModuleProc()),
                              variable);
}

void failOnNewProblems(CheckContext &ctx, const std::vector<Problem> &problems, size_t &seen,
                       const std::string &when) {
    for (size_t i = seen; i < problems.size(); ++i)
        ctx.fail(when.empty() ? problems[i].text : when + ": " + problems[i].text,
                 problems[i].code);
    seen = problems.size();
}

void checkCallbacksNameTheirObject(CheckContext &ctx, const CallLog &log) {
    const void *outer = nullptr;
    Side outerSide = Side::Library;
    for (const CallRecord &c : log.calls()) {
        if (c.depth == 0) {
            outer = c.record;
            outerSide = c.side;
            continue;
        }
        if (c.kind != CallKind::Callback || !outer || c.side != outerSide)
            continue;
        if (c.record != outer)
            ctx.fail("a " + std::string(sideName(c.side)) + " object called the host (" +
                     opcodeLabel(c.side, c.direction, c.kind, c.opcode) +
                     ") naming another record than its own: the first argument of every "
                     "callback is the caller's own host record");
    }
}

std::vector<TextCase> pinTextCases() {
    auto list = [](size_t length) {
        std::string text;
        for (int i = 0; text.size() < length; ++i)
            text += (text.empty() ? "" : ",") + std::string("item") + std::to_string(i) + "=" +
                    std::to_string(i * 7);
        text.resize(length);
        return text;
    };
    return {
        {"the empty text", ""},
        {"a list of 1023 bytes", list(1023)},
        {"a list of 1024 bytes", list(1024)},
        {"a list of 2000 bytes", list(2000)},
        {"a text of 10000 bytes without a comma", std::string(10000, 'x')},
        {"8-bit text", "caf\xe9,\x80\xff=\xa0,\xe4\xf6\xfc,\x01\x1f\x7f"},
        {"the number 0", "0"},
        {"the number 1", "1"},
        {"the number 2", "2"},
        {"the number -1", "-1"},
        {"the number 2147483647", "2147483647"},
        {"the number -2147483648", "-2147483648"},
        {"the number 4294967297 (beyond 32 bits)", "4294967297"},
        {"the number 99999999999999999999", "99999999999999999999"},
        {"a number with blanks and letters, \"  7x\"", "  7x"},
        {"a text without a number, \"abc\"", "abc"},
        {"the number 1.5", "1.5"},
        {"the list \"red,green,blue\"", "red,green,blue"},
        {"the list \"a=1,b=2\"", "a=1,b=2"},
        {"the list \",,,\"", ",,,"},
        {"the list \"=\"", "="},
    };
}

std::vector<int32_t> pinIntCases() { return {0, 1, 2, -1, 7, 1000, INT32_MAX, INT32_MIN}; }

std::vector<float> pinFloatCases() { return {0.0f, 0.5f, -1.0f, 1.0e30f, -1.0e-30f, 3.0e38f}; }

std::string randomPinText(CheckContext &ctx, size_t maxLength) {
    static const char kFrequent[] = ",,,====0123456789-  abc";
    const size_t length = ctx.below(static_cast<uint32_t>(maxLength) + 1);
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (ctx.below(2) == 0)
            text += kFrequent[ctx.below(sizeof kFrequent - 1)];
        else
            text += static_cast<char>(1 + ctx.below(255));
    }
    return text;
}

} // namespace wqhost
