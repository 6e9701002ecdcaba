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

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cctype>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(WQ_FAULT_PROCESS_ALLOCATION) || defined(WQ_FAULT_PROCESS_SLEEP) ||                     \
    defined(WQ_FAULT_PROCESS_LOCK) || defined(WQ_FAULT_PROCESS_PRINT)
#  define WQ_AUTHORED_PROCESS 1
#endif
// The faults of the audio side are made in the Doubler's click version,
// which has an audio output (WQ_AUTHORED_CLICK alone builds it as it
// should be).
#if defined(WQ_FAULT_WHOLE_BLOCK) || defined(WQ_FAULT_ONE_PAST_WRITE) ||                           \
    defined(WQ_FAULT_ONE_PAST_READ) || defined(WQ_FAULT_OUTPUT_NAN) ||                             \
    defined(WQ_FAULT_OUTPUT_INFINITY) || defined(WQ_FAULT_OUTPUT_DENORMAL) ||                      \
    defined(WQ_FAULT_PIN_RECORD_OVERRUN) || defined(WQ_FAULT_PARTIAL_BLOCK) ||                     \
    defined(WQ_FAULT_INPUT_WRITE) || defined(WQ_FAULT_STACK_VARIABLE) ||                           \
    defined(WQ_FAULT_FLUSH_TO_ZERO) || defined(WQ_FAULT_SHARED_LEVEL) ||                           \
    defined(WQ_FAULT_CONTROL_INPUT_WRITE) || defined(WQ_FAULT_ROUNDING_MODE) ||                    \
    defined(WQ_FAULT_UNINITIALISED_LOCAL) || defined(WQ_FAULT_GUI_INPUT_WRITE)
#  define WQ_AUTHORED_CLICK 1
#endif
#if defined(WQ_FAULT_CONTROL_INPUT_WRITE) || defined(WQ_FAULT_GUI_INPUT_WRITE)
#  define WQ_AUTHORED_VOLUME 1
#endif

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

#if defined(WQ_FAULT_THREAD_AFTER_UNLOAD)
// A worker that the whole library shares, started when it is loaded, to
// write results to a log; loading waits until it is ready. When the library
// goes the worker is let go instead of being told to end and waited for: it
// outlives the code it runs.
struct LogWorker {
    LogWorker() {
        std::unique_lock<std::mutex> held(*m_lock);
        m_worker = std::thread([this] {
            std::unique_lock<std::mutex> own(*m_lock);
            m_ready = true;
            m_started.notify_one();
            for (;;)
                m_results->wait(own); // gives the lock up only once it waits
        });
        m_started.wait(held, [this] { return m_ready; });
    }
    ~LogWorker() { m_worker.detach(); }

    // What the worker waits with lives as long as it does.
    std::mutex *m_lock = new std::mutex;
    std::condition_variable *m_results = new std::condition_variable;
    std::condition_variable m_started;
    bool m_ready = false;
    std::thread m_worker;
} g_logWorker;
#endif

#if defined(WQ_FAULT_CHANGE_AFTER_CLOSE)
// The results of every panel in one history they share: made by the panel
// that opens when there is none, and let go when that panel closes. The
// pointer is not cleared, so a panel opened later goes on with the history
// that is gone as soon as its number changes.
std::vector<long long> *g_results = nullptr;
#endif

constexpr int32_t kNumberPin = 0;
constexpr int32_t kDoubledPin = 1;
#if defined(WQ_AUTHORED_CLICK)
constexpr int32_t kClickPin = 2;      // the declaration
constexpr int32_t kClickAudioPin = 0; // the audio side's pin: the first without UI
#  if defined(WQ_FAULT_INPUT_WRITE)
constexpr int32_t kTriggerPin = 3; // an input: a click on every rising edge
constexpr int32_t kTriggerAudioPin = 1;
#  elif defined(WQ_AUTHORED_VOLUME)
constexpr int32_t kVolumePin = 3; // an input: the click's volume, 0 to 1
#  endif
#endif

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

#if defined(WQ_FAULT_PIN_RECORD_OVERRUN)
// The declaration record as the author believes it is: with a help text
// after the fields the host has.
struct DeclarationWithHelp {
    WQPinProperties record;
    const char *help;
};
const char *const kHelp[] = {"a decimal number", "twice the number", "a short click on opening"};
#endif

// The audio side: the two text pins of the GUI, and in the click version an
// audio output that gives a short click, decaying within a millisecond,
// when the object opens.
class AuthoredDoubler : public WQModule_base {
public:
    AuthoredDoubler(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

#if defined(WQ_AUTHORED_CLICK)

    void open() override {
        setProcessFunction(wq::memberRef<&AuthoredDoubler::process>());
        WQModule_base::open();
        m_level = 1.0f;
        setDecay();
    }

    void setSampleRate(float rate) override {
        WQModule_base::setSampleRate(rate);
        setDecay();
    }

    void process() {
        if (pinCount() <= kClickAudioPin || !getPin(kClickAudioPin)->storage().buffer)
            return; // a host that gives the pin no buffer
        float *out = getPin(kClickAudioPin)->storage().buffer;
        int32_t n = blockSize();
#  if defined(WQ_FAULT_WHOLE_BLOCK)
        n = 4096; // the largest block a host uses, whatever it set
#  elif defined(WQ_FAULT_ONE_PAST_WRITE)
        ++n;                      // the loop below written with <= at first
#  elif defined(WQ_FAULT_PARTIAL_BLOCK)
        n = n / 16 * 16; // worked in steps of 16 samples; the rest of the block forgotten
#  endif
#  if defined(WQ_FAULT_INPUT_WRITE)
        // The trigger's rises found in place: each sample replaced by its
        // rise over the one before, in the host's own buffer; a steep rise
        // restarts the click.
        if (pinCount() > kTriggerAudioPin) {
            if (float *trigger = getPin(kTriggerAudioPin)->storage().buffer) {
                for (int32_t i = n - 1; i > 0; --i)
                    trigger[i] -= trigger[i - 1];
                for (int32_t i = 1; i < n; ++i)
                    if (trigger[i] > 0.5f)
                        m_level = 1.0f;
            }
        }
#  endif
#  if defined(WQ_FAULT_ROUNDING_MODE)
        // Levels kept in steps of 1/1024, rounded down the cheap way.
        std::fesetround(FE_TOWARDZERO);
        m_level = std::nearbyint(m_level * 1024.0f) / 1024.0f;
#  endif
#  if defined(WQ_FAULT_FLUSH_TO_ZERO)
        // Denormals flushed to zero for speed, and the host's setting not
        // put back.
        unsigned int csr = 0;
        __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
        csr |= 0x8040u;
        __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
#  endif
        float volume = 0.5f;
#  if defined(WQ_FAULT_CONTROL_INPUT_WRITE)
        // The volume kept in its range where the host put it.
        m_volume = std::min(std::max(m_volume, 0.0f), 1.0f);
        volume = m_volume;
#  elif defined(WQ_FAULT_GUI_INPUT_WRITE)
        volume = std::min(std::max(m_volume, 0.0f), 1.0f);
#  endif
        float peak = 0.0f;
        for (int32_t i = 0; i < n; ++i) {
            out[i] = volume * m_level;
            peak = std::max(peak, out[i]);
            m_level *= m_decay;
#  if !defined(WQ_FAULT_OUTPUT_DENORMAL)
            if (m_level < 1e-20f) // decayed beyond hearing: silence, never a denormal
                m_level = 0.0f;
#  endif
        }
#  if defined(WQ_FAULT_UNINITIALISED_LOCAL)
        // The click's attack softened by a short ramp, worked out in a
        // table of the block's first samples; the loop that fills it was
        // meant to start at 0.
        float ramp[64];
        const int32_t rampLength = std::min<int32_t>(n, 64);
        for (int32_t i = 1; i < rampLength; ++i)
            ramp[i] = static_cast<float>(i) / 64.0f;
        for (int32_t i = 0; i < rampLength; ++i)
            out[i] *= 0.5f + 0.5f * ramp[i];
#  endif
#  if defined(WQ_FAULT_ONE_PAST_READ)
        // Smoothed with the next sample, the last one included.
        for (int32_t i = 0; i < n; ++i)
            out[i] = 0.5f * (out[i] + out[i + 1]);
#  endif
#  if defined(WQ_FAULT_OUTPUT_NAN)
        // Normalised to the block's peak, which a silent block does not have.
        for (int32_t i = 0; i < n; ++i)
            out[i] = 0.5f * out[i] / peak;
#  else
        (void)peak;
#  endif
    }

#endif // WQ_AUTHORED_CLICK

#if defined(WQ_FAULT_PIN_RECORD_OVERRUN)
    // The host's pin queries answered with the help text as well, written
    // where the author's record has it.
    wq_result_t dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr,
                         float opt) override {
        if (opcode == AD_GET_PIN_PROPERTIES && ptr && index >= 0 && index <= kClickPin) {
            auto *answer = static_cast<DeclarationWithHelp *>(ptr);
            if (!getPinProperties(index, &answer->record))
                return 0;
            answer->help = kHelp[index];
            return 1;
        }
        return WQModule_base::dispatch(opcode, index, value, ptr, opt);
    }
#endif

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        switch (index) {
        case kNumberPin:
            properties->name = "NUMBER";
            properties->direction = DR_IN;
            properties->datatype = DT_TEXT;
            properties->flags = IO_UI_COMMUNICATION;
            return true;
        case kDoubledPin:
#if defined(WQ_FAULT_NAME_IN_MEMBER)
            // The name made once per object, with the factor in it; handed
            // over from the object's own string.
            properties->name = m_doubledName.c_str();
#else
            properties->name = doubledPinName();
#endif
            properties->direction = DR_OUT;
            properties->datatype = DT_TEXT;
            properties->flags = IO_UI_COMMUNICATION;
            return true;
#if defined(WQ_AUTHORED_CLICK)
        case kClickPin: {
            properties->name = "CLICK";
            properties->direction = DR_OUT;
            properties->datatype = DT_FSAMPLE;
            properties->flags = 0;
#  if defined(WQ_FAULT_STACK_VARIABLE)
            // The pin's buffer address handed over through a local: it is
            // gone when the declaration returns.
            float *buffer = nullptr;
            properties->variable = &buffer;
#  endif
            return true;
        }
#endif
#if defined(WQ_AUTHORED_VOLUME)
        case kVolumePin:
            properties->name = "VOLUME";
            properties->direction = DR_IN;
            properties->datatype = DT_FLOAT;
            properties->flags = 0;
            properties->variable = &m_volume;
            return true;
#endif
#if defined(WQ_FAULT_INPUT_WRITE)
        case kTriggerPin:
            properties->name = "TRIGGER";
            properties->direction = DR_IN;
            properties->datatype = DT_FSAMPLE;
            properties->flags = 0;
            return true;
#endif
        default: return false;
        }
    }
#if defined(WQ_AUTHORED_PROCESS)
    void open() override {
        setProcessFunction(wq::memberRef<&AuthoredDoubler::process>());
        WQModule_base::open();
    }

private:
    void process() {
#  if defined(WQ_FAULT_PROCESS_ALLOCATION)
        // A work buffer made afresh for every block, at the block's size.
        m_work = std::vector<float>(static_cast<size_t>(blockSize()), 0.0f);
#  elif defined(WQ_FAULT_PROCESS_SLEEP)
        // Gives the GUI thread a moment to catch up.
        std::this_thread::sleep_for(std::chrono::microseconds(20));
#  elif defined(WQ_FAULT_PROCESS_PRINT)
        // A trace of every block, left in from debugging.
        std::fprintf(stderr, "block of %d samples\n", static_cast<int>(blockSize()));
#  else
        // The level the GUI shows, guarded against the GUI thread.
        std::lock_guard<std::mutex> lock(m_levelLock);
        m_level = 0.0f;
#  endif
    }
    std::vector<float> m_work;
    std::mutex m_levelLock;
    float m_level = 0.0f;
#endif

#if defined(WQ_FAULT_NAME_IN_MEMBER)
    std::string m_doubledName = std::string(doubledPinName()) + " x" + std::to_string(2);
#endif
#if defined(WQ_AUTHORED_CLICK)
private:
    // The click decays with a time constant of 0.1 ms at any sample rate.
    void setDecay() {
#  if defined(WQ_FAULT_OUTPUT_INFINITY)
        m_decay = std::exp(1.0f / (1e-4f * sampleRate())); // the sign slipped: it grows
#  else
        m_decay = std::exp(-1.0f / (1e-4f * sampleRate()));
#  endif
    }

#  if defined(WQ_FAULT_SHARED_LEVEL)
    // The click's level in one place: written as if the module had one
    // instance, so every object decays the level of all.
    static inline float m_level = 0.0f;
#  else
    float m_level = 0.0f;
#  endif
    float m_decay = 0.0f;
#  if defined(WQ_AUTHORED_VOLUME)
    float m_volume = 0.5f;
#  endif
#endif
};

class AuthoredDoublerGui : public WQGUI_base {
public:
    AuthoredDoublerGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
#if defined(WQ_FAULT_CLOSE_WITHOUT_OPEN)
    // The results are logged while the panel is open; the log is ended
    // when it closes, as if it had always been opened.
    void close() override {
        std::vector<long long> *volatile log = m_log;
        log->clear();
        delete m_log;
        WQGUI_base::close();
    }
    std::vector<long long> *m_log = nullptr;
#endif
#if defined(WQ_FAULT_DESCRIPTOR_LEFT)
    std::FILE *m_resultsLog = nullptr;
#endif
#if defined(WQ_FAULT_CHANGE_AFTER_CLOSE)
    void close() override {
        if (m_madeResults)
            delete g_results;
        WQGUI_base::close();
    }
    bool m_madeResults = false;
#endif
    void open(bool flag) override {
#if defined(WQ_FAULT_CHANGE_AFTER_CLOSE)
        if (!g_results) {
            g_results = new std::vector<long long>();
            m_madeResults = true;
        }
#endif
#if defined(WQ_FAULT_CLOSE_WITHOUT_OPEN)
        m_log = new std::vector<long long>();
#endif
#if defined(WQ_FAULT_LOCALE_CHANGED)
        // Numbers shown as the user's language writes them.
        std::setlocale(LC_ALL, "C.UTF-8");
#endif
#if defined(WQ_FAULT_SIGNAL_HANDLER)
        // A division by zero while reading a number caught instead of
        // ending the program.
        std::signal(SIGFPE, [](int){});
#endif
#if defined(WQ_FAULT_WORKING_FOLDER)
        // The results file written where temporary files go, named
        // without its folder.
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::temp_directory_path(ignored), ignored);
#endif
#if defined(WQ_FAULT_DESCRIPTOR_LEFT)
        // A log of the results, opened with the panel and never closed.
        m_resultsLog = std::fopen(
            (std::filesystem::temp_directory_path() / "authored_doubler.log").string().c_str(),
            "a");
#endif
#if defined(WQ_FAULT_THREAD_LEFT)
        // A worker that waits for results to write to a log; nothing ever
        // tells it to end, and close does not wait for it.
        std::thread([] {
            std::mutex lock;
            std::unique_lock<std::mutex> held(lock);
            std::condition_variable never;
            for (;;)
                never.wait(held);
        }).detach();
#endif
#if defined(WQ_FAULT_STATIC_DESTRUCTOR_CRASH)
        g_opened = true;
#endif
        WQGUI_base::open(flag);
        update();
    }
    void onPinChanged(WQGuiPin *pin) override {
        if (pin->index == kNumberPin)
            update();
#if defined(WQ_FAULT_CHANGE_AFTER_CLOSE)
        if (pin->index == kNumberPin)
            g_results->push_back(
                std::strtoll(getPin(kDoubledPin)->getValueText().c_str(), nullptr, 10));
#endif
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
            std::strncpy(m_shown, number.c_str(), static_cast<size_t>(m_shownWidth));
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
#if defined(WQ_FAULT_NONDIGIT_HANG)
        // The number read digit by digit, blanks skipped; any other
        // character was meant to end it, but the loop never moves past one.
        const volatile char *digits = number.c_str();
        long long value = 0;
        for (size_t i = 0; i < number.size();) {
            const char c = digits[i];
            if (c >= '0' && c <= '9') {
                value = (value * 10 + (c - '0')) % 1000000;
                ++i;
            } else if (c == ' ') {
                ++i;
            }
        }
#else
        long long value = std::strtoll(number.c_str(), nullptr, 10) % 1000000;
#endif
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
#if defined(WQ_FAULT_PIN_TEXT_OVERRUN)
        // The host's text read in place, given a second NUL for a list
        // parser that wants one: a byte the text does not have.
        char *text = reinterpret_cast<char *>(callHost(GH_PIN_GET_TEXT, kNumberPin, 0, nullptr, 0));
        if (text && *text)
            text[std::strlen(text) + 1] = '\0';
#endif
#if defined(WQ_FAULT_HOST_TEXT_WRITE)
        // Read in upper case, the host's own text changed in place to save a
        // copy.
        char *given =
            reinterpret_cast<char *>(callHost(GH_PIN_GET_TEXT, kNumberPin, 0, nullptr, 0));
        for (char *c = given; c && *c; ++c)
            *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
#endif
#if defined(WQ_FAULT_KEPT_HOST_TEXT)
        // The text of the change before, to show beside the new one: its
        // address kept instead of a copy.
        if (m_before && std::strcmp(m_before, number.c_str()) == 0)
            value = -value;
        m_before =
            reinterpret_cast<const char *>(callHost(GH_PIN_GET_TEXT, kNumberPin, 0, nullptr, 0));
#endif
#if defined(WQ_FAULT_BIG_STACK_BUFFER)
        // The text put in a line as long as the longest text a host hands
        // over, on the stack: 4 MiB, which the main thread of a test program
        // has room for.
        char line[4 << 20];
        std::snprintf(line, sizeof line, "%s", number.c_str());
        value = std::strtoll(line, nullptr, 10) % 1000000;
#endif
#if defined(WQ_FAULT_LEAK)
        // A scratch buffer that is never given back, on every change.
        m_lastScratch = new char[1 << 20];
#endif
#if defined(WQ_FAULT_HEAP_OVERRUN_NUL)
        // A long text labelled for the log: the block holds the label and
        // the text, but not the NUL strcat writes after them.
        if (number.size() > 4000) {
            char *line = static_cast<char *>(std::malloc(4 + number.size()));
            std::strcpy(line, "in: ");
            std::strcat(line, number.c_str());
            value = std::strtoll(line + 4, nullptr, 10) % 1000000;
            std::free(line);
        }
#endif
#if defined(WQ_FAULT_USE_AFTER_FREE)
        // Skips parsing a long text seen last time, but remembers it by a
        // pointer into a string that is gone when update() returns.
        if (m_lastLong && std::strcmp(m_lastLong, number.c_str()) == 0)
            return;
        if (number.size() > 4000)
            m_lastLong = number.c_str();
#endif
#if defined(WQ_FAULT_DOUBLE_FREE)
        // A copy kept for the next change, but a long one is let go at once
        // and the pointer is not cleared: the next change frees it again.
        std::free(m_previous);
        m_previous = static_cast<char *>(std::malloc(number.size() + 1));
        std::memcpy(m_previous, number.c_str(), number.size() + 1);
        if (number.size() > 4000)
            std::free(m_previous);
#endif
#if defined(WQ_FAULT_UNINITIALISED_MEMBER)
        // The offset a later version sets from a pin; its initial value
        // was forgotten.
        value += m_offset;
#endif
        getPin(kDoubledPin)->setValueText(std::to_string(2 * value));
#if defined(WQ_FAULT_GUI_INPUT_WRITE)
        // The click louder for a larger number, set from the panel on the
        // volume input itself.
        getPin(kVolumePin)->setValueFloat(value > 100 ? 1.0f : 0.5f);
#endif
    }
#if defined(WQ_FAULT_UNINITIALISED_MEMBER)
    long long m_offset;
#endif
#if defined(WQ_FAULT_LEAK)
    char *m_lastScratch = nullptr;
#endif
#if defined(WQ_FAULT_UNTERMINATED_CUT)
    char m_shown[64] = {}; // the input as shown, cut to 64 bytes
    int32_t m_shownUpdates = -1;
    int32_t m_shownWidth = 64; // the display's width (its upper bytes are zero)
#endif
#if defined(WQ_FAULT_USE_AFTER_FREE)
    const char *m_lastLong = nullptr;
#endif
#if defined(WQ_FAULT_KEPT_HOST_TEXT)
    const char *m_before = nullptr;
#endif
#if defined(WQ_FAULT_DOUBLE_FREE)
    char *m_previous = nullptr;

public:
    ~AuthoredDoublerGui() override { std::free(m_previous); }
#endif
};

constexpr char kName[] = "Authored Doubler";
constexpr char kAbout[] = "Writes twice the number on pin 0 to pin 1";

constexpr wq::ModuleDescription kDescription = {kName, kName, kAbout, 512, 256};

} // namespace

#if defined(WQ_FAULT_ESCAPED_EXCEPTION) || defined(WQ_FAULT_MANGLED_EXPORTS) ||                    \
    defined(WQ_FAULT_OBJECT_FOR_RECORD) || defined(WQ_FAULT_WRONG_SIGNATURE)
// The two exports written by hand, as some authors do, around the
// framework's own bodies.
using Entry = wq::ModuleEntry<kDescription, AuthoredDoubler, AuthoredDoublerGui>;

#  if defined(WQ_FAULT_MANGLED_EXPORTS)
#    define AUTHORED_LINKAGE // extern "C" forgotten: the names are C++ names
#  else
#    define AUTHORED_LINKAGE extern "C"
#  endif

#  if defined(WQ_FAULT_WRONG_SIGNATURE)
// The record taken as an untyped pointer: beside the interface's extern "C"
// declaration this is another function, an overload with a C++ name.
WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, void *record) {
    return Entry::getModuleProperties(index, static_cast<WQModuleDescription *>(record));
}
#  else
AUTHORED_LINKAGE WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index,
                                                              WQModuleDescription *record) {
#    if defined(WQ_FAULT_ESCAPED_EXCEPTION)
    // The index looked up in the library's list of modules, a miss thrown.
    if (index != 0)
        throw std::runtime_error("bad list");
#    endif
    return Entry::getModuleProperties(index, record);
}
#  endif

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
