// The settings file: what each element sets, the defaults, and damaged files that must not mislead.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/config.h"
#include "support/transcript.h"

namespace {

// Every field of a read and defaulted Config on one line, so one comparison checks them all.
std::string summary(const Config& c) {
    return std::to_string(c.insimPort) + " " + std::to_string(c.outGaugePort) + " pw=" + c.password + " " +
           std::to_string(c.boardTimeOutMs) + " loc=" + c.lfsLocation + (c.startLfs ? " start" : "") +
           (c.invokeInSim ? " invoke" : "");
}
const std::string kDefaults = "12500 12501 pw= 15000 loc=";
std::string withTimeOut(const std::string& ms) { return "12500 12501 pw= " + ms + " loc="; }
std::string withLaunch(const std::string& rest) { return "12500 12501 pw= 15000 loc=" + rest; }

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/stintkeeper-config-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

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

    std::filesystem::path dir_;
    transcript::Recorder console;  // nothing may be sent: a send would show as a {token}
};

}  // namespace

TEST_F(ConfigFile, WhatEachElementSetsAndWhatIsPrinted) {
    const struct {
        std::string content, console, config;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<Config>\n  <!-- settings -->\n  <InSim port=\"30000\"/>\n"
         "  <OutGauge port=\"30001\"/>\n  <Password value=\"secret\"/>\n  <BoardTimeOut value=\"20\"/>\n"
         "  <LFSExec location=\"C:\\LFS\\\" start=\"1\" InvokeInSim=\"1\"/>\n</Config>\n",
         "Read InSim Port: 30000\n", "30000 30001 pw=secret 20000 loc=C:\\LFS\\ start invoke"},
        {"", "", kDefaults},
        {"<Config/>", "", kDefaults},
        {"<Config><InSim/></Config>", "Read InSim Port: 0\n", kDefaults},
        {"<Config><InSim port=\"1000\"/><x><InSim port=\"2000\"/></x></Config>",
         "Read InSim Port: 1000\nRead InSim Port: 2000\n", "2000 12501 pw= 15000 loc="},
        // Whole seconds, used as read, held to the field's range: never a wrapped short or negative one.
        {"<C><BoardTimeOut value=\"0\"/></C>", "", withTimeOut("15000")},
        {"<C><BoardTimeOut value=\"-5\"/></C>", "", withTimeOut("-5000")},
        {"<C><BoardTimeOut value=\"2147483\"/></C>", "", withTimeOut("2147483000")},
        {"<C><BoardTimeOut value=\"2147484\"/></C>", "", withTimeOut("2147483647")},
        {"<C><BoardTimeOut value=\"4294968\"/></C>", "", withTimeOut("2147483647")},
        {"<C><BoardTimeOut value=\"99999999999\"/></C>", "", withTimeOut("2147483647")},
        {"<C><BoardTimeOut value=\"-2147484\"/></C>", "", withTimeOut("-2147483648")},
        // A launch needs start not zero and InvokeInSim present, whatever its value.
        {"<C><LFSExec location=\"sim/\" start=\"2\" InvokeInSim=\"0\"/></C>", "", withLaunch("sim/ start invoke")},
        {"<C><LFSExec location=\"sim/\" start=\"1\" InvokeInSim=\"\"/></C>", "", withLaunch("sim/ start invoke")},
        {"<C><LFSExec location=\"sim/\" start=\"0\" InvokeInSim=\"1\"/></C>", "", withLaunch("sim/ invoke")},
        {"<C><LFSExec location=\"sim/\" InvokeInSim=\"1\"/></C>", "", withLaunch("sim/ invoke")},
        {"<C><LFSExec location=\"sim/\" start=\"1\"/></C>", "", withLaunch("sim/ start")},
        {"<C><LFSExec location=\"sim/\" start=\"1\" invokeinsim=\"1\"/></C>", "", withLaunch("sim/ start")},
        // Missing text attributes give empty texts, and clear what an earlier element set.
        {"<C><Password/><LFSExec start=\"1\" InvokeInSim=\"\"/></C>", "", withLaunch(" start invoke")},
        {"<C><Password value=\"a\"/><Password/></C>", "", kDefaults},
        {"<C><insim port=\"1\"/><INSIM port=\"1\"/><outgauge port=\"2\"/><password value=\"p\"/>"
         "<boardtimeout value=\"3\"/><lfsexec location=\"x/\" start=\"1\" InvokeInSim=\"\"/><InSim Port=\"4\"/></C>",
         "Read InSim Port: 0\n", kDefaults},  // element and attribute names are case-sensitive
        // Only element nodes carry settings: end tags and text of the same name are passed over.
        {"<Config><InSim port=\"1\"></InSim>InSim<OutGauge port=\"2\">OutGauge</OutGauge>"
         "<Password value=\"p\">Password</Password></Config>",
         "Read InSim Port: 1\n", "1 2 pw=p 15000 loc="},
        {"<C><Password value='a&amp;b\"c'/></C>", "", "12500 12501 pw=a&b\"c 15000 loc="},
        {"<C><Password value=\"abcdefghijklmnopqrst\"/></C>", "", "12500 12501 pw=abcdefghijklmnopqrst 15000 loc="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(read(c.content), c.config);
        EXPECT_EQ(console.text, c.console);
    }
}

TEST_F(ConfigFile, NoFileOrADirectoryNamedCfgXmlSetsNothing) {
    EXPECT_EQ(readPath(dir_ / "cfg.xml"), kDefaults);
    std::filesystem::create_directory(dir_ / "cfg.xml");
    EXPECT_EQ(readPath(dir_ / "cfg.xml"), kDefaults);
    EXPECT_EQ(console.text, "");
}

// What comes before the first fault is read; nothing after it, nor a cut-off element, sets anything.
TEST_F(ConfigFile, DamagedFilesKeepWhatCameBeforeTheFault) {
    std::mt19937 random(7);
    std::string junk(1 << 20, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    const std::string before = "<C><InSim port=\"5\"/>";
    const std::string rests[] = {
             "<OutGauge port=\"7\"", "<OutG", "</C", "<", "<?xml", "<!-- <OutGauge port=\"7\"/>",
             "<OutGauge port=\"7\" /", "<OutGauge port", "<![CDATA[ x ]",
             // An unterminated quote would otherwise swallow the next tag into the password.
             "<Password value=\"abc/><OutGauge port=\"7\"/></C>", "<!><OutGauge port=\"7\"/></C>",
             "<OutGauge port=7/></C>", "<OutGauge port/><OutGauge port=\"7\"/></C>", "< OutGauge port=\"7\"/></C>",
             "<OutGauge port=\"7\"x=\"1\"/></C>",
             // The parser sees the document end at a zero byte; only the first MiB is looked at.
             std::string("\0<OutGauge port=\"7\"/>\x01\xFF\xFE", 24), junk,
             std::string(1 << 20, ' ') + "<OutGauge port=\"7\"/></C>"};
    for (const std::string& rest : rests) {
        SCOPED_TRACE(rest.substr(0, 40));
        EXPECT_EQ(read(before + rest), "5 12501 pw= 15000 loc=");
        EXPECT_EQ(console.text, "Read InSim Port: 5\n");
    }
    std::string markup;  // the parser's own characters, in random order: survived
    for (int i = 0; i < (1 << 20); ++i) markup += "<>/=\"'! ?-[]x"[random() % 13];
    read(markup);
}

TEST_F(ConfigFile, HugeValuesDeepNestingAndWideText) {
    const std::string longValue(500000, 'p');
    EXPECT_EQ(read("<C><Password value=\"" + longValue + "\"/></C>"), "12500 12501 pw=" + longValue + " 15000 loc=");
    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<a>";
    nested += "<InSim port=\"9\"/>";
    for (int i = 0; i < 100000; ++i) nested += "</a>";
    EXPECT_EQ(read(nested), "9 12501 pw= 15000 loc=");

    std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
    for (char c : std::string("<C><InSim port=\"5\"/></C>")) utf16le += std::string{c, '\0'};
    for (char c : std::string("<C><OutGauge port=\"6\"/></C>")) utf16be += std::string{'\0', c};
    EXPECT_EQ(read(utf16le), "5 12501 pw= 15000 loc=");
    EXPECT_EQ(read(utf16be), "12500 6 pw= 15000 loc=");
    EXPECT_EQ(read("\xEF\xBB\xBF<C><InSim port=\"4\"/></C>"), "4 12501 pw= 15000 loc=");
    // A UTF-32 mark with a stray byte after it: irrXML's own conversion would leave this unterminated.
    EXPECT_EQ(read(std::string("\xFF\xFE\x00\x00<", 5)), kDefaults);
}
