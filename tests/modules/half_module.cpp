// A library for the host's tests that exports the description query but no
// object factory: loading it as a module must fail naming the missing export.
#include "wq_sdk2/wq_interface.h"

extern "C" WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index,
                                                        WQModuleDescription *record) {
    record->sdkVersion = WQ_SDK_VERSION;
    return index == 0 ? 1 : 0;
}
