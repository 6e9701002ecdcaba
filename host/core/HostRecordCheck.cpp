#include "host/core/HostRecordCheck.h"

#include "host/text/NumberText.h"

#include <cstring>
#include <string>

namespace wqhost {

namespace {

// The checks of the words both records have, in the words' order; `words`
// says what the record is ("audio record", "GUI record").
class RecordWords {
public:
    explicit RecordWords(const char *words) : m_words(words) {}

    // `memory` and `size`: the record's bytes, where the magic may show
    // further on.
    void magic(uint32_t found, uint32_t expected, const char *name, const void *memory,
               size_t size) {
        if (found == expected)
            return;
        std::string text = "magic is " + hexText(found) + ", expected " + hexText(expected) +
                           " (\"" + name + "\")";
        // An object that embeds its record has the magic a few words after
        // its start: makeModule returned the object's address.
        for (size_t at = 4; at + 4 <= size; at += 4) {
            uint32_t word = 0;
            std::memcpy(&word, static_cast<const unsigned char *>(memory) + at, 4);
            if (word == expected) {
                text += "; it is " + std::to_string(at) +
                        " bytes further on: return the object's record, not the object";
                break;
            }
        }
        add(ProblemCode::RecordMagic, text);
    }
    void version(int32_t found) {
        if (found != WQ_RECORD_VERSION)
            add(ProblemCode::RecordVersion, "version is " + std::to_string(found) + ", expected " +
                                                std::to_string(WQ_RECORD_VERSION));
    }
    void hostValue(intptr_t found, intptr_t given) {
        if (found != given)
            add(ProblemCode::RecordHostValue,
                "hostValue is " + hexText(static_cast<uint64_t>(found)) +
                    ", expected the value given to makeModule, " +
                    hexText(static_cast<uint64_t>(given)) + ", unchanged");
    }
    void object(const void *found) {
        if (!found)
            add(ProblemCode::RecordBackPointer,
                "object word (the pointer back to the object) is null");
    }
    void entry(bool set, const char *what) {
        if (!set)
            add(ProblemCode::RecordNullEntry, std::string(what) + " is null");
    }
    // Reserved words, numbered as the record's words from 1.
    void reserved(const int32_t *words, int count, int firstWord) {
        for (int i = 0; i < count; ++i)
            if (words[i] != 0)
                add(ProblemCode::RecordReserved, "word " + std::to_string(firstWord + i) +
                                                     " (reserved) is " + std::to_string(words[i]) +
                                                     ", expected 0");
    }

    std::vector<Problem> problems;

private:
    void add(ProblemCode code, const std::string &what) {
        problems.push_back(Problem{code, m_words + (" " + what)});
    }
    std::string m_words;
};

} // namespace

std::vector<Problem> recordProblems(const WQAudioHostRecord &r, intptr_t hostValue) {
    RecordWords words("audio record");
    words.magic(r.magic, WQ_AUDIO_MAGIC, "WQPL", &r, sizeof r);
    words.version(r.version);
    words.hostValue(r.hostValue, hostValue);
    words.object(r.object);
    words.reserved(&r.reserved0, 1, 5);
    words.entry(r.dispatcher != nullptr, "dispatcher entry");
    words.entry(r.process != nullptr, "process word");
    words.entry(r.eventHandler != nullptr, "event entry");
    words.reserved(r.reserved1, 4, 9);
    return words.problems;
}

std::vector<Problem> recordProblems(const WQGuiHostRecord &r, intptr_t hostValue) {
    RecordWords words("GUI record");
    words.magic(r.magic, WQ_GUI_MAGIC, "WQPM", &r, sizeof r);
    words.version(r.version);
    words.entry(r.dispatcher != nullptr, "dispatcher entry");
    words.hostValue(r.hostValue, hostValue);
    words.object(r.object);
    words.reserved(r.reserved, 5, 6);
    return words.problems;
}

} // namespace wqhost
