// Type names and value texts of XML datapackets: which name a packet type
// word is written with and which word a name is read back as, the types the
// known parameters are read with, and the conversion of every kind of value
// between its binary packet form and its text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmora/pelmora.h"
#include "xml/xml_text.h"

namespace pelmora {

// What a reader knows of a column besides its type name.
struct TypeHints {
    bool hasWidth = false;
    uint32_t width = 0;     // the WIDTH parameter
    bool blob = false;      // a BLOB subtype ("Text" to "TypedBinary")
    uint32_t children = 0;  // columns of a nested or structured column
};

// The type name written for a type word (the round-trip flag aside).
// 10000 for a word without a value rule, 16400 for a type the XML form has
// no name for (8-byte integers, 10-byte floats, structured, array and
// reference types, repeated values other than integers).
EngineResult TypeNameFor(uint32_t typeWord, std::string_view* name);

// The type word a type name is read as; 0 for a name not known.
uint32_t TypeWordFor(std::string_view name, const TypeHints& hints);

// The type word a known parameter is read with when it stands as an
// attribute of FIELD or PARAMS; 0 for any other name.
uint32_t KnownParameterType(std::string_view name);

// How the values of one column or parameter are written and read.
struct ValueForm {
    uint32_t typeWord = 0;
    bool text = false;        // bytes of a "Text" BLOB: text, otherwise hexadecimal
    bool scaleKnown = false;  // packed decimals: the column's precision and places
    uint32_t precision = 0;
    uint32_t places = 0;
    XmlEncoding encoding = XmlEncoding::Utf8;  // of the document being read
};

// Appends a value, given in its binary packet form, as escaped document
// text. 16400 for a value the XML form cannot carry (a text holding a
// character an XML document cannot hold, a timestamp that is not finite).
EngineResult WriteValueText(const ValueForm& form, const uint8_t* value, uint32_t length,
                            std::string& out);

// Reads document text into the binary packet form of a value (for varying
// types the bytes without their length). *blank is set for a text that
// counts as blank (a number without digits). 9985 for a number out of range.
EngineResult ReadValueText(const ValueForm& form, std::string_view raw, std::string& out,
                           bool* blank);

// The same for a parameter value: string parameters carry a terminating
// zero, as the engine writes them.
EngineResult ReadParamText(const ValueForm& form, std::string_view raw, std::string& out,
                           bool* blank);

}  // namespace pelmora
