// GuiHost - drives one GUI-side object of a module library through its GUI
// host record, keeps the pin values (PinStore) and answers the object's pin
// requests as a host does.
//
// Answers of the GUI callback:
//   GH_PIN_SET_TEXT, GH_PIN_SET_VALUE  store the value in the pin's form
//     (GH_PIN_SET_VALUE: an integer pin takes `value`, a float pin takes
//     `opt`, a text pin takes `value` as "%d" text, or `opt` as float text
//     when `value` is 0 and `opt` is not); then, with echo on, the write is
//     reported back to the object as a pin change (GD_PIN_CHANGED with the
//     pin's index) from inside the write, as a real host may do;
//   GH_PIN_GET_TEXT  the address of a copy of the pin's text, its NUL the
//     last byte before an inaccessible page (GuardedMemory); every copy
//     handed out stays valid until the outermost host call on this object
//     returns;
//   GH_PIN_GET_VALUE  fills the 4-byte slot (PinStore::fillSlot: a text pin
//     gives its text read as atoi reads it, saturated);
//   GH_PIN_SET_LIST_TEXT  stores the pin's list of choices (no echo);
//   GH_PIN_GET_TEXT_W  with a null ptr: the text's length in 16-bit units
//     counting the zero unit; with a buffer: fills at most `value` units
//     (the text's bytes widened one to one, then the zero unit). The result
//     of the second request is the number of units written;
//   GH_OPCODE_8/18/19/20/22 and every other opcode: recorded and answered
//     with setAnswer()'s value, 0 by default.
// Requests for a pin that was never declared are answered harmlessly (empty
// text, 0) and recorded as problems.
//
// Nested notifications are bounded: an echo that would make the object's
// dispatcher nesting deeper than Options::nestingLimit is not delivered; the
// host records it (nestingLimitReached()) and the write returns normally.
#pragma once

#include "host/core/HostObject.h"
#include "host/pins/PinDeclaration.h"
#include "host/pins/PinStore.h"
#include "host/memory/GuardedMemory.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace wqhost {

class GuiHost : public HostObject<WQGuiHostRecord> {
public:
    struct Options {
        bool echo = true;             // report the object's own pin writes back
        bool echoOnlyChanges = false; // ... only when the stored value changed
        int nestingLimit = 16;        // deepest nesting of dispatcher calls on the object
        int32_t openIndex = 0;        // `index` of GD_OPEN (1 asks for open(true))
        // Judge the texts the object writes: the host's own text passed back,
        // or one of its texts cut without a NUL, is a problem. (A text that
        // cannot be read to a NUL within the bound always is.)
        bool judgeWrittenTexts = false;
        // Judge the pins the object writes: a write (GH_PIN_SET_TEXT,
        // GH_PIN_SET_VALUE) to an input of the audio side, a declaration
        // with DR_IN and without IO_UI_COMMUNICATION, is a problem, told
        // once for each pin. What drives such a pin is what the patch
        // connects to it; a pin the GUI owns carries IO_UI_COMMUNICATION.
        bool judgeInputWrites = false;
    };

    explicit GuiHost(std::shared_ptr<const ModuleLibrary> library);
    GuiHost(std::shared_ptr<const ModuleLibrary> library, Options options, CallLog *log = nullptr);
    ~GuiHost() override; // closes a live object

    // -- the object ---------------------------------------------------------

    // makeModule(moduleIndex, WQ_TYPE_GUI, callback, hostValue). Returns
    // false when the library refuses. Record problems go into problems().
    bool create(int32_t moduleIndex = 0);

    // Any dispatcher opcode. GD_CLOSE ends the object. Throws HostError when
    // no object is live.
    intptr_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr,
                      float opt = 0.0f);
    intptr_t open() { return dispatch(GD_OPEN, m_options.openIndex); }
    intptr_t close(); // a result other than 1 is recorded as a problem
    intptr_t notifyPinChanged(int32_t pin) { return dispatch(GD_PIN_CHANGED, pin); }

    // -- pins ---------------------------------------------------------------

    PinStore &pins() noexcept { return m_pins; }
    const PinStore &pins() const noexcept { return m_pins; }
    void declarePins(const std::vector<PinDeclaration> &table);
    std::vector<PinValue> readPins() const { return m_pins.values(); }

    // What a user does: change a pin's value, then notify the object
    // (GD_PIN_CHANGED). Throw HostError for an undeclared pin.
    void setPinText(int32_t pin, const std::string &text);
    void setPinInt(int32_t pin, int32_t value);
    void setPinFloat(int32_t pin, float value);

    // -- echo, nesting, answers ---------------------------------------------

    void setEcho(bool on) noexcept { m_options.echo = on; }
    bool echo() const noexcept { return m_options.echo; }
    void setNestingLimit(int limit) noexcept { m_options.nestingLimit = limit; }
    // True once an echo was held back by the nesting limit.
    bool nestingLimitReached() const noexcept { return m_limitReached; }
    // The deepest nesting of dispatcher calls seen on the object.
    int maxDepth() const noexcept { return m_maxDepth; }
    void resetNestingReport() noexcept {
        m_limitReached = false;
        m_maxDepth = 0;
    }

    void setAnswer(int32_t opcode, intptr_t result) { m_answers[opcode] = result; }

    // Test hooks for validation and fuzzing:
    // the next GH_PIN_GET_TEXT is answered with null;
    void answerNullTextOnce() noexcept { m_nullTextOnce = true; }
    // the next first GH_PIN_GET_TEXT_W request (null ptr) is answered with
    // `length` (negative or huge); the buffer request after it is still
    // filled with at most the text's real length.
    void answerWideLengthOnce(intptr_t length) noexcept {
        m_wideLengthOnce = true;
        m_wideLength = length;
    }

    Options &options() noexcept { return m_options; }

    // The callback every GuiHost gives makeModule.
    static WQHostCallback callbackFunction() noexcept {
        return HostDriver::callbackFunction(Side::Gui);
    }

    // Answers one request of the object (through the callback entry).
    intptr_t answer(Side side, void *record, const CallArgs &args) override;

    // The 16-bit units of a pin text as GH_PIN_GET_TEXT_W hands them out
    // (each byte widened, without the zero unit).
    static std::u16string widen(const std::string &text);

private:
    void requirePin(int32_t pin) const;
    bool knownPin(int32_t pin, int32_t opcode);
    // With judgeInputWrites: a write to an input of the audio side.
    void judgeWrite(int32_t pin, int32_t opcode);
    void echoWrite(int32_t pin, bool changed);
    void forget() noexcept;
    // The text a write passed, read without trusting the pointer; what is
    // wrong with it is recorded as a problem.
    std::string textAt(int32_t opcode, int32_t pin, const void *ptr);
    // What shows that a written text is a text of the host's cut without its
    // NUL, or nothing.
    std::string cutWithoutNul(const std::string &written) const;
    // Takes back the texts handed out in the call that returned.
    void retireTextCopies() noexcept;

    Options m_options;
    PinStore m_pins;
    std::deque<std::string> m_textAnswers;    // alive until the outermost call returns
    std::deque<int32_t> m_textAnswerPins;     // the pin of each
    std::deque<GuardedMemory> m_textCopies;   // what the module got: each text, guarded
    std::deque<GuardedMemory> m_retiredTexts; // the last texts taken back, inaccessible
    std::map<int32_t, intptr_t> m_answers;
    // The inputs of the audio side (DR_IN, no IO_UI_COMMUNICATION), by
    // declaration index, with their names; each taken out when its write
    // is told.
    std::map<int32_t, std::string> m_audioInputs;
    int m_depth = 0;
    int m_maxDepth = 0;
    bool m_limitReached = false;
    bool m_closing = false;
    bool m_nullTextOnce = false;
    bool m_wideLengthOnce = false;
    intptr_t m_wideLength = 0;
};

} // namespace wqhost
