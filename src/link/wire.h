// The InSim version 5 packets and the OutGauge datagram, exactly as they travel on the wire.
// Fixed-layout records with the published field names; every size is checked at compile time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the wire records are read and written in host order, which must be little-endian");
static_assert(sizeof(float) == 4, "OutGauge and the lap store use 32-bit IEEE floats");

using byte = std::uint8_t;
using word = std::uint16_t;
using unsigned32 = std::uint32_t;

// Packet types (ISP_*) the program reads or sends.
enum : byte {
    ISP_ISI = 1,
    ISP_VER = 2,
    ISP_TINY = 3,
    ISP_SMALL = 4,
    ISP_STA = 5,
    ISP_MST = 13,
    ISP_RST = 17,
    ISP_LAP = 24,
    ISP_SPX = 25,
    ISP_RES = 35,
    ISP_BFN = 42,
    ISP_BTN = 45,
};

enum : byte { TINY_NONE = 0 };                // IS_TINY SubT: keep-alive
enum : byte { SMALL_SSG = 2 };                // IS_SMALL SubT: start sending OutGauge
enum : byte { BFN_CLEAR = 1 };                // IS_BFN SubT: remove all buttons
enum : word { ISF_LOCAL = 4 };                // IS_ISI Flags: buttons on the local screen
enum : word { HOSTF_MUST_PIT = 64 };          // IS_RST Flags: a pit stop is mandatory
enum : byte { ISB_DARK = 32 };                // IS_BTN BStyle: dark button
enum : byte { PENALTY_NONE = 0, PENALTY_DT_VALID = 2, PENALTY_SG_VALID = 4 };
enum : byte { RIP_NO_RACE = 0, RIP_RACE = 1, RIP_QUALIFYING = 2 };  // IS_STA RaceInProg: the session running
constexpr word INSIM_VERSION = 5;             // the version the program speaks when none is asked for
constexpr word NEWEST_INSIM_VERSION = 10;     // the newest the program speaks: its packets keep their version 5 layout
constexpr word FIRST_INSIM_VERSION_IN_FOURS = 9;  // from here on every Size byte is the packet's length divided by 4

struct InSimHeader {  // the four bytes that open every packet
    byte Size;        // total packet size in bytes; from version 9 on, divided by 4
    byte Type;        // ISP_*
    byte ReqI;
    byte Data;        // SubT, PLID or Zero, by type
};
static_assert(sizeof(InSimHeader) == 4);

struct IS_ISI {       // InSim Init: identify, ask for IS_VER
    byte Size;        // 44
    byte Type;        // ISP_ISI
    byte ReqI;        // non-zero: the simulator answers with IS_VER
    byte Zero;
    word UDPPort;     // OutGauge port
    word Flags;       // ISF_*
    byte InSimVer;    // the InSim version the program is written for; a spare 0 in version 5
    byte Prefix;      // message prefix character, 0 for none
    word Interval;    // ms between position packets, 0 for none
    char Admin[16];   // admin password, NUL-terminated
    char IName[16];   // program name, NUL-terminated
};
static_assert(sizeof(IS_ISI) == 44);

struct IS_VER {       // VERsion
    byte Size;        // 20
    byte Type;        // ISP_VER
    byte ReqI;
    byte Zero;
    char Version[8];  // simulator version, e.g. 0.6B
    char Product[6];  // product: DEMO, S1, S2, S3
    word InSimVer;    // InSim version
};
static_assert(sizeof(IS_VER) == 20);

struct IS_TINY {      // General purpose 4-byte packet
    byte Size;        // 4
    byte Type;        // ISP_TINY
    byte ReqI;
    byte SubT;        // TINY_*
};
static_assert(sizeof(IS_TINY) == 4);

struct IS_SMALL {     // General purpose 8-byte packet
    byte Size;        // 8
    byte Type;        // ISP_SMALL
    byte ReqI;
    byte SubT;        // SMALL_*
    unsigned32 UVal;  // value, e.g. for SMALL_SSG the time between OutGauge packets
};
static_assert(sizeof(IS_SMALL) == 8);

struct IS_STA {       // STAte
    byte Size;        // 28
    byte Type;        // ISP_STA
    byte ReqI;
    byte Zero;
    float ReplaySpeed;
    word Flags;       // ISS_*
    byte InGameCam;
    byte ViewPLID;    // player whose car is viewed, 0 = none
    byte NumP;
    byte NumConns;
    byte NumFinished;
    byte RaceInProg;  // RIP_*: 0 no race, 1 race, 2 qualifying
    byte QualMins;
    byte RaceLaps;    // race length as the simulator encodes it
    byte Spare2;
    byte Spare3;
    char Track[6];
    byte Weather;
    byte Wind;
};
static_assert(sizeof(IS_STA) == 28);
static_assert(offsetof(IS_STA, ViewPLID) == 11 && offsetof(IS_STA, RaceInProg) == 15 &&
              offsetof(IS_STA, RaceLaps) == 17);

struct IS_RST {       // Race STart
    byte Size;        // 28
    byte Type;        // ISP_RST
    byte ReqI;
    byte Zero;
    byte RaceLaps;    // 0 in qualifying; 100 and above: long or timed race
    byte QualMins;    // 0 in a race
    byte NumP;
    byte Spare;
    char Track[6];
    byte Weather;
    byte Wind;
    word Flags;       // HOSTF_*
    word NumNodes;
    word Finish;
    word Split1;
    word Split2;
    word Split3;
};
static_assert(sizeof(IS_RST) == 28);
static_assert(offsetof(IS_RST, Flags) == 16);

struct IS_LAP {       // LAP time
    byte Size;        // 20
    byte Type;        // ISP_LAP
    byte ReqI;
    byte PLID;        // player's unique id
    unsigned32 LTime; // lap time, ms
    unsigned32 ETime; // elapsed race time, ms
    word LapsDone;    // laps completed
    word Flags;
    byte Sp0;
    byte Penalty;     // PENALTY_*
    byte NumStops;    // pit stops made
    byte Fuel200;     // from InSim 8 on: fuel at the line in half percent of a tank, 255 when the host hides
                      // it; a spare byte before
};
constexpr byte kFuel200Hidden = 255;
constexpr word kFirstFuel200Version = 8;
static_assert(sizeof(IS_LAP) == 20);
static_assert(offsetof(IS_LAP, LapsDone) == 12 && offsetof(IS_LAP, Penalty) == 17 &&
              offsetof(IS_LAP, NumStops) == 18 && offsetof(IS_LAP, Fuel200) == 19);

struct IS_SPX {       // SPlit X time
    byte Size;        // 16
    byte Type;        // ISP_SPX
    byte ReqI;
    byte PLID;
    unsigned32 STime; // split time, ms
    unsigned32 ETime; // elapsed race time, ms
    byte Split;       // split number 1 to 3
    byte Penalty;
    byte NumStops;
    byte Sp3;
};
static_assert(sizeof(IS_SPX) == 16);

struct IS_RES {       // RESult
    byte Size;        // 84
    byte Type;        // ISP_RES
    byte ReqI;
    byte PLID;
    char UName[24];   // user name
    char PName[24];   // nickname
    char Plate[8];    // number plate, no terminator
    char CName[4];    // car name
    unsigned32 TTime; // race time, ms
    unsigned32 BTime; // best lap, ms
    byte SpA;
    byte NumStops;
    byte Confirm;
    byte SpB;
    word LapsDone;
    word Flags;
    byte ResultNum;   // 0 = first; 255 = not added to the table
    byte NumRes;
    word PSeconds;    // penalty time, s
};
static_assert(sizeof(IS_RES) == 84);
static_assert(offsetof(IS_RES, BTime) == 68 && offsetof(IS_RES, LapsDone) == 76 &&
              offsetof(IS_RES, ResultNum) == 80);

struct IS_BFN {       // Button FuNction
    byte Size;        // 8
    byte Type;        // ISP_BFN
    byte ReqI;
    byte SubT;        // BFN_*
    byte UCID;        // connection, 0 = local
    byte ClickID;
    byte Inst;
    byte Sp3;
};
static_assert(sizeof(IS_BFN) == 8);

struct IS_BTN_Header {  // BuTtoN, without its variable text
    byte Size;        // 12 + text window
    byte Type;        // ISP_BTN
    byte ReqI;
    byte UCID;        // connection, 0 = local
    byte ClickID;     // 0 to 239
    byte Inst;
    byte BStyle;      // ISB_*, colour bits
    byte TypeIn;
    byte L;           // left: 0 to 200
    byte T;           // top: 0 to 200
    byte W;           // width: 0 to 200
    byte H;           // height: 0 to 200
};
static_assert(sizeof(IS_BTN_Header) == 12);

struct IS_MST {       // MSg Type: a message or a command as if typed
    byte Size;        // 68
    byte Type;        // ISP_MST
    byte ReqI;
    byte Zero;
    char Msg[64];     // NUL-terminated
};
static_assert(sizeof(IS_MST) == 68);

struct OutGaugePack {  // OutGauge datagram, without the optional trailing ID
    unsigned32 Time;   // ms, the simulator's clock
    char Car[4];
    word Flags;        // OG_*
    byte Gear;         // 0 = reverse, 1 = neutral, 2 = first
    byte PLID;
    float Speed;       // m/s
    float RPM;
    float Turbo;       // bar
    float EngTemp;     // C
    float Fuel;        // 0 to 1
    float OilPressure; // bar
    float OilTemp;     // C
    unsigned DashLights;
    unsigned ShowLights;
    float Throttle;    // 0 to 1
    float Brake;       // 0 to 1
    float Clutch;      // 0 to 1
    char Display1[16];
    char Display2[16];
};
static_assert(sizeof(OutGaugePack) == 92);
static_assert(offsetof(OutGaugePack, Fuel) == 28);

// The pit lane, the pit stop and the local screen, as simulators of InSim 8 and later report them.
enum : byte { ISP_PIT = 26, ISP_PSF = 27, ISP_PLA = 28, ISP_CIM = 64 };
enum : byte { CIM_NORMAL = 0 };               // IS_CIM Mode: driving
enum : byte { NRM_PIT_INSTRUCTIONS = 4 };     // IS_CIM SubMode in CIM_NORMAL: the F12 screen (1 to 3: F9 to F11)
enum : word { ISS_DIALOG = 16, ISS_TEXT_ENTRY = 32768 };  // IS_STA Flags: a dialog, a text entry is open
enum : byte { PITLANE_EXIT = 0, PITLANE_ENTER = 1 };      // IS_PLA Fact

struct IS_CIM {       // Connection's Interface Mode: sent when it changes
    byte Size;        // 8
    byte Type;        // ISP_CIM
    byte ReqI;        // 0
    byte UCID;        // connection, 0 = local
    byte Mode;        // CIM_NORMAL, or options, host options, garage, car select, track select, free view (1 to 6)
    byte SubMode;     // in CIM_NORMAL: 0 the plain view, 1 to 4 the F9 to F12 screens
    byte SelType;     // what is selected, by mode
    byte Sp3;
};
static_assert(sizeof(IS_CIM) == 8);
static_assert(offsetof(IS_CIM, Mode) == 4 && offsetof(IS_CIM, SubMode) == 5);

struct IS_PLA {       // Pit LAne: a car entered or left it
    byte Size;        // 8
    byte Type;        // ISP_PLA
    byte ReqI;        // 0
    byte PLID;        // player's unique id
    byte Fact;        // PITLANE_*: 2 entered for no purpose, 3 for a drive-through, 4 for a stop-go
    byte Sp1;
    byte Sp2;
    byte Sp3;
};
static_assert(sizeof(IS_PLA) == 8);
static_assert(offsetof(IS_PLA, Fact) == 4);

struct IS_PIT {       // PIT stop: the car stops in its pit box
    byte Size;        // 24
    byte Type;        // ISP_PIT
    byte ReqI;        // 0
    byte PLID;
    word LapsDone;    // laps completed
    word Flags;
    byte FuelAdd;     // fuel being added, percent of a tank; 255 when the host hides fuel
    byte Penalty;     // PENALTY_*
    byte NumStops;    // pit stops made, this one included
    byte Sp3;
    byte Tyres[4];
    unsigned32 Work;  // work done in the stop
    unsigned32 Spare;
};
static_assert(sizeof(IS_PIT) == 24);
static_assert(offsetof(IS_PIT, LapsDone) == 4 && offsetof(IS_PIT, FuelAdd) == 8 && offsetof(IS_PIT, NumStops) == 10 &&
              offsetof(IS_PIT, Tyres) == 12 && offsetof(IS_PIT, Work) == 16);

struct IS_PSF {       // Pit Stop Finished
    byte Size;        // 12
    byte Type;        // ISP_PSF
    byte ReqI;        // 0
    byte PLID;
    unsigned32 STime; // time standing in the box, ms
    unsigned32 Spare;
};
static_assert(sizeof(IS_PSF) == 12);
static_assert(offsetof(IS_PSF, STime) == 4);

// What a program that connects in the middle of a session asks for, and the connections and players
// the answers name. Each answer carries the ReqI of its request; the game sends IS_NPL, IS_TOC and
// IS_PLL of its own too, with ReqI 0, when a player joins, a team mate takes the car, or a player leaves.
enum : byte { ISP_NCN = 18, ISP_CNL = 19, ISP_NPL = 21, ISP_PLL = 23, ISP_TOC = 31, ISP_NLP = 37 };
enum : byte { TINY_SST = 7, TINY_NCN = 13, TINY_NPL = 14, TINY_NLP = 16, TINY_RST = 19 };  // IS_TINY SubT: requests
enum : byte { NCN_REMOTE = 4 };               // IS_NCN Flags: a connection from another machine

struct IS_NCN {       // New ConN: a connection, or one per connection answering TINY_NCN
    byte Size;        // 56
    byte Type;        // ISP_NCN
    byte ReqI;
    byte UCID;        // connection's unique id, 0 = host
    char UName[24];   // user name
    char PName[24];   // nickname
    byte Admin;       // 1: admin
    byte Total;       // connections, this one included
    byte Flags;       // NCN_REMOTE
    byte Sp3;
};
static_assert(sizeof(IS_NCN) == 56);
static_assert(offsetof(IS_NCN, UName) == 4 && offsetof(IS_NCN, PName) == 28 && offsetof(IS_NCN, Admin) == 52 &&
              offsetof(IS_NCN, Total) == 53 && offsetof(IS_NCN, Flags) == 54);

// The host the game is connected to, for the team link's messages: sent on joining one, and to TINY_ISM.
enum : byte { ISP_ISM = 10, TINY_ISM = 10 };

struct IS_ISM {       // InSim Multi: the game is connected to a host, or started one
    byte Size;        // 40
    byte Type;        // ISP_ISM
    byte ReqI;
    byte Zero;
    byte Host;        // 0: a guest, 1: the host
    byte Sp1;
    byte Sp2;
    byte Sp3;
    char HName[32];   // the host's name
};
static_assert(sizeof(IS_ISM) == 40);
static_assert(offsetof(IS_ISM, HName) == 8);

struct IS_CNL {       // ConN Leaves
    byte Size;        // 8
    byte Type;        // ISP_CNL
    byte ReqI;        // 0
    byte UCID;        // the connection that left
    byte Reason;      // why it left
    byte Total;       // connections left
    byte Sp2;
    byte Sp3;
};
static_assert(sizeof(IS_CNL) == 8);

struct IS_NPL {       // New PLayer: a car joins the race or leaves the pits, or one per car answering TINY_NPL
    byte Size;        // 76
    byte Type;        // ISP_NPL
    byte ReqI;
    byte PLID;        // player's unique id
    byte UCID;        // the connection that drives the car
    byte PType;       // bit 0 female, bit 1 AI, bit 2 remote
    word Flags;       // driving aids and options
    char PName[24];   // nickname
    char Plate[8];    // number plate, no terminator
    char CName[4];    // car name
    char SName[16];   // skin name
    byte Tyres[4];
    byte H_Mass;      // added mass, kg
    byte H_TRes;      // intake restriction
    byte Model;       // driver model
    byte Pass;        // passengers
    byte RWAdj;       // spare in version 5
    byte FWAdj;
    byte Sp2;
    byte Sp3;
    byte SetF;        // setup flags
    byte NumP;        // players in the race
    byte Config;      // car configuration
    byte Fuel;        // start fuel, percent of a tank; 255 when the host hides it
};
static_assert(sizeof(IS_NPL) == 76);
static_assert(offsetof(IS_NPL, UCID) == 4 && offsetof(IS_NPL, PType) == 5 && offsetof(IS_NPL, CName) == 40 &&
              offsetof(IS_NPL, NumP) == 73 && offsetof(IS_NPL, Fuel) == 75);

struct IS_PLL {       // PLayer Leaves the race (spectates)
    byte Size;        // 4
    byte Type;        // ISP_PLL
    byte ReqI;        // 0
    byte PLID;
};
static_assert(sizeof(IS_PLL) == 4);

struct IS_TOC {       // Take Over Car: a driver swap
    byte Size;        // 8
    byte Type;        // ISP_TOC
    byte ReqI;        // 0
    byte PLID;        // the car
    byte OldUCID;     // the connection that drove it
    byte NewUCID;     // the connection that drives it now
    byte Sp2;
    byte Sp3;
};
static_assert(sizeof(IS_TOC) == 8);
static_assert(offsetof(IS_TOC, OldUCID) == 4 && offsetof(IS_TOC, NewUCID) == 5);

struct NodeLap {      // one car in IS_NLP
    word Node;        // the node of the track the car is at
    word Lap;         // the lap it is on: its laps done + 1
    byte PLID;
    byte Position;    // 1 = leader, 0 = unknown
};
static_assert(sizeof(NodeLap) == 6);
static_assert(offsetof(NodeLap, Lap) == 2 && offsetof(NodeLap, PLID) == 4 && offsetof(NodeLap, Position) == 5);

struct IS_NLP_Header {  // Node and Lap Packet: NumP NodeLap records follow, the whole padded to a multiple of 4
    byte Size;        // 4 + 6 x NumP, rounded up to a multiple of 4
    byte Type;        // ISP_NLP
    byte ReqI;
    byte NumP;        // cars in the race
};
static_assert(sizeof(IS_NLP_Header) == 4);
constexpr std::size_t kMaxNodeLaps = 40;  // the most cars an IS_NLP describes
