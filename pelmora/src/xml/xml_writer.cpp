#include "xml/xml_writer.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <set>

#include "packet/packet_reader.h"
#include "xml/xml_schema.h"

namespace pelmora {
namespace {

// Code page 932, the encoding every reader of the stored form assumes, goes
// undeclared.
constexpr char kDeclaration[] = "<?xml version=\"1.0\" standalone=\"yes\"?>  ";

// Closes an element whose start tag (with its attributes, without ">") is in
// out: empty as "/>", else its children and the end tag.
void CloseElement(std::string& out, const std::string& children, std::string_view element) {
    if (children.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    out += children;
    out += "</";
    out += element;
    out += '>';
}

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

class Emitter {
  public:
    Emitter(TDATAPACKET_READ& reader, XmlSchema& schema) : reader_(reader), schema_(schema) {}

    EngineResult ReadLevel(int32_t* index);
    EngineResult EmitFields(int32_t level, std::string& out);
    EngineResult EmitRow(int32_t level, std::string_view element, std::string& out);

  private:
    EngineResult ReadParams(std::vector<XmlParam>& params);
    EngineResult EmitField(const XmlColumn& column, std::string& out);
    EngineResult EmitParams(const std::vector<XmlParam>& params, std::set<std::string> used,
                            std::string& attributes, std::string& children);
    EngineResult NextItem(uint32_t* status, uint32_t* length);

    TDATAPACKET_READ& reader_;
    XmlSchema& schema_;
    uint32_t ordinal_ = 0;
    std::string item_;
};

EngineResult Emitter::ReadParams(std::vector<XmlParam>& params) {
    std::string buffer;
    for (;;) {
        uint32_t length = 0;
        EngineResult r = reader_.PeekParameterLength(&length);
        if (r == DSERR_EOF) {
            // Passes on to the next block.
            r = reader_.NextParameter(nullptr, nullptr, &length, nullptr);
            return r == DSERR_EOF ? DS_OK : DSERR_DATAPACKETMISMATCH;
        }
        if (r) return r;
        buffer.assign(static_cast<size_t>(length) + 1, '\0');
        char name[kMaxColumnName + 1] = {};
        XmlParam p;
        length = static_cast<uint32_t>(buffer.size());
        if ((r = reader_.NextParameter(name, &p.typeWord, &length, buffer.data()))) return r;
        p.name = name;
        p.value.assign(buffer.data(), length);
        params.push_back(std::move(p));
    }
}

EngineResult Emitter::ReadLevel(int32_t* index) {
    *index = static_cast<int32_t>(schema_.levels.size());
    schema_.levels.emplace_back();
    for (;;) {
        PacketColumnDesc desc;
        EngineResult r = reader_.NextColumn(&desc);
        if (r == DSERR_EOF) break;
        if (r) return r;
        XmlColumn c;
        c.name.assign(desc.name, strnlen(desc.name, sizeof desc.name));
        c.typeWord = desc.typeWord;
        c.attributes = desc.attributes;
        c.ordinal = ordinal_++;
        if ((r = ReadParams(c.params))) return r;
        if (PacketBaseType(c.typeWord) == PKT_TABLE) {
            int32_t child = -1;
            if ((r = ReadLevel(&child))) return r;
            c.childLevel = child;
        }
        schema_.levels[static_cast<size_t>(*index)].columns.push_back(std::move(c));
    }
    return ReadParams(schema_.levels[static_cast<size_t>(*index)].params);
}

EngineResult Emitter::EmitParams(const std::vector<XmlParam>& params, std::set<std::string> used,
                                 std::string& attributes, std::string& children) {
    bool asAttributes = true;
    std::string text;
    std::string back;
    for (const XmlParam& p : params) {
        if (asAttributes) {
            // An attribute only where the value reads back exactly; after the
            // first parameter that cannot be one, none is (the order is kept).
            const uint32_t known = KnownParameterType(p.name);
            if (known != 0 && known == p.typeWord && !used.count(p.name)) {
                ValueForm form;
                form.typeWord = known;
                form.encoding = XmlEncoding::Legacy;
                text.clear();
                bool blank = false;
                if (WriteValueText(form, reinterpret_cast<const uint8_t*>(p.value.data()),
                                   static_cast<uint32_t>(p.value.size()), text) == DS_OK &&
                    ReadParamText(form, text, back, &blank) == DS_OK && !blank && back == p.value) {
                    attributes += ' ';
                    attributes += p.name;
                    attributes += "=\"";
                    attributes += text;
                    attributes += '"';
                    used.insert(p.name);
                    continue;
                }
            }
            asAttributes = false;
        }
        const uint32_t word = p.typeWord & ~PKT_ROUNDTRIP;
        std::string_view typeName;
        if (EngineResult r = TypeNameFor(word, &typeName)) return r;
        if (PacketBaseType(word) == PKT_TABLE) return DSERR_FIELDTYPENOTXML;
        children += "<PARAM Name=\"";
        if (!AppendCodePageText(children, reinterpret_cast<const uint8_t*>(p.name.data()),
                                p.name.size()))
            return DSERR_FIELDTYPENOTXML;
        children += "\" Value=\"";
        ValueForm form;
        form.typeWord = word;
        if (EngineResult r = WriteValueText(form, reinterpret_cast<const uint8_t*>(p.value.data()),
                                            static_cast<uint32_t>(p.value.size()), children))
            return r;
        children += '"';
        if (typeName != "string") {
            children += " Type=\"";
            children += typeName;
            children += '"';
        }
        if (p.typeWord & PKT_ROUNDTRIP) children += " Roundtrip=\"True\"";
        if (TypeWordFor(typeName, TypeHints{}) != word) {
            children += ' ';
            children += kParamTypeWord;
            children += "=\"" + Hex32(word) + '"';
        }
        children += "/>";
    }
    return DS_OK;
}

EngineResult Emitter::EmitField(const XmlColumn& c, std::string& out) {
    std::string_view typeName;
    if (EngineResult r = TypeNameFor(c.typeWord, &typeName)) return r;
    std::string tag = "<FIELD";
    if (c.attrName != c.name) {
        tag += " fieldname=\"";
        if (!AppendCodePageText(tag, reinterpret_cast<const uint8_t*>(c.name.data()),
                                c.name.size()))
            return DSERR_FIELDTYPENOTXML;
        tag += '"';
    }
    tag += " attrname=\"" + c.attrName + "\" fieldtype=\"";
    tag += typeName;
    tag += '"';
    if (c.attributes & ATTR_READONLY) tag += " readonly=\"true\"";
    if (c.attributes & ATTR_REQUIRED) tag += " required=\"true\"";
    if (c.attributes & ATTR_HIDDEN) tag += " hidden=\"true\"";
    if (c.attributes & ATTR_LINK) tag += " linkfield=\"true\"";

    std::string children;
    const std::set<std::string> used = {"fieldname", "attrname", "fieldtype", "readonly",
                                        "required",  "hidden",   "linkfield"};
    if (EngineResult r = EmitParams(c.params, used, tag, children)) return r;
    // What the type name and the flag words cannot say, said exactly.
    if (TypeWordFor(typeName, HintsFor(c, schema_)) != c.typeWord) {
        tag += ' ';
        tag += kFieldTypeWord;
        tag += "=\"" + Hex32(c.typeWord) + '"';
    }
    if (c.attributes & ~(ATTR_READONLY | ATTR_REQUIRED | ATTR_HIDDEN | ATTR_LINK)) {
        tag += ' ';
        tag += kFieldAttributeWord;
        tag += "=\"" + std::to_string(c.attributes) + '"';
    }
    if (c.childLevel >= 0) {
        if (EngineResult r = EmitFields(c.childLevel, children)) return r;
    }
    out += tag;
    CloseElement(out, children, "FIELD");
    return DS_OK;
}

EngineResult Emitter::EmitFields(int32_t level, std::string& out) {
    const XmlLevel& l = schema_.levels[static_cast<size_t>(level)];
    out += "<FIELDS>";
    for (const XmlColumn& c : l.columns) {
        if (EngineResult r = EmitField(c, out)) return r;
    }
    out += "</FIELDS>";
    std::string tag = "<PARAMS";
    std::string children;
    if (EngineResult r = EmitParams(l.params, {}, tag, children)) return r;
    out += tag;
    CloseElement(out, children, "PARAMS");
    return DS_OK;
}

EngineResult Emitter::NextItem(uint32_t* status, uint32_t* length) {
    uint32_t peek = 0;
    if (EngineResult r = reader_.PeekValueLength(&peek)) return r;
    if (!(peek & kLengthNotFetched) && item_.size() < static_cast<size_t>(peek) + 1)
        item_.resize(static_cast<size_t>(peek) + 1);
    if (item_.empty()) item_.resize(1);
    *length = static_cast<uint32_t>(item_.size());
    EngineResult r = reader_.NextValue(length, item_.data(), status);
    return r == DSERR_FIELDISBLANK ? static_cast<EngineResult>(DS_OK) : r;
}

EngineResult Emitter::EmitRow(int32_t level, std::string_view element, std::string& out) {
    uint32_t status = 0;
    uint32_t length = 0;
    if (EngineResult r = NextItem(&status, &length)) return r;
    const uint8_t rowStatus = static_cast<uint8_t>(item_[0]);
    std::string attributes;
    std::string children;
    std::string blanks;
    std::string unchanged;
    if (rowStatus != 0) {
        attributes += ' ';
        attributes += kRowStateAttribute;
        attributes += "=\"" + std::to_string(rowStatus) + '"';
    }
    auto list = [](std::string& to, size_t k) {
        if (!to.empty()) to += ' ';
        to += std::to_string(k);
    };
    const size_t columns = schema_.levels[static_cast<size_t>(level)].columns.size();
    for (size_t k = 0; k < columns; ++k) {
        const XmlColumn& c = schema_.levels[static_cast<size_t>(level)].columns[k];
        if (EngineResult r = NextItem(&status, &length)) return r;
        if (status == 1) {
            list(blanks, k);
            continue;
        }
        if (status == 2) {
            if (c.childLevel >= 0) list(unchanged, k);
            continue;
        }
        if (c.childLevel >= 0) {
            uint32_t count = 0;
            std::memcpy(&count, item_.data(), 4);
            if (count == kDetailsNotFetched) return DSERR_NOTFETCHEDINXML;
            if (count == 0) continue;
            children += '<' + c.attrName + '>';
            const std::string detail = "ROW" + c.attrName;
            for (uint32_t i = 0; i < count; ++i) {
                if (EngineResult r = EmitRow(c.childLevel, detail, children)) return r;
            }
            children += "</" + c.attrName + '>';
            continue;
        }
        if (length & kLengthNotFetched) return DSERR_NOTFETCHEDINXML;
        attributes += ' ' + c.attrName + "=\"";
        if (EngineResult r = WriteValueText(c.form, reinterpret_cast<const uint8_t*>(item_.data()),
                                            length, attributes))
            return r;
        attributes += '"';
    }
    if (!blanks.empty()) {
        attributes += ' ';
        attributes += kRowBlankAttribute;
        attributes += "=\"" + blanks + '"';
    }
    if (!unchanged.empty()) {
        attributes += ' ';
        attributes += kRowUnchangedAttribute;
        attributes += "=\"" + unchanged + '"';
    }
    out += '<';
    out += element;
    out += attributes;
    CloseElement(out, children, element);
    return DS_OK;
}

// The column tree of a packet without metadata, from the writer's columns.
void SchemaFromLevels(const std::vector<PacketColumnDesc>& columns,
                      const std::vector<PacketLevel>& levels, XmlSchema& schema) {
    schema.levels.resize(levels.size());
    for (size_t li = 0; li < levels.size(); ++li) {
        for (const LevelColumn& lc : levels[li].columns) {
            XmlColumn c;
            if (lc.ordinal < columns.size()) {
                const PacketColumnDesc& d = columns[lc.ordinal];
                c.name.assign(d.name, strnlen(d.name, sizeof d.name));
                c.attributes = d.attributes;
            }
            c.typeWord = lc.typeWord;
            c.ordinal = lc.ordinal;
            c.childLevel = lc.childLevel;
            schema.levels[li].columns.push_back(std::move(c));
        }
    }
}

EngineResult Write(SAFEARRAY* binary, uint32_t mode, const std::vector<PacketColumnDesc>& columns,
                   const std::vector<PacketLevel>& levels, std::string* out) {
    const auto* data = static_cast<const uint8_t*>(binary->pvData);
    PacketHeader header;
    if (EngineResult r = ParseHeader(data, binary->rgsabound[0].cElements, &header)) return r;
    const bool metadata = (header.properties & kPropMetadata) != 0;

    TDATAPACKET_READ reader;
    XmlSchema schema;
    Emitter emitter(reader, schema);
    if (metadata) {
        if (EngineResult r = reader.OpenPacket(binary)) return r;
        int32_t top = -1;
        if (EngineResult r = emitter.ReadLevel(&top)) return r;
    } else {
        SchemaFromLevels(columns, levels, schema);
        if (EngineResult r = reader.OpenRowsWithLevels(binary, levels)) return r;
    }
    for (const XmlLevel& level : schema.levels) {
        for (const XmlColumn& c : level.columns) {
            std::string_view name;
            if (EngineResult r = TypeNameFor(c.typeWord, &name)) return r;
        }
    }
    AssignAttributeNames(schema);
    const bool withMetadata = (mode & kXmlMetadata) != 0;
    AssignValueForms(schema, withMetadata, XmlEncoding::Legacy);

    std::string& doc = *out;
    doc.clear();
    if (mode & kXmlStandalone) doc += kDeclaration;
    doc += "<DATAPACKET Version=\"2.0\">";
    if (withMetadata && !schema.levels.empty()) {
        doc += "<METADATA>";
        if (EngineResult r = emitter.EmitFields(0, doc)) return r;
        doc += "</METADATA>";
    }
    doc += "<ROWDATA>";
    for (;;) {
        uint32_t length = 0;
        const EngineResult r = reader.PeekValueLength(&length);
        if (r == DSERR_EOF) break;
        if (r) return r;
        if (EngineResult e = emitter.EmitRow(0, "ROW", doc)) return e;
    }
    doc += "</ROWDATA></DATAPACKET>";
    return DS_OK;
}

}  // namespace

EngineResult CheckXmlColumns(const std::vector<PacketColumnDesc>& columns) {
    for (const PacketColumnDesc& c : columns) {
        std::string_view name;
        if (EngineResult r = TypeNameFor(c.typeWord, &name)) return r;
    }
    return DS_OK;
}

EngineResult WriteXmlPacket(SAFEARRAY* binary, uint32_t mode,
                            const std::vector<PacketColumnDesc>& columns,
                            const std::vector<PacketLevel>& levels, std::string* out) {
    if (!binary || !out) return DSERR_INVALIDPARAM;
    try {
        return Write(binary, mode, columns, levels, out);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

}  // namespace pelmora
