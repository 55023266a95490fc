// Fuzz target for the datapacket reader: opens arbitrary bytes as a packet,
// reads every column and parameter block until the metadata is complete,
// then every row item. Loops are bounded so that no input can hang the run.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "packet/packet_reader.h"
#include "platform/safearray.h"

namespace {

constexpr int kMaxSteps = 100000;

void DrainParameters(pelmora::TDATAPACKET_READ& reader, int* steps) {
    std::vector<uint8_t> value(256);
    char name[32];
    while ((*steps)++ < kMaxSteps) {
        uint32_t length = 0;
        if (reader.PeekParameterLength(&length) == 0) value.resize(length + 1);
        length = static_cast<uint32_t>(value.size());
        uint32_t type = 0;
        if (reader.NextParameter(name, &type, &length, value.data()) != 0) return;
    }
}

void ReadPacket(pelmora::TDATAPACKET_READ& reader, SAFEARRAY* packet, bool rowsOnly) {
    if ((rowsOnly ? reader.OpenRows(packet) : reader.OpenPacket(packet)) != 0) return;
    int steps = 0;
    while (!reader.MetadataComplete() && steps++ < kMaxSteps) {
        PacketColumnDesc column;
        const EngineResult r = reader.NextColumn(&column);
        if (r != 0 && r != DSERR_EOF) return;
        DrainParameters(reader, &steps);
    }
    std::vector<uint8_t> value(64);
    while (reader.RowsPending() && steps++ < kMaxSteps) {
        uint32_t length = 0;
        if (reader.PeekValueLength(&length) == 0 && !(length & 0x80000000u))
            value.resize(length + 1);
        length = static_cast<uint32_t>(value.size());
        uint32_t status = 0;
        const EngineResult r = reader.NextValue(&length, value.data(), &status);
        if (r != 0 && r != DSERR_FIELDISBLANK) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SAFEARRAY* packet = SafeArrayFromBytes(data, static_cast<uint32_t>(size));
    if (!packet) return 0;
    auto* reader = new pelmora::TDATAPACKET_READ;
    reader->AddRef();
    ReadPacket(*reader, packet, false);
    // The same bytes as further rows for the columns just read.
    ReadPacket(*reader, packet, true);
    reader->Release();
    SafeArrayDestroy(packet);
    return 0;
}
