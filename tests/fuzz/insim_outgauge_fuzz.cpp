// Fuzz target: InSim packets with OutGauge datagrams of any length interleaved, under any board
// time-out, through the race, pitboard and fuel state, without and with the pit guard; traps on any
// broken invariant.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int32_t boardTimeOutMs = 15000;
    if (size >= sizeof boardTimeOutMs) std::memcpy(&boardTimeOutMs, data, sizeof boardTimeOutMs);  // any value cfg.xml can give
    for (const bool pitGuard : {false, true}) {  // the same session: fuel short at lap lines is what the guard holds
        fuzzing::Input in{data, size};
        in.take(sizeof boardTimeOutMs);
        fuzzing::Session session(boardTimeOutMs, pitGuard);
        fuzzing::runOutGaugeInput(session, in);
    }
    return 0;
}
