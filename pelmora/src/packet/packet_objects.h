// Construction of the datapacket writer and reader objects for the class
// objects: each call returns a new object with reference count 0, or null
// when memory cannot be had.
#pragma once

#include "pelmora/pelmora.h"

namespace pelmora {

IDSPacketWriter* NewPacketWriter();
IDSPacketReader* NewPacketReader();

}  // namespace pelmora
