// The checks of the audio side: the process word and AH_PROCESS_CHANGED,
// the process reference, opcodes without an action, and events at their
// sample clock.
#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"
#include "host/checks/CheckSupport.h"
#include "host/trace/OpcodeNames.h"
#include "host/checks/RawHost.h"
#include "host/describe/TextReport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace wqhost {

// ------------------------------------------------------------ process word

void checkProcessWord(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    RawHost raw(ctx);
    raw.setPinCount(table.audioPins);
    for (int object = 0; object < 2; ++object) {
        ctx.step("makeModule(0, 1)");
        auto *record = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, 1));
        if (!record)
            ctx.stop("makeModule(0, 1) returned null");
        raw.watchProcessWord(record);
        struct Step {
            const char *what;
            int32_t opcode;
            int32_t value;
            float opt;
        };
        const Step steps[] = {{"AD_OPEN", AD_OPEN, 0, 0.0f},
                              {"AD_SET_SAMPLE_RATE", AD_SET_SAMPLE_RATE, 0, 48000.0f},
                              {"AD_SET_BLOCK_SIZE", AD_SET_BLOCK_SIZE, 128, 0.0f}};
        for (const Step &s : steps) {
            ctx.step(s.what);
            raw.dispatch(record, s.opcode, 0, s.value, nullptr, s.opt);
            raw.lookAtProcessWord(s.what);
            if (!record->process)
                ctx.fail(std::string("the record's process word is null after ") + s.what);
        }
        for (int block = 0; block < 8 && record->process; ++block) {
            ctx.step("a call of the process word");
            raw.process(record);
            raw.lookAtProcessWord("a call of the process word");
        }
        ctx.step("AD_CLOSE");
        raw.dispatch(record, AD_CLOSE);
    }
    for (const Problem &fault : raw.problems())
        ctx.fail(fault.text);
}

void checkProcessReference(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    RawHost raw(ctx);
    raw.setPinCount(table.audioPins);
    WQAudioHostRecord *records[2] = {nullptr, nullptr};
    for (auto &record : records) {
        ctx.step("makeModule(0, 1) and AD_OPEN");
        record = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, 2));
        if (!record)
            ctx.stop("makeModule(0, 1) returned null");
        raw.dispatch(record, AD_OPEN);
    }
    for (int round = 0; round < 2; ++round) {
        for (WQAudioHostRecord *record : records) {
            ctx.step("AD_GET_PROCESS_REFERENCE");
            const auto *ref = reinterpret_cast<const WQProcessReferenceRecord *>(
                raw.dispatch(record, AD_GET_PROCESS_REFERENCE));
            if (!ref) {
                ctx.fail("AD_GET_PROCESS_REFERENCE returned null, expected the address of the "
                         "process reference record");
                continue;
            }
            if (ref->count != 1 || ref->referenceSize != 8 || ref->tag != 1002)
                ctx.fail("the process reference record reads " + std::to_string(ref->count) + ", " +
                         std::to_string(ref->referenceSize) + ", ..., " + std::to_string(ref->tag) +
                         ", expected 1, 8, ..., 1002");
            if (!ref->reference) {
                ctx.fail("the process reference record holds no reference");
                continue;
            }
            if (ref->reference->function != record->process)
                ctx.fail("the process reference of AD_GET_PROCESS_REFERENCE is not the asking "
                         "object's current process function (the record's process word)");
            if (ref->reference->adjustment != 0)
                ctx.fail("the process reference has adjustment " +
                         std::to_string(static_cast<long long>(ref->reference->adjustment)) +
                         ", expected 0");
        }
    }
    for (WQAudioHostRecord *record : records) {
        ctx.step("AD_CLOSE");
        raw.dispatch(record, AD_CLOSE);
    }
}

// ------------------------------------------------- opcodes without action

void checkUnusedOpcodes(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    const ModuleSides sides = moduleSides(ctx);
    // An object of each side the module has, made and opened.
    AudioHost::Options audioOptions;
    audioOptions.pinCount = table.audioPins;
    AudioHost audio(ctx.library(), audioOptions, &ctx.log());
    GuiHost gui(ctx.library(), GuiHost::Options(), &ctx.log());
    gui.declarePins(table.pins);
    ctx.step("making and opening an object of each side");
    if (sides.audio && audio.create())
        audio.open();
    if (sides.gui && gui.create())
        gui.open();
    alignas(16) unsigned char scratch[256];

    auto extra = [&](std::vector<int32_t> list, int32_t firstUsed, int32_t lastUsed) {
        for (int i = 0; i < 8; ++i) {
            int32_t op = static_cast<int32_t>(ctx.any32());
            if (op >= firstUsed && op <= lastUsed)
                op = lastUsed + 1 + static_cast<int32_t>(ctx.below(1000));
            list.push_back(op);
        }
        return list;
    };
    const std::vector<int32_t> audioOps =
        extra({AD_OPCODE_4, AD_OPCODE_5, AD_OPCODE_9, AD_OPCODE_11, 14,   15,       16,  19,
               22,          31,          32,          64,           100,  255,      256, 1000,
               65536,       INT32_MAX,   -1,          -2,           -100, INT32_MIN},
              0, AD_GET_PROCESS_REFERENCE);
    const std::vector<int32_t> guiOps = extra({13, 14, 15, 16, 20, 22, 31, 32, 64, 100, 255, 256,
                                               1000, 65536, INT32_MAX, -1, -2, -100, INT32_MIN},
                                              0, GD_OPCODE_12);

    size_t seenAudio = 0;
    size_t seenGui = 0;
    for (int32_t op : audioOps) {
        if (!audio.isLive())
            break;
        const std::string name =
            "audio opcode " + std::to_string(op) +
            (opcodeName(Side::Audio, Direction::HostToModule, CallKind::Dispatch, op)
                 ? std::string(" (") +
                       opcodeName(Side::Audio, Direction::HostToModule, CallKind::Dispatch, op) +
                       ")"
                 : std::string());
        std::memset(scratch, 0, sizeof scratch);
        ctx.step(name);
        const WQAudioHostRecord before = *audio.record();
        const intptr_t result = audio.dispatch(op, static_cast<int32_t>(ctx.any32()),
                                               static_cast<int32_t>(ctx.any32()), scratch, 0.25f);
        if (result != 0)
            ctx.fail(name + " returned " + std::to_string(static_cast<long long>(result)) +
                     ", expected 0: an opcode without an action returns 0");
        recordKept(ctx, before, *audio.record(), name);
        failOnNewProblems(ctx, audio.problems(), seenAudio, name);
    }
    for (int32_t op : guiOps) {
        if (!gui.isLive())
            break;
        const std::string name = "GUI opcode " + std::to_string(op);
        std::memset(scratch, 0, sizeof scratch);
        ctx.step(name);
        const WQGuiHostRecord before = *gui.record();
        const intptr_t result = gui.dispatch(op, static_cast<int32_t>(ctx.any32()),
                                             static_cast<int32_t>(ctx.any32()), scratch, 0.25f);
        if (result != 0)
            ctx.fail(name + " returned " + std::to_string(static_cast<long long>(result)) +
                     ", expected 0: an opcode without an action returns 0");
        recordKept(ctx, before, *gui.record(), name);
        failOnNewProblems(ctx, gui.problems(), seenGui, name);
    }
    ctx.step("closing the objects");
    if (gui.isLive())
        gui.close();
    if (audio.isLive())
        audio.close();
    failOnNewProblems(ctx, audio.problems(), seenAudio, "closing");
    failOnNewProblems(ctx, gui.problems(), seenGui, "closing");
}

// --------------------------------------------------------------- events

void checkEvents(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    AudioHost::Options options = audioOptionsFor(table);
    options.blockSize = 64;
    const auto audio = createCheckedAudio(ctx, options, "makeModule(0, 1) and AD_OPEN");
    AudioHost &host = *audio;
    host.open();

    // Event types that no module may read more into than its values:
    // EV_TYPE_2 and types without a meaning of the interface. EV_PIN_STATUS
    // goes only to pins the object has; EV_DELAYED_CALL carries a function
    // of the module's own and is never made up by a host.
    const int32_t types[] = {EV_TYPE_2, 1, 3, 6, 7, 100, 1000, -1};
    uint32_t last = 0;
    int posted = 0;
    ctx.step("posting host events");
    for (int i = 0; i < 24; ++i) {
        WQEvent e;
        std::memset(&e, 0, sizeof e);
        e.time_stamp = host.sampleClock() + ctx.below(2000);
        e.event_type = types[ctx.below(sizeof types / sizeof types[0])];
        e.int_value = static_cast<int32_t>(ctx.any32());
        e.int_value2 = static_cast<int32_t>(ctx.any32());
        if (table.audioPins > 0 && ctx.below(3) == 0) {
            e.event_type = EV_PIN_STATUS;
            e.int_value = static_cast<int32_t>(ctx.below(4));
            e.int_value2 = 0;
            e.ptr_value = static_cast<intptr_t>(ctx.below(static_cast<uint32_t>(table.audioPins)));
        }
        if (host.postEvent(e)) {
            ++posted;
            last = std::max(last, e.time_stamp);
        }
    }
    const uint64_t logStart = ctx.log().nextSeq();
    for (int block = 0; block < 64 && host.sampleClock() <= last + 64; ++block) {
        ctx.step("processing a block at sample clock " + std::to_string(host.sampleClock()));
        host.processBlock();
    }
    int delivered = 0;
    for (const CallRecord &c : ctx.log().calls()) {
        if (c.seq < logStart || c.kind != CallKind::Event)
            continue;
        ++delivered;
        if (c.clock != c.event.time_stamp)
            ctx.fail("the host delivered an event stamped " + std::to_string(c.event.time_stamp) +
                     " at sample clock " + std::to_string(c.clock));
    }
    if (delivered < posted)
        ctx.fail(std::to_string(posted) + " events were posted, " + std::to_string(delivered) +
                 " reached the event entry");
    ctx.step("AD_CLOSE");
    host.close();
    size_t seen = 0;
    failOnNewProblems(ctx, host.problems(), seen, std::string());
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

} // namespace wqhost
