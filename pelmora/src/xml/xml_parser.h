// The parser for XML datapackets: a bounds-checked tokenizer that builds a
// small element tree (names, attributes with their raw values, the text
// before an element's first child) over the document's bytes.
//
// It accepts what datapackets need and what writers of them produce: a
// leading declaration (whose encoding is honoured; an undeclared document
// is code page 932, or UTF-8 behind a byte order mark), comments, processing
// instructions and a document type declaration between elements, values in
// double or single quotes, and several top-level elements (a packet whose
// root element was left out). Bytes 1 to 32 count as blanks. Malformed
// structure, end tags that do not match and more than 63 open elements give
// 16389 "Mismatch in datapacket.".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pelmora/pelmora.h"
#include "xml/xml_text.h"

namespace pelmora {

constexpr size_t kMaxXmlDepth = 63;

struct XmlAttribute {
    std::string_view name;
    std::string_view value;  // as written: references are resolved by the reader
};

struct XmlNode {
    std::string_view name;
    uint32_t firstAttribute = 0;
    uint32_t attributeCount = 0;
    int32_t firstChild = -1;
    int32_t lastChild = -1;
    int32_t nextSibling = -1;
    std::string_view text;  // text before the first child element, as written
};

class XmlDocument {
  public:
    // Parses the bytes; the document keeps its own copy of them.
    EngineResult Parse(const uint8_t* data, size_t size);

    XmlEncoding encoding() const { return encoding_; }
    int32_t FirstRoot() const { return firstRoot_; }
    const XmlNode& Node(int32_t index) const { return nodes_[static_cast<size_t>(index)]; }
    const XmlAttribute* Attributes(int32_t index) const {
        return attributes_.data() + Node(index).firstAttribute;
    }
    // The first attribute of that name, or null.
    const XmlAttribute* FindAttribute(int32_t index, std::string_view name) const;
    // The first child element of that name, or -1.
    int32_t FindChild(int32_t index, std::string_view name) const;
    // True when the document declared its encoding.
    bool EncodingDeclared() const { return declared_; }

  private:
    EngineResult ChooseEncoding(const uint8_t* data, size_t size);
    EngineResult Build();
    size_t SkipBlanks(size_t at) const;
    // Parses a start tag at text_[at] ('<' already seen); *open tells whether
    // the element has content to come.
    EngineResult StartTag(size_t* at, int32_t parent, bool* open, int32_t* created);
    void Link(int32_t parent, int32_t child);

    std::string text_;
    std::vector<XmlNode> nodes_;
    std::vector<XmlAttribute> attributes_;
    int32_t firstRoot_ = -1;
    int32_t lastRoot_ = -1;
    XmlEncoding encoding_ = XmlEncoding::Utf8;
    bool declared_ = false;
};

}  // namespace pelmora
