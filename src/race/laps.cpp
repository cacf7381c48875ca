// Placeholder: lap, split and result registration.
#include "race/handlers.h"

void onLap(Tracker&, const IS_LAP&, Port&) {}
void onSplit(Tracker&, const IS_SPX&, Port&) {}
void onResult(Tracker&, const IS_RES&, Port&) {}
void appendConsoleTime(std::string&, std::uint32_t) {}
