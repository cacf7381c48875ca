// Fuzz target: InSim packets with OutGauge datagrams of any length interleaved, under any board
// time-out, through the race, pitboard and fuel state; traps on any broken invariant.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in{data, size};
    std::int32_t boardTimeOutMs = 15000;
    if (const std::uint8_t* timeOut = in.take(sizeof boardTimeOutMs)) {
        std::memcpy(&boardTimeOutMs, timeOut, sizeof boardTimeOutMs);  // any value cfg.xml can give
    }
    fuzzing::Session session(boardTimeOutMs);
    fuzzing::runOutGaugeInput(session, in);
    return 0;
}
