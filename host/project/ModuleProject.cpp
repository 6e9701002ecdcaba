#include "host/project/ModuleProject.h"

#include <cctype>
#include <stdexcept>

namespace wqhost {

namespace {

// The texts of the files, with @Name@ for the module's name as given and
// @name@ for the library's name (lower case).

constexpr char kCMakeHead[] = R"(# @Name@: a module built on the installed wq_sdk2 package.
#
#   cmake -S . -B build -DCMAKE_PREFIX_PATH=<wq_sdk2 prefix>
#   cmake --build build
#   ctest --test-dir build   # wqhost validate --strict, and @name@.wqs
cmake_minimum_required(VERSION 3.25)
project(@name@_module LANGUAGES CXX)

find_package(wq_sdk2 CONFIG REQUIRED)

enable_testing()

# The module library, lib@name@.so (@name@.dll for Windows), with a CTest
# test that runs `wqhost validate --strict` on it.
wq_add_module(@name@ STRICT SOURCES
  entry_points.cpp
)";

constexpr char kCMakeTail[] = R"()

# The session of @name@.wqs: its expect lines make it a test.
if(TARGET wq_sdk2::wqhost)
  add_test(NAME @name@_session
    COMMAND wq_sdk2::wqhost run $<TARGET_FILE:@name@> ${CMAKE_CURRENT_SOURCE_DIR}/@name@.wqs)
endif()
)";

// -- audio only: OUT = IN x LEVEL -------------------------------------------

constexpr char kAudioHeader[] =
    R"(// @Name@.h - the audio side of the module "@Name@": OUT is IN times LEVEL,
// sample by sample.
//
// Pins (every declaration is an audio-side pin):
//   0 "IN"     samples in; the host fills its buffer before each block
//   1 "OUT"    samples out; the host reads its buffer after each block
//   2 "LEVEL"  the factor, 1 until the host writes another into m_level
#pragma once

#include "wq_sdk2/WQModule_base.h"

#include <cstdint>

class @Name@ : public WQModule_base {
public:
    @Name@(WQHostCallback hostCallback, intptr_t hostValue);

    // The pin table; any other index is refused.
    bool getPinProperties(int32_t index, WQPinProperties *properties) override;

protected:
    // Installs the process function, then builds the pins.
    void open() override;

private:
    // Called by the host once a block (and again later in the block when a
    // value changes there): computes OUT from the current sample clock on.
    void process();

    float m_level = 1.0f; // the LEVEL pin's variable: the host writes it
};
)";

constexpr char kAudioSource[] = R"(#include "@Name@.h"

#include "wq_sdk2/WQMemberRef.h"
#include "wq_sdk2/WQPin.h"
#include "wq_sdk2/WQPinTable.h"

namespace {

enum Pin : int32_t { kIn, kOut, kLevel, kPinCount };

} // namespace

@Name@::@Name@(WQHostCallback hostCallback, intptr_t hostValue)
    : WQModule_base(hostCallback, hostValue) {}

bool @Name@::getPinProperties(int32_t index, WQPinProperties *properties) {
    // Each object answers its own m_level, so one table serves them all.
    static constexpr wq::PinDeclaration kPins[kPinCount] = {
        {"IN", DR_IN, DT_FSAMPLE},
        {"OUT", DR_OUT, DT_FSAMPLE},
        {"LEVEL", DR_IN, DT_FLOAT, 0, nullptr, wq::pinVariable<&@Name@::m_level>},
    };
    return wq::servePinTable(kPins, *this, index, properties);
}

void @Name@::open() {
    setProcessFunction(wq::memberRef<&@Name@::process>());
    WQModule_base::open();
}

void @Name@::process() {
    if (pinCount() < kPinCount)
        return; // a host that counted fewer pins than are declared
    const float *in = getPin(kIn)->storage().buffer;
    float *out = getPin(kOut)->storage().buffer;
    if (!in || !out)
        return;
    // The buffers start at the host's buffer clock; the samples before the
    // current clock were computed by an earlier call in this block.
    const uint32_t first = static_cast<uint32_t>(callHost(AH_PIN_BUFFER_CLOCK, kOut));
    const int32_t n = blockSize();
    const uint32_t ahead = SampleClock() - first;
    const int32_t from = ahead < static_cast<uint32_t>(n) ? static_cast<int32_t>(ahead) : 0;
    const float level = m_level;
    for (int32_t i = from; i < n; ++i)
        out[i] = in[i] * level;
}
)";

constexpr char kAudioScript[] =
    R"(# @Name@ at work: a sine into IN, OUT checked against IN times LEVEL.
#   wqhost run lib@name@.so @name@.wqs
# Each expect line fails the run, naming the line, when it does not hold.

rate 48000
block 64
signal 0 sine 1000 0.5

# LEVEL is 1 until it is set: the output is the input.
process 4
expect samples 1 == 0 * 1
expect samples 1 peak == 0.5 ± 0.001

# A quarter of the level from the next block on.
set 2 0.25
process 4
expect samples 1 == 0 * 0.25
expect samples 1 peak == 0.125 ± 0.001
expect samples 1 finite
expect problems == 0
)";

// -- GUI only: a panel without pins ------------------------------------------

constexpr char kGuiOnlyHeader[] =
    R"(// @Name@Gui.h - the module "@Name@", a GUI side only: a panel that the host
// opens and closes. It has no pins: pins are declared by the audio side, and
// this module has none.
#pragma once

#include "wq_sdk2/WQGUI_base.h"

#include <cstdint>

class @Name@Gui : public WQGUI_base {
public:
    using WQGUI_base::WQGUI_base;

protected:
    // The host asks whether the panel is to be shown: it always is.
    bool onHostOpcode10() override { return true; }
};
)";

constexpr char kGuiOnlyScript[] = R"(# @Name@ at work: the panel opened, closed and opened again.
#   wqhost run lib@name@.so @name@.wqs
# Each expect line fails the run, naming the line, when it does not hold.

close
open
recreate
expect problems == 0
)";

// -- both sides: LENGTH follows TEXT ----------------------------------------

constexpr char kPinsHeader[] =
    R"(// @Name@Pins.h - the pins of "@Name@" by number, for both of its sides: the
// audio side declares them in this order (@Name@.cpp), the GUI side reads and
// writes them by these names (@Name@Gui.cpp).
#pragma once

#include <cstdint>

enum @Name@Pin : int32_t {
    kTextPin,   // "TEXT": any text, written by the user
    kLengthPin, // "LENGTH": its length in bytes, written by the module
    k@Name@PinCount
};
)";

constexpr char kBothAudioHeader[] =
    R"(// @Name@.h - the audio side of the module "@Name@". Both pins are for the
// GUI side (@Name@Pins.h), where the work happens; the audio side declares
// them, so that the host knows them.
#pragma once

#include "wq_sdk2/WQModule_base.h"

#include <cstdint>

class @Name@ : public WQModule_base {
public:
    using WQModule_base::WQModule_base;

    // The pin table; any other index is refused.
    bool getPinProperties(int32_t index, WQPinProperties *properties) override;
};
)";

constexpr char kBothAudioSource[] = R"(#include "@Name@.h"

#include "@Name@Pins.h"
#include "wq_sdk2/WQPinTable.h"

namespace {

// Both pins carry text between the user and the GUI side.
constexpr wq::PinDeclaration kPins[k@Name@PinCount] = {
    {"TEXT", DR_IN, DT_TEXT, IO_UI_COMMUNICATION},
    {"LENGTH", DR_OUT, DT_TEXT, IO_UI_COMMUNICATION},
};

} // namespace

bool @Name@::getPinProperties(int32_t index, WQPinProperties *properties) {
    return wq::servePinTable(kPins, *this, index, properties);
}
)";

constexpr char kBothGuiHeader[] =
    R"(// @Name@Gui.h - the GUI side of the module "@Name@", where its behaviour
// lives: whenever pin 0 "TEXT" changes, pin 1 "LENGTH" shows its length.
#pragma once

#include "wq_sdk2/WQGUI_base.h"

class @Name@Gui : public WQGUI_base {
public:
    using WQGUI_base::WQGUI_base;

protected:
    // Brings pin 1 in step with whatever pin 0 already holds.
    void open(bool flag) override;
    // Pin 0 changed: pin 1 follows. Changes of pin 1, the echo of our own
    // write included, are ignored.
    void onPinChanged(WQGuiPin *pin) override;

private:
    void update();
};
)";

constexpr char kBothGuiSource[] = R"(#include "@Name@Gui.h"

#include "@Name@Pins.h"

#include <string>

void @Name@Gui::open(bool flag) {
    WQGUI_base::open(flag);
    update();
}

void @Name@Gui::onPinChanged(WQGuiPin *pin) {
    if (pin->index == kTextPin)
        update();
}

void @Name@Gui::update() {
    // getPin hands out one shared handle: fetch it afresh for every access.
    const std::string text = getPin(kTextPin)->getValueText();
    getPin(kLengthPin)->setValueText(std::to_string(text.size()));
}
)";

constexpr char kBothScript[] = R"(# @Name@ at work: LENGTH follows TEXT.
#   wqhost run lib@name@.so @name@.wqs
# Each expect line fails the run, naming the line, when it does not hold.

set 0 "hello"
expect pin 1 == "5"

set 0 ""
expect pin 1 == "0"

# Every byte counts, separators and blanks too.
set 0 "a,b c"
expect pin 1 == "5"
expect problems == 0
)";

constexpr char kEntryHead[] =
    R"(// The library's two exported functions, defined by wq_sdk2 from the module's
// description and its classes: the host's only way in.
)";

constexpr char kReadme[] = R"(# @Name@

A module for the wq host, built on the installed wq_sdk2 package.

    cmake -S . -B build -DCMAKE_PREFIX_PATH=<wq_sdk2 prefix>
    cmake --build build
    ctest --test-dir build

`ctest` runs `wqhost validate --strict` on the library and the session
`@name@.wqs` through `wqhost run`; its `expect` lines are the module's test.
Try it by hand with `wqhost run build/lib@name@.so` (a prompt), or
`wqhost panel build/lib@name@.so` (a page).
)";

std::string fill(const std::string &text, const ModuleProjectOptions &options) {
    const std::string lower = moduleTargetName(options.name);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 6, "@Name@") == 0) {
            out += options.name;
            i += 6;
        } else if (text.compare(i, 6, "@name@") == 0) {
            out += lower;
            i += 6;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string entryPoints(const ModuleProjectOptions &o) {
    std::string text = kEntryHead;
    if (o.audio)
        text += "#include \"@Name@.h\"\n";
    if (o.gui)
        text += "#include \"@Name@Gui.h\"\n";
    text += "#include \"wq_sdk2/wq_module_entry.h\"\n\nnamespace {\n\n"
            "// Constant texts: the host keeps pointers to them as long as the library is loaded.\n"
            "constexpr char kName[] = \"@Name@\";\n";
    if (o.audio && o.gui)
        text += "constexpr char kAbout[] = \"Shows the length of the text on pin 0 on pin 1\";\n";
    else if (o.audio)
        text += "constexpr char kAbout[] = \"Multiplies the samples on IN by LEVEL\";\n";
    else
        text += "constexpr char kAbout[] = \"A panel without audio (GUI side only)\";\n";
    text += "\n// Name, id and about; the flags are the framework's defaults.\n"
            "constexpr wq::ModuleDescription kModule = {kName, kName, kAbout};\n\n"
            "} // namespace\n\n";
    if (!(o.audio && o.gui))
        text += "// A side the module does not have is `void`: makeModule answers it with null.\n";
    text += std::string("WQ_MODULE_ENTRY_POINTS(kModule, ") + (o.audio ? "@Name@" : "void") + ", " +
            (o.gui ? "@Name@Gui" : "void") + ");\n";
    return text;
}

} // namespace

bool isModuleName(const std::string &name, std::string &why) {
    if (name.empty()) {
        why = "a module needs a name";
        return false;
    }
    if (name.size() > 64) {
        why = "a module's name has at most 64 characters";
        return false;
    }
    if (!std::isalpha(static_cast<unsigned char>(name[0]))) {
        why = "a module's name begins with a letter (it names its C++ classes)";
        return false;
    }
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_') ||
            static_cast<unsigned char>(c) >= 0x80) {
            why = "a module's name has only letters, digits and '_' (it names its C++ classes)";
            return false;
        }
    return true;
}

std::string moduleTargetName(const std::string &name) {
    std::string lower = name;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::vector<ProjectFile> moduleProjectFiles(const ModuleProjectOptions &options) {
    std::string why;
    if (!isModuleName(options.name, why))
        throw std::invalid_argument(why);
    if (!options.audio && !options.gui)
        throw std::invalid_argument("a module has an audio side, a GUI side or both");

    const std::string &n = options.name;
    std::vector<ProjectFile> files;
    std::string cmake = kCMakeHead;
    const auto add = [&](const std::string &path, const char *text) {
        files.push_back({path, fill(text, options)});
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".cpp") == 0)
            cmake += "  " + path + "\n";
    };
    files.push_back({"README.md", fill(kReadme, options)});
    files.push_back({"entry_points.cpp", fill(entryPoints(options), options)});
    if (options.audio && options.gui) {
        add(n + "Pins.h", kPinsHeader);
        add(n + ".h", kBothAudioHeader);
        add(n + ".cpp", kBothAudioSource);
        add(n + "Gui.h", kBothGuiHeader);
        add(n + "Gui.cpp", kBothGuiSource);
        add(moduleTargetName(n) + ".wqs", kBothScript);
    } else if (options.audio) {
        add(n + ".h", kAudioHeader);
        add(n + ".cpp", kAudioSource);
        add(moduleTargetName(n) + ".wqs", kAudioScript);
    } else {
        add(n + "Gui.h", kGuiOnlyHeader);
        add(moduleTargetName(n) + ".wqs", kGuiOnlyScript);
    }
    // The sources end the list of wq_add_module; it ends on the line after.
    cmake.pop_back();
    cmake += kCMakeTail;
    files.insert(files.begin(), {"CMakeLists.txt", fill(cmake, options)});
    return files;
}

} // namespace wqhost
