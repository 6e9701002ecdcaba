#include "wq_sdk2/WQPin.h"

#include "wq_sdk2/WQModule_base.h"
#include "wq_sdk2/wq_check.h"

#include <cstring>

void WQPin::init(WQModule_base *module, int32_t index, int32_t datatype, void *variable) {
    m_module = module;
    m_index = index;
    m_datatype = datatype;
    m_variable = variable;
    m_status = 0;

    if (variable != nullptr) {
        m_storage.raw = 0;
        return;
    }
    switch (datatype) {
    case DT_ENUM:
        m_storage.raw = 0;
        m_storage.enum_value = 0;
        break;
    case DT_BYTE:
        m_storage.raw = 0;
        m_storage.byte_value = 0;
        break;
    case DT_FSAMPLE:
        m_storage.buffer = reinterpret_cast<float *>(m_module->callHost(AH_PIN_BUFFER, m_index));
        break;
    case DT_FLOAT:
        m_storage.raw = 0;
        m_storage.float_value = 0.0f;
        break;
    case DT_INT:
        m_storage.raw = 0;
        m_storage.int_value = 0;
        break;
    default:
        // Types the audio side has no storage for keep no value here.
        return;
    }
    m_variable = &m_storage;
}

void WQPin::onStatusChange(int32_t status) {
    m_status = status;
    m_module->onPinStatusChange(this);
    if (status == 1)
        m_status = 0;
}

wq_result_t WQPin::transmitStatus(uint32_t sampleclock, int32_t status) {
    WQ_CHECK(sampleclock >= m_module->SampleClock());
    // The sample clock travels as a number in the pointer argument.
    return m_module->callHost(AH_PIN_STATUS, m_index, status,
                              reinterpret_cast<void *>(static_cast<uintptr_t>(sampleclock)));
}

wq_result_t WQPin::callHost0(void *first, int32_t second) {
    return m_module->callHost(AH_OPCODE_0, m_index, second, first);
}

bool WQPin::callHost1() { return m_module->callHost(AH_OPCODE_1, m_index) != 0; }

float WQPin::getSampleValue() {
    WQ_CHECK(m_datatype == DT_FSAMPLE);
    const uint32_t buffer_clock =
        static_cast<uint32_t>(m_module->callHost(AH_PIN_BUFFER_CLOCK, m_index));
    const uint32_t sample_clock = m_module->SampleClock();
    // The variable holds the buffer's address, whether it is the module's own
    // variable or the local storage filled from AH_PIN_BUFFER.
    const float *buffer = nullptr;
    std::memcpy(&buffer, m_variable, sizeof buffer);
    WQ_CHECK(buffer != 0);
    return buffer[sample_clock - buffer_clock];
}
