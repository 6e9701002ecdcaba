// The library's two exported functions: the only way in for the host.
#include "list_module/GuiModule.h"
#include "wq_sdk2/wq_interface.h"

#include <new>

namespace {

// One constant text serves as name, id and description.
constexpr char kModuleName[] = "Quendor";

constexpr uint32_t kModuleFlags = 512;    // bit 9
constexpr uint32_t kModuleGuiFlags = 256; // bit 8

} // namespace

extern "C" {

WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record) {
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
    // The host only ever sees the embedded record, never the object itself.
    switch (type) {
    case WQ_TYPE_GUI: {
        // No exception may reach the host: without memory the answer is null.
        GuiModule *gui = new (std::nothrow) GuiModule(hostCallback, hostValue);
        return gui != nullptr ? gui->hostRecord() : nullptr;
    }
    default:
        return nullptr;
    }
}

} // extern "C"
