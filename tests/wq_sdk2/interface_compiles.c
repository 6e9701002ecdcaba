/* Compiles the interface header as plain C11 with every warning an error. */
#include "wq_sdk2/wq_interface.h"

int wq_interface_compiles_c(void);
int wq_interface_compiles_c(void) {
    WQAudioHostRecord audio = {0};
    WQGuiHostRecord gui = {0};
    WQPinProperties pin = {0};
    WQEvent event = {0};
    audio.magic = WQ_AUDIO_MAGIC;
    gui.magic = WQ_GUI_MAGIC;
    pin.flags = IO_UI_COMMUNICATION;
    event.event_type = EV_DELAYED_CALL;
    return (int)(audio.magic != gui.magic) + pin.direction + event.int_value;
}
