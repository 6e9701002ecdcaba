// The two functions the library exports: the host's only way in.
#include "Doubler.h"
#include "DoublerGui.h"
#include "wq_sdk2/wq_interface.h"

#include <new>

namespace {

constexpr char kName[] = "Doubler";
constexpr char kAbout[] = "Writes twice the number on pin 0 to pin 1";

// Creates one object and returns the address of its host record, which is
// what the host holds and calls through; null when no memory could be had.
template <class T>
void *create(WQHostCallback hostCallback, intptr_t hostValue) {
    T *object = new (std::nothrow) T(hostCallback, hostValue);
    return object != nullptr ? static_cast<void *>(object->hostRecord()) : nullptr;
}

} // namespace

extern "C" {

WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record) {
    record->sdkVersion = WQ_SDK_VERSION;
    if (index != 0)
        return 0;
    record->name = kName;
    record->id = kName;
    record->about = kAbout;
    // Flag bits whose meaning belongs to the host; Quendor sets the same.
    record->flags = 512;
    record->guiFlags = 256;
    return 1;
}

WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                                  intptr_t hostValue) {
    if (index != 0)
        return nullptr;
    // No C++ exception may reach the host.
    try {
        switch (type) {
        case WQ_TYPE_AUDIO:
            return create<Doubler>(hostCallback, hostValue);
        case WQ_TYPE_GUI:
            return create<DoublerGui>(hostCallback, hostValue);
        default:
            return nullptr;
        }
    } catch (...) {
        return nullptr;
    }
}

} // extern "C"
