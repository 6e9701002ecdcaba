// The library's two exported functions: the only way in for the host.
#include "list_module/GuiModule.h"
#include "list_module/Module.h"
#include "wq_sdk2/wq_interface.h"

#include <new>

namespace {

// One constant text serves as name, id and description.
constexpr char kModuleName[] = "Quendor";

constexpr uint32_t kModuleFlags = 512;    // bit 9
constexpr uint32_t kModuleGuiFlags = 256; // bit 8

// Creates one object and hands out the address of its embedded host record,
// never the object's own; null when no memory could be had.
template <class T>
void *createObject(WQHostCallback hostCallback, intptr_t hostValue) {
    T *object = new (std::nothrow) T(hostCallback, hostValue);
    return object != nullptr ? static_cast<void *>(object->hostRecord()) : nullptr;
}

} // namespace

extern "C" {

WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record) {
    // A host that passes no record gets a refusal rather than a crash.
    if (record == nullptr)
        return 0;
    record->sdkVersion = WQ_SDK_VERSION;
    if (index != 0)
        return 0;
    record->name = kModuleName;
    record->id = kModuleName;
    record->about = kModuleName;
    record->guiFlags = kModuleGuiFlags;
    record->flags = kModuleFlags;
    return 1;
}

WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                                  intptr_t hostValue) {
    if (index != 0)
        return nullptr;
    // A constructor that fails has released its storage already; the host
    // sees only the null result.
    try {
        switch (type) {
        case WQ_TYPE_AUDIO:
            return createObject<Module>(hostCallback, hostValue);
        case WQ_TYPE_GUI:
            return createObject<GuiModule>(hostCallback, hostValue);
        default:
            return nullptr;
        }
    } catch (...) {
        return nullptr;
    }
}

} // extern "C"
