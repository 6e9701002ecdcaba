// The checks of pins and what flows through them: the declarations, pin
// changes with every kind of value, and echoes that must come to an end.
#include "host/core/AudioHost.h"
#include "host/checks/CheckSupport.h"
#include "host/memory/GuardedHeap.h"
#include "host/pins/PinStore.h"
#include "host/platform/Library.h"
#include "host/platform/UntrustedText.h"
#include "host/describe/TextReport.h"
#include "host/text/NumberText.h"
#include "host/text/QuotedText.h"

#include <cstring>
#include <utility>

namespace wqhost {

namespace {

// Beyond this many declarations a table that never ends is reported.
constexpr int32_t kMaxDeclarations = 1024;

std::string declarationLabel(int32_t index, const WQPinProperties &record) {
    std::string label = "declaration " + std::to_string(index);
    if (record.name)
        label += " (" + quoteText(UntrustedText::read(record.name, kMaxNameText).text) + ")";
    return label;
}

// Two records that the host pre-fills before a query: every word a pattern
// the module would not write by chance. Both keep the pin-flag rule
// (IO_PRIVATE), so a module whose dispatcher checks the record after a
// declaration that leaves the flags alone does not stop on the host's
// pattern.
struct Prefill {
    WQPinProperties record;
    const char *name;
    const char *listText;
};

char g_variable1 = 0;
char g_variable2 = 0;

Prefill prefill(int which) {
    Prefill p;
    std::memset(&p.record, 0, sizeof p.record);
    const int32_t word = which == 1 ? 0x5A5A5A5A : 0x3C3C3C3C;
    p.name = which == 1 ? "host's name 1" : "host's name 2";
    p.listText = which == 1 ? "host's list 1" : "host's list 2";
    p.record.variable = which == 1 ? &g_variable1 : &g_variable2;
    p.record.direction = word;
    p.record.datatype = word;
    p.record.name = p.name;
    p.record.reserved5 = word;
    p.record.list_text = p.listText;
    p.record.flags =
        (static_cast<uint32_t>(word) & 0xFFFF0000u & ~static_cast<uint32_t>(IO_PATCH_STORE)) |
        IO_PRIVATE;
    p.record.reserved8 = word;
    return p;
}

std::string text(const char *p) { return p ? std::string(p) : std::string(); }

// One field of a declaration read three times: after a cleared record and
// after the two pre-filled ones. The declaration either writes the field
// (the same value each time) or leaves it (0, then each pattern).
template <class T>
bool consistentField(const T &cleared, const T &first, const T &second, const T &pattern1,
                     const T &pattern2) {
    const bool written = cleared == first && first == second;
    const bool left = cleared == T() && first == pattern1 && second == pattern2;
    return written || left;
}

bool leftAlone(int32_t cleared, int32_t first, int32_t second, int32_t pattern1, int32_t pattern2) {
    return cleared == 0 && first == pattern1 && second == pattern2;
}

// A text field: left alone (null, then the host's own pointers), or written
// with the same text each time.
enum class TextField { Written, Left, Mixed };
TextField textField(const char *cleared, const char *first, const char *second,
                    const char *pattern1, const char *pattern2) {
    if (!cleared && first == pattern1 && second == pattern2)
        return TextField::Left;
    if (cleared && first != pattern1 && second != pattern2 && first && second &&
        text(cleared) == text(first) && text(first) == text(second))
        return TextField::Written;
    return TextField::Mixed;
}

std::string differences(const PinDeclaration &a, const PinDeclaration &b,
                        bool withVariable = true) {
    std::string out;
    auto add = [&](const char *field, bool same) {
        if (!same)
            out += std::string(out.empty() ? "" : ", ") + field;
    };
    add("variable", !withVariable || a.record.variable == b.record.variable);
    add("direction", a.record.direction == b.record.direction);
    add("datatype", a.record.datatype == b.record.datatype);
    add("name", a.nameWritten == b.nameWritten && a.name == b.name);
    add("reserved5", a.record.reserved5 == b.record.reserved5);
    add("list_text", a.listTextWritten == b.listTextWritten && a.listText == b.listText);
    add("flags", a.record.flags == b.record.flags);
    add("reserved8", a.record.reserved8 == b.record.reserved8);
    return out;
}

void checkVariablePlaces(CheckContext &ctx, const std::string &label, const AudioHost &first,
                         const void *firstVariable, const AudioHost &second,
                         const void *secondVariable) {
    if (!firstVariable && !secondVariable)
        return;
    if (!firstVariable || !secondVariable) {
        ctx.fail(label + " has a variable for one object and none for another: declare the "
                         "variable for every object, or for none");
        return;
    }
    const std::pair<const AudioHost *, const void *> each[] = {{&first, firstVariable},
                                                               {&second, secondVariable}};
    for (const auto &[host, variable] : each) {
        const bool shared = firstVariable == secondVariable;
        if (inLibrary(ctx, variable) || (!shared && insideObject(host->object(), variable)))
            continue;
        ctx.fail(label + "'s variable (0x" + hexDigits(reinterpret_cast<uintptr_t>(variable)) +
                 ") points neither into the object that declares it nor into the library's " +
                 "static storage" + (shared ? " (the same address for two objects)" : "") +
                 ": declare a member of the object, or a variable of the library");
        return;
    }
}

} // namespace

// --------------------------------------------------------- declarations

void checkPinDeclarations(CheckContext &ctx) {
    const auto audio =
        createCheckedAudio(ctx, AudioHost::Options(), "makeModule(0, 1) and AD_OPEN");
    AudioHost &host = *audio;
    host.open();
    int32_t count = 0;
    for (; count < kMaxDeclarations; ++count) {
        WQPinProperties record;
        std::memset(&record, 0, sizeof record);
        ctx.step("declaration " + std::to_string(count));
        const intptr_t result = host.dispatch(AD_GET_PIN_PROPERTIES, count, 0, &record);
        if (result == 0)
            break;
        const std::string label = declarationLabel(count, record);
        if (result != 1)
            ctx.fail("AD_GET_PIN_PROPERTIES for " + label + " returned " +
                     std::to_string(static_cast<long long>(result)) + ", expected 1 or 0");
        if (!pinFlagsConsistent(record))
            ctx.fail(label + ": flags " + pinFlagNames(record.flags) + " with direction " +
                     pinDirectionName(record.direction) +
                     " fail the pin-flag consistency rule: IO_PATCH_STORE needs IO_PRIVATE, "
                     "IO_UI_COMMUNICATION or direction out");
        if (!record.name)
            ctx.fail(label + " has no name (name is null)");
        for (const auto &[field, text] :
             {std::pair<const char *, const char *>{"name", record.name},
              {"list_text", record.list_text}}) {
            const UntrustedText read = UntrustedText::read(text, kMaxNameText);
            if (text && !read.ok())
                ctx.fail(label + ": its " + field + " " + read.fault(kMaxNameText) +
                         ": a pin's texts end with a NUL within " + std::to_string(kMaxNameText) +
                         " bytes");
        }
        if (record.direction != DR_IN && record.direction != DR_OUT)
            ctx.fail(label + ": direction " + std::to_string(record.direction) +
                     ", expected DR_IN (0) or DR_OUT (1)");
        if (record.datatype == DT_ENUM && !record.list_text)
            ctx.fail(label + " is an enumeration pin without a list of choices (list_text is "
                             "null)");
    }
    if (count == kMaxDeclarations)
        ctx.fail("the module answered " + std::to_string(kMaxDeclarations) +
                 " pin declarations without refusing one: a pin table ends with a refused "
                 "query");
    const int32_t refused[] = {-1, count, count + 1, count + 100, INT32_MAX, INT32_MIN};
    for (int32_t index : refused) {
        WQPinProperties record;
        std::memset(&record, 0, sizeof record);
        ctx.step("declaration " + std::to_string(index) + ", which does not exist");
        const intptr_t result = host.dispatch(AD_GET_PIN_PROPERTIES, index, 0, &record);
        if (result != 0)
            ctx.fail("AD_GET_PIN_PROPERTIES for declaration " + std::to_string(index) +
                     " returned " + std::to_string(static_cast<long long>(result)) +
                     ", expected 0: there is no such declaration" +
                     (index == -1 ? " (an audio object asks for -1 when its own walk of the "
                                    "table stops at declaration 0)"
                                  : ""));
    }
    ctx.step("AD_CLOSE");
    host.close();
    size_t seen = 0;
    failOnNewProblems(ctx, host.problems(), seen, std::string());
}

// The user picks pins by name: a name that is empty, shows control
// characters, or is shared with another pin leaves them guessing. Hosts cope,
// so these are warnings.
void checkPinNames(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const CheckedTable table = readCheckedTable(ctx);
    for (size_t i = 0; i < table.pins.size(); ++i) {
        const PinDeclaration &pin = table.pins[i];
        if (!pin.record.name)
            continue; // a failure of pin-declarations
        if (pin.name.empty()) {
            ctx.warn(pinLabel(pin) + " has an empty name: give every pin a name the user can "
                                     "recognise it by");
            continue;
        }
        for (unsigned char c : pin.name) {
            if (c < 0x20 || c == 0x7F) {
                ctx.warn(pinLabel(pin) + " has a control character (byte 0x" + hexDigits(c, 2) +
                         ") in its name: use printable characters only");
                break;
            }
        }
        for (size_t j = 0; j < i; ++j) {
            if (table.pins[j].record.name && table.pins[j].name == pin.name) {
                ctx.warn(pinLabel(pin) + " has the name of pin " +
                         std::to_string(table.pins[j].index) + ": give each pin a name of its own");
                break;
            }
        }
    }
}

namespace {

// A host keeps the name and list text pointers of a pin table and reads
// them whenever it shows the pin, for as long as the library is loaded: the
// texts must still read the same `when`.
void expectTextsLast(CheckContext &ctx, const std::vector<PinDeclaration> &table,
                     const char *when) {
    auto expectSame = [&](const PinDeclaration &d, const char *field, const char *ptr,
                          const std::string &was) {
        const UntrustedText now = UntrustedText::read(ptr, kMaxNameText);
        if (now.ok() && now.text == was)
            return;
        const std::string found =
            now.ok() ? "reads " + quoteText(now.text) : std::string("can no longer be read");
        // Labelled with the name as it read then: the module's text may be gone.
        const std::string label = "declaration " + std::to_string(d.index) +
                                  (d.nameWritten ? " (" + quoteText(d.name) + ")" : std::string());
        ctx.fail(label + ": its " + field + " " + found + " " + when + " (it read " +
                 quoteText(was) +
                 "): a host keeps the texts of a pin table as long as the library is loaded; "
                 "point them at constant texts of the library, not at a member or a string "
                 "that goes with the object");
    };
    for (const PinDeclaration &d : table) {
        if (d.nameWritten)
            expectSame(d, "name", d.record.name, d.name);
        if (d.listTextWritten)
            expectSame(d, "list_text", d.record.list_text, d.listText);
    }
}

} // namespace

void checkPinDeclarationsStable(CheckContext &ctx) {
    const auto audio =
        createCheckedAudio(ctx, AudioHost::Options(), "makeModule(0, 1) and AD_OPEN");
    AudioHost &host = *audio;
    host.open();
    const Prefill p1 = prefill(1);
    const Prefill p2 = prefill(2);
    ctx.step("every declaration into a cleared record");
    const std::vector<PinDeclaration> cleared = host.readPinDeclarations();
    ctx.step("every declaration into a record pre-filled with a first pattern");
    const std::vector<PinDeclaration> first = host.readPinDeclarations(&p1.record);
    ctx.step("every declaration into a record pre-filled with a second pattern");
    const std::vector<PinDeclaration> second = host.readPinDeclarations(&p2.record);
    ctx.step("every declaration into a cleared record, again");
    const std::vector<PinDeclaration> again = host.readPinDeclarations();
    if (cleared.size() != first.size() || cleared.size() != second.size() ||
        cleared.size() != again.size())
        ctx.stop("the number of declarations changes between queries: " +
                 std::to_string(cleared.size()) + " with a cleared record, " +
                 std::to_string(first.size()) + " and " + std::to_string(second.size()) +
                 " with pre-filled ones, " + std::to_string(again.size()) + " again cleared");

    for (size_t i = 0; i < cleared.size(); ++i) {
        const WQPinProperties &c = cleared[i].record;
        const WQPinProperties &a = first[i].record;
        const WQPinProperties &b = second[i].record;
        const std::string label = declarationLabel(static_cast<int32_t>(i), c);
        const std::string changed = differences(cleared[i], again[i]);
        if (!changed.empty())
            ctx.fail(label + " changed between two queries with a cleared record: " + changed);

        std::string mixed;
        auto note = [&](const char *field, bool ok) {
            if (!ok)
                mixed += std::string(mixed.empty() ? "" : ", ") + field;
        };
        note("variable", consistentField<void *>(c.variable, a.variable, b.variable,
                                                 p1.record.variable, p2.record.variable));
        note("direction", consistentField(c.direction, a.direction, b.direction,
                                          p1.record.direction, p2.record.direction));
        note("datatype", consistentField(c.datatype, a.datatype, b.datatype, p1.record.datatype,
                                         p2.record.datatype));
        note("flags", consistentField(c.flags, a.flags, b.flags, p1.record.flags, p2.record.flags));
        note("name", textField(c.name, a.name, b.name, p1.name, p2.name) != TextField::Mixed);
        const TextField list =
            textField(c.list_text, a.list_text, b.list_text, p1.listText, p2.listText);
        note("list_text", list != TextField::Mixed);
        if (!mixed.empty())
            ctx.fail(label + ": " + mixed +
                     " depend on what the host put in the record: a declaration writes a "
                     "field with the same value every time, or leaves it as the host filled it");
        if (!leftAlone(c.reserved5, a.reserved5, b.reserved5, p1.record.reserved5,
                       p2.record.reserved5))
            ctx.fail(label + " wrote the reserved word at offset 16 (reserved5): it belongs "
                             "to the host and is left as it was");
        if (!leftAlone(c.reserved8, a.reserved8, b.reserved8, p1.record.reserved8,
                       p2.record.reserved8))
            ctx.fail(label + " wrote the last reserved word (reserved8): it belongs to the "
                             "host and is left as it was");
        if (c.datatype != DT_ENUM && list == TextField::Written)
            ctx.fail(label + " is not an enumeration pin but wrote list_text: only an "
                             "enumeration pin carries a list of choices");
    }

    ctx.step("every declaration from a second audio object");
    AudioHost other(ctx.library(), AudioHost::Options(), &ctx.log());
    if (other.create()) {
        other.open();
        const std::vector<PinDeclaration> otherTable = other.readPinDeclarations();
        if (otherTable.size() != cleared.size())
            ctx.fail("a second audio object declares " + std::to_string(otherTable.size()) +
                     " pins, the first " + std::to_string(cleared.size()));
        for (size_t i = 0; i < otherTable.size() && i < cleared.size(); ++i) {
            const std::string label = declarationLabel(static_cast<int32_t>(i), cleared[i].record);
            // Each object may declare a variable of its own (a member): the
            // variable may differ, but not be null for one object only.
            const std::string changed = differences(cleared[i], otherTable[i], false);
            if (!changed.empty())
                ctx.fail(label + " differs between two objects: " + changed);
            checkVariablePlaces(ctx, label, host, cleared[i].record.variable, other,
                                otherTable[i].record.variable);
        }
        other.close();
    }
    expectTextsLast(ctx, cleared, "after the second object's queries and close");
    host.close();
    expectTextsLast(ctx, cleared, "after the object that declared it was closed");
}

// ----------------------------------------------------------- pin changes

void checkPinChanges(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    const CheckedTable table = readCheckedTable(ctx);
    if (table.pins.empty())
        ctx.skip("the module declares no pins");
    auto session = startCheckedSession(ctx, table, false, false);
    // This check is the one that judges what the module writes back: its
    // texts, and the pins it writes.
    session->gui().options().judgeWrittenTexts = true;
    session->gui().options().judgeInputWrites = true;
    size_t seen = 0;
    failOnNewProblems(ctx, session->problems(), seen, "opening");
    std::vector<TextCase> texts = pinTextCases();
    // Texts a user may paste: long, and with every 8-bit byte.
    std::string longList;
    for (int i = 0; longList.size() < 65536; ++i)
        longList += std::to_string(i) + ",";
    longList.resize(65536);
    texts.push_back({"64 KiB of a list of numbers", longList});
    std::string everyByte;
    for (int c = 1; c < 256; ++c)
        everyByte += static_cast<char>(c);
    texts.push_back({"every 8-bit byte from 1 to 255", everyByte});
    for (const PinDeclaration &pin : table.pins) {
        const std::string label = pinLabel(pin);
        for (const TextCase &t : texts) {
            const std::string what = label + " set to " + t.label;
            ctx.step(what);
            session->setPinText(pin.index, t.text);
            failOnNewProblems(ctx, session->problems(), seen, what);
        }
        for (int32_t v : pinIntCases()) {
            const std::string what = label + " set to the integer " + std::to_string(v);
            ctx.step(what);
            session->setPinInt(pin.index, v);
            failOnNewProblems(ctx, session->problems(), seen, what);
        }
        for (float v : pinFloatCases()) {
            const std::string what = label + " set to the float " + PinStore::formatFloat(v);
            ctx.step(what);
            session->setPinFloat(pin.index, v);
            failOnNewProblems(ctx, session->problems(), seen, what);
        }
    }
    ctx.step("closing both objects");
    session->stop();
    failOnNewProblems(ctx, session->problems(), seen, "closing");
    checkCallbacksNameTheirObject(ctx, session->log());
}

void checkPinChangesRandom(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    const CheckedTable table = readCheckedTable(ctx);
    if (table.pins.empty())
        ctx.skip("the module declares no pins");
    // A host that reports each write that changes a value, as many do.
    auto session = startCheckedSession(ctx, table, true, true);
    size_t seen = 0;
    for (int i = 0; i < 400; ++i) {
        const PinDeclaration &pin = table.pins[ctx.below(static_cast<uint32_t>(table.pins.size()))];
        std::string what = "change " + std::to_string(i) + ": " + pinLabel(pin);
        switch (ctx.below(8)) {
        case 0:
            what += " and both objects made anew";
            ctx.step(what);
            session->restart();
            break;
        case 1:
        case 2: {
            const int32_t v = ctx.below(4) == 0 ? static_cast<int32_t>(ctx.any32())
                                                : static_cast<int32_t>(ctx.below(12)) - 2;
            what += " set to the integer " + std::to_string(v);
            ctx.step(what);
            session->setPinInt(pin.index, v);
            break;
        }
        case 3: {
            const float v = static_cast<float>(static_cast<int32_t>(ctx.below(2001)) - 1000) / 8.0f;
            what += " set to the float " + PinStore::formatFloat(v);
            ctx.step(what);
            session->setPinFloat(pin.index, v);
            break;
        }
        default: {
            const std::string t = randomPinText(ctx, ctx.below(8) == 0 ? 3000 : 40);
            what += " set to a text of " + std::to_string(t.size()) + " bytes";
            ctx.step(what);
            session->setPinText(pin.index, t);
            break;
        }
        }
        if (session->gui().nestingLimitReached())
            ctx.stop(what + ": the module's own writes kept coming back to it, " +
                     std::to_string(kEchoNestingLimit) +
                     " calls deep, although the host reports only writes that change a value");
        failOnNewProblems(ctx, session->problems(), seen, what);
    }
    ctx.step("closing both objects");
    session->stop();
    failOnNewProblems(ctx, session->problems(), seen, "closing");
    checkCallbacksNameTheirObject(ctx, session->log());
}

void checkNestedEcho(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    const CheckedTable table = readCheckedTable(ctx);
    if (table.pins.empty())
        ctx.skip("the module declares no pins");
    // Every write of the module is reported back at once, from inside the
    // write, changed or not: the module must guard against its own echo.
    auto session = startCheckedSession(ctx, table, true, false);
    const std::vector<std::string> texts = {"1", "a=1,b=2", "", "red,green,blue", "0"};
    for (const PinDeclaration &pin : table.pins) {
        const std::string label = pinLabel(pin);
        for (const std::string &t : texts) {
            const std::string what = label + " set to " + quoteText(t) + " with every write echoed";
            ctx.step(what);
            session->gui().resetNestingReport();
            session->setPinText(pin.index, t);
            if (session->gui().nestingLimitReached()) {
                ctx.fail(label +
                         ": the module's own writes kept coming back to it; the nesting "
                         "reached " +
                         std::to_string(kEchoNestingLimit) +
                         " calls without ending (a write reported back must not lead to the "
                         "same write again)");
                break;
            }
        }
    }
    ctx.step("closing both objects");
    session->stop();
}

} // namespace wqhost
