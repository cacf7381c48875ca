// Defaults of the settings record.
// Applied after the file is read, whenever a field is still 0.
#include "app/config.h"

void applyDefaults(Config& config) {
    if (config.insimPort == 0) config.insimPort = kDefaultInSimPort;
    if (config.outGaugePort == 0) config.outGaugePort = kDefaultOutGaugePort;
    if (config.boardTimeOutMs == 0) config.boardTimeOutMs = kDefaultBoardTimeOutMs;
}
