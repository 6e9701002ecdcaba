// ModuleLibrary - a module library loaded by path, with its two exports
// resolved: the description query and the object factory.
//
// Every call through the exports can be entered in a CallLog.
#pragma once

#include "host/trace/CallLog.h"
#include "host/platform/Library.h"

#include "wq_sdk2/wq_interface.h"

#include <cstdint>
#include <memory>
#include <string>

namespace wqhost {

// The description of one module of a library, texts copied.
struct ModuleDescription {
    int32_t index = 0;
    bool ok = false;              // what getModuleProperties returned (non-zero)
    int32_t result = 0;           // its raw result
    WQModuleDescription record{}; // the record as the library left it (cleared first)
    std::string name;
    std::string id;
    std::string about;
    uint32_t flags = 0;
    uint32_t guiFlags = 0;
    int32_t sdkVersion = 0;
};

class ModuleLibrary {
public:
    // Loads the library and resolves both exports. Throws HostError naming
    // the file, and the missing export when there is one.
    explicit ModuleLibrary(const std::string &path);

    // The same, shared: hosts keep the library loaded while they hold it.
    static std::shared_ptr<const ModuleLibrary> load(const std::string &path);

    const std::string &path() const noexcept { return m_library.path(); }

    // getModuleProperties(index, record) as it stands; the record is the
    // caller's.
    int32_t getModuleProperties(int32_t index, WQModuleDescription *record,
                                CallLog *log = nullptr) const;

    // Queries module `index` with a cleared record and copies the texts.
    ModuleDescription describe(int32_t index = 0, CallLog *log = nullptr) const;

    // makeModule(index, type, callback, hostValue) as it stands.
    void *makeModule(int32_t index, int32_t type, WQHostCallback callback, intptr_t hostValue,
                     CallLog *log = nullptr) const;

    WQGetModulePropertiesProc getModulePropertiesProc() const noexcept { return m_describe; }
    WQMakeModuleProc makeModuleProc() const noexcept { return m_make; }

private:
    // The export `name`; throws HostError saying what to do when it is missing.
    void *exportNamed(const char *name) const;

    Library m_library;
    WQGetModulePropertiesProc m_describe = nullptr;
    WQMakeModuleProc m_make = nullptr;
};

} // namespace wqhost
