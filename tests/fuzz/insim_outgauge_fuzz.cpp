// Fuzz target: the settings prefix, then InSim packets with OutGauge datagrams of any length
// interleaved, through the race, pitboard and fuel state; traps on any broken invariant.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::runInput(data, size, fuzzing::runOutGaugeSteps);
    return 0;
}
