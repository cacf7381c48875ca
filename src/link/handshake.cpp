// The IS_ISI that identifies the program and the IS_SMALL that asks for OutGauge.
#include "link/handshake.h"

#include <cstring>

IS_ISI makeInitPacket(std::int32_t outGaugePort, std::string_view password) {
    IS_ISI isi{};
    isi.Size = sizeof(IS_ISI);
    isi.Type = ISP_ISI;
    isi.ReqI = 1;  // asks for the IS_VER reply
    isi.UDPPort = static_cast<word>(outGaugePort);
    isi.Flags = ISF_LOCAL;
    const std::size_t adminLength = password.size() < sizeof isi.Admin - 1 ? password.size() : sizeof isi.Admin - 1;
    std::memcpy(isi.Admin, password.data(), adminLength);
    std::memcpy(isi.IName, "Stintkeeper", 11);
    return isi;
}

IS_SMALL makeOutGaugeRequest() {
    return IS_SMALL{sizeof(IS_SMALL), ISP_SMALL, 0, SMALL_SSG, 10000};
}
