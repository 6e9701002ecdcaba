// An author's module as authors write it: the Doubler example in one file,
// built with wq_add_module. Built as it stands it passes `wqhost validate`
// with no warning; each WQ_FAULT_* switch builds in one mistake that
// authors make, which exactly one check of `validate` must catch.
#if defined(WQ_FAULT_MANGLED_EXPORTS)
// The interface's own declarations of the two exports left out, as a
// host's sources leave them out: nothing gives the definitions below C
// linkage then.
#  define WQ_NO_MODULE_EXPORT_DECLARATIONS
#endif
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

#if defined(WQ_FAULT_STATIC_DESTRUCTOR_CRASH)
// The history of results, written back when the library goes if a GUI
// object was ever opened; the code that makes the list was forgotten.
std::vector<long long> *g_history = nullptr;
bool g_opened = false;
struct HistoryWriter {
    ~HistoryWriter() {
        std::vector<long long> *volatile history = g_history;
        if (g_opened)
            history->push_back(0);
    }
} g_historyWriter;
#endif

constexpr int32_t kNumberPin = 0;
constexpr int32_t kDoubledPin = 1;

const char *doubledPinName() {
#if defined(WQ_FAULT_DUPLICATE_PIN_NAME)
    return "NUMBER"; // copied from the pin above and not renamed
#elif defined(WQ_FAULT_EMPTY_PIN_NAME)
    return "";
#elif defined(WQ_FAULT_CONTROL_PIN_NAME)
    return "DOUBLED\t(x2)";
#else
    return "DOUBLED";
#endif
}

class AuthoredDoubler : public WQModule_base {
public:
    AuthoredDoubler(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        switch (index) {
        case kNumberPin:
            properties->name = "NUMBER";
            properties->direction = DR_IN;
            properties->datatype = DT_TEXT;
            properties->flags = IO_UI_COMMUNICATION;
            return true;
        case kDoubledPin:
            properties->name = doubledPinName();
            properties->direction = DR_OUT;
            properties->datatype = DT_TEXT;
            properties->flags = IO_UI_COMMUNICATION;
            return true;
        default: return false;
        }
    }
};

class AuthoredDoublerGui : public WQGUI_base {
public:
    AuthoredDoublerGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    void open(bool flag) override {
#if defined(WQ_FAULT_STATIC_DESTRUCTOR_CRASH)
        g_opened = true;
#endif
        WQGUI_base::open(flag);
        update();
    }
    void onPinChanged(WQGuiPin *pin) override {
        if (pin->index == kNumberPin)
            update();
    }

private:
    void update() {
#if defined(WQ_FAULT_NULL_TEXT_READ)
        // The host's text taken as it comes, as if it were never null.
        const char *given =
            reinterpret_cast<const char *>(callHost(GH_PIN_GET_TEXT, kNumberPin, 0, nullptr, 0.0f));
        const std::string number(given);
#elif defined(WQ_FAULT_WIDE_LENGTH)
        // The 16-bit text, its length taken to count the zero unit always.
        const wq_result_t units = callHost(GH_PIN_GET_TEXT_W, kNumberPin, 0, nullptr, 0.0f);
        std::u16string wide(static_cast<size_t>(units - 1), u'\0');
        callHost(GH_PIN_GET_TEXT_W, kNumberPin, static_cast<int32_t>(units), &wide[0], 0.0f);
        std::string number;
        for (char16_t unit : wide)
            number += static_cast<char>(unit);
#else
        const std::string number = getPin(kNumberPin)->getValueText();
#endif
#if defined(WQ_FAULT_HOST_TEXT_BACK)
        // A text that is no number is shown as it is: the host's own text
        // handed straight back instead of a copy.
        if (!number.empty() && (number[0] < '0' || number[0] > '9')) {
            const wq_result_t own = callHost(GH_PIN_GET_TEXT, kNumberPin, 0, nullptr, 0.0f);
            callHost(GH_PIN_SET_TEXT, kDoubledPin, 0, reinterpret_cast<void *>(own), 0.0f);
            return;
        }
#endif
#if defined(WQ_FAULT_UNTERMINATED_CUT)
        // A text that is no number is shown as it is, cut to the display's
        // width: strncpy leaves no NUL where it cuts.
        if (!number.empty() && (number[0] < '0' || number[0] > '9')) {
            std::strncpy(m_shown, number.c_str(), sizeof m_shown);
            getPin(kDoubledPin)->setValueText(static_cast<const char *>(m_shown));
            return;
        }
#endif
#if defined(WQ_FAULT_SLOW_PIN_CHANGE)
        // Long texts parsed the slow way: 200 ms each.
        if (number.size() > 1000)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
#endif
#if defined(WQ_FAULT_SLEEPING_HANG)
        // Waits for a result that never comes.
        if (number.size() > 1000)
            for (;;)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
#endif
#if defined(WQ_FAULT_SPINNING_HANG)
        // A loop whose end is never reached for long texts.
        if (number.size() > 1000)
            for (volatile unsigned long spin = 1; spin != 0; spin = spin | 1u) {
            }
#endif
        long long value = std::strtoll(number.c_str(), nullptr, 10) % 1000000;
#if defined(WQ_FAULT_HEAP_OVERRUN)
        // A long text copied for parsing, the terminating NUL forgotten in
        // the size of the copy.
        if (number.size() > 4000) {
            char *copy = static_cast<char *>(std::malloc(number.size()));
            std::memcpy(copy, number.c_str(), number.size() + 1);
            value = std::strtoll(copy, nullptr, 10) % 1000000;
            std::free(copy);
        }
#endif
#if defined(WQ_FAULT_LEAK)
        // A scratch buffer that is never given back, on every change.
        m_lastScratch = new char[1 << 20];
#endif
        getPin(kDoubledPin)->setValueText(std::to_string(2 * value));
    }
#if defined(WQ_FAULT_LEAK)
    char *m_lastScratch = nullptr;
#endif
#if defined(WQ_FAULT_UNTERMINATED_CUT)
    char m_shown[64] = {}; // the input as shown, cut to 64 bytes
    int32_t m_shownUpdates = -1;
#endif
};

constexpr char kName[] = "Authored Doubler";
constexpr char kAbout[] = "Writes twice the number on pin 0 to pin 1";

constexpr wq::ModuleDescription kDescription = {kName, kName, kAbout, 512, 256};

} // namespace

#if defined(WQ_FAULT_ESCAPED_EXCEPTION) || defined(WQ_FAULT_MANGLED_EXPORTS) ||                    \
    defined(WQ_FAULT_OBJECT_FOR_RECORD)
// The two exports written by hand, as some authors do, around the
// framework's own bodies.
using Entry = wq::ModuleEntry<kDescription, AuthoredDoubler, AuthoredDoublerGui>;

#  if defined(WQ_FAULT_MANGLED_EXPORTS)
#    define AUTHORED_LINKAGE // extern "C" forgotten: the names are C++ names
#  else
#    define AUTHORED_LINKAGE extern "C"
#  endif

AUTHORED_LINKAGE WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index,
                                                              WQModuleDescription *record) {
#  if defined(WQ_FAULT_ESCAPED_EXCEPTION)
    // The index looked up in the library's list of modules, a miss thrown.
    if (index != 0)
        throw std::runtime_error("bad list");
#  endif
    return Entry::getModuleProperties(index, record);
}

AUTHORED_LINKAGE WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type,
                                                   WQHostCallback hostCallback,
                                                   intptr_t hostValue) {
    void *record = Entry::makeModule(index, type, hostCallback, hostValue);
#  if defined(WQ_FAULT_OBJECT_FOR_RECORD)
    // The object handed over where its record belongs.
    if (record && type == WQ_TYPE_AUDIO)
        return static_cast<WQAudioHostRecord *>(record)->object;
    if (record && type == WQ_TYPE_GUI)
        return static_cast<WQGuiHostRecord *>(record)->object;
#  endif
    return record;
}
#elif defined(WQ_FAULT_DEAD_STACK_NAME) || defined(WQ_FAULT_UNTERMINATED_ABOUT)
// The exports written out by hand, with a description built at run time.
#  if defined(WQ_FAULT_UNTERMINATED_ABOUT)
namespace {
char g_about[80000]; // the about text padded to its full width, no room left for the NUL
}
#  endif
extern "C" WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index,
                                                        WQModuleDescription *record) {
    if (record == nullptr)
        return 0;
    record->sdkVersion = WQ_SDK_VERSION;
    if (index != 0)
        return 0;
#  if defined(WQ_FAULT_DEAD_STACK_NAME)
    // The name with the version in it, built in a buffer of the call.
    char name[64];
    std::snprintf(name, sizeof name, "%s %d", kName, 2);
    record->name = name;
    record->about = kAbout;
#  else
    std::memset(g_about, ' ', sizeof g_about);
    std::memcpy(g_about, kAbout, sizeof kAbout - 1);
    record->name = kName;
    record->about = g_about;
#  endif
    record->id = kName;
    record->flags = kDescription.flags;
    record->guiFlags = kDescription.guiFlags;
    return 1;
}
extern "C" WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type,
                                             WQHostCallback hostCallback, intptr_t hostValue) {
    return wq::ModuleEntry<kDescription, AuthoredDoubler, AuthoredDoublerGui>::makeModule(
        index, type, hostCallback, hostValue);
}
#else
WQ_MODULE_ENTRY_POINTS(kDescription, AuthoredDoubler, AuthoredDoublerGui);
#endif
