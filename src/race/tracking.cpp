// Placeholder: session state and restarts.
#include "race/handlers.h"

void clearButtons(Port& port) {
    const IS_BFN clear{sizeof(IS_BFN), ISP_BFN, 0, BFN_CLEAR, 0, 0, 0, 0};
    port.send(&clear, sizeof clear);
}
void onState(Tracker&, const IS_STA&, Port&) {}
void onRestart(Tracker&, const IS_RST&, Port&) {}
