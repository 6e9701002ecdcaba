// The checks of the life of objects: opened and closed many times in turn,
// and several alive at once.
#include "host/core/AudioHost.h"
#include "host/checks/CheckSupport.h"
#include "host/core/GuiHost.h"
#include "host/checks/RawHost.h"
#include "host/describe/TextReport.h"
#include "host/memory/HeapCheck.h"
#include "host/platform/Library.h"
#include "host/platform/ProcessState.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace wqhost {

namespace {

// Shuffles with the check's random numbers, the same on every platform.
template <class T> void shuffle(CheckContext &ctx, std::vector<T> &items) {
    for (size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[ctx.below(static_cast<uint32_t>(i))]);
}

// Several objects of one side alive at once: kLiveObjects hosts, each made
// by `makeHost`, its object created and opened. Ends the check when the
// library refuses one or hands out a live object's record again.
template <class Host, class MakeHost>
std::vector<std::unique_ptr<Host>> openLiveObjects(CheckContext &ctx, const char *words,
                                                   const std::string &make, MakeHost makeHost) {
    std::vector<std::unique_ptr<Host>> hosts;
    std::set<const void *> records;
    for (int i = 0; i < kLiveObjects; ++i) {
        ctx.step(std::string("creating and opening ") + words + " object " + std::to_string(i) +
                 " of " + std::to_string(kLiveObjects));
        std::unique_ptr<Host> host = makeHost();
        if (!host->create())
            ctx.stop(make + " returned null with " + std::to_string(i) + " objects alive");
        if (!records.insert(host->record()).second) {
            host.release(); // the record belongs to a live object: never close it twice
            ctx.stop(make + " returned the record of a live object again");
        }
        host->open();
        hosts.push_back(std::move(host));
    }
    return hosts;
}

// Closes the objects in a random order; `afterClose` looks at each host
// once its object is closed, before the problems it found are reported.
template <class Host, class AfterClose>
void closeInAnyOrder(CheckContext &ctx, const char *words,
                     std::vector<std::unique_ptr<Host>> &hosts, AfterClose afterClose) {
    std::vector<size_t> order;
    for (size_t i = 0; i < hosts.size(); ++i)
        order.push_back(i);
    shuffle(ctx, order);
    for (size_t i : order) {
        ctx.step(std::string("closing ") + words + " object " + std::to_string(i));
        hosts[i]->close();
        afterClose(*hosts[i]);
        size_t seen = 0;
        failOnNewProblems(ctx, hosts[i]->problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

// Rounds of one kind of work between two measurements of the heap, and the
// growth over such rounds that is taken for a leak when it shows twice in a
// row (a cache that fills once grows only in the first).
constexpr int kLeakRounds = 24;
constexpr uint64_t kLeakBytes = 16 * 1024;

uint64_t heapNow() {
    uint64_t bytes = 0;
    heapBytesInUse(bytes);
    return bytes;
}

// Runs `round` once to warm up, then twice kLeakRounds times, measuring the
// heap around each; fails when it grew beyond kLeakBytes both times.
template <class Round>
void measureGrowth(CheckContext &ctx, const std::string &work, const std::string &where,
                   Round round) {
    ctx.step(work + ", once to warm up");
    round(0);
    uint64_t growth[2] = {0, 0};
    for (int phase = 0; phase < 2; ++phase) {
        ctx.step(work + ", " + std::to_string(kLeakRounds) + " times, heap measured");
        const uint64_t before = heapNow();
        for (int i = 0; i < kLeakRounds; ++i)
            round(1 + phase * kLeakRounds + i);
        const uint64_t after = heapNow();
        growth[phase] = after > before ? after - before : 0;
    }
    if (growth[0] > kLeakBytes && growth[1] > kLeakBytes)
        ctx.fail("leak: the heap grew by " + std::to_string(growth[0]) + " and then " +
                 std::to_string(growth[1]) + " bytes over twice " + std::to_string(kLeakRounds) +
                 " rounds of " + work + " (about " + std::to_string(growth[1] / kLeakRounds) +
                 " bytes a round): free what " + where + " allocates");
}

} // namespace

// ---------------------------------------------------------------- leaks

void checkLeaks(CheckContext &ctx) {
    uint64_t bytes = 0;
    if (!heapBytesInUse(bytes))
        ctx.cannotRun("this system cannot tell how much heap a process has in use");
    const CheckedTable table = readCheckedTable(ctx);
    const ModuleSides sides = moduleSides(ctx);
    if (!sides.audio || !sides.gui) {
        // One side: its objects made, opened and closed; no pins to change
        // without a GUI side.
        const Side side = sides.audio ? Side::Audio : Side::Gui;
        AudioHost::Options audioOptions;
        audioOptions.pinCount = table.audioPins;
        // The host keeps no calls, so that only the module's heap can grow.
        CallLog quiet;
        quiet.setKeeping(false);
        AudioHost audio(ctx.library(), audioOptions, &quiet);
        GuiHost gui(ctx.library(), GuiHost::Options(), &quiet);
        size_t seen = 0;
        const std::string words = side == Side::Audio ? "the audio object" : "the GUI object";
        measureGrowth(ctx, words + " made, opened and closed", "making, opening or closing",
                      [&](int) {
                          if (side == Side::Audio && audio.create()) {
                              audio.open();
                              audio.close();
                          } else if (side == Side::Gui && gui.create()) {
                              gui.open();
                              gui.close();
                          }
                      });
        failOnNewProblems(ctx, side == Side::Audio ? audio.problems() : gui.problems(), seen,
                          "opening and closing");
        return;
    }
    auto session = startCheckedSession(ctx, table, false, false);
    // The host keeps no calls, so that only the module's heap can grow.
    session->log().setKeeping(false);
    size_t seen = 0;
    measureGrowth(ctx, "both objects made, opened and closed", "making, opening or closing",
                  [&](int) { session->restart(); });
    failOnNewProblems(ctx, session->problems(), seen, "opening and closing");
    if (!table.pins.empty()) {
        static const char *const kTexts[] = {"12", "3,4=5", "678"};
        measureGrowth(ctx, "every pin changed", "a pin change", [&](int round) {
            for (const PinDeclaration &pin : table.pins)
                session->setPinText(pin.index, kTexts[round % 3]);
        });
        failOnNewProblems(ctx, session->problems(), seen, "pin changes");
    }
    ctx.step("closing both objects");
    session->stop();
    failOnNewProblems(ctx, session->problems(), seen, "closing");
}

// ---------------------------------------------------------- life of objects

void checkAudioOpenClose(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    AudioHost host(ctx.library(), audioOptionsFor(readCheckedTable(ctx)), &ctx.log());
    size_t seen = 0;
    for (int round = 0; round < kLifecycleRounds; ++round) {
        ctx.step("round " + std::to_string(round) +
                 ": makeModule(0, 1), AD_OPEN, sample rate, block size, one block, AD_CLOSE");
        if (!host.create())
            ctx.stop("makeModule(0, 1) returned null in round " + std::to_string(round));
        const intptr_t opened = host.open();
        if (opened != 0)
            ctx.fail("AD_OPEN returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        const float rate = round % 2 ? 48000.0f : 44100.0f;
        if (host.setSampleRate(rate) != 0)
            ctx.fail("AD_SET_SAMPLE_RATE returned non-zero, expected 0");
        if (host.setBlockSize(round % 2 ? 256u : 64u) != 0)
            ctx.fail("AD_SET_BLOCK_SIZE returned non-zero, expected 0");
        host.processBlock();
        if (host.isLive())
            host.close(); // a result other than 1 is one of the host's problems
        else
            ctx.fail("the object was gone before AD_CLOSE");
        failOnNewProblems(ctx, host.problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

void checkGuiOpenClose(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    const CheckedTable table = readCheckedTable(ctx);
    GuiHost host(ctx.library(), GuiHost::Options(), &ctx.log());
    size_t seen = 0;
    for (int round = 0; round < kLifecycleRounds; ++round) {
        ctx.step("round " + std::to_string(round) +
                 ": makeModule(0, 2), GD_OPEN, GD_OPCODE_10, GD_CLOSE");
        host.pins().clear();
        host.declarePins(table.pins);
        if (!host.create())
            ctx.stop("makeModule(0, 2) returned null in round " + std::to_string(round));
        host.options().openIndex = round % 2;
        const intptr_t opened = host.open();
        if (opened != 0)
            ctx.fail("GD_OPEN returned " + std::to_string(static_cast<long long>(opened)) +
                     ", expected 0");
        const intptr_t answer10 = host.dispatch(GD_OPCODE_10);
        if (answer10 != 0 && answer10 != 1)
            ctx.fail("GD_OPCODE_10 returned " + std::to_string(static_cast<long long>(answer10)) +
                     ", expected 0 or 1");
        host.close();
        failOnNewProblems(ctx, host.problems(), seen, std::string());
    }
    checkCallbacksNameTheirObject(ctx, ctx.log());
}

void checkAudioSeveralObjects(CheckContext &ctx) {
    requireSide(ctx, Side::Audio);
    const AudioHost::Options options = audioOptionsFor(readCheckedTable(ctx));
    auto hosts = openLiveObjects<AudioHost>(ctx, "audio", "makeModule(0, 1)", [&] {
        return std::make_unique<AudioHost>(ctx.library(), options, &ctx.log());
    });
    for (int i = 0; i < 4 * kLiveObjects; ++i) {
        const size_t which = ctx.below(kLiveObjects);
        ctx.step("one block on audio object " + std::to_string(which));
        hosts[which]->processBlock();
    }
    closeInAnyOrder(ctx, "audio", hosts, [](AudioHost &) {});
}

void checkGuiSeveralObjects(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    const CheckedTable table = readCheckedTable(ctx);
    GuiHost::Options options;
    options.echo = true;
    options.echoOnlyChanges = true;
    options.nestingLimit = kEchoNestingLimit;
    auto hosts = openLiveObjects<GuiHost>(ctx, "GUI", "makeModule(0, 2)", [&] {
        auto host = std::make_unique<GuiHost>(ctx.library(), options, &ctx.log());
        host->declarePins(table.pins);
        return host;
    });
    if (!table.pins.empty()) {
        const std::vector<TextCase> texts = pinTextCases();
        for (int i = 0; i < 10 * kLiveObjects; ++i) {
            const size_t which = ctx.below(kLiveObjects);
            const PinDeclaration &pin =
                table.pins[ctx.below(static_cast<uint32_t>(table.pins.size()))];
            const TextCase &text = texts[ctx.below(static_cast<uint32_t>(texts.size()))];
            ctx.step(pinLabel(pin) + " of GUI object " + std::to_string(which) + " set to " +
                     text.label);
            hosts[which]->setPinText(pin.index, text.text);
        }
    }
    closeInAnyOrder(ctx, "GUI", hosts, [&ctx](GuiHost &host) {
        if (host.nestingLimitReached())
            ctx.fail("the module's own writes kept coming back to it, " +
                         std::to_string(kEchoNestingLimit) +
                         " calls deep, although the host reports only writes that change a value",
                     ProblemCode::EchoNestingLimit);
    });
}

// --------------------------------------------------------- lifecycle paths

void checkLifecyclePaths(CheckContext &ctx) {
    const CheckedTable table = readCheckedTable(ctx);
    const ModuleSides sides = moduleSides(ctx);
    RawHost raw(ctx);
    raw.setPinCount(table.audioPins);
    auto closed = [&](intptr_t result, const std::string &call) {
        if (result != 1)
            ctx.fail(call + " returned " + std::to_string(static_cast<long long>(result)) +
                     ", expected 1");
    };
    constexpr intptr_t kHostValue = 0x11FE;
    if (sides.audio) {
        // A host that gives up between making and opening an object.
        ctx.step("makeModule(0, 1), then AD_CLOSE without AD_OPEN (a host that gives up before "
                 "opening: close must not need what open sets up)");
        auto *record = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, kHostValue));
        if (record)
            closed(raw.dispatch(record, AD_CLOSE), "AD_CLOSE without AD_OPEN");
        // A host that reads the pin table before it opens the object.
        ctx.step("makeModule(0, 1), every declaration asked before AD_OPEN (a host that reads "
                 "the pin table first: getPinProperties must not need what open sets up)");
        record = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, kHostValue));
        if (record) {
            for (size_t i = 0; i < table.pins.size(); ++i) {
                WQPinProperties properties;
                std::memset(&properties, 0, sizeof properties);
                ctx.step("AD_GET_PIN_PROPERTIES " + std::to_string(i) + " before AD_OPEN");
                if (raw.dispatch(record, AD_GET_PIN_PROPERTIES, static_cast<int32_t>(i), 0,
                                 &properties) == 0)
                    ctx.fail("AD_GET_PIN_PROPERTIES " + std::to_string(i) +
                             " before AD_OPEN refused a declaration the opened object has: a "
                             "declaration must not depend on open");
            }
            ctx.step("AD_OPEN and AD_CLOSE after the pin table was read");
            raw.dispatch(record, AD_OPEN);
            closed(raw.dispatch(record, AD_CLOSE), "AD_CLOSE");
        }
    }
    if (sides.gui) {
        ctx.step("makeModule(0, 2), then GD_CLOSE without GD_OPEN (a host that gives up before "
                 "opening: close must not need what open sets up)");
        auto *record = static_cast<WQGuiHostRecord *>(raw.make(0, WQ_TYPE_GUI, kHostValue));
        if (record)
            closed(raw.dispatch(record, GD_CLOSE), "GD_CLOSE without GD_OPEN");
    }
    // A host that loads a patch makes every object first, then opens them.
    std::vector<WQAudioHostRecord *> audio;
    std::vector<WQGuiHostRecord *> gui;
    for (int i = 0; i < 3; ++i) {
        ctx.step("object " + std::to_string(i) +
                 " of each side made before any is opened (a host loading a patch)");
        if (sides.audio)
            if (auto *r = static_cast<WQAudioHostRecord *>(raw.make(0, WQ_TYPE_AUDIO, kHostValue)))
                audio.push_back(r);
        if (sides.gui)
            if (auto *r = static_cast<WQGuiHostRecord *>(raw.make(0, WQ_TYPE_GUI, kHostValue)))
                gui.push_back(r);
    }
    for (size_t i = 0; i < audio.size() || i < gui.size(); ++i) {
        ctx.step("opening object " + std::to_string(i) + " of each side, all made before");
        if (i < audio.size())
            raw.dispatch(audio[i], AD_OPEN);
        if (i < gui.size())
            raw.dispatch(gui[i], GD_OPEN);
    }
    for (size_t i = 0; i < audio.size() || i < gui.size(); ++i) {
        ctx.step("closing object " + std::to_string(i) + " of each side");
        if (i < gui.size())
            closed(raw.dispatch(gui[i], GD_CLOSE), "GD_CLOSE");
        if (i < audio.size())
            closed(raw.dispatch(audio[i], AD_CLOSE), "AD_CLOSE");
    }
}

// ----------------------------------------------------------------- unload

void checkUnload(CheckContext &ctx) {
    // The threads before the library is loaded: a thread it starts (when
    // loaded or later) must have ended once it is unloaded, or it runs code
    // that is gone.
    const int threadsBefore = ProcessState::now().threads;
    {
        // Both sides made, opened and closed, so that whatever the module
        // sets up on first use is there to be torn down.
        AudioHost audio(ctx.library(), AudioHost::Options(), &ctx.log());
        GuiHost gui(ctx.library(), GuiHost::Options(), &ctx.log());
        ctx.step("makeModule(0, 1) and makeModule(0, 2), opened and closed");
        if (audio.create()) {
            audio.open();
            audio.close();
        }
        if (gui.create()) {
            gui.open();
            gui.close();
        }
    }
    ctx.step("unloading the library: its static destructors and atexit handlers run (a crash "
             "here is one of theirs: look at what they use that may be gone or never made)");
    ctx.releaseLibrary();
    const int threadsAfter = ProcessState::now().threads;
    if (threadsBefore > 0 && threadsAfter > threadsBefore)
        ctx.fail("unloading the library left " + std::to_string(threadsAfter - threadsBefore) +
                 " more thread" + (threadsAfter - threadsBefore == 1 ? "" : "s") + " (" +
                 std::to_string(threadsBefore) + " became " + std::to_string(threadsAfter) +
                 "): a thread the module started must end before its objects are closed or, "
                 "started when it is loaded, before it is unloaded");
    ctx.step("looking whether the library is still loaded");
    if (!Library::stillLoaded(ctx.libraryPath()))
        return;
    // A symbol bound GNU-unique keeps its library loaded for good: a
    // template's or inline function's static of the standard library is
    // enough. Hosts cope (the destructors run when the process ends), so it
    // is a warning with its fix.
    const std::vector<std::string> unique = Library::uniqueSymbols(ctx.libraryPath());
    if (!unique.empty()) {
        std::string names;
        for (size_t i = 0; i < unique.size() && i < 3; ++i)
            names += (i ? ", " : "") + unique[i];
        if (unique.size() > 3)
            names += " and " + std::to_string(unique.size() - 3) + " more";
        ctx.warn("the library stays loaded after the host unloaded it: it has " +
                 std::to_string(unique.size()) + " GNU unique symbol" +
                 (unique.size() == 1 ? "" : "s") + " (" + names +
                 "), which the loader never lets go, so its static destructors run only when "
                 "the host ends: build with -fno-gnu-unique (wq_add_module does where the "
                 "compiler has it)");
        return;
    }
    ctx.fail("the library is still loaded after the host unloaded it, so its static "
             "destructors have not run: something keeps it loaded (a thread still running, "
             "a load of itself)");
}

} // namespace wqhost
