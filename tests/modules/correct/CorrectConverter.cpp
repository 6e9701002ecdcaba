// A correct module with both sides and several pins of every data type.
// The GUI side converts a length given as text into other units, with the
// standard library as authors use it (std::string, std::to_string, string
// streams, std::stod whose exceptions it catches) and a constant table of
// units. The audio side gives a level, held or ramped, from two pins whose
// values live in members of the object.
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

enum Pin : int32_t {
    kTextIn,   // DT_TEXT in: a length, such as "12.5"
    kUnit,     // DT_ENUM in: the unit of the text
    kFactor,   // DT_FLOAT in: multiplies the length
    kDigits,   // DT_INT in: digits after the point in the report
    kRound,    // DT_BYTE in: 1 rounds the number to whole millimetres
    kNumber,   // DT_INT out: the length in millimetres
    kMetres,   // DT_FLOAT out: the length in metres
    kReport,   // DT_TEXT out: the length in every unit
    kLength,   // DT_TEXT out: how many characters the input had
    kStatus,   // DT_ENUM out: ok, empty or bad
    kNegative, // DT_BYTE out: 1 for a length below 0
    kLevelOut, // DT_FSAMPLE out (audio)
    kLevelSet, // DT_FLOAT in (audio): the level to reach
    kMode,     // DT_ENUM in (audio): hold or ramp
    kRampTime, // DT_INT in (audio): ramp length in samples
    kPinCount
};

struct Unit {
    const char *name;
    double millimetres;
};
constexpr Unit kUnits[] = {{"mm", 1.0}, {"cm", 10.0}, {"m", 1000.0}, {"km", 1000000.0}};
constexpr int32_t kUnitCount = sizeof kUnits / sizeof kUnits[0];

struct PinTable {
    const char *name;
    int32_t direction;
    int32_t datatype;
    const char *list;
    bool gui;
};
constexpr PinTable kPins[kPinCount] = {
    {"TEXT IN", DR_IN, DT_TEXT, nullptr, true},
    {"UNIT", DR_IN, DT_ENUM, "mm,cm,m,km", true},
    {"FACTOR", DR_IN, DT_FLOAT, nullptr, true},
    {"DIGITS", DR_IN, DT_INT, nullptr, true},
    {"ROUND", DR_IN, DT_BYTE, nullptr, true},
    {"MILLIMETRES", DR_OUT, DT_INT, nullptr, true},
    {"METRES", DR_OUT, DT_FLOAT, nullptr, true},
    {"REPORT", DR_OUT, DT_TEXT, nullptr, true},
    {"LENGTH", DR_OUT, DT_TEXT, nullptr, true},
    {"STATUS", DR_OUT, DT_ENUM, "ok,empty,bad", true},
    {"NEGATIVE", DR_OUT, DT_BYTE, nullptr, true},
    {"LEVEL", DR_OUT, DT_FSAMPLE, nullptr, false},
    {"LEVEL SET", DR_IN, DT_FLOAT, nullptr, false},
    {"MODE", DR_IN, DT_ENUM, "hold,ramp", false},
    {"RAMP TIME", DR_IN, DT_INT, nullptr, false},
};

// Audio pins count only the declarations without IO_UI_COMMUNICATION.
constexpr int32_t kAudioLevelOut = 0;

class Converter : public WQModule_base {
public:
    Converter(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    void open() override {
        setProcessFunction(wq::memberRef<&Converter::process>());
        WQModule_base::open();
    }

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        if (index < 0 || index >= kPinCount)
            return false;
        const PinTable &pin = kPins[index];
        properties->name = pin.name;
        properties->direction = pin.direction;
        properties->datatype = pin.datatype;
        properties->flags = pin.gui ? IO_UI_COMMUNICATION : 0;
        if (pin.list)
            properties->list_text = pin.list;
        switch (index) {
        case kLevelSet: properties->variable = &m_target; break;
        case kMode: properties->variable = &m_mode; break;
        case kRampTime: properties->variable = &m_rampTime; break;
        default: properties->variable = nullptr; break;
        }
        return true;
    }

private:
    void process() {
        if (pinCount() <= kAudioLevelOut)
            return;
        float *const *address = static_cast<float *const *>(getPin(kAudioLevelOut)->variable());
        float *out = address ? *address : nullptr;
        if (!out)
            return;
        const int32_t n = blockSize();
        const float step =
            m_mode == 1 && m_rampTime > 0 ? 1.0f / static_cast<float>(m_rampTime) : 1.0f;
        for (int32_t i = 0; i < n; ++i) {
            const float distance = m_target - m_level;
            m_level =
                std::fabs(distance) <= step ? m_target : m_level + std::copysign(step, distance);
            out[i] = m_level;
        }
    }

    float m_target = 0.0f;
    int32_t m_mode = 0;
    int32_t m_rampTime = 64;
    float m_level = 0.0f;
};

class ConverterGui : public WQGUI_base {
public:
    ConverterGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    void open(bool flag) override {
        WQGUI_base::open(flag);
        update();
    }

    void onPinChanged(WQGuiPin *pin) override {
        if (pin->index <= kRound)
            update();
    }

private:
    void update() {
        const std::string text = getPin(kTextIn)->getValueText();
        getPin(kLength)->setValueText(std::to_string(text.size()) + " characters");
        int32_t unit = getPin(kUnit)->getValueInt();
        if (unit < 0 || unit >= kUnitCount)
            unit = 0;
        float factor = getPin(kFactor)->getValueFloat();
        if (!std::isfinite(factor) || factor == 0.0f)
            factor = 1.0f;
        int32_t digits = getPin(kDigits)->getValueInt();
        digits = digits < 0 ? 0 : (digits > 6 ? 6 : digits);
        const bool round = getPin(kRound)->getValueInt() != 0;

        double millimetres = 0.0;
        int32_t status = 0;
        if (text.empty()) {
            status = 1;
        } else {
            try {
                millimetres = std::stod(text) * kUnits[unit].millimetres * factor;
                if (!std::isfinite(millimetres) || std::fabs(millimetres) > 2e9)
                    throw std::out_of_range("length");
            } catch (const std::exception &) {
                millimetres = 0.0;
                status = 2;
            }
        }
        if (round)
            millimetres = std::round(millimetres);

        std::ostringstream report;
        report << std::fixed << std::setprecision(digits);
        for (const Unit &each : kUnits)
            report << millimetres / each.millimetres << ' ' << each.name
                   << (&each == &kUnits[kUnitCount - 1] ? "" : ", ");
        getPin(kNumber)->setValueInt(static_cast<int32_t>(millimetres));
        getPin(kMetres)->setValueFloat(static_cast<float>(millimetres / 1000.0));
        getPin(kReport)->setValueText(report.str());
        getPin(kStatus)->setValueInt(status);
        getPin(kNegative)->setValueInt(millimetres < 0.0 ? 1 : 0);
    }
};

constexpr char kName[] = "Correct Converter";
constexpr char kAbout[] = "Converts a length between units, and gives a level";
constexpr wq::ModuleDescription kDescription = {kName, "correct.converter", kAbout, 512, 256};

} // namespace

WQ_MODULE_ENTRY_POINTS(kDescription, Converter, ConverterGui);
