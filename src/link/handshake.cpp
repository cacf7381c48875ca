// The IS_ISI that identifies the program, the IS_SMALL that asks for OutGauge, and the versions spoken.
#include "link/handshake.h"

#include <cstring>

IS_ISI makeInitPacket(std::int32_t outGaugePort, std::string_view password, byte insimVersion) {
    IS_ISI isi{};
    isi.Size = sizeByte(sizeof(IS_ISI), sizeUnitOf(insimVersion));  // the unit of the version asked for
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

IS_SMALL makeOutGaugeRequest(unsigned32 intervalMs, SizeUnit unit) {
    return IS_SMALL{sizeByte(sizeof(IS_SMALL), unit), ISP_SMALL, 0, SMALL_SSG, intervalMs};
}

bool versionAccepted(word replied, int asked) {
    if (asked == 0) return replied == INSIM_VERSION;
    return replied >= INSIM_VERSION && replied <= NEWEST_INSIM_VERSION;
}

SizeUnit sizeUnitOf(word version) {
    return version >= FIRST_INSIM_VERSION_IN_FOURS ? SizeUnit::Fours : SizeUnit::Bytes;
}
