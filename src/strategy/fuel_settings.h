// How the fuel estimate reads the laps and what amount it asks the pit menu for (the Fuel element of
// cfg.xml), and the stints of the plan (Plan). The defaults keep the last lap's use and no plan.
#pragma once

// Where the level at a lap line is read: the OutGauge reading after it, or Fuel200 of its IS_LAP.
enum class LevelSource {
    Gauge,  // level="gauge": the first OutGauge reading after each line, the level now projected from it
    Line,   // level="line": Fuel200 of each line where the simulator fills it, the OutGauge reading elsewhere
    Both,   // level="both": the level now from Fuel200 of this line, the use from the OutGauge readings
};

struct FuelSettings {
    int average = 1;          // valid laps averaged for the use per lap, 1 to 9; 1: the last lap alone
    float reserve = 0.0f;     // laps of fuel added to the amount, 0 to 5
    bool toFinish = false;    // fill="finish": the amount tops up what the tank holds to reach the flag
    // Opt-in rules; each default keeps the estimate as it was without them.
    float racing = 0.0f;      // racing="1.1": out-laps and laps this much slower than the car's best recent
                              // lap are left out of the use, 1.01 to 3; 0: every valid lap counts
    LevelSource level = LevelSource::Gauge;
    bool topUp = false;       // topUp="1": typed at every line with less than three laps' use left, to the
                              // flag (the least when the tank reaches it), never from a reading a stop came after
    int longAverage = 0;      // longAverage="40": valid laps averaged in place of `average`, 10 to 99; 0: off
    bool roundNearest = false;  // round="nearest": the amount typed is the nearest whole percent, not the next
    float stopSeconds = 0.0f;   // stopSeconds="30": in a timed race the time a stop costs, 1 to 600, taken off
                                // the time left for the laps the amount is for; 0: off
};

// The stint plan's stints: the Plan element of cfg.xml.
enum class Stints {
    Off,
    Even,  // stints="even": the fuel still needed split equally over the stops left
    Full,  // stints="full": a full tank at every stop but the last, the rest at the last
};
