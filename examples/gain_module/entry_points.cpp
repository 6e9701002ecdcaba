// The library's two exported functions, defined by wq_sdk2 from the module's
// description and its classes. Gain has nothing to show, so it has no GUI
// side: `void` names that class, and makeModule answers WQ_TYPE_GUI with null.
#include "Gain.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

// Constant texts: the host keeps pointers to them as long as the library is loaded.
constexpr char kName[] = "Gain";
constexpr char kAbout[] = "Multiplies the samples on IN by GAIN and writes them to OUT";

constexpr wq::ModuleDescription kGain = {
    kName,  // name
    kName,  // id
    kAbout, // about
    512,    // flags: bits whose meaning belongs to the host; Quendor sets the same
    256,    // GUI flags
};

} // namespace

WQ_MODULE_ENTRY_POINTS(kGain, Gain, void);
