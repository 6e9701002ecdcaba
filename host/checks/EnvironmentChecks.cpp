// The check of what a module shares with its host's process: after every
// kind of call the floating-point control state, the C locale, the signal
// handlers, the working folder and the open file descriptors are as the
// host set them; after the objects are closed no thread of the module is
// left running (what is left after unloading is the unload check's).
#include "host/checks/CheckSupport.h"
#include "host/describe/ModuleProbe.h"
#include "host/core/AudioHost.h"
#include "host/core/GuiHost.h"
#include "host/pins/PinDeclaration.h"
#include "host/platform/ProcessState.h"
#include "host/platform/ThreadWait.h"

#include <set>
#include <string>
#include <vector>

namespace wqhost {

namespace {

class EnvironmentWatch {
public:
    explicit EnvironmentWatch(CheckContext &ctx) : m_ctx(ctx), m_baseline(hostBaseline()) {}

    // Compares the process with the baseline after `call`; each thing that
    // changed is told once, where it first changed, and put back so that
    // the next call is judged on its own.
    void after(const std::string &call, bool withThreads = false) {
        const ProcessState now = ProcessState::now();
        for (const std::string &change : processChanges(m_baseline, now, withThreads)) {
            const std::string kind = change.substr(0, change.find(" ("));
            if (!m_told.insert(kind).second)
                continue;
            m_ctx.fail(call + " changed " + change + ": " + advice(kind));
        }
        m_baseline.descriptors = now.descriptors; // told once; judge the next call alone
    }

    // The threads running now are the baseline: those a library starts when
    // it is loaded must end by its unloading, which the unload check sees.
    void threadsFromHereOn() { m_baseline.threads = ProcessState::now().threads; }

private:
    // The process as the host has it before the module's first call: the
    // file the call log reads the thread's waiting time from, opened at the
    // first timed call, is open already.
    static ProcessState hostBaseline() {
        (void)threadWaitingMilliseconds();
        return ProcessState::now();
    }

    static std::string advice(const std::string &kind) {
        if (kind.find("floating-point") != std::string::npos ||
            kind.find("MXCSR") != std::string::npos || kind.find("x87") != std::string::npos)
            return "the floating-point state belongs to the host's thread; save it and put it "
                   "back before the call returns (fegetenv/fesetenv), or set flush-to-zero "
                   "only around your own loop";
        if (kind.find("locale") != std::string::npos)
            return "never call setlocale in a module; format and parse numbers with a locale "
                   "of your own (std::locale::classic() on a stream, or strtod_l)";
        if (kind.find("handler") != std::string::npos)
            return "signals belong to the host; a module installs no signal handler";
        if (kind.find("working folder") != std::string::npos)
            return "use full paths instead of changing the working folder, which is the "
                   "host's";
        if (kind.find("descriptors") != std::string::npos)
            return "close every file the call opens before it returns, or keep it open for the "
                   "object's life and close it in close; never close one the host opened";
        return "a thread the module started must end before close returns (join it in close, "
               "or in the destructor of what owns it)";
    }

    CheckContext &m_ctx;
    ProcessState m_baseline;
    std::set<std::string> m_told;
};

} // namespace

void checkProcessEnvironment(CheckContext &ctx) {
    // The baseline comes before anything of the library runs, and each call
    // is watched from the first on (the objects that read the pin table
    // included): what a module changes for good, a locale or a handler set
    // in the same way by every call, shows at the first call that does it.
    EnvironmentWatch watch(ctx);
    ctx.step("loading the library");
    const auto library = ctx.library();
    watch.after("loading the library (its static constructors)");
    watch.threadsFromHereOn();
    // A first audio object, opened with no pins, tells the pin table.
    const ModuleProbe probe =
        probeModule(library, 0, &ctx.log(), [&](const std::string &call, bool done) {
            if (done)
                watch.after(call);
            else
                ctx.step("reading the pin table: " + call);
        });
    const std::vector<PinDeclaration> &pins = probe.pins;
    const int32_t audioPins = probe.audioPinCount();
    const bool hasAudio = probe.audioCreated;
    AudioHost::Options audioOptions;
    audioOptions.pinCount = audioPins;
    audioOptions.blockSize = 64;
    AudioHost audio(library, audioOptions, &ctx.log());
    GuiHost gui(library, GuiHost::Options(), &ctx.log());
    gui.declarePins(pins);
    if (hasAudio) {
        ctx.step("makeModule(0, 1)");
        audio.create();
        watch.after("makeModule(0, 1)");
        ctx.step("AD_OPEN");
        audio.open();
        watch.after("AD_OPEN");
        audio.setSampleRate(48000.0f);
        watch.after("AD_SET_SAMPLE_RATE");
        audio.setBlockSize(64);
        watch.after("AD_SET_BLOCK_SIZE");
        for (int block = 0; block < 8 && audio.isLive(); ++block) {
            ctx.step("a call of the process word, block " + std::to_string(block));
            audio.processBlock();
            watch.after("the process function");
        }
    }
    ctx.step("makeModule(0, 2)");
    const bool hasGui = gui.create();
    watch.after("makeModule(0, 2)");
    if (hasGui) {
        ctx.step("GD_OPEN");
        gui.open();
        watch.after("GD_OPEN");
        for (const PinDeclaration &pin : pins)
            for (const char *text : {"12", "3.5", "a=1,b=2"}) {
                ctx.step("GD_PIN_CHANGED for " + pinLabel(pin));
                gui.setPinText(pin.index, text);
                watch.after("GD_PIN_CHANGED for " + pinLabel(pin));
            }
        ctx.step("GD_CLOSE");
        gui.close();
        watch.after("GD_CLOSE", true);
    }
    if (audio.isLive()) {
        ctx.step("AD_CLOSE");
        audio.close();
        watch.after("AD_CLOSE", true);
    }
    if (!hasAudio && !hasGui)
        ctx.stop("makeModule(0, 1) and makeModule(0, 2) both returned null: the module makes no "
                 "object at all");
}

} // namespace wqhost
