// How the fuel estimate reads the laps and what amount it asks the pit menu for: the Fuel element of
// cfg.xml. The defaults keep the last lap's use alone and the fuel for the laps still to go.
#pragma once

struct FuelSettings {
    int average = 1;          // valid laps averaged for the use per lap, 1 to 9; 1: the last lap alone
    float reserve = 0.0f;     // laps of fuel added to the amount, 0 to 5
    bool toFinish = false;    // fill="finish": the amount tops up what the tank holds to reach the flag
};
