#include "host/fuzz/SessionGenerator.h"

#include "host/fuzz/FuzzRandom.h"
#include "host/text/QuotedText.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdio>
#include <limits>

namespace wqhost {

namespace {

// ------------------------------------------------------------ values

// Texts a host may hand a module, the hostile ones first among them.
std::string drawText(FuzzRandom &r) {
    static const char *const kSeparatorsOnly[] = {",", ",,,", "=", ",=,=", " , ", "==", ",,=,,"};
    static const char *const kNumbers[] = {
        "0",   "1",    "-1", "2147483647", "-2147483648", "99999999999999999999",
        "1e9", "0x10", " 7", "+3",         "007",         "-"};
    static const size_t kLongSizes[] = {1024, 1500, 4097, 5000, 9000, 65536, 70000};
    static const char kWordBytes[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    switch (r.below(9)) {
    case 0: return std::string();
    case 1: { // long: digits, letters, or a list
        const size_t size = r.pick(kLongSizes);
        static const char *const kFills[] = {"1234567890", "abcdefghij", "item,", "a=1,"};
        const std::string fill = r.pick(kFills);
        std::string t;
        t.reserve(size);
        while (t.size() < size)
            t += fill;
        t.resize(size);
        return t;
    }
    case 2: { // 8-bit bytes
        std::string t;
        for (int64_t n = r.between(1, 40); n > 0; --n)
            t.push_back(static_cast<char>(r.between(0x80, 0xFF)));
        return t;
    }
    case 3: { // one word, no separators
        std::string t;
        for (int64_t n = r.between(1, 30); n > 0; --n)
            t.push_back(kWordBytes[r.below(sizeof kWordBytes - 1)]);
        return t;
    }
    case 4: return r.pick(kSeparatorsOnly);
    case 5: return r.pick(kNumbers);
    case 6: { // a list of names or of name=value items, empty items among them
        std::string t;
        for (int64_t n = r.between(1, 12); n > 0; --n) {
            if (!t.empty())
                t += ",";
            if (r.chance(15))
                continue;
            for (int64_t k = r.between(1, 8); k > 0; --k)
                t.push_back(kWordBytes[r.below(26)]);
            if (r.chance(50))
                t += "=" + std::to_string(r.between(-5, 100));
        }
        return t;
    }
    case 7: { // any bytes but NUL
        std::string t;
        for (int64_t n = r.between(1, 64); n > 0; --n)
            t.push_back(static_cast<char>(r.between(1, 0xFF)));
        return t;
    }
    default: { // a small decimal number
        return std::to_string(r.between(-20, 1000));
    }
    }
}

int64_t drawInt(FuzzRandom &r) {
    static const int64_t kExtremes[] = {0,
                                        1,
                                        -1,
                                        2,
                                        -2,
                                        255,
                                        256,
                                        32767,
                                        -32768,
                                        65535,
                                        65536,
                                        std::numeric_limits<int32_t>::max(),
                                        std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max() - 1,
                                        std::numeric_limits<int32_t>::min() + 1};
    switch (r.below(3)) {
    case 0: return r.pick(kExtremes);
    case 1: return r.between(-3, 15);
    default: return static_cast<int32_t>(static_cast<uint32_t>(r.next()));
    }
}

std::string drawFloat(FuzzRandom &r) {
    static const char *const kSpecial[] = {"0",     "-0",    "1",       "-1",      "0.5",
                                           "1e-45", "1e-38", "3.4e38",  "-3.4e38", "1e30",
                                           "-1e30", "1e-7",  "123.456", "100000"};
    if (r.chance(60))
        return r.pick(kSpecial);
    char text[32];
    const double v = static_cast<double>(r.between(-1000000, 1000000)) / 997.0;
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// A sample value of a signal: within the range audio carries, its edges and
// a denormal among them (the extremes of floats belong to control values).
std::string drawSample(FuzzRandom &r) {
    static const char *const kSpecial[] = {"0", "1", "-1", "0.5", "-0.25", "1e-38", "1e-6"};
    if (r.chance(50))
        return r.pick(kSpecial);
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", static_cast<double>(r.between(-1000, 1000)) / 1000.0);
    return text;
}

const char *typeWord(int32_t dataType) {
    switch (dataType) {
    case DT_TEXT: return "text";
    case DT_FLOAT: return "float";
    default: return "int";
    }
}

// ------------------------------------------------------------ commands

class Drawing {
public:
    Drawing(const FuzzModule &module, FuzzRandom &random) : m_module(module), m_r(random) {
        for (const FuzzPin &p : module.pins) {
            if (p.dataType == DT_FSAMPLE) {
                if (p.sampleInput)
                    m_sampleInputs.push_back(&p);
                continue;
            }
            m_settable.push_back(&p);
            // A host sets inputs far more often than outputs.
            if (p.direction == DR_IN) {
                m_settable.push_back(&p);
                m_settable.push_back(&p);
            }
        }
    }

    std::string next() {
        if (m_r.chance(kObjectChance))
            return objectLine();
        if (!current().open)
            return closedLine();
        struct Choice {
            unsigned weight;
            std::string (Drawing::*draw)();
        };
        const bool audio = m_module.audioSide;
        const Choice choices[] = {
            {m_settable.empty() ? 0u : 40u, &Drawing::setLine},
            {audio ? 16u : 0u, &Drawing::processLine},
            {audio && m_module.audioPins ? 5u : 0u, &Drawing::blockLine},
            {audio && m_module.audioPins ? 4u : 0u, &Drawing::rateLine},
            {m_sampleInputs.empty() ? 0u : 6u, &Drawing::signalLine},
            {5u, &Drawing::echoLine},
            {4u, &Drawing::closeLine},
            {4u, &Drawing::recreateLine},
        };
        unsigned total = 0;
        for (const Choice &c : choices)
            total += c.weight;
        uint64_t at = m_r.below(total);
        for (const Choice &c : choices) {
            if (at < c.weight)
                return (this->*c.draw)();
            at -= c.weight;
        }
        return echoLine();
    }

private:
    std::string closedLine() {
        switch (m_r.below(6)) {
        case 0: return echoLine();
        case 1:
            if (m_module.audioSide && m_module.audioPins)
                return blockLine();
            break;
        case 2: current().open = true; return "recreate";
        default: break;
        }
        current().open = true;
        return "open";
    }

    std::string setLine() {
        const FuzzPin &p = *m_settable[m_r.below(m_settable.size())];
        const std::string head =
            "set " + std::to_string(p.index) + " " + typeWord(p.dataType) + " ";
        std::string line;
        if (p.dataType == DT_TEXT)
            line = head + quoteText(drawText(m_r));
        else if (p.dataType == DT_FLOAT)
            line = head + drawFloat(m_r);
        else
            line = head + std::to_string(drawInt(m_r));
        if (p.audioControl && p.dataType != DT_TEXT && m_r.chance(35)) {
            const int64_t at = m_r.chance(50)
                                   ? m_r.between(0, static_cast<int64_t>(current().block) - 1)
                                   : m_r.between(0, 4 * 4096);
            line += " at " + std::to_string(at);
        }
        return line;
    }

    std::string processLine() {
        static const int64_t kCounts[] = {1, 1, 2, 3, 4, 8};
        return "process " + std::to_string(m_r.pick(kCounts));
    }

    std::string blockLine() {
        static const int64_t kSizes[] = {1, 2, 3, 16, 37, 64, 128, 511, 1024, 4095, 4096};
        current().block = m_r.chance(75) ? m_r.pick(kSizes) : m_r.between(1, 4096);
        return "block " + std::to_string(current().block);
    }

    std::string rateLine() {
        static const int64_t kRates[] = {1, 8000, 22050, 44100, 48000, 96000, 192000, 384000};
        return "rate " +
               std::to_string(m_r.chance(75) ? m_r.pick(kRates) : m_r.between(1000, 400000));
    }

    std::string signalLine() {
        const FuzzPin &p = *m_sampleInputs[m_r.below(m_sampleInputs.size())];
        const std::string head = "signal " + std::to_string(p.index) + " ";
        switch (m_r.below(5)) {
        case 0: return head + "constant " + drawSample(m_r);
        case 1:
            return head + "sine " + std::to_string(m_r.between(0, 30000)) + " " + drawSample(m_r);
        case 2: return head + "impulse " + std::to_string(m_r.between(0, 8192));
        case 3:
            return head + "step " + drawSample(m_r) + " " + std::to_string(m_r.between(0, 8192));
        default:
            return head + "noise " + drawSample(m_r) + " " + std::to_string(m_r.between(0, 1000));
        }
    }

    std::string echoLine() { return m_r.chance(50) ? "echo on" : "echo off"; }
    std::string closeLine() {
        current().open = false;
        return "close";
    }
    std::string recreateLine() { return "recreate"; }

    // Another object, or back to one made before. A new one starts open,
    // with the block size of the one it was made from.
    std::string objectLine() {
        const size_t number = static_cast<size_t>(m_r.between(1, kObjects));
        Object &next = m_objects[number - 1];
        if (!next.made)
            next = Object{true, true, current().block};
        m_current = number - 1;
        return "object " + std::to_string(number);
    }

    struct Object {
        bool made = false;
        bool open = true;
        int64_t block = 64;
    };
    Object &current() { return m_objects[m_current]; }

    // The share of lines, in percent, that switch objects.
    static constexpr unsigned kObjectChance = 8;
    static constexpr int64_t kObjects = 3;

    const FuzzModule &m_module;
    FuzzRandom &m_r;
    std::vector<const FuzzPin *> m_settable;
    std::vector<const FuzzPin *> m_sampleInputs;
    Object m_objects[kObjects] = {{true, true, 64}, {}, {}};
    size_t m_current = 0;
};

} // namespace

std::vector<std::string> SessionGenerator::session(uint64_t seed, size_t minLines,
                                                   size_t maxLines) const {
    FuzzRandom r(seed);
    Drawing drawing(m_module, r);
    const size_t count = static_cast<size_t>(
        r.between(static_cast<int64_t>(minLines), static_cast<int64_t>(maxLines)));
    std::vector<std::string> lines;
    for (size_t i = 0; i < count; ++i)
        lines.push_back(drawing.next());
    return lines;
}

} // namespace wqhost
