// Starting the simulator: placeholder until the launcher lands.
#include "app/launcher.h"

void launchSimulator(const Config&, Port&) {}
