// The answers a module must survive on every text pin: a null text, and for
// 16-bit texts a length of zero or below (the texts themselves, empty, 64 KiB
// long and 8-bit, are the pin-changes check's). A module that reads a null
// answer as a string, or trusts a 16-bit length, crashes here, and the
// report names the answer.
#include "host/checks/CheckSupport.h"
#include "host/core/GuiHost.h"
#include "host/pins/PinStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wqhost {

void checkTextAnswers(CheckContext &ctx) {
    requireSide(ctx, Side::Gui);
    const CheckedTable table = readCheckedTable(ctx);
    std::vector<const PinDeclaration *> textPins;
    for (const PinDeclaration &pin : table.pins)
        if (pinKindOf(pin.record.datatype) == PinKind::Text)
            textPins.push_back(&pin);
    if (textPins.empty())
        ctx.skip("the module declares no text pins");
    auto session = startCheckedSession(ctx, table, false, false);
    size_t seen = 0;
    failOnNewProblems(ctx, session->problems(), seen, "opening");
    GuiHost &gui = session->gui();
    for (const PinDeclaration *pin : textPins) {
        const std::string label = pinLabel(*pin);
        // The value is a short text; only the answers below change.
        session->setPinText(pin->index, "12");
        const std::string null = "GD_PIN_CHANGED for " + label +
                                 " with GH_PIN_GET_TEXT answering a null text (read a null text "
                                 "as the empty text)";
        ctx.step(null);
        gui.answerNullTextOnce();
        gui.notifyPinChanged(pin->index);
        failOnNewProblems(ctx, session->problems(), seen, null);
        for (intptr_t length : {intptr_t(0), intptr_t(-1), intptr_t(INT32_MIN)}) {
            const std::string what = "GD_PIN_CHANGED for " + label +
                                     " with GH_PIN_GET_TEXT_W giving the length " +
                                     std::to_string(static_cast<long long>(length)) +
                                     " (a length below 1 means there is no text to read)";
            ctx.step(what);
            gui.answerWideLengthOnce(length);
            gui.notifyPinChanged(pin->index);
            failOnNewProblems(ctx, session->problems(), seen, what);
        }
    }
    ctx.step("closing both objects");
    session->stop();
    failOnNewProblems(ctx, session->problems(), seen, "closing");
}

} // namespace wqhost
