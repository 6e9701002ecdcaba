// "Note", a module with a GUI side only, as an author writes one on wq_sdk2:
// a panel that the host opens and closes and asks nothing of. It declares
// no pins (pins are declared by the audio side, and it has none), so the
// audio class is `void` and makeModule answers WQ_TYPE_AUDIO with null. The
// host's tests run it through `info`, `run` and `panel`, which must drive
// the GUI side alone and never ask for the audio side's pins or blocks.
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

class NoteGui : public WQGUI_base {
public:
    NoteGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}

protected:
    // The host's query whether the panel is shown: it always is.
    bool onHostOpcode10() override { return true; }
};

constexpr char kName[] = "Note";
constexpr char kAbout[] = "A panel without audio (GUI side only)";
constexpr wq::ModuleDescription kNote = {kName, kName, kAbout, 512, 256};

} // namespace

WQ_MODULE_ENTRY_POINTS(kNote, void, NoteGui);
