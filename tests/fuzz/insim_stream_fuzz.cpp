// Fuzz target: the settings prefix, then the InSim byte stream, cut into packets as the link cuts it,
// through the whole race, qualifying and pitboard state; traps on any broken invariant.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::runInput(data, size, [](fuzzing::Session& session, fuzzing::Input& in) {
        while (session.packetFrom(in)) {
        }
    });
    return 0;
}
