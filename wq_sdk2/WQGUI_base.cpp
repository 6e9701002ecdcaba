#include "wq_sdk2/WQGUI_base.h"

#include "wq_sdk2/wq_check.h"

#include <cstring>

WQGuiPin WQGUI_base::s_sharedPin = {0, nullptr};

// The host passes the record's own address. The object's virtual dispatch
// does the rest, so a derived dispatch is honoured.
wq_result_t WQ_ABI WQGUI_base::dispatcherEntry(WQGuiHostRecord *record, int32_t opcode,
                                               int32_t index, int32_t value, void *ptr, float opt) {
    WQ_CHECK(record != 0);
    WQGUI_base *self = objectOf(record->object);
    try {
        return self->dispatch(opcode, index, value, ptr, opt);
    } catch (...) {
        WQ_CHECK_TEXT(false, wq::kNoExceptionToHost);
    }
    return 0;
}

WQGUI_base *WQGUI_base::objectOf(void *object) {
    WQ_CHECK(object != 0);
    return static_cast<WQGUI_base *>(object);
}

WQGUI_base::WQGUI_base(WQHostCallback hostCallback, intptr_t hostValue)
    : wqaudioMaster(hostCallback) {
    std::memset(&m_record, 0, sizeof m_record);
    m_record.magic = WQ_GUI_MAGIC;
    m_record.dispatcher = &WQGUI_base::dispatcherEntry;
    m_record.object = this;
    m_record.hostValue = hostValue;
    m_record.version = WQ_RECORD_VERSION;
}

WQGUI_base::~WQGUI_base() = default;

// clang-format off
wq_result_t WQGUI_base::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr,
                                 float opt) {
    // Unsigned, so a negative opcode lands in default with every number above 12.
    switch (static_cast<uint32_t>(opcode)) {
    case GD_OPEN:
        open(index == 1);
        return 0;
    case GD_CLOSE:
        close();
        // The object and its embedded record are gone after this line; only
        // the constant result is returned.
        delete this;
        return 1;
    case GD_OPCODE_2:
        onHostOpcode2(index, ptr);
        return 0;
    case GD_OPCODE_3: {
        WQPair pair = {index, value};
        onHostOpcode3(ptr, opt, &pair);
        return 0;
    }
    case GD_OPCODE_4: {
        WQPair pair = {index, value};
        onHostOpcode4(ptr, opt, &pair);
        return 0;
    }
    case GD_OPCODE_5: {
        WQPair pair = {index, value};
        onHostOpcode5(ptr, opt, &pair);
        return 0;
    }
    case GD_OPCODE_6:
        onHostOpcode6(value, index, ptr);
        return 0;
    case GD_PIN_CHANGED: {
        // A handle of its own: getPin calls inside onPinChanged leave it alone.
        WQGuiPin pin = {index, this};
        onPinChanged(&pin);
        return 0;
    }
    case GD_OPCODE_8:
        onHostOpcode8(ptr);
        return 0;
    case GD_OPCODE_9:
        onHostOpcode9(ptr);
        return 0;
    case GD_OPCODE_10:
        return onHostOpcode10() ? 1 : 0;
    case GD_OPCODE_11:
        onHostOpcode11(index);
        return 0;
    case GD_OPCODE_12:
        onHostOpcode12(index);
        return 0;
    default:
        return 0;
    }
}

wq_result_t WQGUI_base::callHost8(int32_t index, int32_t value, void *ptr) {
    return callHost(GH_OPCODE_8, index, value, ptr, 0.0f);
}

wq_result_t WQGUI_base::callHost18(void *ptr) {
    return callHost(GH_OPCODE_18, 0, 0, ptr, 0.0f);
}

wq_result_t WQGUI_base::callHost19(void *ptr) {
    return callHost(GH_OPCODE_19, 0, 0, ptr, 0.0f);
}

bool WQGUI_base::callHost20(void *ptr) {
    return callHost(GH_OPCODE_20, 0, 0, ptr, 0.0f) != 0;
}

// Default operations: each does nothing the host could observe.
void WQGUI_base::open(bool) {}
void WQGUI_base::close() {}
void WQGUI_base::onHostOpcode2(int32_t, void *) {}
void WQGUI_base::onHostOpcode3(void *, float, WQPair *) {}
void WQGUI_base::onHostOpcode4(void *, float, WQPair *) {}
void WQGUI_base::onHostOpcode5(void *, float, WQPair *) {}
void WQGUI_base::onHostOpcode8(void *) {}
void WQGUI_base::onHostOpcode9(void *) {}
bool WQGUI_base::onHostOpcode10() { return false; }
void WQGUI_base::onHostOpcode11(int32_t) {}
void WQGUI_base::onHostOpcode12(int32_t) {}
void WQGUI_base::onHostOpcode6(int32_t, int32_t, void *) {}
void WQGUI_base::onPinChanged(WQGuiPin *) {}

// callHost and its fixed-opcode forms stop here, before any call, for an object made without a
// host callback. The check's message holds its line number: the layout from clang-format off stays.
void WQGUI_base::stopWithoutHostCallback() const {
    WQ_CHECK(wqaudioMaster);
}
