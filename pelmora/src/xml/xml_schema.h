// The column tree of an XML datapacket as both the XML writer and the XML
// reader see it: per level the columns with their parameters and the
// dataset parameters; per column the attribute name that carries its
// values in rows and the form its values take.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pelmora/pelmora.h"
#include "xml/xml_values.h"

namespace pelmora {

// Row attributes besides the columns: the row status, and the columns
// whose item is blank or (nested columns) unchanged, as 0-based positions.
// A column without its attribute is unchanged; a nested column without its
// element has no detail rows.
inline constexpr std::string_view kRowStateAttribute = "RowState";
inline constexpr std::string_view kRowBlankAttribute = "RowBlank";
inline constexpr std::string_view kRowUnchangedAttribute = "RowUnchanged";

// Attributes of FIELD and PARAM the reader consumes beside the standard
// ones: the exact packet type word (and, for FIELD, the attribute word)
// where the type name and the flag words alone would not restore them.
inline constexpr std::string_view kFieldTypeWord = "typeword";
inline constexpr std::string_view kFieldAttributeWord = "attrbits";
inline constexpr std::string_view kParamTypeWord = "TypeWord";

struct XmlParam {
    std::string name;
    uint32_t typeWord = 0;
    std::string value;  // binary packet form
};

struct XmlColumn {
    std::string name;      // as stored (8-bit)
    std::string attrName;  // names the row attribute (and nested element)
    uint32_t typeWord = 0;
    uint16_t attributes = 0;
    uint32_t ordinal = 0;  // position among all columns of the packet
    std::vector<XmlParam> params;
    int32_t childLevel = -1;  // a nested dataset's level
    ValueForm form;
};

struct XmlLevel {
    std::vector<XmlColumn> columns;
    std::vector<XmlParam> params;
};

struct XmlSchema {
    std::vector<XmlLevel> levels;  // level 0 is the top level
};

// Gives every column without one its attribute name: the column name with
// every character an XML name cannot hold replaced by '_', or "xF" and the
// ordinal for a name with double-byte (or other non-ASCII) characters, one
// that cannot start an XML name, or one already taken on its level.
void AssignAttributeNames(XmlSchema& schema);

// Sets every column's value form from its type word and its "WIDTH" and
// "DECIMALS" parameters (packed decimals without them take their scale from
// their text) and, when `textFromSubtype`, its "SUBTYPE" (a "Text" BLOB
// is text; other bytes are hexadecimal). Documents without metadata write
// all bytes in hexadecimal, so that a reader never has to guess.
void AssignValueForms(XmlSchema& schema, bool textFromSubtype, XmlEncoding encoding);

// What a reader knows of a column besides its type name: its WIDTH, whether
// its SUBTYPE names a BLOB, how many columns a nested column holds.
TypeHints HintsFor(const XmlColumn& column, const XmlSchema& schema);

// The columns in packet order (depth first), as the writer registers them.
std::vector<PacketColumnDesc> FlattenColumns(const XmlSchema& schema);

// The integer a fixed-width parameter holds (0 for other shapes).
uint32_t ParamInteger(const XmlParam& param);

}  // namespace pelmora
