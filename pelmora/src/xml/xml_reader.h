// The XML datapacket reader: turns an XML document into the binary packet
// that holds the same columns, parameters and row items, so that the packet
// reader hands them out exactly as it does for a binary packet.
//
// Columns come from METADATA (name from "fieldname" or "attrname", type
// word from "fieldtype", flags from the four flag attributes, parameters
// from the other attributes and PARAM children); rows from ROWDATA, each
// column's value from the row attribute named by its attribute name and a
// nested column's detail rows from the row's child element of that name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pelmora/pelmora.h"
#include "xml/xml_schema.h"

namespace pelmora {

struct XmlConversion {
    SAFEARRAY* packet = nullptr;         // the binary form; the caller destroys it
    bool metadata = false;               // the document carried METADATA
    std::vector<std::string> attrNames;  // attribute names of its columns, in packet order
};

// Converts a document. With `known` (appending rows to columns read
// before) the result is a packet of rows only, for the document's own
// columns when it has metadata and else for the known ones.
// 16389 for a document that is not a datapacket, 10000 for a type word a
// parameter or column cannot have, 9985 for a number out of range, 10756
// for rows nested deeper than 15 levels, 9473 when memory runs out.
EngineResult ConvertXmlPacket(const uint8_t* data, size_t size, const XmlSchema* known,
                              XmlConversion* out);

}  // namespace pelmora
