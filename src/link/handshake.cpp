// The IS_ISI that identifies the program and the IS_SMALL that asks for OutGauge.
#include "link/handshake.h"

#include <cstring>

IS_ISI makeInitPacket(std::int32_t outGaugePort, std::string_view password, byte insimVersion) {
    IS_ISI isi{};
    isi.Size = sizeof(IS_ISI);
    isi.Type = ISP_ISI;
    isi.ReqI = 1;  // asks for the IS_VER reply
    isi.UDPPort = static_cast<word>(outGaugePort);
    isi.Flags = ISF_LOCAL;
    isi.InSimVer = insimVersion;
    const std::size_t adminLength = password.size() < sizeof isi.Admin - 1 ? password.size() : sizeof isi.Admin - 1;
    std::memcpy(isi.Admin, password.data(), adminLength);
    std::memcpy(isi.IName, "Stintkeeper", 11);
    return isi;
}

IS_SMALL makeOutGaugeRequest(unsigned32 intervalMs) {
    return IS_SMALL{sizeof(IS_SMALL), ISP_SMALL, 0, SMALL_SSG, intervalMs};
}

bool versionAccepted(word replied, int asked) {
    if (asked == 0) return replied == INSIM_VERSION;
    return replied >= INSIM_VERSION && replied <= NEWEST_INSIM_VERSION;
}
