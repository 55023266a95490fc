#include "xml/xml_schema.h"

#include <cstring>
#include <set>

#include "packet/packet_format.h"

namespace pelmora {
namespace {

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The column name made into an XML name, or empty when it cannot be.
std::string Mangle(std::string_view name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return {};
    std::string out(name);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) return {};  // double-byte and other non-ASCII names
        if (!IsNameChar(b)) c = '_';
    }
    return out;
}

bool EqualsIgnoringCase(const std::string& value, const char* word) {
    const size_t n = std::strlen(word);
    if (value.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = value[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        char b = word[i];
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

void Flatten(const XmlSchema& schema, int32_t level, std::vector<PacketColumnDesc>& out) {
    for (const XmlColumn& c : schema.levels[static_cast<size_t>(level)].columns) {
        PacketColumnDesc d{};
        std::memcpy(d.name, c.name.data(), std::min(c.name.size(), kMaxColumnName));
        d.typeWord = c.typeWord;
        d.attributes = c.attributes;
        out.push_back(d);
        if (c.childLevel >= 0) Flatten(schema, c.childLevel, out);
    }
}

}  // namespace

void AssignAttributeNames(XmlSchema& schema) {
    for (XmlLevel& level : schema.levels) {
        std::set<std::string> taken = {std::string(kRowStateAttribute),
                                       std::string(kRowBlankAttribute),
                                       std::string(kRowUnchangedAttribute)};
        for (const XmlColumn& c : level.columns) {
            if (!c.attrName.empty()) taken.insert(c.attrName);
        }
        for (XmlColumn& c : level.columns) {
            if (!c.attrName.empty()) continue;
            std::string name = Mangle(c.name);
            if (name.empty() || taken.count(name)) name = "xF" + std::to_string(c.ordinal);
            while (taken.count(name)) name += '_';
            taken.insert(name);
            c.attrName = std::move(name);
        }
    }
}

uint32_t ParamInteger(const XmlParam& param) {
    ValueShape shape;
    if (ClassifyType(param.typeWord, &shape) != DS_OK || shape.kind != ValueKind::Fixed) return 0;
    uint32_t v = 0;
    for (size_t i = 0; i < param.value.size() && i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(param.value[i])) << (8 * i);
    return v;
}

void AssignValueForms(XmlSchema& schema, bool textFromSubtype, XmlEncoding encoding) {
    for (XmlLevel& level : schema.levels) {
        for (XmlColumn& c : level.columns) {
            ValueForm form;
            form.typeWord = c.typeWord;
            form.encoding = encoding;
            for (const XmlParam& p : c.params) {
                if (p.name == "SUBTYPE" && textFromSubtype) {
                    const std::string text(p.value.c_str());
                    form.text = EqualsIgnoringCase(text, "Text");
                } else if (p.name == "WIDTH") {
                    form.scaleKnown = true;
                    form.precision = ParamInteger(p);
                } else if (p.name == "DECIMALS") {
                    form.scaleKnown = true;
                    form.places = ParamInteger(p);
                }
            }
            c.form = form;
        }
    }
}

TypeHints HintsFor(const XmlColumn& column, const XmlSchema& schema) {
    static const char* const kBlobSubtypes[] = {"Text",     "Binary",   "Formatted",  "Ole",
                                                "Graphics", "XoltaOle", "TypedBinary"};
    TypeHints hints;
    for (const XmlParam& p : column.params) {
        if (p.name == "WIDTH") {
            hints.hasWidth = true;
            hints.width = ParamInteger(p);
        } else if (p.name == "SUBTYPE") {
            const std::string text(p.value.c_str());
            for (const char* s : kBlobSubtypes) hints.blob = hints.blob || text == s;
        }
    }
    if (column.childLevel >= 0 && static_cast<size_t>(column.childLevel) < schema.levels.size())
        hints.children = static_cast<uint32_t>(
            schema.levels[static_cast<size_t>(column.childLevel)].columns.size());
    return hints;
}

std::vector<PacketColumnDesc> FlattenColumns(const XmlSchema& schema) {
    std::vector<PacketColumnDesc> out;
    if (!schema.levels.empty()) Flatten(schema, 0, out);
    return out;
}

}  // namespace pelmora
