#include "host/trace/CallRecord.h"

namespace wqhost {

CallRecord makeCall(Side side, CallKind kind, const void *record, const CallArgs &args,
                    uint32_t clock) {
    CallRecord call;
    call.direction = kind == CallKind::Callback ? Direction::ModuleToHost : Direction::HostToModule;
    call.side = side;
    call.kind = kind;
    call.record = record;
    call.opcode = args.opcode;
    call.index = args.index;
    call.value = args.value;
    call.ptr = reinterpret_cast<intptr_t>(args.ptr);
    call.opt = args.opt;
    call.clock = clock;
    return call;
}

bool carriesText(const CallRecord &call) noexcept {
    return call.side == Side::Gui && call.kind == CallKind::Callback &&
           (call.opcode == GH_PIN_SET_TEXT || call.opcode == GH_PIN_SET_LIST_TEXT);
}

} // namespace wqhost
