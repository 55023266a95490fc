// The XML datapacket writer: turns a finished binary packet into its XML
// form. The columns, parameters and row items are read back from the binary
// packet (for a packet without metadata, with the column tree the packet
// writer registered), so that both forms always say the same.
//
// Document, in code page 932: an optional declaration (version and
// standalone, no encoding, two spaces after it), DATAPACKET, with mode bit 2
// METADATA (FIELDS with one FIELD per column, then PARAMS), then ROWDATA
// with one ROW per row. Known parameters become attributes of FIELD and
// PARAMS where their type word reads back unchanged; every other parameter
// is a PARAM child (from the first such parameter on, so that the order is
// kept).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packet/packet_format.h"
#include "pelmora/pelmora.h"

namespace pelmora {

// Writes the XML form of `binary` for the XML mode `mode` into `out`: a
// standalone document with its declaration when mode bit 0 or 1 is set,
// else the body alone. `columns` and `levels` describe the rows of a packet
// without metadata. 16400 for a column, parameter or value the XML form
// cannot carry, 16401 for a value that was not fetched, 9473 when memory
// runs out.
// What the XML form makes of the columns alone, which a document holds
// before its rows: 16400 for a column type it has no name for, 10000 for a
// type word without a value rule, else 0.
EngineResult CheckXmlColumns(const std::vector<PacketColumnDesc>& columns);

EngineResult WriteXmlPacket(SAFEARRAY* binary, uint32_t mode,
                            const std::vector<PacketColumnDesc>& columns,
                            const std::vector<PacketLevel>& levels, std::string* out);

}  // namespace pelmora
