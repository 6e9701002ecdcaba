#include "host/core/ModuleLibrary.h"

#include "host/memory/GuardedMemory.h"
#include "host/platform/HostError.h"
#include "host/platform/LibraryFile.h"
#include "host/platform/ModuleCodeWatch.h"
#include "host/platform/UntrustedText.h"

#include <cstring>

namespace wqhost {

namespace {

// The loader hands out function addresses as data pointers; copy the bits
// rather than cast between the two kinds of pointer.
template <typename Fn> Fn functionFrom(void *address) {
    static_assert(sizeof(Fn) == sizeof(void *), "function and data pointers differ in size");
    Fn fn;
    std::memcpy(&fn, &address, sizeof fn);
    return fn;
}

// A text of the description, read without trusting the pointer: what can
// be read of it, within the bound (the description checks say what is wrong).
std::string copyText(const char *text) { return UntrustedText::read(text, kMaxNameText).text; }

} // namespace

ModuleLibrary::ModuleLibrary(const std::string &path) : m_library(path) {
    m_describe =
        functionFrom<WQGetModulePropertiesProc>(exportNamed(WQ_GET_MODULE_PROPERTIES_NAME));
    m_make = functionFrom<WQMakeModuleProc>(exportNamed(WQ_MAKE_MODULE_NAME));
}

void *ModuleLibrary::exportNamed(const char *name) const {
    if (void *address = m_library.findSymbol(name))
        return address;
    // What the file itself says (exports under C++ names, another word size)
    // goes with the error where it is reported; without such a cause the
    // library simply never defined the exports.
    std::string message = "library '" + m_library.path() + "' does not export '" + name + "'";
    if (libraryHint(m_library.path()).empty())
        message += ": define the two exports with WQ_MODULE_ENTRY_POINTS(description, "
                   "AudioClass, GuiClass) from wq_sdk2/wq_module_entry.h";
    throw HostError(message);
}

std::shared_ptr<const ModuleLibrary> ModuleLibrary::load(const std::string &path) {
    return std::make_shared<const ModuleLibrary>(path);
}

int32_t ModuleLibrary::getModuleProperties(int32_t index, WQModuleDescription *record,
                                           CallLog *log) const {
    // The library fills a copy in guarded memory, copied back afterwards: a
    // library that writes past the record's end stops inside this call.
    GuardedMemory guarded;
    WQModuleDescription *filled = record;
    if (record) {
        guarded = GuardedMemory::copyOf(record, sizeof *record, kGuardedDescriptionRecord);
        filled = guarded.as<WQModuleDescription>();
    }
    int32_t result;
    if (!log) {
        ModuleCodeScope moduleCode(RunningCode::Module);
        result = m_describe(index, filled);
    } else {
        CallScope scope(*log, makeCall(Side::Library, CallKind::GetModuleProperties, nullptr,
                                       CallArgs{0, index, 0, record, 0.0f}));
        {
            ModuleCodeScope moduleCode(RunningCode::Module);
            result = m_describe(index, filled);
        }
        scope.finish(result);
    }
    if (record)
        std::memcpy(record, filled, sizeof *record);
    return result;
}

ModuleDescription ModuleLibrary::describe(int32_t index, CallLog *log) const {
    ModuleDescription d;
    d.index = index;
    std::memset(&d.record, 0, sizeof d.record);
    d.result = getModuleProperties(index, &d.record, log);
    d.ok = d.result != 0;
    d.name = copyText(d.record.name);
    d.id = copyText(d.record.id);
    d.about = copyText(d.record.about);
    d.flags = d.record.flags;
    d.guiFlags = d.record.guiFlags;
    d.sdkVersion = d.record.sdkVersion;
    return d;
}

void *ModuleLibrary::makeModule(int32_t index, int32_t type, WQHostCallback callback,
                                intptr_t hostValue, CallLog *log) const {
    if (!log) {
        ModuleCodeScope moduleCode(RunningCode::Module);
        return m_make(index, type, callback, hostValue);
    }
    const CallArgs args{0, index, type, reinterpret_cast<void *>(hostValue), 0.0f};
    CallScope scope(*log, makeCall(Side::Library, CallKind::MakeModule, nullptr, args));
    void *record;
    {
        ModuleCodeScope moduleCode(RunningCode::Module);
        record = m_make(index, type, callback, hostValue);
    }
    scope.finish(reinterpret_cast<intptr_t>(record));
    return record;
}

} // namespace wqhost
