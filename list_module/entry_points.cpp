// The library's two exported functions, the only way in for the host:
// module 0 is Quendor, with Module on the audio side and GuiModule on the
// GUI side.
#include "list_module/GuiModule.h"
#include "list_module/Module.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

// One constant text serves as name, id and description.
constexpr char kModuleName[] = "Quendor";

// The framework's default flags: bit 9, and bit 8 of the GUI flags.
constexpr wq::ModuleDescription kQuendor = {kModuleName, kModuleName, kModuleName, wq::kModuleFlags,
                                            wq::kGuiFlags};

} // namespace

WQ_MODULE_ENTRY_POINTS(kQuendor, Module, GuiModule);
