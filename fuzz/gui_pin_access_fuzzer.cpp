// Fuzzes the framework's GUI pin access (WQGuiPin) through the reference
// host: a probe module built on the framework reads pins as 8-bit and as
// 16-bit text while the host holds any values and answers text requests with
// null, and wide-text length requests with negative, huge or too small
// lengths. The list module itself makes no wide-text request, so this is
// where those answers meet the framework.
//
// Invariants: an 8-bit read gives the host's text up to its first NUL, or the
// empty text after a null answer; a read into a buffer of n bytes gives at
// most n - 1 of them, NUL-terminated, and their count; a 16-bit read gives
// the host's units up to the first zero unit, never more than the reported
// length (a negative length reads as 0); the host finds nothing wrong with
// the requests.
#include "fuzz/byte_reader.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/gui_pin_probe.h"
#include "host/trace/CallLog.h"
#include "host/core/GuiHost.h"
#include "host/core/ModuleLibrary.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Lengths a host may report for a wide text are taken at their word by the
// framework, which allocates that many units; memory exhaustion is not
// caught by design. Lengths up to a million units keep each run within the
// fuzzer's memory and time limits.
constexpr int32_t kWideLengthBound = 1 << 20;

int32_t boundedLength(int32_t n) { return n > kWideLengthBound ? n % kWideLengthBound : n; }

using wqhost::GuiHost;

constexpr int kMaxActions = 64;
constexpr size_t kLongTextLimit = 16384;

// The pins the host holds: one of each storage form, and the two reports.
constexpr int32_t kPins[] = {0, 1, 2, 3, kNarrowReport, kWideReport, kCountReport};
constexpr int32_t kPinTypes[] = {DT_TEXT, DT_INT, DT_FLOAT, DT_ENUM, DT_TEXT, DT_TEXT, DT_INT};
constexpr size_t kPinCount = sizeof kPins / sizeof kPins[0];
constexpr size_t kValuePinCount = 4;

std::shared_ptr<const wqhost::ModuleLibrary> &library() {
    static std::shared_ptr<const wqhost::ModuleLibrary> lib =
        wqhost::ModuleLibrary::load(WQ_GUI_PIN_PROBE_LIBRARY);
    return lib;
}

std::string hexUnits(const std::u16string &units) {
    std::string hex;
    for (char16_t u : units) {
        char digits[5];
        std::snprintf(digits, sizeof digits, "%04x", static_cast<unsigned>(u));
        hex += digits;
    }
    return hex;
}

enum class Action : uint8_t {
    SetText,
    SetLongText,
    SetInt,
    SetFloat,
    NullTextOnce,
    WideLengthOnce,
    NarrowRead,
    WideRead,
    BufferRead,
    Count
};

class Driver {
public:
    Driver() : m_host(library(), GuiHost::Options(), &m_log) {
        m_log.setKeeping(false);
        for (size_t i = 0; i < kPinCount; ++i)
            m_host.pins().declare(kPins[i], kPinTypes[i]);
        FUZZ_REQUIRE(m_host.create());
        FUZZ_REQUIRE(m_host.open() == 0);
    }

    void run(ByteReader &in) {
        for (int i = 0; i < kMaxActions && !in.empty(); ++i) {
            step(in);
            FUZZ_REQUIRE(m_host.problems().empty());
        }
    }

private:
    // A pin to read or set. The report pins are left out: reading one and
    // writing the report back would quadruple its text with every read.
    static int32_t pin(ByteReader &in) { return kPins[in.u8() % kValuePinCount]; }

    static intptr_t wideLength(ByteReader &in) {
        switch (in.u8() % 4) {
        case 0: // negative
            return -1 - static_cast<intptr_t>(in.u32() & 0x7FFFFFFF);
        case 1: // up to a million units, mostly more than the text has
            return static_cast<intptr_t>(in.u32() % kWideLengthBound);
        case 2: // beyond 32 bits: only the low 32 bits travel
            return static_cast<intptr_t>((uint64_t{in.u32()} << 32) | (in.u32() & 0xFFFFu));
        default: // around the text's own length
            return boundedLength(in.number());
        }
    }

    std::string longText(ByteReader &in) {
        const size_t length = in.u16() % (kLongTextLimit + 1);
        std::string piece = in.text();
        if (piece.empty())
            piece.push_back('\0');
        std::string text;
        while (text.size() < length)
            text += piece;
        text.resize(length);
        return text;
    }

    // What a 16-bit read must give for the pin's text as the host holds it.
    std::u16string expectedWide(int32_t p) const {
        const std::u16string units = GuiHost::widen(m_host.pins().text(p));
        size_t n = units.size() + 1;
        if (m_wideArmed) {
            // The length travels as a 32-bit integer; negative reads as 0.
            const uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(m_wideLength));
            n = low > 0x7FFFFFFFu ? 0 : low;
        }
        std::u16string seen = units.substr(0, std::min(n, units.size()));
        return seen.substr(0, seen.find(u'\0'));
    }

    void step(ByteReader &in) {
        const auto action = static_cast<Action>(in.u8() % static_cast<uint8_t>(Action::Count));
        switch (action) {
        case Action::SetText: {
            const int32_t p = pin(in);
            m_host.pins().setText(p, in.text());
            break;
        }
        case Action::SetLongText: {
            const int32_t p = pin(in);
            m_host.pins().setText(p, longText(in));
            break;
        }
        case Action::SetInt: {
            const int32_t p = pin(in);
            m_host.pins().setInt(p, in.i32());
            break;
        }
        case Action::SetFloat: {
            const int32_t p = pin(in);
            const uint32_t bits = in.u32();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            m_host.pins().setFloat(p, f);
            break;
        }
        case Action::NullTextOnce:
            m_host.answerNullTextOnce();
            m_nullArmed = true;
            break;
        case Action::WideLengthOnce:
            m_wideLength = wideLength(in);
            m_host.answerWideLengthOnce(m_wideLength);
            m_wideArmed = true;
            break;
        case Action::NarrowRead: {
            const int32_t p = pin(in);
            const std::string text = m_host.pins().text(p);
            const std::string expected =
                m_nullArmed ? std::string() : text.substr(0, text.find('\0'));
            FUZZ_REQUIRE(m_host.dispatch(GD_OPCODE_11, p) == 0);
            m_nullArmed = false;
            FUZZ_REQUIRE(m_host.pins().text(kNarrowReport) == expected);
            break;
        }
        case Action::BufferRead: {
            const int32_t p = pin(in);
            // Sizes around the text's own length, and now and then anything.
            const int32_t size = in.number();
            const int32_t cut = size < 0 ? 0 : size % (kMaxBufferSize + 1);
            const std::string text = m_host.pins().text(p);
            std::string expected = m_nullArmed ? std::string() : text.substr(0, text.find('\0'));
            if (cut == 0)
                expected.clear();
            else if (expected.size() > static_cast<size_t>(cut) - 1)
                expected.resize(static_cast<size_t>(cut) - 1);
            FUZZ_REQUIRE(m_host.dispatch(GD_OPCODE_3, p, size) == 0);
            m_nullArmed = false;
            FUZZ_REQUIRE(m_host.pins().text(kNarrowReport) == expected);
            FUZZ_REQUIRE(m_host.pins().intValue(kCountReport) ==
                         static_cast<int32_t>(expected.size()));
            break;
        }
        case Action::WideRead: {
            const int32_t p = pin(in);
            const std::string expected = hexUnits(expectedWide(p));
            FUZZ_REQUIRE(m_host.dispatch(GD_OPCODE_12, p) == 0);
            m_wideArmed = false;
            FUZZ_REQUIRE(m_host.pins().text(kWideReport) == expected);
            break;
        }
        case Action::Count: break;
        }
    }

    wqhost::CallLog m_log;
    GuiHost m_host;
    bool m_nullArmed = false;
    bool m_wideArmed = false;
    intptr_t m_wideLength = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    library();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Driver driver;
    ByteReader in(data, size);
    driver.run(in);
    return 0;
}
