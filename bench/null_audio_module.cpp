// The floor of the audio benchmarks: a module with an audio input, an audio
// output and a process function that does nothing, so that what is measured
// with it is the host's own cost per block.
#include "wq_sdk2/WQGUI_base.h"
#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_module_entry.h"

namespace {

class NullAudio : public WQModule_base {
public:
    NullAudio(WQHostCallback hostCallback, intptr_t hostValue)
        : WQModule_base(hostCallback, hostValue) {}

    void open() override {
        setProcessFunction(wq::memberRef<&NullAudio::process>());
        WQModule_base::open();
    }

    bool getPinProperties(int32_t index, WQPinProperties *properties) override {
        if (index < 0 || index > 1)
            return false;
        properties->name = index == 0 ? "IN" : "OUT";
        properties->direction = index == 0 ? DR_IN : DR_OUT;
        properties->datatype = DT_FSAMPLE;
        return true;
    }

private:
    void process() {}
};

class NullAudioGui : public WQGUI_base {
public:
    NullAudioGui(WQHostCallback hostCallback, intptr_t hostValue)
        : WQGUI_base(hostCallback, hostValue) {}
};

constexpr char kName[] = "Null Audio";
constexpr wq::ModuleDescription kNullAudio = {kName, kName, kName, 0, 0};

} // namespace

WQ_MODULE_ENTRY_POINTS(kNullAudio, NullAudio, NullAudioGui);
