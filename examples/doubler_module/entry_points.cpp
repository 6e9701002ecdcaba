// The library's two exported functions, defined by wq_sdk2 from the module's
// description and its two classes: the host's only way in.
#include "Doubler.h"
#include "DoublerGui.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

// Constant texts: the host keeps pointers to them as long as the library is loaded.
constexpr char kName[] = "Doubler";
constexpr char kAbout[] = "Writes twice the number on pin 0 to pin 1";

// Name, id and about; the flags are the framework's defaults.
constexpr wq::ModuleDescription kDoubler = {kName, kName, kAbout};

} // namespace

WQ_MODULE_ENTRY_POINTS(kDoubler, Doubler, DoublerGui);
