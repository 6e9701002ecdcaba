// The checks of the library and its objects: exports, description queries,
// makeModule, host records, open and close, several live objects, the
// process word and opcodes without an action.
#include "host/core/AudioHost.h"
#include "host/validate/CheckSupport.h"
#include "host/core/GuiHost.h"
#include "host/trace/OpcodeNames.h"
#include "host/validate/RawHost.h"
#include "host/inspect/TextReport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <type_traits>

namespace wqhost {

namespace {

// A pattern the host puts into records before a query, so that fields the
// module does not write can be told from fields it writes.
constexpr unsigned char kPatternByte = 0xA5;

std::string joined(const std::vector<std::string> &items) {
    std::string out;
    for (const std::string &i : items)
        out += (out.empty() ? "" : ", ") + i;
    return out;
}

std::string joinedNumbers(const std::vector<int64_t> &numbers) {
    std::vector<std::string> items;
    for (int64_t n : numbers)
        items.push_back(std::to_string(n));
    return joined(items);
}

std::string textOrNull(const char *text) { return text ? quoteText(text) : "null"; }

// Shuffles with the check's random numbers, the same on every platform.
template <class T> void shuffle(CheckContext &ctx, std::vector<T> &items) {
    for (size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[ctx.below(static_cast<uint32_t>(i))]);
}

// Named fields of a description record that differ between two records.
std::vector<std::string> changedDescriptionFields(const WQModuleDescription &a,
                                                  const WQModuleDescription &b) {
    std::vector<std::string> out;
    if (a.name != b.name)
        out.push_back("name");
    if (a.id != b.id)
        out.push_back("id");
    if (a.about != b.about)
        out.push_back("about");
    if (a.flags != b.flags)
        out.push_back("flags");
    if (a.guiFlags != b.guiFlags)
        out.push_back("guiFlags");
    return out;
}

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

// Compares the words of a record that the host relies on, before and after
// a call; the audio process word may change (AH_PROCESS_CHANGED).
template <class Record>
void recordKept(CheckContext &ctx, const Record &before, const Record &after,
                const std::string &call) {
    Record a = before;
    Record b = after;
    if constexpr (std::is_same<Record, WQAudioHostRecord>::value) {
        a.process = nullptr;
        b.process = nullptr;
    }
    if (std::memcmp(&a, &b, sizeof a) != 0)
        ctx.fail(call + " changed a word of the host record that only the host reads");
}

} // namespace

// ---------------------------------------------------------------- library

void checkExports(CheckContext &ctx) {
    std::shared_ptr<const ModuleLibrary> library = ctx.library();
    if (!library->getModulePropertiesProc() || !library->makeModuleProc())
        ctx.unusable("'" + ctx.libraryPath() + "' lacks an export");
    // Loading runs only the runtime's start-up, unloading only its
    // shut-down: the library can go and come back.
    ctx.step("unloading the library and loading it again");
    library.reset();
    ctx.releaseLibrary();
    library = ctx.library();
    if (!library->getModulePropertiesProc() || !library->makeModuleProc())
        ctx.fail("after unloading and loading again an export no longer resolves");
}

void checkDescribeIndex0(CheckContext &ctx) {
    auto library = ctx.library();
    WQModuleDescription filled;
    std::memset(&filled, kPatternByte, sizeof filled);
    const WQModuleDescription pattern = filled;
    ctx.step("getModuleProperties(0) into a pre-filled record");
    const int32_t result = library->getModuleProperties(0, &filled, &ctx.log());
    if (result == 0)
        ctx.stop("getModuleProperties(0) returned 0: the library refuses its module 0");
    if (result != 1)
        ctx.fail("getModuleProperties(0) returned " + std::to_string(result) +
                 ", expected 1 (the result is a boolean, 0 or 1)");
    if (filled.sdkVersion != WQ_SDK_VERSION)
        ctx.fail("sdkVersion is " + std::to_string(filled.sdkVersion) +
                 " after getModuleProperties(0), expected " + std::to_string(WQ_SDK_VERSION));
    struct Text {
        const char *field;
        const char *value;
        const char *pattern;
    };
    for (const Text &t : {Text{"name", filled.name, pattern.name}, Text{"id", filled.id, pattern.id},
                          Text{"about", filled.about, pattern.about}}) {
        if (t.value == t.pattern)
            ctx.fail("getModuleProperties(0) did not write " + std::string(t.field));
        else if (!t.value)
            ctx.fail("getModuleProperties(0) wrote a null " + std::string(t.field) +
                     ", expected a text");
    }

    ctx.step("getModuleProperties(0) into a cleared record, twice");
    WQModuleDescription cleared;
    std::memset(&cleared, 0, sizeof cleared);
    const int32_t again = library->getModuleProperties(0, &cleared, &ctx.log());
    WQModuleDescription third;
    std::memset(&third, 0, sizeof third);
    library->getModuleProperties(0, &third, &ctx.log());
    if (again != result)
        ctx.fail("getModuleProperties(0) returned " + std::to_string(result) + ", then " +
                 std::to_string(again));
    if (cleared.flags != filled.flags || cleared.guiFlags != filled.guiFlags)
        ctx.fail("flags or guiFlags depend on what the host put in the record: " +
                 hexText(cleared.flags) + "/" + hexText(cleared.guiFlags) + " after a cleared, " +
                 hexText(filled.flags) + "/" + hexText(filled.guiFlags) + " after a pre-filled one");
    if (filled.name == pattern.name || filled.id == pattern.id || filled.about == pattern.about)
        return; // reported above; the texts cannot be read
    const char *firstTexts[] = {filled.name, filled.id, filled.about};
    const char *clearedTexts[] = {cleared.name, cleared.id, cleared.about};
    const char *thirdTexts[] = {third.name, third.id, third.about};
    const char *names[] = {"name", "id", "about"};
    for (int i = 0; i < 3; ++i) {
        const std::string a = firstTexts[i] ? firstTexts[i] : "";
        const std::string b = clearedTexts[i] ? clearedTexts[i] : "";
        const std::string c = thirdTexts[i] ? thirdTexts[i] : "";
        if (a != b || b != c)
            ctx.fail(std::string(names[i]) + " differs between queries: " +
                     textOrNull(firstTexts[i]) + ", " + textOrNull(clearedTexts[i]) + ", " +
                     textOrNull(thirdTexts[i]) + " (the texts are constants of the library)");
    }
}

void checkDescribeOtherIndex(CheckContext &ctx) {
    auto library = ctx.library();
    std::vector<int32_t> indices = {1, 2, -1, 255, 1000, INT32_MAX, INT32_MIN};
    for (int i = 0; i < 3; ++i) {
        int32_t r = static_cast<int32_t>(ctx.any32());
        indices.push_back(r == 0 ? 3 : r);
    }
    std::vector<int64_t> accepted, noVersion, touched;
    std::set<std::string> touchedFields;
    for (int32_t index : indices) {
        WQModuleDescription record;
        std::memset(&record, kPatternByte, sizeof record);
        const WQModuleDescription pattern = record;
        ctx.step("getModuleProperties(" + std::to_string(index) + ")");
        const int32_t result = library->getModuleProperties(index, &record, &ctx.log());
        if (result != 0)
            accepted.push_back(index);
        if (record.sdkVersion != WQ_SDK_VERSION)
            noVersion.push_back(index);
        const std::vector<std::string> changed = changedDescriptionFields(pattern, record);
        if (!changed.empty()) {
            touched.push_back(index);
            touchedFields.insert(changed.begin(), changed.end());
        }
    }
    if (!accepted.empty())
        ctx.fail("getModuleProperties returned non-zero for index " + joinedNumbers(accepted) +
                 ", expected 0: a library holds one module, at index 0");
    if (!noVersion.empty())
        ctx.fail("sdkVersion was not " + std::to_string(WQ_SDK_VERSION) +
                 " after getModuleProperties for index " + joinedNumbers(noVersion) +
                 ": it is written for every index, also when the query is refused");
    if (!touched.empty())
        ctx.fail("getModuleProperties for index " + joinedNumbers(touched) + " changed " +
                 joined(std::vector<std::string>(touchedFields.begin(), touchedFields.end())) +
                 ": a refused query leaves the fields as the host filled them");
}

void checkMakeModuleRefusals(CheckContext &ctx) {
    ctx.library();
    RawHost raw(ctx);
    struct Case {
        int32_t index;
        int32_t type;
    };
    std::vector<Case> cases = {{0, 0},  {0, 3},  {0, -1}, {0, 4},  {0, 100},
                               {0, INT32_MAX},   {0, INT32_MIN},   {1, 1},
                               {1, 2},  {-1, 1}, {-1, 2}, {2, 2},  {INT32_MAX, 1}};
    for (int i = 0; i < 4; ++i) {
        int32_t type = static_cast<int32_t>(ctx.any32());
        cases.push_back({0, type == 1 || type == 2 ? 5 : type});
    }
    for (int i = 0; i < 2; ++i) {
        int32_t index = static_cast<int32_t>(ctx.any32());
        cases.push_back({index == 0 ? 9 : index, 1 + static_cast<int32_t>(ctx.below(2))});
    }
    for (const Case &c : cases) {
        const std::string call =
            "makeModule(" + std::to_string(c.index) + ", " + std::to_string(c.type) + ")";
        ctx.step(call);
        const size_t before = raw.callbacks().size();
        void *record = raw.make(c.index, c.type, 0x5A5A);
        if (record)
            ctx.fail(call + " returned an object, expected null: " +
                     (c.index != 0 ? "the library has no module " + std::to_string(c.index)
                                   : std::string("the object types are 1 (audio) and 2 (GUI)")));
        if (raw.callbacks().size() != before)
            ctx.fail(call + " called the host although it creates nothing");
        // An object made against the rules is left alone: closing it through
        // a record of unknown form could itself crash.
    }
}

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
                     "nesting");
        size_t seen = 0;
        failOnNewProblems(ctx, hosts[i]->problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

// ------------------------------------------------------------ process word

void checkProcessWord(CheckContext &ctx) {
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
            raw.audio(record, s.opcode, 0, s.value, nullptr, s.opt);
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
        raw.audio(record, AD_CLOSE);
    }
    for (const std::string &fault : raw.processFaults())
        ctx.fail(fault);
}

void checkProcessReference(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    RawHost raw(ctx);
    raw.setPinCount(table.audioPins);
    WQAudioHostRecord *records[2] = {nullptr, nullptr};
    for (auto &record : records) {
        ctx.step("makeModule(0, 1) and AD_OPEN");
        record = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, 2));
        if (!record)
            ctx.stop("makeModule(0, 1) returned null");
        raw.audio(record, AD_OPEN);
    }
    for (int round = 0; round < 2; ++round) {
        for (WQAudioHostRecord *record : records) {
            ctx.step("AD_GET_PROCESS_REFERENCE");
            const auto *ref = reinterpret_cast<const WQProcessReferenceRecord *>(
                raw.audio(record, AD_GET_PROCESS_REFERENCE));
            if (!ref) {
                ctx.fail("AD_GET_PROCESS_REFERENCE returned null, expected the address of the "
                         "process reference record");
                continue;
            }
            if (ref->count != 1 || ref->referenceSize != 8 || ref->tag != 1002)
                ctx.fail("the process reference record reads " + std::to_string(ref->count) +
                         ", " + std::to_string(ref->referenceSize) + ", ..., " +
                         std::to_string(ref->tag) + ", expected 1, 8, ..., 1002");
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
        raw.audio(record, AD_CLOSE);
    }
}

// ------------------------------------------------- opcodes without action

void checkUnusedOpcodes(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    auto session = startCheckedSession(ctx, table, false, false);
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
        extra({AD_OPCODE_4, AD_OPCODE_5, AD_OPCODE_9, AD_OPCODE_11, 14, 15, 16, 19, 22, 31, 32,
               64, 100, 255, 256, 1000, 65536, INT32_MAX, -1, -2, -100, INT32_MIN},
              0, AD_GET_PROCESS_REFERENCE);
    const std::vector<int32_t> guiOps =
        extra({13, 14, 15, 16, 20, 22, 31, 32, 64, 100, 255, 256, 1000, 65536, INT32_MAX, -1, -2,
               -100, INT32_MIN},
              0, GD_OPCODE_12);

    size_t seen = 0;
    for (int32_t op : audioOps) {
        const std::string name =
            "audio opcode " + std::to_string(op) +
            (opcodeName(Side::Audio, Direction::HostToModule, CallKind::Dispatch, op)
                 ? std::string(" (") +
                       opcodeName(Side::Audio, Direction::HostToModule, CallKind::Dispatch, op) +
                       ")"
                 : std::string());
        std::memset(scratch, 0, sizeof scratch);
        ctx.step(name);
        const WQAudioHostRecord before = *session->audio().record();
        const intptr_t result =
            session->audio().dispatch(op, static_cast<int32_t>(ctx.any32()),
                                      static_cast<int32_t>(ctx.any32()), scratch, 0.25f);
        if (result != 0)
            ctx.fail(name + " returned " + std::to_string(static_cast<long long>(result)) +
                     ", expected 0: an opcode without an action returns 0");
        recordKept(ctx, before, *session->audio().record(), name);
        failOnNewProblems(ctx, session->problems(), seen, name);
    }
    for (int32_t op : guiOps) {
        const std::string name = "GUI opcode " + std::to_string(op);
        std::memset(scratch, 0, sizeof scratch);
        ctx.step(name);
        const WQGuiHostRecord before = *session->gui().record();
        const intptr_t result =
            session->gui().dispatch(op, static_cast<int32_t>(ctx.any32()),
                                    static_cast<int32_t>(ctx.any32()), scratch, 0.25f);
        if (result != 0)
            ctx.fail(name + " returned " + std::to_string(static_cast<long long>(result)) +
                     ", expected 0: an opcode without an action returns 0");
        recordKept(ctx, before, *session->gui().record(), name);
        failOnNewProblems(ctx, session->problems(), seen, name);
    }
    ctx.step("closing both objects");
    session->stop();
    failOnNewProblems(ctx, session->problems(), seen, "closing");
}

} // namespace wqhost
