// Defaults of the settings record, applied after the file is read whenever a field is still 0,
// and the settings in use described in a few words.
#include "app/config.h"

void applyDefaults(Config& config) {
    if (config.insimPort == 0) config.insimPort = kDefaultInSimPort;
    if (config.outGaugePort == 0) config.outGaugePort = kDefaultOutGaugePort;
    if (config.boardTimeOutMs == 0) config.boardTimeOutMs = kDefaultBoardTimeOutMs;
}

std::uint16_t portUsed(std::int32_t port) { return static_cast<std::uint16_t>(port); }

std::string describeSettings(const Config& config) {
    std::string text;
    const auto add = [&text](const auto&... pieces) { (appendValue(text, pieces), ...); };
    add("InSim port ", portUsed(config.insimPort), ", OutGauge port ", portUsed(config.outGaugePort), ", board time-out ");
    add(config.boardTimeOutMs / 1000, " s");
    if (config.startLfs && config.invokeInSim) add(", the simulator is started: ", config.lfsLocation, "LFS.exe");
    else add(", the simulator is not started");
    if (config.insimVersion != 0) add(", InSim version ", config.insimVersion, " asked for");
    if (config.outGaugeIntervalMs != kDefaultOutGaugeIntervalMs) add(", OutGauge every ", config.outGaugeIntervalMs, " ms");
    if (config.fuel.average != 1) add(", fuel use averaged over ", config.fuel.average, " laps");
    if (config.fuel.reserve != 0.0f) add(", a reserve of ", config.fuel.reserve, " laps");
    if (config.fuel.toFinish) add(", pit fuel filled to the finish");
    if (config.fuel.racing != 0.0f) add(", out-laps and laps over ", config.fuel.racing, " x the best recent lap left out of the use");
    if (config.fuel.level == LevelSource::Line) add(", the fuel at each line from Fuel200");
    if (config.fuel.level == LevelSource::Both) add(", the fuel now from Fuel200 and the use from OutGauge");
    if (config.fuel.topUp) add(", the top-up typed to the flag");
    if (config.fuel.longAverage != 0) add(", fuel use averaged over ", config.fuel.longAverage, " laps in place of ", config.fuel.average);
    if (config.fuel.roundNearest) add(", pit fuel rounded to the nearest percent");
    if (config.fuel.stopSeconds != 0.0f) add(", a stop counted as ", config.fuel.stopSeconds, " s in timed races");
    if (config.pitGuard) add(", pit fuel typed only while no screen, dialog or stop is in the way");
    if (config.stints == Stints::Even) add(", a stint plan of even stints");
    if (config.stints == Stints::Full) add(", a stint plan of full stints");
    if (config.longRaces) add(", races of 100 laps or more and timed races tracked");
    if (!config.logDirectory.empty()) add(", race logs in ", config.logDirectory);
    if (config.join) add(", a race found running joined");
    if (config.reconnect) add(", a lost InSim link made again");
    if (config.web.on) add(", the page on ", config.web.bind, ":", config.web.port, config.web.key.empty() ? "" : " with a key");
    if (config.team.on()) {
        add(", team ", config.team.name, " linked through ", config.team.broker, " port ", config.team.port);
        if (config.team.tls) add(" with TLS");
    }
    return text;
}
