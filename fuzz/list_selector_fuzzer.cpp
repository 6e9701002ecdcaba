// Fuzzes the list selector as the host meets it: the built module library,
// loaded by the reference host, driven by a decoded sequence of user and
// host actions, with the GUI-side invariants checked after every action.
//
// Actions (one byte each, then their arguments; see Action below): set pin 0
// to any bytes of any length, select any number, write any text to pin 3 or
// pin 2, give pin 1 a text, notify any pin index, open, close and recreate
// the object, echo on, off or only on changes, the nesting limit, a null
// answer to the next text request, a negative or huge answer to the next
// wide-text length request, and any other dispatcher opcode.
//
// Invariants:
//  - after every pin-1 handling, pins 2 and 3 hold the name of the selected
//    item of the list text the module was given (its first 1023 bytes) and
//    the selection as decimal text, or are as they were when there is no
//    such item; without a pin-1 handling the module does not touch them;
//  - at most one pin-1 handling per action, and nothing nested inside a
//    pin-1 handling writes pin 1 (pin 3's own write never feeds back);
//  - the list text handed to the host as pin 1's choices is at most 1023
//    bytes; dispatcher results are as the interface fixes them; the host
//    finds nothing wrong with the record or the requests.
#include "fuzz/byte_reader.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/list_item_reference.h"
#include "fuzz/module_fixture.h"
#include "host/core/AudioHost.h"
#include "host/trace/CallLog.h"
#include "host/core/GuiHost.h"
#include "host/core/ModuleLibrary.h"
#include "host/pins/PinDeclaration.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Lengths a host may report for a wide text are taken at their word by the
// framework, which allocates that many units; memory exhaustion is not
// caught by design. Lengths up to a million units keep each run within the
// fuzzer's memory and time limits.
constexpr int32_t kWideLengthBound = 1 << 20;

int32_t boundedLength(int32_t n) { return n > kWideLengthBound ? n % kWideLengthBound : n; }

using wqhost::CallKind;
using wqhost::CallLog;
using wqhost::CallRecord;
using wqhost::Direction;
using wqhost::GuiHost;
using wqhost::Problem;
using wqhost::ProblemCode;
using wqhost::Side;

constexpr int32_t kListPin = 0;
constexpr int32_t kSelectionPin = 1;
constexpr int32_t kNamePin = 2;
constexpr int32_t kValuePin = 3;

// The module works on the first 1023 bytes of the list text.
constexpr size_t kListTextLimit = 1023;
// Long list texts are built by repeating a piece up to this length.
constexpr size_t kLongTextLimit = 16384;
constexpr int kMaxActions = 96;

// The library and its pin table, read once from an open audio-side object.
const ModuleFixture &fixture() {
    static const ModuleFixture f = [] {
        ModuleFixture made = loadModuleFixture(WQ_QUENDOR_LIBRARY, ReadPins::AfterOpen);
        FUZZ_REQUIRE(made.pins.size() == 4);
        return made;
    }();
    return f;
}

// The text the module sees of a host text: up to its first NUL.
std::string asSeen(const std::string &text) { return text.substr(0, text.find('\0')); }

std::string decimal(int32_t v) { return std::to_string(static_cast<long long>(v)); }

enum class Action : uint8_t {
    SetListText,
    SetLongListText,
    SelectItem,
    WriteNumber,
    WriteName,
    SetSelectionText,
    NotifyPin,
    Open,
    Close,
    Recreate,
    Echo,
    NestingLimit,
    NullTextOnce,
    WideLengthOnce,
    OtherOpcode,
    Count
};

struct Outputs {
    std::string name;
    std::string value;
    bool operator==(const Outputs &o) const { return name == o.name && value == o.value; }
};

class Driver {
public:
    explicit Driver(const ModuleFixture &f) : m_host(f.library, GuiHost::Options(), &m_log) {
        m_host.declarePins(f.pins);
        create(true);
    }

    void run(ByteReader &in) {
        for (int i = 0; i < kMaxActions && !in.empty(); ++i)
            step(in);
    }

private:
    Outputs outputs() const {
        return Outputs{m_host.pins().text(kNamePin), m_host.pins().text(kValuePin)};
    }

    void create(bool open) {
        FUZZ_REQUIRE(m_host.create());
        FUZZ_REQUIRE(m_host.checkRecord().empty());
        if (open)
            FUZZ_REQUIRE(m_host.open() == 0);
    }

    // A user's write: the host stores the value, then tells a live object.
    template <class Write> void userWrite(int32_t pin, Write write) {
        write();
        m_base = outputs();
        if (m_host.isLive())
            FUZZ_REQUIRE(m_host.notifyPinChanged(pin) == 0);
    }

    void writeText(int32_t pin, const std::string &text) {
        userWrite(pin, [&] { m_host.pins().setText(pin, text); });
    }

    std::string longText(ByteReader &in) {
        const size_t length = in.u16() % (kLongTextLimit + 1);
        std::string piece = in.text();
        if (piece.empty())
            piece = ",";
        std::string text;
        text.reserve(length);
        while (text.size() < length)
            text += piece;
        text.resize(length);
        return text;
    }

    intptr_t wideLength(ByteReader &in) {
        switch (in.u8() % 4) {
        case 0: // negative
            return -1 - static_cast<intptr_t>(in.u32() & 0x7FFFFFFF);
        case 1: // more than the text holds, within what memory can give
            return static_cast<intptr_t>(in.u32() % kWideLengthBound);
        case 2: // beyond 32 bits: only the low 32 bits travel
            return static_cast<intptr_t>((uint64_t{in.u32()} << 32) | (in.u32() & 0xFFFFu));
        default: return boundedLength(in.number());
        }
    }

    void otherOpcode(ByteReader &in) {
        int32_t opcode = in.number();
        if (opcode == GD_OPEN || opcode == GD_CLOSE || opcode == GD_PIN_CHANGED)
            opcode += 100; // those have actions of their own
        const int32_t index = in.number();
        const int32_t value = in.number();
        // The GUI object passes ptr on without reading it; any address will do.
        void *ptr = reinterpret_cast<void *>(static_cast<intptr_t>(in.i32()));
        float opt;
        const uint32_t bits = in.u32();
        std::memcpy(&opt, &bits, sizeof opt);
        const intptr_t result = m_host.dispatch(opcode, index, value, ptr, opt);
        FUZZ_REQUIRE(result == (opcode == GD_OPCODE_10 ? 1 : 0));
    }

    void step(ByteReader &in) {
        m_log.clear();
        m_base = outputs();
        const bool live = m_host.isLive();
        const auto action = static_cast<Action>(in.u8() % static_cast<uint8_t>(Action::Count));
        switch (action) {
        case Action::SetListText: writeText(kListPin, in.text()); break;
        case Action::SetLongListText: writeText(kListPin, longText(in)); break;
        case Action::SelectItem: {
            const int32_t item = in.number();
            userWrite(kSelectionPin, [&] { m_host.pins().setInt(kSelectionPin, item); });
            break;
        }
        case Action::WriteNumber: writeText(kValuePin, in.text()); break;
        case Action::WriteName: writeText(kNamePin, in.text()); break;
        case Action::SetSelectionText: writeText(kSelectionPin, in.text()); break;
        case Action::NotifyPin: {
            const int32_t pin = in.number();
            if (live)
                FUZZ_REQUIRE(m_host.notifyPinChanged(pin) == 0);
            break;
        }
        case Action::Open: {
            const int32_t index = in.number();
            if (live)
                FUZZ_REQUIRE(m_host.dispatch(GD_OPEN, index) == 0);
            break;
        }
        case Action::Close:
            if (live)
                FUZZ_REQUIRE(m_host.close() == 1);
            break;
        case Action::Recreate: {
            const bool open = (in.u8() & 1) == 0;
            if (live)
                FUZZ_REQUIRE(m_host.close() == 1);
            create(open);
            break;
        }
        case Action::Echo: {
            const uint8_t mode = in.u8();
            m_host.setEcho((mode & 1) != 0);
            m_host.options().echoOnlyChanges = (mode & 2) != 0;
            break;
        }
        case Action::NestingLimit: m_host.setNestingLimit(1 + in.u8() % 16); break;
        case Action::NullTextOnce: m_host.answerNullTextOnce(); break;
        case Action::WideLengthOnce: m_host.answerWideLengthOnce(wideLength(in)); break;
        case Action::OtherOpcode:
            if (live)
                otherOpcode(in);
            break;
        case Action::Count: break;
        }
        check();
    }

    // The invariants, from the pins and from this action's part of the log.
    void check() {
        const std::vector<CallRecord> &calls = m_log.calls();

        // Open dispatcher calls around each record, innermost last.
        std::vector<const CallRecord *> open;
        const CallRecord *selectionHandling = nullptr;
        int selectionHandlings = 0;
        bool nullListText = false;
        for (const CallRecord &c : calls) {
            while (!open.empty() && open.back()->depth >= c.depth)
                open.pop_back();
            const bool insideSelection =
                std::any_of(open.begin(), open.end(), [](const CallRecord *d) {
                    return d->opcode == GD_PIN_CHANGED && d->index == kSelectionPin;
                });

            if (c.kind == CallKind::Dispatch && c.side == Side::Gui) {
                if (c.opcode == GD_PIN_CHANGED && c.index == kSelectionPin) {
                    // A pin-1 handling never runs inside another one.
                    FUZZ_REQUIRE(!insideSelection);
                    selectionHandling = &c;
                    ++selectionHandlings;
                }
                open.push_back(&c);
                continue;
            }
            if (c.kind != CallKind::Callback)
                continue;
            FUZZ_REQUIRE(c.returned);
            if (c.opcode == GH_PIN_SET_VALUE && c.index == kSelectionPin)
                FUZZ_REQUIRE(!insideSelection);
            if (c.opcode == GH_PIN_SET_LIST_TEXT)
                FUZZ_REQUIRE(c.index == kSelectionPin && c.text.size() <= kListTextLimit);
            // The list text a pin-1 handling read came back null.
            if (c.opcode == GH_PIN_GET_TEXT && c.index == kListPin && !open.empty() &&
                open.back() == selectionHandling && c.result == 0)
                nullListText = true;
        }
        FUZZ_REQUIRE(selectionHandlings <= 1);

        const Outputs now = outputs();
        if (selectionHandling == nullptr) {
            FUZZ_REQUIRE(now == m_base);
        } else {
            const std::string list =
                nullListText ? std::string()
                             : asSeen(m_host.pins().text(kListPin)).substr(0, kListTextLimit);
            const int32_t selection = m_host.pins().intValue(kSelectionPin);
            std::string name;
            if (referenceItemName(list, selection, name))
                FUZZ_REQUIRE((now == Outputs{name, decimal(selection)}));
            else
                FUZZ_REQUIRE(now == m_base);
        }

        if (m_host.isLive())
            FUZZ_REQUIRE(m_host.checkRecord().empty());
        for (const Problem &p : m_host.problems())
            FUZZ_REQUIRE(p.code == ProblemCode::EchoNestingLimit); // the host's own limit
        m_host.clearProblems();
    }

    CallLog m_log;
    GuiHost m_host;
    Outputs m_base; // pins 2 and 3 after the user's own write of this action
};

} // namespace

// The library is loaded before fuzzing starts, so that libFuzzer counts its
// coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Driver driver(fixture());
    ByteReader in(data, size);
    driver.run(in);
    return 0;
}
