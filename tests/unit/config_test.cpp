// The settings file: what each element sets, what is printed, what is named on standard error,
// and damaged files that must not mislead.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/config.h"
#include "app/settings_vetting.h"
#include "support/files.h"
#include "support/transcript.h"

namespace {

// Every field of a read and defaulted Config on one line; the opt-in ones only when not at their default.
std::string summary(const Config& c) {
    std::string text = std::to_string(c.insimPort) + " " + std::to_string(c.outGaugePort) + " pw=" + c.password + " " +
                       std::to_string(c.boardTimeOutMs) + " loc=" + c.lfsLocation + (c.startLfs ? " start" : "") +
                       (c.invokeInSim ? " invoke" : "");
    if (c.insimVersion != 0) text += " version=" + std::to_string(c.insimVersion);
    if (c.outGaugeIntervalMs != 10000) text += " interval=" + std::to_string(c.outGaugeIntervalMs);
    if (c.fuel.average != 1 || c.fuel.reserve != 0.0f || c.fuel.toFinish) {
        text += " fuel=" + std::to_string(c.fuel.average) + "/" + std::to_string(c.fuel.reserve).substr(0, 4) +
                (c.fuel.toFinish ? "/finish" : "/laps");
    }
    if (c.pitGuard) text += " guard";
    if (c.fuel.racing != 0.0f) text += " racing=" + std::to_string(c.fuel.racing).substr(0, 4);
    if (c.fuel.level != LevelSource::Gauge) text += c.fuel.level == LevelSource::Line ? " level=line" : " level=both";
    if (c.fuel.topUp) text += " topUp";
    if (c.fuel.longAverage != 0) text += " longAverage=" + std::to_string(c.fuel.longAverage);
    if (c.fuel.roundNearest) text += " nearest";
    if (c.fuel.stopSeconds != 0.0f) text += " stop=" + std::to_string(c.fuel.stopSeconds).substr(0, 4);
    if (c.longRaces) text += " long";
    if (!c.logDirectory.empty()) text += " log=" + c.logDirectory;
    if (c.stints != Stints::Off) text += c.stints == Stints::Even ? " plan=even" : " plan=full";
    if (c.join) text += " join";
    if (c.reconnect) text += " reconnect";
    if (c.web.on) text += " web=" + c.web.bind + ":" + std::to_string(c.web.port) + " key=" + c.web.key;
    if (c.team.on()) {
        text += " team=" + c.team.name + "@" + c.team.broker + ":" + std::to_string(c.team.port) + (c.team.tls ? " tls " : " ") +
                c.team.user + "/" + c.team.password + "/" + c.team.cafile;
    }
    return text;
}
const std::string kDefaults = "12500 12501 pw= 15000 loc=";
std::string with(const std::string& rest) { return kDefaults + rest; }
std::string withTimeOut(const std::string& ms) { return "12500 12501 pw= " + ms + " loc="; }
// The line that names an element written twice or more on line 1.
std::string repeated(const std::string& element) {
    return "cfg.xml line 1: <" + element + "> appears more than once: only this last one's settings stand, and an "
           "attribute it leaves out takes its default\n";
}
std::string wide(const std::string& text) {  // UTF-16 with its byte-order mark
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string{c, '\0'};
    return out;
}
const std::string kHalfLaunch = "cfg.xml line 1: LFSExec has InvokeInSim but its start is 0 or missing: the simulator "
                                "is not started\n";

class ConfigFile : public ::testing::Test {
protected:
    // Writes `content` as cfg.xml, reads it and applies the defaults, as start-up does.
    std::string read(const std::string& content) {
        std::ofstream(dir_ / "cfg.xml", std::ios::binary) << content;
        return readPath(dir_ / "cfg.xml");
    }
    std::string readPath(const std::filesystem::path& path) {
        console = {};
        Config config;
        readConfigFile(path.c_str(), config, console);
        applyDefaults(config);
        return summary(config);
    }

    TempDir temp_{"config"};
    const std::filesystem::path& dir_ = temp_.path;
    transcript::Recorder console;  // nothing may be sent: a send would show as a {token} in its text
};

}  // namespace

TEST_F(ConfigFile, WhatEachElementSetsPrintsAndNames) {
    const struct {
        std::string content, console, errors, config;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<Config>\n  <!-- settings -->\n  <InSim port=\"30000\"/>\n"
         "  <OutGauge port=\"30001\"/>\n  <Password value=\"secret\"/>\n  <BoardTimeOut value=\"20\"/>\n"
         "  <LFSExec location=\"C:\\LFS\\\" start=\"1\" InvokeInSim=\"1\"/>\n</Config>\n",
         "Read InSim Port: 30000\n", "", "30000 30001 pw=secret 20000 loc=C:\\LFS\\ start invoke"},
        {"<Config><InSim/></Config>", "Read InSim Port: 0\n", "", kDefaults},
        // A repeated element: each is read and printed, the last one stands whole, and that is named once.
        {"<C>\n<InSim port=\"1000\" version=\"8\"/>\n<InSim port=\"2000\"/>\n<InSim port=\"3000\"/></C>",
         "Read InSim Port: 1000\nRead InSim Port: 2000\nRead InSim Port: 3000\n",
         "cfg.xml line 4: <InSim> appears more than once: only this last one's settings stand, and an attribute it "
         "leaves out takes its default\n", "3000 12501 pw= 15000 loc="},
        // Whole seconds, held to the field's range: never a wrapped short or negative one.
        {"<C><BoardTimeOut value=\"2147484\"/></C>", "",
         "cfg.xml line 1: BoardTimeOut value 2147484 is beyond what a time-out in milliseconds holds: 2147483 seconds "
         "are used\n", withTimeOut("2147483647")},
        {"<C><BoardTimeOut value=\"2147483\"/></C>", "", "", withTimeOut("2147483000")},
        {"<C><BoardTimeOut value=\"-2147484\"/></C>", "",
         "cfg.xml line 1: BoardTimeOut value -2147484 is beyond what a time-out in milliseconds holds: -2147483 "
         "seconds are used\n"
         "cfg.xml line 1: BoardTimeOut value -2147484 is negative: each board is cleared at the next OutGauge "
         "datagram\n", withTimeOut("-2147483648")},
        // A launch needs start not zero and InvokeInSim present, whatever its value.
        {"<C><LFSExec location=\"sim/\" start=\"2\" InvokeInSim=\"0\"/></C>", "", "", with("sim/ start invoke")},
        {"<C><LFSExec location=\"sim/\" start=\"0\" InvokeInSim=\"1\"/></C>", "", kHalfLaunch, with("sim/ invoke")},
        {"<C><LFSExec location=\"sim/\" start=\"1\" invokeinsim=\"1\"/></C>", "",
         "cfg.xml line 1: <LFSExec> has no attribute invokeinsim: it is passed over; did you mean InvokeInSim?\n"
         "cfg.xml line 1: LFSExec has start but no InvokeInSim: the simulator is not started\n", with("sim/ start")},
        // Missing text attributes give empty texts, and clear what an earlier element set.
        {"<C><Password value=\"a\"/><Password/><LFSExec InvokeInSim=\"\"/></C>", "", repeated("Password") + kHalfLaunch,
         with(" invoke")},
        // Names are case-sensitive; an unknown one is named, with the setting it is nearest to.
        {"<C>\n<insim port=\"1\"/><Fuels average=\"3\"/>\n<x/><InSim Port=\"4\"/></C>", "Read InSim Port: 0\n",
         "cfg.xml line 2: <insim> is not a setting and is passed over; did you mean <InSim>?\n"
         "cfg.xml line 2: <Fuels> is not a setting and is passed over; did you mean <Fuel>?\n"
         "cfg.xml line 3: <x> is not a setting and is passed over (the settings are InSim, OutGauge, Password, "
         "BoardTimeOut, LFSExec, Fuel, Pit, Race, Log, Plan, Web and Team)\n"
         "cfg.xml line 3: <InSim> has no attribute Port: it is passed over; did you mean port?\n", kDefaults},
        // Attributes no setting reads, mistyped or shortened, and values the program cannot use as written.
        {"<C><InSim ver=\"8\" speed=\"1\"/><Fuel avg=\"3\"/><Password value=\"abcdefghijklmnop\"/>"
         "<LFSExec location=\"lfs-wine\"/></C>", "Read InSim Port: 0\n",
         "cfg.xml line 1: <InSim> has no attribute ver: it is passed over; did you mean version?\n"
         "cfg.xml line 1: <InSim> has no attribute speed: it is passed over (its attributes are port, version and reconnect)\n"
         "cfg.xml line 1: <Fuel> has no attribute avg: it is passed over; did you mean average?\n"
         "cfg.xml line 1: Password value is 16 characters long: only its first 15 are sent\n"
         "cfg.xml line 1: LFSExec location \"lfs-wine\" does not end in / or \\: the program started would be "
         "lfs-wineLFS.exe\n", "12500 12501 pw=abcdefghijklmnop 15000 loc=lfs-wine"},
        // Numbers are read as always; what is not written as a whole number or a port is named.
        {"<C><InSim port=\"abc\"/><BoardTimeOut value=\"1e3\"/></C>", "Read InSim Port: 0\n",
         "cfg.xml line 1: InSim port \"abc\" is not a whole number: it reads as 0, so port 12500 is used\n"
         "cfg.xml line 1: BoardTimeOut value \"1e3\" is not a whole number: it reads as 1\n", withTimeOut("1000")},
        {"<C><InSim port=\"70000\"/><OutGauge port=\"-1\"/></C>", "Read InSim Port: 70000\n",
         "cfg.xml line 1: InSim port 70000 is outside 1 to 65535: port 4464 is used\n"
         "cfg.xml line 1: OutGauge port -1 is outside 1 to 65535: port 65535 is used\n", "70000 -1 pw= 15000 loc="},
        // The opt-in settings, and each value that is out of range or not a number.
        {"<C><InSim version=\"8\"/><OutGauge interval=\"500\"/><Fuel average=\"3\" reserve=\"0.5\" fill=\"finish\"/></C>",
         "Read InSim Port: 0\n", "", with(" version=8 interval=500 fuel=3/0.50/finish")},
        {"<C><Race join=\"2\"/><InSim reconnect=\"1\"/></C>", "Read InSim Port: 0\n", "", with(" join reconnect")},
        {"<C><Race join=\"yes\"/></C>", "", "cfg.xml line 1: Race join \"yes\" is not a whole number: it counts as off\n",
         kDefaults},
        {"<C><Log dir=\"logs\"/><Log/></C>", "", "cfg.xml line 1: Log has no dir: no race log is written\n" + repeated("Log"),
         kDefaults},
        // The pit guard: any whole number but 0 is on, with version 8 or later asked for, wherever it stands.
        {"<C><Pit guard=\"-2\"/><InSim version=\"8\"/></C>", "Read InSim Port: 0\n", "", with(" version=8 guard")},
        {"<C><InSim version=\"10\"/><Pit guard=\"0\"/><Race long=\"0\"/></C>", "Read InSim Port: 0\n", "", with(" version=10")},
        {"<C>\n<InSim version=\"7\"/>\n<Pit guard=\"1\"/></C>", "Read InSim Port: 0\n",
         "cfg.xml line 3: Pit guard needs InSim version 8 or later (version=\"8\" on InSim): it is off\n", with(" version=7")},
        {"<C><InSim version=\"9\"/><Pit guard=\"on\"/></C>", "Read InSim Port: 0\n",
         "cfg.xml line 1: Pit guard \"on\" is not a whole number: the guard is off\n", with(" version=9")},
        {"<C><InSim version=\"11\"/><OutGauge interval=\"0\"/><Fuel average=\"12\" reserve=\"nan\" fill=\"full\"/></C>",
         "Read InSim Port: 0\n",
         "cfg.xml line 1: InSim version \"11\" is not a version from 5 to 10: it is left out, and only InSim version 5 "
         "is accepted\n"
         "cfg.xml line 1: OutGauge interval \"0\" is not a whole number of milliseconds from 1 on: 10000 is used\n"
         "cfg.xml line 1: Fuel average \"12\" is not a whole number of laps from 1 to 9: 1 is used\n"
         "cfg.xml line 1: Fuel reserve \"nan\" is not a number of laps from 0 to 5: 0 is used\n"
         "cfg.xml line 1: Fuel fill \"full\" is neither laps nor finish: laps is used\n", kDefaults},
        {"<C><Fuel racing=\"1.1\" level=\"line\" topUp=\"1\"/></C>", "", "", with(" racing=1.10 level=line topUp")},
        {"<C><Fuel racing=\"3\" level=\"both\" topUp=\"0\"/></C>", "", "", with(" racing=3.00 level=both")},
        {"<C><Fuel racing=\"1\" level=\"fuel200\"/><Fuel racing=\"3.5\" topUp=\"2\"/></C>", "",
         "cfg.xml line 1: Fuel racing \"1\" is not a pace ratio from 1.01 to 3: every valid lap counts\n"
         "cfg.xml line 1: Fuel level \"fuel200\" is neither gauge, line nor both: gauge is used\n"
         "cfg.xml line 1: Fuel racing \"3.5\" is not a pace ratio from 1.01 to 3: every valid lap counts\n"
         "cfg.xml line 1: Fuel topUp \"2\" is not 0 or 1: 0 is used\n" + repeated("Fuel"), kDefaults},
        {"<C><Fuel longAverage=\"40\" round=\"nearest\" stopSeconds=\"27.5\"/></C>", "", "",
         with(" longAverage=40 nearest stop=27.5")},
        {"<C><Plan stints=\"even\"/></C>", "", "", with(" plan=even")},
        {"<C><Plan stints=\"full\"/><Plan stints=\"Full\"/></C>", "",
         "cfg.xml line 1: Plan stints \"Full\" is neither even nor full: the plan is off\n" + repeated("Plan"), kDefaults},
        {"<C><Plan stints=\"even\"/><Plan/></C>", "", "cfg.xml line 1: Plan has no stints: the plan is off\n" + repeated("Plan"),
         kDefaults},
        {"<C><Web/></C>", "", "", with(" web=127.0.0.1:8081 key=")},
        {"<C><Web port=\"9000\" bind=\"0.0.0.0\" key=\"0123456789abcdef\"/></C>", "", "",
         with(" web=0.0.0.0:9000 key=0123456789abcdef")},
        // A page served otherwise than asked would be worse than none: off, and why.
        {"<C><Web port=\"0\" bind=\"127.0.0.256\"/></C>", "",
         "cfg.xml line 1: Web port \"0\" is not a port from 1 to 65535: the page is off\n"
         "cfg.xml line 1: Web bind \"127.0.0.256\" is not an IPv4 address such as 127.0.0.1 or 0.0.0.0: the page is off\n",
         kDefaults},
        {"<C><Web bind=\"192.168.1.2\" key=\"0123456789abcde\"/></C>", "",
         "cfg.xml line 1: Web bind \"192.168.1.2\" serves the page beyond this machine, which needs a key of 16 "
         "characters or more: the page is off\n", kDefaults},
        {"<C><Fuel longAverage=\"9\" round=\"down\" stopSeconds=\"0\"/></C>", "",
         "cfg.xml line 1: Fuel longAverage \"9\" is not a whole number of laps from 10 to 99: average is used\n"
         "cfg.xml line 1: Fuel round \"down\" is neither up nor nearest: up is used\n"
         "cfg.xml line 1: Fuel stopSeconds \"0\" is not a number of seconds from 1 to 600: no time is taken off\n",
         kDefaults},
        // The team link: the port follows tls; any value it cannot use leaves it off.
        {"<C><Team name=\"blue\" broker=\"b.example\" user=\"u\" password=\"p\" tls=\"1\" cafile=\"ca.crt\"/></C>", "", "",
         with(" team=blue@b.example:8883 tls u/p/ca.crt")},
        {"<C><Team name=\"blue\" broker=\"10.0.0.2\" port=\"1884\" tls=\"0\"/></C>", "", "", with(" team=blue@10.0.0.2:1884 //")},
        {"<C>\n<Team broker=\"b\"/>\n<Team name=\"a/b\" broker=\"b\"/>\n<Team name=\"blue\"/>\n"
         "<Team name=\"blue\" broker=\"b\" tls=\"yes\"/>\n<Team name=\"blue\" broker=\"b\" port=\"65536\"/></C>", "",
         "cfg.xml line 2: Team has no name: the team link is off\n"
         "cfg.xml line 3: Team name \"a/b\" holds /, + or #, which a topic cannot: the team link is off\n"
         "cfg.xml line 4: Team has no broker: the team link is off\n"
         "cfg.xml line 5: Team tls \"yes\" is not 0 or 1: the team link is off\n"
         "cfg.xml line 6: Team port \"65536\" is not a port from 1 to 65535: the team link is off\n"
         "cfg.xml line 6: <Team> appears more than once: only this last one's settings stand, and an attribute it leaves "
         "out takes its default\n", kDefaults},
        {"port=12600", "", "cfg.xml holds no settings: every setting takes its default\n", kDefaults},
        // What comes before the first fault is read; nothing after it sets anything, and the line is named.
        {"<C>\n<InSim port=\"5\"/>\n<Password value=\"abc/><OutGauge port=\"7\"/></C>", "Read InSim Port: 5\n",
         "cfg.xml line 3: a tag is cut off or not written as name=\"value\" pairs; nothing from there on is read\n",
         "5 12501 pw= 15000 loc="},
        // Wide text with a byte-order mark is read one byte per character; a UTF-32 mark with a stray byte
        // after it would leave irrXML's own conversion unterminated.
        {wide("<C><InSim port=\"5\"/></C>"), "Read InSim Port: 5\n", "", "5 12501 pw= 15000 loc="},
        {std::string("\xFF\xFE\x00\x00<", 5), "", "cfg.xml holds no settings: every setting takes its default\n", kDefaults},
        // The cfg.xml shipped for today's game: every recommended setting on, not a word on standard error.
        {fileText(STINTKEEPER_SOURCE_DIR "/docs/cfg-today.xml"), "Read InSim Port: 12500\n", "",
         with(" version=8 fuel=1/0.50/finish guard racing=1.10 level=both topUp longAverage=30 nearest stop=30.0 "
              "long log=logs plan=full join reconnect web=127.0.0.1:8081 key=")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.content), c.config) << c.content;
        EXPECT_EQ(console.text, c.console) << c.content;
        EXPECT_EQ(console.errors, c.errors) << c.content;
    }
}

// A cfg.xml that is a directory; no cfg.xml at all is the start-up tests'.
TEST_F(ConfigFile, ADirectory) {
    std::filesystem::create_directory(dir_ / "cfg.xml");
    EXPECT_EQ(readPath(dir_ / "cfg.xml"), kDefaults);
    EXPECT_EQ(console.errors, "cfg.xml cannot be read: every setting takes its default\n");
}

// The parser is given the document up to the first construct it would misread, and never that
// construct; the line of the fault is named.
TEST(SettingsVetting, WhatIsCutOffAndWhy) {
    const std::string before = "<C>\n<InSim port=\"5\"/>\n";
    const struct {
        std::string rest;  // after two good lines
        std::size_t kept;  // bytes of the whole text the parser is given, from the first tag
        std::size_t faultLine;
        const char* why;
    } cases[] = {
        {"<OutGauge port=\"7\"/></C>", 46, 0, "whole tags: all of it"},
        {"<OutGauge port=\"7\"", 22, 3, "a tag cut off"},
        {"</C", 22, 3, "an end tag cut off"},
        {"<", 22, 3, "a lone <"},
        {"<!-- <OutGauge port=\"7\"/>", 22, 3, "a comment cut off"},
        {"<![CDATA[ x ]", 22, 3, "CDATA cut off"},
        {"<!><OutGauge port=\"7\"/></C>", 22, 3, "<!> is too short for the parser's comment"},
        {"<Password value=\"abc/><OutGauge port=\"7\"/></C>", 22, 3, "an open quote would swallow the next tag"},
        {"<OutGauge port=7/></C>", 22, 3, "a value without quotes"},
        {"< OutGauge port=\"7\"/></C>", 22, 3, "a blank before the name"},
        {"<OutGauge port=\"7\"x=\"1\"/></C>", 22, 3, "no blank between attributes"},
        {std::string("<OutGauge port=\"7\"/>\0<Password", 29), 42, 0, "a zero byte ends the document"},
        {"\n\n<!-- a -->\n<x", 35, 6, "the fault's own line"},
    };
    for (const auto& c : cases) {
        const std::string text = before + c.rest;
        const VettedSettings vetted = vetSettings(text);
        EXPECT_EQ(vetted.document, std::string_view(text).substr(0, c.kept)) << c.why;
        EXPECT_EQ(vetted.faultLine, c.faultLine) << c.why;
    }
    EXPECT_EQ(vetSettings("no tag at all").document, "");
    EXPECT_EQ(vetSettings("\n<C>\n<A/>\n<!-- -->\n</C>\n<B x='1'>").elementLines, (std::vector<std::size_t>{2, 3, 6}));
}

// Only the first MiB is looked at.
TEST_F(ConfigFile, DamagedFilesKeepWhatCameBeforeTheFault) {
    std::mt19937 random(7);
    std::string junk(1 << 20, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    const std::string before = "<C>\n<InSim port=\"5\"/>\n";
    EXPECT_EQ(read(before + "\x01\xFF<" + junk), "5 12501 pw= 15000 loc=");
    EXPECT_EQ(read(before + std::string(1 << 20, ' ') + "<OutGauge port=\"7\"/></C>"), "5 12501 pw= 15000 loc=");
}

// The settings line names the ports as they are opened, not as written.
TEST(Settings, DescribedWithThePortsUsed) {
    Config config;
    config.insimPort = 70000;
    config.outGaugePort = -1;
    EXPECT_EQ(describeSettings(config).substr(0, 36), "InSim port 4464, OutGauge port 65535");
    config.team = {"blue", "b.example", 8883, "u", "secret", true, ""};  // the password never shown
    const std::string described = describeSettings(config);
    EXPECT_EQ(described.substr(described.find(", team")), ", team blue linked through b.example port 8883 with TLS");
    config.team = {};
    config.web = {true, 9000, "0.0.0.0", "0123456789abcdef"};  // nor the page's key
    EXPECT_EQ(describeSettings(config).substr(described.find(", team")), ", the page on 0.0.0.0:9000 with a key");
}
