// Placeholder: the OutGauge step.
#include "race/handlers.h"

void onOutGauge(Tracker&, const void*, std::size_t, Port&) {}
void recordLapFuel(Tracker&, float, Port&) {}
