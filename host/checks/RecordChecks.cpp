// The checks of the host records: the words each object's record holds
// after makeModule and after each call, for every host value.
#include "host/core/HostRecordCheck.h"
#include "host/text/NumberText.h"
#include "host/trace/OpcodeNames.h"
#include "host/checks/CheckSupport.h"
#include "host/checks/RawHost.h"

#include <string>
#include <type_traits>
#include <vector>

namespace wqhost {

namespace {

// What tells the two records apart in the checks below.
struct RecordKind {
    int32_t type;
    int32_t open;
    int32_t close;
    const char *words;
    const char *openName;
    const char *closeName;
};
constexpr RecordKind kAudioRecord{WQ_TYPE_AUDIO, AD_OPEN, AD_CLOSE, "audio", "AD_OPEN", "AD_CLOSE"};
constexpr RecordKind kGuiRecord{WQ_TYPE_GUI, GD_OPEN, GD_CLOSE, "GUI", "GD_OPEN", "GD_CLOSE"};

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
                 opcodeLabel(calls[i].side, Direction::ModuleToHost, CallKind::Callback,
                             calls[i].opcode) +
                 ") before the host had the object's record");
        return;
    }
}

void callbacksNameRecord(CheckContext &ctx, const RawHost &raw, size_t before, const void *record,
                         const std::string &during) {
    const auto &calls = raw.callbacks();
    for (size_t i = before; i < calls.size(); ++i)
        if (calls[i].record != record) {
            ctx.fail("during " + during + " the module called the host (" +
                     opcodeLabel(calls[i].side, Direction::ModuleToHost, CallKind::Callback,
                                 calls[i].opcode) +
                     ") with another record than the object's own: the first argument of "
                     "every callback is the caller's own host record");
            return;
        }
}

// Objects made with every host value: each record's words right, each
// object its own, the record kept through the open call, every object
// closed.
template <class Record> void checkRecords(CheckContext &ctx, const RecordKind &kind) {
    const std::string make = "makeModule(0, " + std::to_string(kind.type) + ")";
    const std::string open = kind.openName;
    const std::string close = kind.closeName;
    const std::string words = kind.words;
    ctx.library();
    RawHost raw(ctx);
    std::vector<Record *> records;
    for (intptr_t hostValue : hostValues(ctx)) {
        ctx.step(make + " with hostValue " + hexText(static_cast<uint64_t>(hostValue)));
        const size_t before = raw.callbacks().size();
        auto *record = static_cast<Record *>(raw.make(0, kind.type, hostValue));
        if (!record)
            ctx.stop(make + " returned null, expected the address of a new object's " + words +
                     " host record");
        noCallbacksSince(ctx, raw, before, make);
        for (const Problem &p : recordProblems(*record, hostValue))
            ctx.fail(p.text);
        for (Record *other : records) {
            if (other == record)
                ctx.stop(make + " returned the same record twice while the first object lived: "
                                "each call creates a new object");
            if (other->object == record->object)
                ctx.fail("two live " + words + " objects have the same object word");
        }
        records.push_back(record);
    }
    for (size_t i = 0; i < records.size(); ++i) {
        Record *record = records[i];
        const Record before = *record;
        const size_t callsBefore = raw.callbacks().size();
        ctx.step(open + " on " + words + " object " + std::to_string(i));
        // A GUI object is opened both ways (index 0 and 1).
        const int32_t index = kind.type == WQ_TYPE_GUI ? static_cast<int32_t>(i % 2) : 0;
        const intptr_t opened = raw.dispatch(record, kind.open, index);
        if (opened != 0)
            ctx.fail(open + " returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        callbacksNameRecord(ctx, raw, callsBefore, record, open);
        recordKept(ctx, before, *record, open);
        if constexpr (std::is_same<Record, WQAudioHostRecord>::value)
            if (!record->process)
                ctx.fail("the audio record's process word is null after AD_OPEN");
    }
    for (size_t i = 0; i < records.size(); ++i) {
        ctx.step(close + " on " + words + " object " + std::to_string(i));
        const intptr_t closed = raw.dispatch(records[i], kind.close);
        if (closed != 1)
            ctx.fail(close + " returned " + std::to_string(static_cast<long long>(closed)) +
                     ", expected 1");
    }
}

} // namespace

void checkAudioRecord(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    checkRecords<WQAudioHostRecord>(ctx, kAudioRecord);
}

void checkGuiRecord(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    checkRecords<WQGuiHostRecord>(ctx, kGuiRecord);
}

} // namespace wqhost
