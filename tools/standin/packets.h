// Builders for the packets the simulator sends, with the fields the program reads.
// Shared by the stand-in, the unit tests and the integration tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "link/wire.h"

namespace standin {

inline IS_STA makeSta(byte viewPlid, byte raceInProg, byte raceLaps) {
    IS_STA sta{};
    sta.Size = sizeof sta;
    sta.Type = ISP_STA;
    sta.ViewPLID = viewPlid;
    sta.RaceInProg = raceInProg;
    sta.RaceLaps = raceLaps;
    return sta;
}

inline IS_RST makeRst(byte raceLaps, byte qualMins, word flags = 0) {
    IS_RST rst{};
    rst.Size = sizeof rst;
    rst.Type = ISP_RST;
    rst.RaceLaps = raceLaps;
    rst.QualMins = qualMins;
    rst.Flags = flags;
    return rst;
}

inline IS_LAP makeLap(byte plid, unsigned32 lapTime, unsigned32 elapsed, word lapsDone, byte penalty = 0,
                      byte numStops = 0) {
    IS_LAP lap{};
    lap.Size = sizeof lap;
    lap.Type = ISP_LAP;
    lap.PLID = plid;
    lap.LTime = lapTime;
    lap.ETime = elapsed;
    lap.LapsDone = lapsDone;
    lap.Penalty = penalty;
    lap.NumStops = numStops;
    return lap;
}

inline IS_SPX makeSpx(byte plid, unsigned32 splitTime = 0, unsigned32 elapsed = 0, byte split = 1) {
    IS_SPX spx{};
    spx.Size = sizeof spx;
    spx.Type = ISP_SPX;
    spx.PLID = plid;
    spx.STime = splitTime;
    spx.ETime = elapsed;
    spx.Split = split;
    return spx;
}

inline IS_RES makeRes(byte plid, unsigned32 bestTime, word lapsDone, byte resultNum) {
    IS_RES res{};
    res.Size = sizeof res;
    res.Type = ISP_RES;
    res.PLID = plid;
    res.BTime = bestTime;
    res.LapsDone = lapsDone;
    res.ResultNum = resultNum;
    return res;
}

inline IS_TINY makeTiny(byte subT, byte reqI = 0) { return IS_TINY{sizeof(IS_TINY), ISP_TINY, reqI, subT}; }

inline IS_VER makeVer(word insimVer) {
    IS_VER ver{};
    ver.Size = sizeof ver;
    ver.Type = ISP_VER;
    std::memcpy(ver.Version, "0.6B", 4);
    std::memcpy(ver.Product, "S2", 2);
    ver.InSimVer = insimVer;
    return ver;
}

inline IS_CIM makeCim(byte mode, byte subMode, byte ucid = 0) {
    IS_CIM cim{};
    cim.Size = sizeof cim;
    cim.Type = ISP_CIM;
    cim.UCID = ucid;
    cim.Mode = mode;
    cim.SubMode = subMode;
    return cim;
}

inline IS_PLA makePla(byte plid, byte fact) {
    IS_PLA pla{};
    pla.Size = sizeof pla;
    pla.Type = ISP_PLA;
    pla.PLID = plid;
    pla.Fact = fact;
    return pla;
}

inline IS_PIT makePit(byte plid, word lapsDone, byte fuelAdd, byte penalty, byte numStops) {
    IS_PIT pit{};
    pit.Size = sizeof pit;
    pit.Type = ISP_PIT;
    pit.PLID = plid;
    pit.LapsDone = lapsDone;
    pit.FuelAdd = fuelAdd;
    pit.Penalty = penalty;
    pit.NumStops = numStops;
    return pit;
}

inline IS_PSF makePsf(byte plid, unsigned32 standingMs) {
    IS_PSF psf{};
    psf.Size = sizeof psf;
    psf.Type = ISP_PSF;
    psf.PLID = plid;
    psf.STime = standingMs;
    return psf;
}

inline OutGaugePack makeOutGauge(unsigned32 time, float fuel, byte plid = 0) {
    OutGaugePack pack{};
    pack.Time = time;
    std::memcpy(pack.Car, "XRT", 3);
    pack.Gear = 4;
    pack.PLID = plid;
    pack.Speed = 45.0f;
    pack.RPM = 6200.0f;
    pack.EngTemp = 90.0f;
    pack.Fuel = fuel;
    pack.OilPressure = 4.0f;
    pack.OilTemp = 95.0f;
    pack.Throttle = 1.0f;
    return pack;
}

template <class Packet>
std::vector<std::uint8_t> bytesOf(const Packet& packet) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(&packet);
    return std::vector<std::uint8_t>(first, first + sizeof packet);
}

}  // namespace standin
