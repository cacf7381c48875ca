// Defaults of the settings record.
// Applied after the file is read, whenever a field is still 0.
#include "app/config.h"

void applyDefaults(Config& config) {
    if (config.insimPort == 0) config.insimPort = 12500;
    if (config.outGaugePort == 0) config.outGaugePort = 12501;
    if (config.boardTimeOutMs == 0) config.boardTimeOutMs = 15000;
}
