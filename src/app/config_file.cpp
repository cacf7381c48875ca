// Reading cfg.xml into the settings record with the irrXML pull reader.
// The only file that sees irrXML; names are compared case-sensitively on element nodes only.
#include <irrXML.h>

#include <cstring>
#include <memory>

#include "app/config.h"

namespace {

struct ReaderDeleter {
    void operator()(irr::io::IrrXMLReader* reader) const { delete reader; }
};

std::string textAttribute(irr::io::IrrXMLReader& reader, const char* name) {
    const char* value = reader.getAttributeValue(name);
    return value ? std::string(value) : std::string();
}

void readElement(irr::io::IrrXMLReader& reader, Config& config, Port& console) {
    const char* name = reader.getNodeName();
    if (name == nullptr) return;
    if (std::strcmp(name, "InSim") == 0) {
        config.insimPort = reader.getAttributeValueAsInt("port");
        printLine(console, "Read InSim Port: ", config.insimPort);
    }
    if (std::strcmp(name, "OutGauge") == 0) config.outGaugePort = reader.getAttributeValueAsInt("port");
    if (std::strcmp(name, "Password") == 0) config.password = textAttribute(reader, "value");
    if (std::strcmp(name, "BoardTimeOut") == 0) {
        // Whole seconds; the product wraps like the 32-bit field it fills instead of overflowing.
        const auto seconds = static_cast<std::uint32_t>(reader.getAttributeValueAsInt("value"));
        config.boardTimeOutMs = static_cast<std::int32_t>(seconds * 1000u);
    }
    if (std::strcmp(name, "LFSExec") == 0) {
        config.lfsLocation = textAttribute(reader, "location");
        config.startLfs = reader.getAttributeValueAsInt("start") != 0;
        config.invokeInSim = reader.getAttributeValue("InvokeInSim") != nullptr;
    }
}

}  // namespace

void readConfigFile(const char* path, Config& config, Port& console) {
    std::unique_ptr<irr::io::IrrXMLReader, ReaderDeleter> reader(irr::io::createIrrXMLReader(path));
    if (!reader) return;
    while (reader->read()) {
        // End tags and text of the same name carry no settings.
        if (reader->getNodeType() == irr::io::EXN_ELEMENT) readElement(*reader, config, console);
    }
}
