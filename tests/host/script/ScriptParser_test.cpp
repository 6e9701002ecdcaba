// The script language of `wqhost run`: what each line reads as, and the
// mistakes it refuses with the line they are on.
#include "host/script/ScriptParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <string>

using namespace wqhost;

namespace {

struct Parsed {
    const char *line;
    ScriptOp op;
    int32_t pin;      // -1: not a pin command; -2: named pin
    const char *text; // the value's text, or null when not checked
    ScriptValue::Kind kind;
    int32_t number;
    bool flag; // on, or negated
};

void PrintTo(const Parsed &p, std::ostream *os) { *os << p.line; }

class ScriptLineTest : public ::testing::TestWithParam<Parsed> {};

TEST_P(ScriptLineTest, ReadsAs) {
    const Parsed &p = GetParam();
    ScriptCommand c;
    ASSERT_TRUE(parseScriptLine(p.line, 7, c)) << p.line;
    EXPECT_EQ(c.op, p.op) << p.line;
    EXPECT_EQ(c.line, 7);
    if (p.pin >= 0) {
        EXPECT_FALSE(c.pin.named);
        EXPECT_EQ(c.pin.index, p.pin) << p.line;
    } else if (p.pin == -2) {
        EXPECT_TRUE(c.pin.named) << p.line;
    }
    if (p.text) {
        EXPECT_EQ(c.value.text, std::string(p.text)) << p.line;
        EXPECT_EQ(c.value.kind, p.kind) << p.line;
    }
    if (p.op == ScriptOp::Process || p.op == ScriptOp::ExpectProblems) {
        EXPECT_EQ(c.number, p.number) << p.line;
    }
    if (p.op == ScriptOp::Echo || p.op == ScriptOp::Trace) {
        EXPECT_EQ(c.on, p.flag) << p.line;
    }
    if (p.op == ScriptOp::ExpectPin || p.op == ScriptOp::ExpectChoices ||
        p.op == ScriptOp::ExpectProblems) {
        EXPECT_EQ(c.negated, p.flag) << p.line;
    }
}

using K = ScriptValue::Kind;

INSTANTIATE_TEST_SUITE_P(
    Commands, ScriptLineTest,
    ::testing::Values(
        Parsed{"list \"red,green,blue\"", ScriptOp::Set, -2, "red,green,blue", K::Text, 0, false},
        Parsed{"list a=1,b=2", ScriptOp::Set, -2, "a=1,b=2", K::Text, 0, false},
        Parsed{"list \"\"", ScriptOp::Set, -2, "", K::Text, 0, false},
        Parsed{"list \"a, b\"  # a comment", ScriptOp::Set, -2, "a, b", K::Text, 0, false},
        Parsed{"list \"#not a comment\"", ScriptOp::Set, -2, "#not a comment", K::Text, 0, false},
        Parsed{"list \"caf\\xe9\\x80\\xFF\"", ScriptOp::Set, -2, "caf\xe9\x80\xff", K::Text, 0,
               false},
        Parsed{"list \"q\\\"b\\\\s\\n\\t\\r\"", ScriptOp::Set, -2, "q\"b\\s\n\t\r", K::Text, 0,
               false},
        Parsed{"\tselect   -3\r", ScriptOp::Set, -2, "-3", K::Int, 0, false},
        Parsed{"select 2147483647", ScriptOp::Set, -2, "2147483647", K::Int, 0, false},
        Parsed{"write 2", ScriptOp::Set, -2, "2", K::Text, 0, false},
        Parsed{"write \"  7x\"", ScriptOp::Set, -2, "  7x", K::Text, 0, false},
        Parsed{"set 3 \"2\"", ScriptOp::Set, 3, "2", K::Text, 0, false},
        Parsed{"set 1 5", ScriptOp::Set, 1, "5", K::Int, 0, false},
        Parsed{"set 1 0.25", ScriptOp::Set, 1, "0.25", K::Float, 0, false},
        Parsed{"set 1 -1e3", ScriptOp::Set, 1, "-1e3", K::Float, 0, false},
        Parsed{"set 0 red", ScriptOp::Set, 0, "red", K::Text, 0, false},
        Parsed{"set 2 text 5", ScriptOp::Set, 2, "5", K::Text, 0, false},
        Parsed{"set 2 float 5", ScriptOp::Set, 2, "5", K::Float, 0, false},
        Parsed{"set \"ITEM -> VALUE\" \"1\"", ScriptOp::Set, -2, "1", K::Text, 0, false},
        Parsed{"set 2 text", ScriptOp::Set, 2, "text", K::Text, 0, false},
        Parsed{"show", ScriptOp::Show, -1, nullptr, K::Text, 0, false},
        Parsed{"echo off", ScriptOp::Echo, -1, nullptr, K::Text, 0, false},
        Parsed{"trace on", ScriptOp::Trace, -1, nullptr, K::Text, 0, true},
        Parsed{"open", ScriptOp::Open, -1, nullptr, K::Text, 0, false},
        Parsed{"close", ScriptOp::Close, -1, nullptr, K::Text, 0, false},
        Parsed{"recreate", ScriptOp::Recreate, -1, nullptr, K::Text, 0, false},
        Parsed{"process", ScriptOp::Process, -1, nullptr, K::Text, 1, false},
        Parsed{"process 16", ScriptOp::Process, -1, nullptr, K::Text, 16, false},
        Parsed{"expect pin 2 == \"green\"", ScriptOp::ExpectPin, 2, "green", K::Text, 0, false},
        Parsed{"expect pin 1 != 0", ScriptOp::ExpectPin, 1, "0", K::Int, 0, true},
        Parsed{"expect pin \"LIST\" == 1.5", ScriptOp::ExpectPin, -2, "1.5", K::Float, 0, false},
        Parsed{"expect choices 1 == a,b", ScriptOp::ExpectChoices, 1, "a,b", K::Text, 0, false},
        Parsed{"expect problems == 0", ScriptOp::ExpectProblems, -1, nullptr, K::Text, 0, false},
        Parsed{"help", ScriptOp::Help, -1, nullptr, K::Text, 0, false},
        Parsed{"exit", ScriptOp::Quit, -1, nullptr, K::Text, 0, false}));

struct Alias {
    const char *line;
    const char *pinName; // the pin it sets, found by name when run
    SetForm form;
    int32_t integer; // the value of an Int form
};

void PrintTo(const Alias &a, std::ostream *os) { *os << a.line; }

class ScriptAliasTest : public ::testing::TestWithParam<Alias> {};

TEST_P(ScriptAliasTest, IsASetOfTheNamedPin) {
    const Alias &a = GetParam();
    ScriptCommand c;
    ASSERT_TRUE(parseScriptLine(a.line, 1, c));
    EXPECT_EQ(c.op, ScriptOp::Set);
    EXPECT_EQ(c.alias, std::string(a.line).substr(0, c.alias.size()));
    EXPECT_TRUE(c.pin.named);
    EXPECT_EQ(c.pin.name, a.pinName);
    EXPECT_EQ(c.form, a.form);
    if (a.form == SetForm::Int) {
        EXPECT_EQ(c.value.integer, a.integer);
    }
}

INSTANTIATE_TEST_SUITE_P(Aliases, ScriptAliasTest,
                         ::testing::Values(Alias{"list a,b", "TEXT LIST", SetForm::Text, 0},
                                           Alias{"select -2147483648", "LIST", SetForm::Int,
                                                 INT32_MIN},
                                           Alias{"write \"1\"", "ITEM -> VALUE", SetForm::Text, 0},
                                           Alias{"write 12", "ITEM -> VALUE", SetForm::Text, 0}));

TEST(ScriptLineTest, SetIsNoAlias) {
    ScriptCommand c;
    ASSERT_TRUE(parseScriptLine("set \"LIST\" 1", 1, c));
    EXPECT_TRUE(c.alias.empty());
}

TEST(ScriptLineTest, BlankAndCommentLinesHoldNoCommand) {
    ScriptCommand c;
    for (const char *line : {"", "   ", "\t\r", "# only a comment", "   # indented comment"})
        EXPECT_FALSE(parseScriptLine(line, 1, c)) << line;
}

TEST(ScriptLineTest, SourceIsTheLineWithoutCommentAndBlanks) {
    ScriptCommand c;
    ASSERT_TRUE(parseScriptLine("   select 2   # the second item", 4, c));
    EXPECT_EQ(c.source, "select 2");
    ASSERT_TRUE(parseScriptLine("list \"a#b\" # c", 4, c));
    EXPECT_EQ(c.source, "list \"a#b\"");
}

struct Mistake {
    const char *line;
    const char *message; // a part of what the error says
};

void PrintTo(const Mistake &m, std::ostream *os) { *os << m.line; }

class ScriptMistakeTest : public ::testing::TestWithParam<Mistake> {};

TEST_P(ScriptMistakeTest, IsRefusedWithItsLine) {
    ScriptCommand c;
    try {
        parseScriptLine(GetParam().line, 12, c);
        FAIL() << "accepted: " << GetParam().line;
    } catch (const ScriptError &e) {
        EXPECT_EQ(e.line(), 12);
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos)
            << GetParam().line << " -> " << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, ScriptMistakeTest,
    ::testing::Values(
        Mistake{"frobnicate 3", "unknown command 'frobnicate'"},
        Mistake{"Select 1", "unknown command 'Select'"},
        Mistake{"\"list\" a", "starts with a command word"}, Mistake{"list \"open", "not closed"},
        Mistake{"list \"a\\qb\"", "unknown escape \\q"}, Mistake{"list \"\\x4\"", "two hex digits"},
        Mistake{"list \"\\x00\"", "NUL"}, Mistake{"list ab\"c\"", "inside a word"},
        Mistake{"list \"a\"b", "a blank must follow"}, Mistake{"list", "needs the list text"},
        Mistake{"list a b", "too many words"}, Mistake{"select", "needs an item number"},
        Mistake{"select two", "whole number"}, Mistake{"select 2147483648", "whole number"},
        Mistake{"select 1.5", "whole number"}, Mistake{"set -1 5", "not a pin"},
        Mistake{"set x 5", "not a pin"}, Mistake{"set \"\" 5", "cannot be empty"},
        Mistake{"set 1", "a value after the pin"}, Mistake{"set 1 int x", "whole number"},
        Mistake{"set 1 float \"x\"", "needs a number"},
        Mistake{"set 1 99999999999", "outside the 32-bit integers"},
        Mistake{"echo maybe", "on or off"}, Mistake{"trace", "on or off"},
        Mistake{"show all", "too many words"}, Mistake{"process 0", "1 to 1000000"},
        Mistake{"expect", "pin, choices, problems, samples or golden"},
        Mistake{"expect pins 1 == 2", "pin, choices, problems, samples or golden"},
        Mistake{"expect pin 2 = \"a\"", "expected == or !="},
        Mistake{"expect pin 2 == green", "neither a number nor a quoted text"},
        Mistake{"expect pin 2 == \"a\" extra", "too many words"},
        Mistake{"expect problems == -1", "0 or more"},
        Mistake{"set 0 double 1", "the type text, int or float, not 'double'"},
        Mistake{"list \x1b[31mred", "control byte 0x1B"},
        Mistake{"\x7f"
                "ELF",
                "control byte 0x7F"}));

TEST(ScriptTest, BinaryInputIsNotShownInTheError) {
    try {
        parseScript("show\n\x1b]0;title\x07\n");
        FAIL() << "accepted";
    } catch (const ScriptError &e) {
        EXPECT_EQ(e.line(), 2);
        EXPECT_EQ(std::string(e.what()).find('\x1b'), std::string::npos) << e.what();
    }
}

TEST(ScriptTest, AByteOrderMarkAtTheStartIsSkipped) {
    const auto commands = parseScript("\xEF\xBB\xBFlist \"a,b\"\r\nselect 1\n");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].source, "list \"a,b\"");
    // Anywhere else it is not skipped.
    EXPECT_THROW(parseScript("show\n\xEF\xBB\xBFshow\n"), ScriptError);
}

TEST(ScriptTest, ParsesAWholeScriptWithLineNumbers) {
    const auto commands =
        parseScript("# demo\n\nlist \"a,b\"\r\nselect 1\n   \nexpect pin 2 == \"b\"");
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].line, 3);
    EXPECT_EQ(commands[0].value.text, "a,b");
    EXPECT_EQ(commands[1].line, 4);
    EXPECT_EQ(commands[2].line, 6);
}

TEST(ScriptTest, TheFirstMistakeNamesItsLine) {
    try {
        parseScript("list a\nselect 1\nselect x\nfrobnicate\n");
        FAIL();
    } catch (const ScriptError &e) {
        EXPECT_EQ(e.line(), 3);
    }
}

// The usages `help` lists ("set PIN [text|int|float] V"), one per command.
std::vector<std::string> helpUsages() {
    std::vector<std::string> usages;
    std::istringstream lines(scriptHelpText());
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("  ", 0) != 0)
            continue;
        const size_t end = line.find("  ", 2);
        usages.push_back(line.substr(2, end - 2));
    }
    return usages;
}

// A line that uses the command as its usage describes it: values filled in,
// the first of each choice taken, an optional part once left out and once
// written.
std::vector<std::string> sampleLines(const std::string &usage) {
    const std::map<std::string, std::string> values = {
        {"PIN", "1"},    {"V", "2"},      {"TEXT", "a"},         {"N", "1"},
        {"HZ", "48000"}, {"SAMPLE", "5"}, {"PATH.wav", "x.wav"}, {"OP", "<="},
        {"ARGS", "3"}};
    std::string withOptional, withoutOptional;
    std::istringstream words(usage);
    std::string word;
    while (words >> word) {
        const bool optional = word.front() == '[';
        if (optional)
            word = word.substr(1, word.size() - 2);
        word = word.substr(0, word.find('|'));
        if (values.count(word))
            word = values.at(word);
        withOptional += word + " ";
        if (!optional)
            withoutOptional += word + " ";
    }
    return {withOptional, withoutOptional};
}

TEST(ScriptCommandTableTest, EveryCommandOfHelpReadsAsItsUsageSays) {
    const std::vector<std::string> usages = helpUsages();
    ASSERT_GE(usages.size(), 15u);
    for (const std::string &usage : usages)
        for (const std::string &line : sampleLines(usage)) {
            ScriptCommand c;
            EXPECT_NO_THROW(parseScriptLine(line, 1, c)) << usage << " as: " << line;
        }
}

TEST(ScriptCommandTableTest, CompletionOffersEveryLiteralWordOfHelp) {
    const std::vector<std::string> &words = scriptWords();
    for (const std::string &usage : helpUsages()) {
        std::string spaced = usage;
        for (char &c : spaced)
            if (c == '[' || c == ']' || c == '|')
                c = ' ';
        std::istringstream parts(spaced);
        std::string word;
        while (parts >> word) {
            if (word == "==" || std::isupper(static_cast<unsigned char>(word[0])))
                continue;
            EXPECT_NE(std::find(words.begin(), words.end(), word), words.end()) << word;
        }
    }
    // Each word once, and none a line could not hold.
    for (const std::string &word : words) {
        EXPECT_EQ(std::count(words.begin(), words.end(), word), 1) << word;
        EXPECT_NE(scriptHelpText().find(word), std::string::npos) << word;
    }
}

TEST(ScriptTest, ABinaryFileIsRefused) {
    const std::string binary("\x7f"
                             "ELF\x02\x01\x01\0\0\0",
                             10);
    EXPECT_THROW(parseScript(binary), ScriptError);
}

} // namespace
