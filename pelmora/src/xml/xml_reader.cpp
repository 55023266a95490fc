#include "xml/xml_reader.h"

#include <cctype>
#include <new>
#include <set>

#include "packet/packet_format.h"
#include "packet/packet_writer.h"
#include "xml/xml_parser.h"

namespace pelmora {
namespace {

constexpr uint32_t kStringParam = PKT_VARYING | (PKT_STRING << PKT_BASE_SHIFT) | 2;

bool IsTrue(std::string_view raw) {
    if (raw.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(static_cast<unsigned char>(raw[i])) != "true"[i]) return false;
    }
    return true;
}

// A hexadecimal ("0x...") or decimal number; false when the text is not one.
bool ParseWord(std::string_view s, uint32_t* out) {
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > 10) return false;
    uint64_t v = 0;
    for (char c : s) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    if (v > 0xFFFFFFFFu) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

uint32_t SameBase(uint32_t word) {
    const uint32_t base = PacketBaseType(word);
    return base == PKT_BYTES16 ? PKT_BYTES : base;
}

class Converter {
  public:
    explicit Converter(const XmlDocument& doc) : doc_(doc) {}

    EngineResult Run(const XmlSchema* known, XmlConversion* out);

  private:
    std::string_view Raw(int32_t node, std::string_view name) const {
        const XmlAttribute* a = doc_.FindAttribute(node, name);
        return a ? a->value : std::string_view();
    }
    bool Has(int32_t node, std::string_view name) const {
        return doc_.FindAttribute(node, name) != nullptr;
    }

    EngineResult Locate(int32_t* metadata, int32_t* rowdata) const;
    EngineResult ReadLevel(int32_t fields, int32_t params, int32_t* levelIndex);
    EngineResult ReadColumn(int32_t field, XmlColumn* column);
    EngineResult ReadAttributeParam(const XmlAttribute& a, std::vector<XmlParam>& params) const;
    EngineResult ReadChildParam(int32_t node, std::vector<XmlParam>& params) const;
    EngineResult ReadParamsElement(int32_t node, std::vector<XmlParam>& params) const;

    EngineResult WriteColumns(int32_t level);
    EngineResult WriteRow(int32_t level, int32_t row);
    std::set<uint32_t> Positions(int32_t row, std::string_view name, const XmlLevel& level) const;

    const XmlDocument& doc_;
    XmlSchema schema_;
    uint32_t ordinal_ = 0;
    TDATAPACKET_WRITE writer_;
    std::string value_;
};

EngineResult Converter::Locate(int32_t* metadata, int32_t* rowdata) const {
    *metadata = *rowdata = -1;
    int32_t section = doc_.FirstRoot();
    // The root element may be left out.
    if (doc_.Node(section).name == "DATAPACKET") section = doc_.Node(section).firstChild;
    if (section < 0) return DSERR_DATAPACKETMISMATCH;
    const std::string_view first = doc_.Node(section).name;
    if (first == "METADATA") {
        *metadata = section;
        for (int32_t s = doc_.Node(section).nextSibling; s >= 0; s = doc_.Node(s).nextSibling) {
            if (doc_.Node(s).name == "ROWDATA") {
                *rowdata = s;
                break;
            }
        }
        return DS_OK;
    }
    if (first == "ROWDATA") {
        *rowdata = section;
        return DS_OK;
    }
    return DSERR_DATAPACKETMISMATCH;
}

EngineResult Converter::ReadAttributeParam(const XmlAttribute& a,
                                           std::vector<XmlParam>& params) const {
    XmlParam p;
    p.name = ReadCodePageText(a.name, doc_.encoding());
    const uint32_t known = KnownParameterType(a.name);
    p.typeWord = known ? known : kStringParam;
    ValueForm form;
    form.typeWord = p.typeWord;
    form.encoding = doc_.encoding();
    bool blank = false;
    if (EngineResult r = ReadParamText(form, a.value, p.value, &blank)) return r;
    if (!blank) params.push_back(std::move(p));
    return DS_OK;
}

EngineResult Converter::ReadChildParam(int32_t node, std::vector<XmlParam>& params) const {
    const XmlNode& n = doc_.Node(node);
    XmlParam p;
    std::string_view value;
    std::string typeName = "string";
    if (n.name == "PARAM") {
        const XmlAttribute* name = doc_.FindAttribute(node, "Name");
        const XmlAttribute* v = doc_.FindAttribute(node, "Value");
        if (!name || (!v && n.text.empty())) return DSERR_DATAPACKETMISMATCH;
        p.name = ReadCodePageText(name->value, doc_.encoding());
        value = v ? v->value : n.text;
        if (const XmlAttribute* t = doc_.FindAttribute(node, "Type")) {
            typeName = ReadAsciiText(t->value);
        } else if (const XmlAttribute* dt = doc_.FindAttribute(node, "dt:dt")) {
            typeName = ReadAsciiText(dt->value);
        }
        p.typeWord = TypeWordFor(typeName, TypeHints{});
    } else {
        // A parameter written as an element of its own name, its text the value.
        p.name = ReadCodePageText(n.name, doc_.encoding());
        value = n.text;
        const XmlAttribute* dt = doc_.FindAttribute(node, "dt:dt");
        const uint32_t known = KnownParameterType(n.name);
        p.typeWord = dt ? TypeWordFor(ReadAsciiText(dt->value), TypeHints{})
                        : (known ? known : kStringParam);
    }
    uint32_t exact = 0;
    if (const XmlAttribute* w = doc_.FindAttribute(node, kParamTypeWord);
        w && ParseWord(w->value, &exact) && SameBase(exact) == SameBase(p.typeWord)) {
        p.typeWord = exact & ~PKT_ROUNDTRIP;
    }
    if (p.typeWord == 0) return DSERR_INVALIDFLDTYPE;
    if (Has(node, "Roundtrip")) p.typeWord |= PKT_ROUNDTRIP;
    ValueForm form;
    form.typeWord = p.typeWord & ~PKT_ROUNDTRIP;
    form.encoding = doc_.encoding();
    bool blank = false;
    if (EngineResult r = ReadParamText(form, value, p.value, &blank)) {
        return r == DSERR_FIELDTYPENOTXML ? static_cast<EngineResult>(DSERR_INVALIDFLDTYPE) : r;
    }
    if (!blank) params.push_back(std::move(p));
    return DS_OK;
}

EngineResult Converter::ReadParamsElement(int32_t node, std::vector<XmlParam>& params) const {
    if (node < 0) return DS_OK;
    const XmlAttribute* a = doc_.Attributes(node);
    for (uint32_t k = 0; k < doc_.Node(node).attributeCount; ++k) {
        if (EngineResult r = ReadAttributeParam(a[k], params)) return r;
    }
    for (int32_t c = doc_.Node(node).firstChild; c >= 0; c = doc_.Node(c).nextSibling) {
        if (EngineResult r = ReadChildParam(c, params)) return r;
    }
    return DS_OK;
}

EngineResult Converter::ReadColumn(int32_t field, XmlColumn* column) {
    const XmlAttribute* attr = doc_.FindAttribute(field, "attrname");
    if (!attr) attr = doc_.FindAttribute(field, "tagname");
    if (!attr || attr->value.empty()) return DSERR_DATAPACKETMISMATCH;
    column->attrName = std::string(attr->value);
    const XmlAttribute* fieldName = doc_.FindAttribute(field, "fieldname");
    column->name = ReadCodePageText(fieldName ? fieldName->value : attr->value, doc_.encoding());
    column->ordinal = ordinal_++;

    static const std::string_view kConsumed[] = {
        "fieldname", "attrname", "tagname",   "fieldtype",    "readonly",
        "required",  "hidden",   "linkfield", kFieldTypeWord, kFieldAttributeWord};
    const XmlAttribute* a = doc_.Attributes(field);
    for (uint32_t k = 0; k < doc_.Node(field).attributeCount; ++k) {
        bool consumed = false;
        for (std::string_view c : kConsumed) consumed = consumed || a[k].name == c;
        if (consumed) continue;
        if (EngineResult r = ReadAttributeParam(a[k], column->params)) return r;
    }
    if (IsTrue(Raw(field, "readonly"))) column->attributes |= ATTR_READONLY;
    if (IsTrue(Raw(field, "hidden"))) column->attributes |= ATTR_HIDDEN;
    if (IsTrue(Raw(field, "required"))) column->attributes |= ATTR_REQUIRED;
    if (IsTrue(Raw(field, "linkfield"))) column->attributes |= ATTR_LINK;
    uint32_t bits = 0;
    if (ParseWord(Raw(field, kFieldAttributeWord), &bits)) {
        column->attributes = static_cast<uint16_t>(bits);
    }

    int32_t nestedFields = -1;
    int32_t nestedParams = -1;
    for (int32_t c = doc_.Node(field).firstChild; c >= 0; c = doc_.Node(c).nextSibling) {
        const std::string_view name = doc_.Node(c).name;
        if (name == "FIELDS") {
            nestedFields = c;
        } else if (name == "PARAMS") {
            nestedParams = c;
        } else if (EngineResult r = ReadChildParam(c, column->params)) {
            return r;
        }
    }

    if (nestedFields >= 0) {
        int32_t child = -1;
        if (EngineResult r = ReadLevel(nestedFields, nestedParams, &child)) return r;
        column->childLevel = child;
    }
    const TypeHints hints = HintsFor(*column, schema_);
    const XmlAttribute* type = doc_.FindAttribute(field, "fieldtype");
    column->typeWord = TypeWordFor(type ? ReadAsciiText(type->value) : "string", hints);
    uint32_t exact = 0;
    if (column->typeWord != 0 && ParseWord(Raw(field, kFieldTypeWord), &exact) &&
        SameBase(exact) == SameBase(column->typeWord)) {
        column->typeWord = exact;
    }
    // A nested column holds detail rows only when it describes their columns.
    if (PacketBaseType(column->typeWord) == PKT_TABLE && column->childLevel < 0)
        return DSERR_DATAPACKETMISMATCH;
    if (PacketBaseType(column->typeWord) != PKT_TABLE) column->childLevel = -1;
    return DS_OK;
}

EngineResult Converter::ReadLevel(int32_t fields, int32_t params, int32_t* levelIndex) {
    if (schema_.levels.size() >= kMaxLevels) return DSERR_NOTSUPPORTED;
    *levelIndex = static_cast<int32_t>(schema_.levels.size());
    schema_.levels.emplace_back();
    for (int32_t f = doc_.Node(fields).firstChild; f >= 0; f = doc_.Node(f).nextSibling) {
        if (doc_.Node(f).name != "FIELD") return DSERR_DATAPACKETMISMATCH;
        XmlColumn column;
        if (EngineResult r = ReadColumn(f, &column)) return r;
        schema_.levels[static_cast<size_t>(*levelIndex)].columns.push_back(std::move(column));
    }
    if (schema_.levels[static_cast<size_t>(*levelIndex)].columns.size() > 0xFFFF)
        return DSERR_DATAPACKETMISMATCH;
    std::vector<XmlParam> levelParams;
    if (EngineResult r = ReadParamsElement(params, levelParams)) return r;
    schema_.levels[static_cast<size_t>(*levelIndex)].params = std::move(levelParams);
    return DS_OK;
}

EngineResult Converter::WriteColumns(int32_t level) {
    const XmlLevel& l = schema_.levels[static_cast<size_t>(level)];
    for (const XmlColumn& c : l.columns) {
        PacketColumnDesc desc{};
        c.name.copy(desc.name, kMaxColumnName);
        desc.typeWord = c.typeWord;
        desc.attributes = c.attributes;
        if (EngineResult r = writer_.AddColumn(&desc)) return r;
        for (const XmlParam& p : c.params) {
            if (EngineResult r =
                    writer_.AddParameter(0, p.name.c_str(), p.typeWord,
                                         static_cast<uint32_t>(p.value.size()), p.value.data()))
                return r;
        }
        if (c.childLevel >= 0) {
            if (EngineResult r = WriteColumns(c.childLevel)) return r;
        }
    }
    for (const XmlParam& p : l.params) {
        if (EngineResult r =
                writer_.AddParameter(1, p.name.c_str(), p.typeWord,
                                     static_cast<uint32_t>(p.value.size()), p.value.data()))
            return r;
    }
    return writer_.AddParameter(1, nullptr, 0, 0, nullptr);
}

std::set<uint32_t> Converter::Positions(int32_t row, std::string_view name,
                                        const XmlLevel& level) const {
    std::set<uint32_t> out;
    const XmlAttribute* a = doc_.FindAttribute(row, name);
    if (!a) return out;
    // A column of that attribute name takes precedence.
    for (const XmlColumn& c : level.columns) {
        if (c.attrName == name) return out;
    }
    const std::string text = ReadAsciiText(a->value);
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] < '0' || text[i] > '9')) ++i;
        uint64_t v = 0;
        bool any = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            any = true;
            if (v < 0x100000000u) v = v * 10 + static_cast<uint64_t>(text[i] - '0');
        }
        if (any && v < level.columns.size()) out.insert(static_cast<uint32_t>(v));
    }
    return out;
}

EngineResult Converter::WriteRow(int32_t level, int32_t row) {
    const XmlLevel& l = schema_.levels[static_cast<size_t>(level)];
    uint32_t status = 0;
    if (const XmlAttribute* s = doc_.FindAttribute(row, kRowStateAttribute)) {
        const std::string text = ReadAsciiText(s->value);
        if (!ParseWord(text, &status) || status > 0xFF) return DSERR_DATAPACKETMISMATCH;
    }
    const uint8_t statusByte = static_cast<uint8_t>(status);
    if (EngineResult r = writer_.PutValue(0, 1, &statusByte)) return r;

    const std::set<uint32_t> blanks = Positions(row, kRowBlankAttribute, l);
    const std::set<uint32_t> unchanged = Positions(row, kRowUnchangedAttribute, l);
    const XmlAttribute* attributes = doc_.Attributes(row);
    const uint32_t count = doc_.Node(row).attributeCount;
    uint32_t next = 0;  // the search starts after the previous match
    for (uint32_t k = 0; k < l.columns.size(); ++k) {
        const XmlColumn& c = l.columns[k];
        EngineResult r = DS_OK;
        if (blanks.count(k)) {
            r = writer_.PutValue(1, 0, nullptr);
        } else if (c.childLevel >= 0) {
            if (unchanged.count(k)) {
                r = writer_.PutValue(2, 0, nullptr);
            } else {
                const int32_t holder = doc_.FindChild(row, c.attrName);
                uint32_t details = 0;
                if (holder >= 0) {
                    for (int32_t d = doc_.Node(holder).firstChild; d >= 0;
                         d = doc_.Node(d).nextSibling)
                        ++details;
                }
                r = writer_.PutValue(0, 4, &details);
                for (int32_t d = holder >= 0 ? doc_.Node(holder).firstChild : -1; !r && d >= 0;
                     d = doc_.Node(d).nextSibling)
                    r = WriteRow(c.childLevel, d);
            }
        } else {
            const XmlAttribute* found = nullptr;
            for (uint32_t n = 0; n < count; ++n) {
                const uint32_t at = (next + n) % count;
                if (attributes[at].name == c.attrName) {
                    found = attributes + at;
                    next = at + 1;
                    break;
                }
            }
            if (!found) {
                r = writer_.PutValue(2, 0, nullptr);
            } else {
                bool blank = false;
                r = ReadValueText(c.form, found->value, value_, &blank);
                if (r == DSERR_FIELDTYPENOTXML) r = DSERR_INVALIDFLDTYPE;
                if (!r && blank)
                    r = writer_.PutValue(1, 0, nullptr);
                else if (!r)
                    r = writer_.PutValue(0, static_cast<uint32_t>(value_.size()), value_.data());
            }
        }
        if (r) return r;
    }
    return DS_OK;
}

EngineResult Converter::Run(const XmlSchema* known, XmlConversion* out) {
    int32_t metadata = -1;
    int32_t rowdata = -1;
    if (EngineResult r = Locate(&metadata, &rowdata)) return r;
    out->metadata = metadata >= 0;
    if (metadata >= 0) {
        const int32_t fields = doc_.FindChild(metadata, "FIELDS");
        if (fields < 0) return DSERR_DATAPACKETMISMATCH;
        int32_t top = -1;
        if (EngineResult r = ReadLevel(fields, doc_.FindChild(metadata, "PARAMS"), &top)) return r;
        AssignValueForms(schema_, true, doc_.encoding());
    } else if (known) {
        // The known columns bring their WIDTH and DECIMALS, never their SUBTYPE.
        schema_ = *known;
        AssignAttributeNames(schema_);
        AssignValueForms(schema_, false, doc_.encoding());
    }

    if (metadata >= 0 && !known) {
        const size_t top = schema_.levels[0].columns.size();
        if (EngineResult r = writer_.BeginPacket(2, static_cast<uint16_t>(top))) return r;
        if (EngineResult r = WriteColumns(0)) return r;
    } else {
        const std::vector<PacketColumnDesc> flat = FlattenColumns(schema_);
        if (flat.size() > 0xFFFF) return DSERR_DATAPACKETMISMATCH;
        if (EngineResult r = writer_.BeginRowsOnly(2, static_cast<uint16_t>(flat.size()),
                                                   flat.empty() ? nullptr : flat.data()))
            return r;
    }
    if (rowdata >= 0 && !schema_.levels.empty()) {
        for (int32_t row = doc_.Node(rowdata).firstChild; row >= 0;
             row = doc_.Node(row).nextSibling) {
            if (EngineResult r = WriteRow(0, row)) return r;
        }
    }
    for (const XmlLevel& level : schema_.levels) {
        for (const XmlColumn& c : level.columns) {
            if (out->attrNames.size() <= c.ordinal) out->attrNames.resize(c.ordinal + 1);
            out->attrNames[c.ordinal] = c.attrName;
        }
    }
    return writer_.TakePacket(&out->packet);
}

}  // namespace

EngineResult ConvertXmlPacket(const uint8_t* data, size_t size, const XmlSchema* known,
                              XmlConversion* out) {
    try {
        XmlDocument doc;
        if (EngineResult r = doc.Parse(data, size)) return r;
        Converter converter(doc);
        return converter.Run(known, out);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

}  // namespace pelmora
