// Must not compile: an export defined with a signature other than the one
// wq_interface.h declares (the record as an untyped pointer). Compiled only
// by the export_signature test, which expects the compiler to refuse it.
#include "wq_sdk2/wq_interface.h"

extern "C" WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, void *record) {
    return index == 0 && record != nullptr;
}
