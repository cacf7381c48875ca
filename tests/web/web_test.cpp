// The page's own code: what each request is answered with, and the snapshot the loop publishes as the
// JSON the page reads, from packets in.
#include <gtest/gtest.h>

#include "app/snapshot.h"
#include "support/transcript.h"
#include "web/json.h"
#include "web/routing.h"

using namespace transcript;

namespace {

const char* const kKey = "0123456789abcdef";

}  // namespace

TEST(WebRouting, WhatEachRequestGets) {
    const struct {
        const char *method, *path, *query, *key;
        int status;
    } cases[] = {
        {"GET", "/", "", "", 200},                 {"HEAD", "/index.html", "", "", 200},
        {"GET", "/state", "", "", 200},            {"GET", "/events", "", "", 200},
        {"GET", "/race.csv", "", "", 200},         {"POST", "/state", "", "", 405},
        {"OPTIONS", "/", "", "", 405},             {"get", "/", "", "", 405},
        {"GET", "/cfg.xml", "", "", 404},          {"GET", "/state/", "", "", 404},
        // With a key: the same answer for none, a wrong one, one a byte longer or shorter, a broken escape.
        {"GET", "/state", "", kKey, 401},          {"GET", "/state", "key=", kKey, 401},
        {"GET", "/state", "key=0123456789abcdeg", kKey, 401},
        {"GET", "/state", "key=0123456789abcdef0", kKey, 401},
        {"GET", "/state", "key=0123456789abcde", kKey, 401},
        {"GET", "/state", "key=0123456789abcde%6", kKey, 401},
        {"GET", "/nope", "key=0123456789abcdef", kKey, 404},
        {"GET", "/events", "a=1&key=0123456789abcde%66", kKey, 200},
        {"GET", "/", "key=0123456789abcdef&key=x", kKey, 200},  // the first one counts
    };
    for (const auto& c : cases) {
        const Decision decision = decide(c.method, c.path, c.query, c.key);
        EXPECT_EQ(decision.status, c.status) << c.method << " " << c.path << "?" << c.query;
        EXPECT_EQ(decision.resource.has_value(), c.status == 200) << c.path;
    }
    EXPECT_EQ(queryValue("a=b+c%21&x", "a"), "b c!");
    EXPECT_EQ(queryValue("a=1&x", "x"), "");
}

// A race of 10 laps, two cars, the viewed one with a name the game writes in its code page and a stop.
TEST(WebSnapshot, TheRaceAsThePageReadsIt) {
    Config config;
    config.web.on = true;
    config.stints = Stints::Full;
    Program program(config);
    std::string named = fields(76, {{0, 76}, {1, 21}, {3, 3}});
    named.replace(8, 6, "J\xE9r\x81\x01\x80");
    Script script = stream(named) + race(10, 3);
    for (int n = 1; n <= 4; ++n) {
        script = script + lap(3, 60000, 60000u * n, n) + lap(5, 61000, 61000u * n, n) + gauge(n, 1.0f - 0.125f * n);
    }
    feed(script + pla(5, 1) + pit(3, 40), program);
    const std::string name = "\"J\u00e9r\ufffd\ufffd\u20ac\"";  // U+FFFD for the control bytes 0x81 and 0x01
    EXPECT_EQ(snapshotJson(takeSnapshot(program)),
              R"({"board":["L3/10 P1","-0.00^9/^2+3.00","1:00.00 ^1","SET 26% F"],)"
              R"("car":{"advice":"SET 26% F","driver":null,"fuelPercent":50.0,"gapAheadMs":null,"gapBehindMs":3000,"lap":4,)"
              R"("lapsToGo":6,"lastLapMs":60000,"name":)" + name + R"(,"place":1,"plid":3,"source":"outgauge","usePercent":12.5},)"
              R"("fuelByLap":[{"lap":1,"percent":87.5},{"lap":2,"percent":75.0},{"lap":3,"percent":62.5},)"
              R"({"lap":4,"percent":50.0}],"link":{"insim":"lost","version":null},)"
              R"("plan":{"amounts":[26],"savingUse":null,"stops":1,"windowFrom":5,"windowTo":8},)"
              R"("race":{"kind":"laps","laps":10,"leaderLaps":4,"minutes":null},)"
              R"("standings":[{"bestLapMs":null,"gapMs":0,"inPit":false,"lapsDone":4,"lastLapMs":60000,"name":)" + name + ","
              R"("place":1,"plid":3},{"bestLapMs":null,"gapMs":4000,"inPit":true,"lapsDone":4,"lastLapMs":61000,"name":null,)"
              R"("place":2,"plid":5}],"stops":[{"askedPercent":null,"lap":0,"neededPercent":null,"tookPercent":40}],"team":null})");
}

// Qualifying: each car with a best lap, the fastest first, behind its best.
TEST(WebSnapshot, QualifyingStandingsByBestLap) {
    Config config;
    config.web.on = true;
    Program program(config);
    feed(qualifying(3) + res(3, 61000, 4, 1) + res(5, 60500, 3, 0), program);
    const std::string json = snapshotJson(takeSnapshot(program));
    EXPECT_EQ(json.substr(json.find("\"standings\":") + 12, json.find(",\"stops\"") - json.find("\"standings\":") - 12),
              R"([{"bestLapMs":60500,"gapMs":0,"inPit":false,"lapsDone":3,"lastLapMs":null,"name":null,"place":1,"plid":5},)"
              R"({"bestLapMs":61000,"gapMs":500,"inPit":false,"lapsDone":4,"lastLapMs":null,"name":null,"place":2,"plid":3}])");
}
