// The settings file: what each element sets, the defaults, and damaged files that must not mislead.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/config.h"
#include "link/handshake.h"
#include "support/recording_port.h"

namespace {

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
    Config read(const std::string& content) {
        std::ofstream(dir_ / "cfg.xml", std::ios::binary) << content;
        return readPath(dir_ / "cfg.xml");
    }
    Config readPath(const std::filesystem::path& path) {
        console.clear();
        Config config;
        readConfigFile(path.c_str(), config, console);
        applyDefaults(config);
        return config;
    }

    std::filesystem::path dir_;
    RecordingPort console;
};

// Everything a well-written file can set.
const std::string kFullFile =
    "<?xml version=\"1.0\"?>\n"
    "<Config>\n"
    "  <!-- settings -->\n"
    "  <InSim port=\"30000\"/>\n"
    "  <OutGauge port=\"30001\"/>\n"
    "  <Password value=\"secret\"/>\n"
    "  <BoardTimeOut value=\"20\"/>\n"
    "  <LFSExec location=\"C:\\LFS\\\" start=\"1\" InvokeInSim=\"1\"/>\n"
    "</Config>\n";

void expectFull(const Config& config) {
    EXPECT_EQ(config.insimPort, 30000);
    EXPECT_EQ(config.outGaugePort, 30001);
    EXPECT_EQ(config.password, "secret");
    EXPECT_EQ(config.boardTimeOutMs, 20000);
    EXPECT_EQ(config.lfsLocation, "C:\\LFS\\");
    EXPECT_TRUE(config.startLfs);
    EXPECT_TRUE(config.invokeInSim);
}

void expectDefaults(const Config& config) {
    EXPECT_EQ(config.insimPort, 12500);
    EXPECT_EQ(config.outGaugePort, 12501);
    EXPECT_EQ(config.password, "");
    EXPECT_EQ(config.boardTimeOutMs, 15000);
    EXPECT_EQ(config.lfsLocation, "");
    EXPECT_FALSE(config.startLfs);
    EXPECT_FALSE(config.invokeInSim);
}

}  // namespace

TEST_F(ConfigFile, EveryElementSetsItsField) {
    expectFull(read(kFullFile));
    EXPECT_EQ(console.console(), "Read InSim Port: 30000\n");
    EXPECT_TRUE(console.sends().empty());
}

TEST_F(ConfigFile, NoFileGivesTheDefaultsAndNoLaunch) {
    expectDefaults(readPath(dir_ / "cfg.xml"));
    EXPECT_EQ(console.console(), "");
    expectDefaults(read(""));
    expectDefaults(read("<Config/>"));
    EXPECT_EQ(console.console(), "");
}

TEST_F(ConfigFile, InSimWithoutPortIsPrintedAsZeroThenDefaulted) {
    const Config config = read("<Config><InSim/></Config>");
    EXPECT_EQ(console.console(), "Read InSim Port: 0\n");
    EXPECT_EQ(config.insimPort, 12500);
}

TEST_F(ConfigFile, TwoInSimElementsAreBothPrintedAndTheSecondIsUsed) {
    const Config config = read("<Config><InSim port=\"1000\"/><x><InSim port=\"2000\"/></x></Config>");
    EXPECT_EQ(console.console(), "Read InSim Port: 1000\nRead InSim Port: 2000\n");
    EXPECT_EQ(config.insimPort, 2000);
}

TEST_F(ConfigFile, BoardTimeOutIsWholeSecondsHeldToTheFieldRange) {
    EXPECT_EQ(read("<C><BoardTimeOut value=\"0\"/></C>").boardTimeOutMs, 15000);
    EXPECT_EQ(read("<C><BoardTimeOut value=\"20\"/></C>").boardTimeOutMs, 20000);
    EXPECT_EQ(read("<C><BoardTimeOut value=\"-5\"/></C>").boardTimeOutMs, -5000);  // used as read
    EXPECT_EQ(read("<C><BoardTimeOut value=\"2147483\"/></C>").boardTimeOutMs, 2147483000);
    // One second more no longer fits: the longest time-out, not a wrapped short or negative one.
    EXPECT_EQ(read("<C><BoardTimeOut value=\"2147484\"/></C>").boardTimeOutMs, INT_MAX);
    EXPECT_EQ(read("<C><BoardTimeOut value=\"4294968\"/></C>").boardTimeOutMs, INT_MAX);
    EXPECT_EQ(read("<C><BoardTimeOut value=\"99999999999\"/></C>").boardTimeOutMs, INT_MAX);
    EXPECT_EQ(read("<C><BoardTimeOut value=\"-2147484\"/></C>").boardTimeOutMs, INT_MIN);
}

TEST_F(ConfigFile, LaunchNeedsStartNotZeroAndInvokeInSimPresent) {
    const Config zeroValue = read("<C><LFSExec location=\"sim/\" start=\"2\" InvokeInSim=\"0\"/></C>");
    EXPECT_TRUE(zeroValue.startLfs);
    EXPECT_TRUE(zeroValue.invokeInSim);
    EXPECT_EQ(zeroValue.lfsLocation, "sim/");
    EXPECT_TRUE(read("<C><LFSExec location=\"sim/\" start=\"1\" InvokeInSim=\"\"/></C>").invokeInSim);

    const Config startZero = read("<C><LFSExec location=\"sim/\" start=\"0\" InvokeInSim=\"1\"/></C>");
    EXPECT_FALSE(startZero.startLfs);
    EXPECT_TRUE(startZero.invokeInSim);
    EXPECT_FALSE(read("<C><LFSExec location=\"sim/\" InvokeInSim=\"1\"/></C>").startLfs);
    EXPECT_FALSE(read("<C><LFSExec location=\"sim/\" start=\"1\"/></C>").invokeInSim);
    EXPECT_FALSE(read("<C><LFSExec location=\"sim/\" start=\"1\" invokeinsim=\"1\"/></C>").invokeInSim);
}

TEST_F(ConfigFile, MissingTextAttributesGiveEmptyTexts) {
    const Config config = read("<C><Password/><LFSExec start=\"1\" InvokeInSim=\"\"/></C>");
    EXPECT_EQ(config.password, "");
    EXPECT_EQ(config.lfsLocation, "");
    EXPECT_TRUE(config.startLfs);
    EXPECT_TRUE(config.invokeInSim);
    // An element without its attribute also clears what an earlier one set.
    EXPECT_EQ(read("<C><Password value=\"a\"/><Password/></C>").password, "");
}

TEST_F(ConfigFile, ElementNamesAreCaseSensitive) {
    const Config config = read(
        "<C><insim port=\"1\"/><INSIM port=\"1\"/><outgauge port=\"2\"/><password value=\"p\"/>"
        "<boardtimeout value=\"3\"/><lfsexec location=\"x/\" start=\"1\" InvokeInSim=\"\"/>"
        "<InSim Port=\"4\"/></C>");
    EXPECT_EQ(console.console(), "Read InSim Port: 0\n");  // attribute names are case-sensitive too
    expectDefaults(config);
}

TEST_F(ConfigFile, EndTagsAndTextOfTheSameNameCarryNoSettings) {
    const Config config = read(
        "<Config><InSim port=\"1\"></InSim>InSim<OutGauge port=\"2\">OutGauge</OutGauge>"
        "<Password value=\"p\">Password</Password></Config>");
    EXPECT_EQ(console.console(), "Read InSim Port: 1\n");
    EXPECT_EQ(config.insimPort, 1);
    EXPECT_EQ(config.outGaugePort, 2);
    EXPECT_EQ(config.password, "p");
}

TEST_F(ConfigFile, EntitiesAndQuotesInValues) {
    EXPECT_EQ(read("<C><Password value='a&amp;b\"c'/></C>").password, "a&b\"c");
}

TEST_F(ConfigFile, LongPasswordReachesTheInitPacketCutToFifteen) {
    const Config config = read("<C><Password value=\"abcdefghijklmnopqrst\"/></C>");
    EXPECT_EQ(config.password, "abcdefghijklmnopqrst");
    const IS_ISI isi = makeInitPacket(config.outGaugePort, config.password);
    std::string expected = bytes({44, 1, 1, 0, 0xD5, 0x30, 4, 0, 0, 0, 0, 0});  // OutGauge port 12501
    expected += std::string("abcdefghijklmno") + '\0';
    expected += std::string("Stintkeeper") + std::string(5, '\0');
    EXPECT_EQ(bytesOfPacket(isi), expected);
}

TEST_F(ConfigFile, CutOffFilesKeepWhatCameBeforeTheFault) {
    // A cut-off element must neither set anything nor pass for the element before it.
    const Config truncated = read("<C><InSim port=\"5\"/><OutGauge port=\"7\"");
    EXPECT_EQ(console.console(), "Read InSim Port: 5\n");
    EXPECT_EQ(truncated.insimPort, 5);
    EXPECT_EQ(truncated.outGaugePort, 12501);

    for (const char* cut : {"<C><InSim port=\"5\"/><OutG", "<C><InSim port=\"5\"/></C", "<C><InSim port=\"5\"/><",
                            "<C><InSim port=\"5\"/><?xml", "<C><InSim port=\"5\"/><!-- <OutGauge port=\"7\"/>",
                            "<C><InSim port=\"5\"/><OutGauge port=\"7\" /", "<C><InSim port=\"5\"/><OutGauge port",
                            "<C><InSim port=\"5\"/><![CDATA[ x ]"}) {
        const Config config = read(cut);
        EXPECT_EQ(console.console(), "Read InSim Port: 5\n") << cut;
        EXPECT_EQ(config.outGaugePort, 12501) << cut;
    }
}

TEST_F(ConfigFile, MalformedMarkupEndsTheReading) {
    // An unterminated quote would otherwise swallow the next tag into the password.
    const Config quote = read("<C><InSim port=\"5\"/><Password value=\"abc/><OutGauge port=\"7\"/></C>");
    EXPECT_EQ(console.console(), "Read InSim Port: 5\n");
    EXPECT_EQ(quote.password, "");
    EXPECT_EQ(quote.outGaugePort, 12501);

    for (const char* bad : {"<C><InSim port=\"5\"/><!><OutGauge port=\"7\"/></C>",
                            "<C><InSim port=\"5\"/><OutGauge port=7/></C>",
                            "<C><InSim port=\"5\"/><OutGauge port/><OutGauge port=\"7\"/></C>",
                            "<C><InSim port=\"5\"/>< OutGauge port=\"7\"/></C>",
                            "<C><InSim port=\"5\"/><OutGauge port=\"7\"x=\"1\"/></C>"}) {
        const Config config = read(bad);
        EXPECT_EQ(console.console(), "Read InSim Port: 5\n") << bad;
        EXPECT_EQ(config.outGaugePort, 12501) << bad;
    }
}

TEST_F(ConfigFile, BinaryAndOversizedFilesAreSurvived) {
    // Everything up to the first zero byte is read, as the parser sees the document end there.
    std::string binary = "<C><InSim port=\"5\"/>";
    binary += std::string("\0<OutGauge port=\"7\"/>\x01\xFF\xFE", 24);
    EXPECT_EQ(read(binary).outGaugePort, 12501);
    EXPECT_EQ(console.console(), "Read InSim Port: 5\n");

    std::mt19937 random(7);
    std::string junk(1 << 20, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    const Config afterJunk = read("<C><InSim port=\"5\"/>" + junk);
    EXPECT_EQ(console.console(), "Read InSim Port: 5\n");
    EXPECT_EQ(afterJunk.outGaugePort, 12501);
    std::string markup;  // the parser's own characters, in random order
    for (int i = 0; i < (1 << 20); ++i) markup += "<>/=\"'! ?-[]x"[random() % 13];
    read(markup);

    // Only the first MiB is looked at.
    EXPECT_EQ(read("<C><InSim port=\"5\"/>" + std::string(1 << 20, ' ') + "<OutGauge port=\"7\"/></C>").outGaugePort,
              12501);
    EXPECT_EQ(console.console(), "Read InSim Port: 5\n");
}

TEST_F(ConfigFile, HugeValuesAndDeepNesting) {
    const std::string longValue(500000, 'p');
    EXPECT_EQ(read("<C><Password value=\"" + longValue + "\"/></C>").password, longValue);

    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<a>";
    nested += "<InSim port=\"9\"/>";
    for (int i = 0; i < 100000; ++i) nested += "</a>";
    EXPECT_EQ(read(nested).insimPort, 9);
}

TEST_F(ConfigFile, WideTextFilesAreReadAsTheParserWould) {
    std::string utf16le = "\xFF\xFE";
    for (char c : std::string("<C><InSim port=\"5\"/></C>")) utf16le += std::string{c, '\0'};
    EXPECT_EQ(read(utf16le).insimPort, 5);
    std::string utf16be = "\xFE\xFF";
    for (char c : std::string("<C><OutGauge port=\"6\"/></C>")) utf16be += std::string{'\0', c};
    EXPECT_EQ(read(utf16be).outGaugePort, 6);
    EXPECT_EQ(read("\xEF\xBB\xBF<C><InSim port=\"4\"/></C>").insimPort, 4);

    // A UTF-32 mark with a stray byte after it: irrXML's own conversion would leave this unterminated.
    expectDefaults(read(std::string("\xFF\xFE\x00\x00<", 5)));
}

TEST_F(ConfigFile, ADirectoryNamedCfgXmlSetsNothing) {
    std::filesystem::create_directory(dir_ / "cfg.xml");
    expectDefaults(readPath(dir_ / "cfg.xml"));
    EXPECT_EQ(console.console(), "");
}
