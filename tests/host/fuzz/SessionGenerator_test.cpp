// Random sessions: the same seed draws the same lines; every line reads and
// can be carried out in the state the lines before it leave; each pin is set
// as its data type says, with the hostile values among the draws.
#include "host/fuzz/FuzzRandom.h"
#include "host/fuzz/SessionGenerator.h"
#include "host/script/ScriptParser.h"

#include "wq_sdk2/wq_interface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using wqhost::FuzzModule;
using wqhost::FuzzPin;
using wqhost::ScriptCommand;
using wqhost::ScriptOp;
using wqhost::SessionGenerator;

FuzzPin pin(int32_t index, int32_t type, int32_t direction, bool control = false,
            bool sampleInput = false) {
    FuzzPin p;
    p.index = index;
    p.name = "P" + std::to_string(index);
    p.dataType = type;
    p.direction = direction;
    p.audioControl = control;
    p.sampleInput = sampleInput;
    return p;
}

FuzzModule everyKind() {
    FuzzModule m;
    m.audioSide = m.guiSide = m.audioPins = true;
    m.pins = {pin(0, DT_TEXT, DR_IN),        pin(1, DT_INT, DR_IN, true),
              pin(2, DT_FLOAT, DR_IN, true), pin(3, DT_ENUM, DR_IN),
              pin(4, DT_TEXT, DR_OUT),       pin(5, DT_FSAMPLE, DR_IN, false, true),
              pin(6, DT_FSAMPLE, DR_OUT)};
    return m;
}

std::vector<ScriptCommand> parsed(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &l : lines)
        text += l + "\n";
    return wqhost::parseScript(text);
}

constexpr int kSeeds = 300;

TEST(SessionGeneratorTest, TheSameSeedDrawsTheSameSession) {
    const SessionGenerator g(everyKind());
    EXPECT_EQ(g.session(42), g.session(42));
    EXPECT_NE(g.session(42), g.session(43));
    EXPECT_NE(wqhost::FuzzRandom::sessionSeed(1, 1), wqhost::FuzzRandom::sessionSeed(1, 2));
    EXPECT_NE(wqhost::FuzzRandom::sessionSeed(1, 1), wqhost::FuzzRandom::sessionSeed(2, 1));
}

TEST(SessionGeneratorTest, EveryLineCanBeCarriedOutWhereItStands) {
    const SessionGenerator g(everyKind());
    for (uint64_t seed = 0; seed < kSeeds; ++seed) {
        const std::vector<std::string> lines = g.session(seed);
        ASSERT_GE(lines.size(), 4u);
        ASSERT_LE(lines.size(), 40u);
        std::vector<ScriptCommand> commands;
        ASSERT_NO_THROW(commands = parsed(lines)) << "seed " << seed;
        // Whether each object is open; objects not yet made are made open.
        std::map<int32_t, bool> open{{1, true}};
        int32_t current = 1;
        for (const ScriptCommand &c : commands) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ": " + c.source);
            switch (c.op) {
            case ScriptOp::Open:
                EXPECT_FALSE(open[current]);
                open[current] = true;
                break;
            case ScriptOp::Close:
                EXPECT_TRUE(open[current]);
                open[current] = false;
                break;
            case ScriptOp::Recreate: open[current] = true; break;
            case ScriptOp::Object:
                current = c.number;
                open.emplace(current, true);
                break;
            case ScriptOp::Set:
            case ScriptOp::Process:
            case ScriptOp::Signal: EXPECT_TRUE(open[current]); break;
            default: break;
            }
        }
    }
}

TEST(SessionGeneratorTest, DrawsSeveralObjectsAtOnce) {
    const SessionGenerator g(everyKind());
    std::set<int32_t> objects;
    bool backToOne = false;
    for (uint64_t seed = 0; seed < kSeeds; ++seed) {
        bool left = false;
        for (const ScriptCommand &c : parsed(g.session(seed))) {
            if (c.op != ScriptOp::Object)
                continue;
            objects.insert(c.number);
            backToOne = backToOne || (left && c.number == 1);
            left = left || c.number != 1;
        }
    }
    EXPECT_EQ(objects, (std::set<int32_t>{1, 2, 3}));
    EXPECT_TRUE(backToOne);
}

TEST(SessionGeneratorTest, SetsEachPinAsItsDataTypeSays) {
    const FuzzModule m = everyKind();
    const SessionGenerator g(m);
    std::set<int32_t> setPins, signalPins, timedPins;
    for (uint64_t seed = 0; seed < kSeeds; ++seed)
        for (const ScriptCommand &c : parsed(g.session(seed))) {
            if (c.op == ScriptOp::Signal)
                signalPins.insert(c.pin.index);
            if (c.op != ScriptOp::Set)
                continue;
            const FuzzPin &p = m.pins.at(static_cast<size_t>(c.pin.index));
            setPins.insert(p.index);
            if (c.timed)
                timedPins.insert(p.index);
            const wqhost::SetForm form = p.dataType == DT_TEXT    ? wqhost::SetForm::Text
                                         : p.dataType == DT_FLOAT ? wqhost::SetForm::Float
                                                                  : wqhost::SetForm::Int;
            EXPECT_EQ(c.form, form) << c.source;
        }
    EXPECT_EQ(setPins, (std::set<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(signalPins, (std::set<int32_t>{5}));
    EXPECT_EQ(timedPins, (std::set<int32_t>{1, 2}));
}

TEST(SessionGeneratorTest, DrawsTheHostileValues) {
    const SessionGenerator g(everyKind());
    bool empty = false, longer = false, eightBit = false, separatorsOnly = false, word = false;
    bool intMin = false, intMax = false, hugeFloat = false, denormal = false;
    std::set<int32_t> blocks;
    for (uint64_t seed = 0; seed < kSeeds; ++seed)
        for (const ScriptCommand &c : parsed(g.session(seed))) {
            if (c.op == ScriptOp::Block)
                blocks.insert(c.number);
            if (c.op != ScriptOp::Set)
                continue;
            const std::string &t = c.value.text;
            if (c.form == wqhost::SetForm::Text) {
                empty = empty || t.empty();
                longer = longer || t.size() > 4096;
                for (unsigned char b : t)
                    eightBit = eightBit || b >= 0x80;
                separatorsOnly = separatorsOnly ||
                                 (!t.empty() && t.find_first_not_of(",= ") == std::string::npos);
                word = word || (t.size() > 3 && t.find_first_of(",= ") == std::string::npos);
            } else if (c.form == wqhost::SetForm::Int) {
                intMin = intMin || c.value.integer == std::numeric_limits<int32_t>::min();
                intMax = intMax || c.value.integer == std::numeric_limits<int32_t>::max();
            } else {
                hugeFloat = hugeFloat || c.value.real > 3.0e38f;
                denormal = denormal || (c.value.real > 0.0f && c.value.real < 1.0e-38f);
            }
        }
    EXPECT_TRUE(empty && longer && eightBit && separatorsOnly && word);
    EXPECT_TRUE(intMin && intMax);
    EXPECT_TRUE(hugeFloat && denormal);
    EXPECT_TRUE(blocks.count(1) && blocks.count(4096));
}

TEST(SessionGeneratorTest, AModuleWithoutAnAudioSideIsNotProcessed) {
    FuzzModule m;
    m.guiSide = true;
    m.pins = {pin(0, DT_TEXT, DR_IN)};
    const SessionGenerator g(m);
    for (uint64_t seed = 0; seed < kSeeds; ++seed)
        for (const ScriptCommand &c : parsed(g.session(seed)))
            EXPECT_TRUE(c.op != ScriptOp::Process && c.op != ScriptOp::Block &&
                        c.op != ScriptOp::Rate && c.op != ScriptOp::Signal)
                << c.source;
}

} // namespace
