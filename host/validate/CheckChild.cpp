#include "host/validate/CheckChild.h"

#include "host/checks/ConformanceCheck.h"
#include "host/memory/GuardedMemory.h"
#include "host/memory/HeapCheck.h"
#include "host/platform/CrashFrames.h"
#include "host/platform/CrashReport.h"
#include "host/platform/HostError.h"
#include "host/platform/StackLimit.h"
#include "host/process/ChildProcess.h"

#include <exception>
#include <string>

namespace wqhost {

namespace {

// The room past the end of every copy of memory the host hands a module,
// but the one the check looks for overruns of.
constexpr size_t kOverrunRoom = 256;

} // namespace

int runCheckHere(const ConformanceCheck &check, const std::string &libraryPath, uint64_t seed,
                 std::FILE *channel) {
    CheckContext ctx(check.name, libraryPath, seed, channel);
    // A module that runs past memory the host handed it crashes; the
    // channel then says which memory, for the report.
    reportGuardFaultsTo(channel);
    // A crash tells its frames on the channel, then the guard's line.
    reportCrashFramesTo(channel);
    GuardedMemory::setRoom(kOverrunRoom, check.exactMemory);
    // The module's calls get no more stack than a host's thread gives. Where
    // that cannot be done (Windows), they get the main thread's.
    std::string noLimit;
    limitStackFromHere(kModuleStackBytes, noLimit);
    try {
        check.run(ctx);
        ctx.writeVerdict(ctx.failed() ? "fail" : "pass");
    } catch (const CheckContext::End &end) {
        ctx.writeVerdict(end.verdict, end.key, end.value);
    } catch (const HostError &e) {
        ctx.fail(std::string("the host could not go on: ") + e.what());
        ctx.writeVerdict("fail");
    } catch (...) {
        // An exception that left a call into the module is the module's: it
        // crossed the C interface, and the module is left half way through
        // that call. Named, it ends the child like any other crash.
        if (CallLog::leftByException())
            abortOnEscapedException(std::string());
        try {
            throw;
        } catch (const std::exception &e) {
            ctx.fail(std::string("the check itself failed: ") + e.what());
            ctx.writeVerdict("fail");
        }
    }
    return 0;
}

// The child's side (Validator starts the tool again for each check): one
// check in this process, its channel on standard output. The child ends
// here once the check has written its verdict and let go of the library,
// as a program ends: what the module's static destructors, atexit handlers
// or a sanitizer's leak check print after the verdict still reaches the
// parent.
void runCheckChild(const std::string &name, const std::string &libraryPath, uint64_t seed) {
    const ConformanceCheck *check = findConformanceCheck(name);
    if (!check)
        throw HostError("unknown check '" + name + "'");
    enableHeapCheckIfAsked();
    std::FILE *channel = ChildProcess::takeChannel();
    if (!channel)
        throw HostError("cannot set up the channel of the check '" + name + "'");
    int status = 70;
    try {
        status = runCheckHere(*check, libraryPath, seed, channel);
    } catch (...) {
        // The parent reports a child that ended without a verdict.
    }
    ChildProcess::endNormally(status);
}

} // namespace wqhost
