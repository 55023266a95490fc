#include "packet/packet_objects.h"

#include <new>

#include "packet/packet_reader.h"
#include "packet/packet_writer.h"

namespace pelmora {

IDSPacketWriter* NewPacketWriter() {
    return new (std::nothrow) TDATAPACKET_WRITE;
}

IDSPacketReader* NewPacketReader() {
    return new (std::nothrow) TDATAPACKET_READ;
}

}  // namespace pelmora
