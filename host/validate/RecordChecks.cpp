// The checks of the host records: the words each object's record holds
// after makeModule and after each call, for every host value.
#include "host/validate/CheckSupport.h"
#include "host/trace/OpcodeNames.h"
#include "host/validate/RawHost.h"
#include "host/inspect/TextReport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace wqhost {

namespace {

void checkAudioWords(CheckContext &ctx, const WQAudioHostRecord &r, intptr_t hostValue) {
    if (r.magic != WQ_AUDIO_MAGIC)
        ctx.fail("audio record magic is " + hexText(r.magic) + ", expected " +
                 hexText(WQ_AUDIO_MAGIC) + " (\"WQPL\")");
    if (r.version != WQ_RECORD_VERSION)
        ctx.fail("audio record version is " + std::to_string(r.version) + ", expected 1");
    if (r.hostValue != hostValue)
        ctx.fail("audio record hostValue is " + hexText(static_cast<uint64_t>(r.hostValue)) +
                 ", expected the value given to makeModule, " +
                 hexText(static_cast<uint64_t>(hostValue)) + ", unchanged");
    if (!r.object)
        ctx.fail("audio record object word (the pointer back to the object) is null");
    if (r.reserved0 != 0)
        ctx.fail("audio record word 5 (reserved) is " + std::to_string(r.reserved0) +
                 ", expected 0");
    for (int i = 0; i < 4; ++i)
        if (r.reserved1[i] != 0)
            ctx.fail("audio record word " + std::to_string(9 + i) + " (reserved) is " +
                     std::to_string(r.reserved1[i]) + ", expected 0");
    if (!r.dispatcher)
        ctx.fail("audio record dispatcher entry is null");
    if (!r.process)
        ctx.fail("audio record process word is null, expected a process function");
    if (!r.eventHandler)
        ctx.fail("audio record event entry is null");
}

void checkGuiWords(CheckContext &ctx, const WQGuiHostRecord &r, intptr_t hostValue) {
    if (r.magic != WQ_GUI_MAGIC)
        ctx.fail("GUI record magic is " + hexText(r.magic) + ", expected " +
                 hexText(WQ_GUI_MAGIC) + " (\"WQPM\")");
    if (r.version != WQ_RECORD_VERSION)
        ctx.fail("GUI record version is " + std::to_string(r.version) + ", expected 1");
    if (r.hostValue != hostValue)
        ctx.fail("GUI record hostValue is " + hexText(static_cast<uint64_t>(r.hostValue)) +
                 ", expected the value given to makeModule, " +
                 hexText(static_cast<uint64_t>(hostValue)) + ", unchanged");
    if (!r.object)
        ctx.fail("GUI record object word (the pointer back to the object) is null");
    for (int i = 0; i < 5; ++i)
        if (r.reserved[i] != 0)
            ctx.fail("GUI record word " + std::to_string(6 + i) + " (reserved) is " +
                     std::to_string(r.reserved[i]) + ", expected 0");
    if (!r.dispatcher)
        ctx.fail("GUI record dispatcher entry is null");
}

// The host values a record must keep, whatever they are.
std::vector<intptr_t> hostValues(CheckContext &ctx) {
    static int anchor = 0;
    return {0x12345678, -1, 0, reinterpret_cast<intptr_t>(&anchor),
            static_cast<intptr_t>(ctx.any32() | 1u)};
}

void noCallbacksSince(CheckContext &ctx, const RawHost &raw, size_t before,
                      const std::string &call) {
    const auto &calls = raw.callbacks();
    for (size_t i = before; i < calls.size(); ++i) {
        ctx.fail(call + " called the host (" +
                 opcodeLabel(calls[i].side == Side::Gui ? Side::Gui : Side::Audio,
                             Direction::ModuleToHost, CallKind::Callback, calls[i].opcode) +
                 ") before the host had the object's record");
        return;
    }
}

void callbacksNameRecord(CheckContext &ctx, const RawHost &raw, size_t before,
                         const void *record, const std::string &during) {
    const auto &calls = raw.callbacks();
    for (size_t i = before; i < calls.size(); ++i)
        if (calls[i].record != record) {
            ctx.fail("during " + during + " the module called the host (" +
                     opcodeLabel(calls[i].side == Side::Gui ? Side::Gui : Side::Audio,
                                 Direction::ModuleToHost, CallKind::Callback, calls[i].opcode) +
                     ") with another record than the object's own: the first argument of "
                     "every callback is the caller's own host record");
            return;
        }
}

} // namespace

// ---------------------------------------------------------------- records

void checkAudioRecord(CheckContext &ctx) {
    ctx.library();
    RawHost raw(ctx);
    std::vector<WQAudioHostRecord *> records;
    for (intptr_t hostValue : hostValues(ctx)) {
        ctx.step("makeModule(0, 1) with hostValue " + hexText(static_cast<uint64_t>(hostValue)));
        const size_t before = raw.callbacks().size();
        auto *record = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, hostValue));
        if (!record)
            ctx.stop("makeModule(0, 1) returned null, expected the address of a new object's "
                     "audio host record");
        noCallbacksSince(ctx, raw, before, "makeModule(0, 1)");
        checkAudioWords(ctx, *record, hostValue);
        for (WQAudioHostRecord *other : records) {
            if (other == record)
                ctx.stop("makeModule(0, 1) returned the same record twice while the first "
                         "object lived: each call creates a new object");
            if (other->object == record->object)
                ctx.fail("two live audio objects have the same object word");
        }
        records.push_back(record);
    }
    for (size_t i = 0; i < records.size(); ++i) {
        WQAudioHostRecord *record = records[i];
        const WQAudioHostRecord before = *record;
        const size_t callsBefore = raw.callbacks().size();
        ctx.step("AD_OPEN on audio object " + std::to_string(i));
        const intptr_t opened = raw.audio(record, AD_OPEN);
        if (opened != 0)
            ctx.fail("AD_OPEN returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        callbacksNameRecord(ctx, raw, callsBefore, record, "AD_OPEN");
        recordKept(ctx, before, *record, "AD_OPEN");
        if (!record->process)
            ctx.fail("the audio record's process word is null after AD_OPEN");
    }
    for (size_t i = 0; i < records.size(); ++i) {
        ctx.step("AD_CLOSE on audio object " + std::to_string(i));
        const intptr_t closed = raw.audio(records[i], AD_CLOSE);
        if (closed != 1)
            ctx.fail("AD_CLOSE returned " + std::to_string(static_cast<long long>(closed)) +
                     ", expected 1");
    }
}

void checkGuiRecord(CheckContext &ctx) {
    ctx.library();
    RawHost raw(ctx);
    std::vector<WQGuiHostRecord *> records;
    for (intptr_t hostValue : hostValues(ctx)) {
        ctx.step("makeModule(0, 2) with hostValue " + hexText(static_cast<uint64_t>(hostValue)));
        const size_t before = raw.callbacks().size();
        auto *record = static_cast<WQGuiHostRecord *>(raw.make(0, WQ_TYPE_GUI, hostValue));
        if (!record)
            ctx.stop("makeModule(0, 2) returned null, expected the address of a new object's "
                     "GUI host record");
        noCallbacksSince(ctx, raw, before, "makeModule(0, 2)");
        checkGuiWords(ctx, *record, hostValue);
        for (WQGuiHostRecord *other : records) {
            if (other == record)
                ctx.stop("makeModule(0, 2) returned the same record twice while the first "
                         "object lived: each call creates a new object");
            if (other->object == record->object)
                ctx.fail("two live GUI objects have the same object word");
        }
        records.push_back(record);
    }
    for (size_t i = 0; i < records.size(); ++i) {
        WQGuiHostRecord *record = records[i];
        const WQGuiHostRecord before = *record;
        const size_t callsBefore = raw.callbacks().size();
        ctx.step("GD_OPEN on GUI object " + std::to_string(i));
        const intptr_t opened = raw.gui(record, GD_OPEN, static_cast<int32_t>(i % 2));
        if (opened != 0)
            ctx.fail("GD_OPEN returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        callbacksNameRecord(ctx, raw, callsBefore, record, "GD_OPEN");
        recordKept(ctx, before, *record, "GD_OPEN");
    }
    for (size_t i = 0; i < records.size(); ++i) {
        ctx.step("GD_CLOSE on GUI object " + std::to_string(i));
        const intptr_t closed = raw.gui(records[i], GD_CLOSE);
        if (closed != 1)
            ctx.fail("GD_CLOSE returned " + std::to_string(static_cast<long long>(closed)) +
                     ", expected 1");
    }
}

} // namespace wqhost
