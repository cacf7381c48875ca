// The bytes of every packet the program sends once connected: the keep-alive reply, the requests of a join,
// the clear of all buttons, one pitboard button and the batch of "/press" commands that sets the pit fuel. Each Size
// byte counts in the output's unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/output.h"
#include "link/wire.h"

// Answers the simulator's keep-alive (an IS_TINY with SubT TINY_NONE, whatever its ReqI) with the same
// four bytes; any other IS_TINY is not answered.
void answerKeepAlive(const IS_TINY& tiny, Output& out);

// Asks the game what runs, one IS_TINY with ReqI kAskReqI for each SubT, in one send, in the order given, which
// is the order of the answers (TINY_SST: IS_STA, TINY_RST: IS_RST while a race or qualifying runs, TINY_NCN: an
// IS_NCN per connection, TINY_NPL: an IS_NPL per car, TINY_NLP: one IS_NLP). Nothing for none.
constexpr byte kAskReqI = 2;
void sendRequests(Output& out, std::span<const byte> subTypes);

// Removes every button this connection has made: one IS_BFN with BFN_CLEAR.
void clearButtons(Output& out);

// One IS_BTN: the 12-byte header in one send, then the first `window` bytes of text, zero-filled, in another.
// The windows the board uses (12, 16 and 20 bytes, or a longer multiple of 4) keep the packet a whole
// number of fours long.
void sendButton(Output& out, std::uint8_t clickId, std::uint8_t top, std::string_view text, std::size_t window);

constexpr unsigned kMaxPitFuelAmount = 99;  // percent: the most a fuel call types
constexpr unsigned kFullTankPercent = 100;  // the pit menu's highest setting, which a planned full tank types
// Types `amount` percent (1 to 100) into the pit menu in one send: "/press F12", 99 x "/press left"
// (down to the lowest setting, 1%, from any setting), amount - 1 x "/press right", "/press F12"; at most
// 200 packets.
// Returns the bytes sent.
std::size_t sendPressBatch(Output& out, unsigned amount);
// One "/press <key>" command on its own, for a key of a few letters ("F9").
void sendPress(Output& out, std::string_view key);
