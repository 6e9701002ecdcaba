// The benchmarks' floor module: the host calls of the list selector's pin
// handlings, in the same order and with the same texts, and nothing else.
// Every name, number and text comes from the answers the benchmark set
// beforehand, looked up by the number the host reports.
#include "bench/floor_module.h"

#include <new>

namespace {

constexpr char kName[] = "Quendor floor";

// The answers shared by every floor object; set before any pin changes.
const FloorAnswers *s_answers = nullptr;

struct FloorObject {
    WQGuiHostRecord record;
    WQHostCallback host;
    int32_t updating; // as the selector: 1 while the selection handling writes pin 3

    wq_result_t call(int32_t opcode, int32_t index, int32_t value, void *ptr) {
        return host(&record, opcode, index, value, ptr, 0.0f);
    }

    int32_t readInt(int32_t pin) {
        int32_t v = 0;
        call(GH_PIN_GET_VALUE, pin, 0, &v);
        return v;
    }

    void onListText() {
        call(GH_PIN_GET_TEXT, 0, 0, nullptr);
        call(GH_PIN_SET_LIST_TEXT, 1, 0, const_cast<char *>(s_answers->listText));
        call(GH_PIN_GET_TEXT, 3, 0, nullptr);
        call(GH_PIN_SET_VALUE, 1, s_answers->valueTextNumber, nullptr);
    }

    void onSelection() {
        const int32_t selected = readInt(1);
        call(GH_PIN_GET_TEXT, 0, 0, nullptr);
        if (selected < 0 || selected >= s_answers->itemCount)
            return;
        call(GH_PIN_SET_TEXT, 2, 0, const_cast<char *>(s_answers->names[selected]));
        updating = 1;
        const int32_t now = readInt(1);
        // The benchmark never changes pin 1 during the pin-2 write, so `now`
        // is always a number of the table.
        const char *text =
            now >= 0 && now < s_answers->numberCount ? s_answers->numberTexts[now] : "";
        call(GH_PIN_SET_TEXT, 3, 0, const_cast<char *>(text));
        updating = 0;
    }

    void onValueText() {
        if (updating == 1)
            return;
        call(GH_PIN_GET_TEXT, 3, 0, nullptr);
        call(GH_PIN_SET_VALUE, 1, s_answers->valueTextNumber, nullptr);
    }
};

} // namespace

extern "C" {

// The dispatcher entry of every floor object.
static wq_result_t WQ_ABI floorEntry(WQGuiHostRecord *record, int32_t opcode, int32_t index,
                                     int32_t, void *, float) {
    FloorObject *object = static_cast<FloorObject *>(record->object);
    switch (opcode) {
    case GD_OPEN:
        object->call(GH_OPCODE_22, 0, 0, nullptr);
        object->updating = 0;
        return 0;
    case GD_CLOSE:
        object->call(GH_OPCODE_22, 0, 0, nullptr);
        delete object;
        return 1;
    case GD_PIN_CHANGED:
        switch (index) {
        case 0: object->onListText(); break;
        case 1: object->onSelection(); break;
        case 3: object->onValueText(); break;
        default: break;
        }
        return 0;
    case GD_OPCODE_10: return 1;
    default: return 0;
    }
}

WQ_EXPORT int32_t WQ_ABI getModuleProperties(int32_t index, WQModuleDescription *record) {
    if (record == nullptr)
        return 0;
    record->sdkVersion = WQ_SDK_VERSION;
    if (index != 0)
        return 0;
    record->name = kName;
    record->id = kName;
    record->about = kName;
    record->flags = 512;
    record->guiFlags = 256;
    return 1;
}

WQ_EXPORT void *WQ_ABI makeModule(int32_t index, int32_t type, WQHostCallback hostCallback,
                                  intptr_t hostValue) {
    if (index != 0 || type != WQ_TYPE_GUI)
        return nullptr;
    FloorObject *object = new (std::nothrow) FloorObject;
    if (object == nullptr)
        return nullptr;
    object->record = WQGuiHostRecord{};
    object->record.magic = WQ_GUI_MAGIC;
    object->record.version = WQ_RECORD_VERSION;
    object->record.dispatcher = &floorEntry;
    object->record.hostValue = hostValue;
    object->record.object = object;
    object->host = hostCallback;
    object->updating = 0;
    return &object->record;
}

WQ_EXPORT void WQ_ABI floorSetAnswers(const FloorAnswers *answers) { s_answers = answers; }

} // extern "C"
