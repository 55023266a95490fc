#include "store/field_types.h"

#include <cstring>

namespace pelmora {

namespace {

struct SubtypeEntry {
    const char* name;
    uint32_t code;
};

constexpr SubtypeEntry kSubtypes[] = {
    {"Text", SUBTYPE_TEXT},
    {"Binary", SUBTYPE_BINARY},
    {"Formatted", SUBTYPE_FORMATTED},
    {"Ole", SUBTYPE_OLE},
    {"Graphics", SUBTYPE_GRAPHICS},
    {"XoltaOle", SUBTYPE_XOLTA_OLE},
    {"TypedBinary", SUBTYPE_TYPED_BINARY},
    {"Money", SUBTYPE_MONEY},
    {"Autoinc", SUBTYPE_AUTOINC},
    {"AccessOle", SUBTYPE_ACCESS_OLE},
    {"HMemo", SUBTYPE_HMEMO},
    {"HBinary", SUBTYPE_HBINARY},
    {"ADTNestedTable", SUBTYPE_NESTED_TABLE},
    {"FixedChar", SUBTYPE_FIXED_CHAR},
    {"Reference", SUBTYPE_REFERENCE},
    {"BFile", SUBTYPE_BFILE},
    {"ADTDate", SUBTYPE_ADT_DATE},
    {"Guid", SUBTYPE_GUID},
};

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b)) return false;
    }
    return *a == *b;
}

constexpr uint32_t Word(uint32_t base, uint32_t width) {
    return (base << PKT_BASE_SHIFT) | width;
}

// Varying types use a one-byte length prefix while the field is narrow enough.
uint32_t VaryingWord(uint32_t base, uint32_t width) {
    return PKT_VARYING | Word(base, width <= 254 ? 1 : 2);
}

// The width a field has, or would have after layout when it has not been
// laid out yet.
uint32_t EffectiveWidth(const FieldDesc& f) {
    if (f.length != 0) return f.length;
    switch (f.type) {
        case FLD_STRING:
            return f.units1 + 1;
        case FLD_VARBYTES:
        case FLD_UNICODE:
            return f.units1 + 2;
        case FLD_BCD:
            return BcdWidthForPrecision(f.units1);
        case FLD_BYTES:
            return f.units1;
        default:
            return FixedTypeWidth(f.type);
    }
}

}  // namespace

bool IsEightBitType(uint32_t type) {
    return type == FLD_INT8 || type == FLD_UINT8 || type == FLD_BOOL8;
}

bool IsCompositeType(uint32_t type) {
    return type == FLD_ADT || type == FLD_ARRAY || type == FLD_REF || type == FLD_TABLE;
}

uint32_t FixedTypeWidth(uint32_t type) {
    switch (type) {
        case FLD_DATE:
        case FLD_BLOB:
        case FLD_INT32:
        case FLD_TIME:
        case FLD_UINT32:
        case FLD_TABLE:
        case FLD_BOOL32:
            return 4;
        case FLD_BOOL16:
        case FLD_INT16:
        case FLD_UINT16:
        case FLD_INT8:
        case FLD_UINT8:
        case FLD_BOOL8:
            return 2;
        case FLD_FLOAT:
        case FLD_TIMESTAMP:
        case FLD_INT64:
        case FLD_UINT64:
            return 8;
        case FLD_FLOAT80:
            return 10;
        default:
            return 0;
    }
}

uint32_t BcdWidthForPrecision(uint32_t precision) {
    return precision == 0 ? 34 : (precision + 1) / 2 + 2;
}

uint32_t PacketTypeWord(const FieldDesc& f) {
    const uint32_t width = EffectiveWidth(f);
    switch (f.type) {
        case FLD_STRING:
            return VaryingWord(PKT_STRING, width);
        case FLD_DATE:
            return Word(PKT_DATE, 4);
        case FLD_BLOB:
            return PKT_VARYING | Word(PKT_BYTES, 4);
        case FLD_BOOL16:
            return Word(PKT_BOOL, 2);
        case FLD_INT16:
            return Word(PKT_INT, 2);
        case FLD_INT32:
            return Word(PKT_INT, 4);
        case FLD_FLOAT:
            return Word(PKT_FLOAT, 8);
        case FLD_BCD:
            return Word(PKT_BCD, width & PKT_WIDTH_MASK);
        case FLD_BYTES:
            return Word(PKT_BYTES, width & PKT_WIDTH_MASK);
        case FLD_TIME:
            return Word(PKT_TIME, 4);
        case FLD_TIMESTAMP:
            return Word(PKT_TIMESTAMP, 8);
        case FLD_UINT16:
            return Word(PKT_UINT, 2);
        case FLD_UINT32:
            return Word(PKT_UINT, 4);
        case FLD_FLOAT80:
            return Word(PKT_FLOAT, 10);
        case FLD_VARBYTES:
            return VaryingWord(PKT_BYTES, width);
        case FLD_INT64:
            return Word(PKT_INT, 8);
        case FLD_UINT64:
            return Word(PKT_UINT, 8);
        case FLD_ADT:
            return PKT_COMPOSITE | Word(PKT_ADT, f.units1 & PKT_WIDTH_MASK);
        case FLD_ARRAY:
            return PKT_COMPOSITE | PKT_COMPOSITE_ARRAY | Word(PKT_ARRAY, f.units1 & PKT_WIDTH_MASK);
        case FLD_REF:
            return PKT_COMPOSITE | Word(PKT_REF, f.units1 & PKT_WIDTH_MASK);
        case FLD_TABLE:
            return PKT_COMPOSITE | PKT_COMPOSITE_TABLE | Word(PKT_TABLE, f.units1 & PKT_WIDTH_MASK);
        case FLD_INT8:
            return Word(PKT_INT, 1);
        case FLD_UINT8:
            return Word(PKT_UINT, 1);
        case FLD_BOOL8:
            return Word(PKT_BOOL, 1);
        case FLD_BOOL32:
            return Word(PKT_BOOL, 4);
        case FLD_UNICODE:
            return VaryingWord(PKT_UNICODE, width);
        default:
            return Word(PKT_BYTES, width & PKT_WIDTH_MASK);
    }
}

uint32_t InternalTypeFromWord(uint32_t word) {
    const uint32_t width = PacketWidth(word);
    const bool varying = (word & PKT_VARYING) != 0;
    switch (PacketBaseType(word)) {
        case PKT_INT:
            switch (width) {
                case 1:
                    return FLD_INT8;
                case 2:
                    return FLD_INT16;
                case 4:
                    return FLD_INT32;
                case 8:
                    return FLD_INT64;
                default:
                    return FLD_UNKNOWN;
            }
        case PKT_UINT:
            switch (width) {
                case 1:
                    return FLD_UINT8;
                case 2:
                    return FLD_UINT16;
                case 4:
                    return FLD_UINT32;
                case 8:
                    return FLD_UINT64;
                default:
                    return FLD_UNKNOWN;
            }
        case PKT_BOOL:
            switch (width) {
                case 1:
                    return FLD_BOOL8;
                case 2:
                    return FLD_BOOL16;
                case 4:
                    return FLD_BOOL32;
                default:
                    return FLD_UNKNOWN;
            }
        case PKT_FLOAT:
            if (width == 8) return FLD_FLOAT;
            if (width == 10) return FLD_FLOAT80;
            return FLD_UNKNOWN;
        case PKT_BCD:
            return FLD_BCD;
        case PKT_DATE:
            return FLD_DATE;
        case PKT_TIME:
            return FLD_TIME;
        case PKT_TIMESTAMP:
            return FLD_TIMESTAMP;
        case PKT_STRING:
            return FLD_STRING;
        case PKT_UNICODE:
            return FLD_UNICODE;
        case PKT_BYTES:
        case PKT_BYTES16:
            if (!varying) return FLD_BYTES;
            if (width == 4) return FLD_BLOB;
            if (width == 1 || width == 2) return FLD_VARBYTES;
            return FLD_UNKNOWN;
        case PKT_ADT:
            return FLD_ADT;
        case PKT_ARRAY:
            return FLD_ARRAY;
        case PKT_TABLE:
            return FLD_TABLE;
        default:
            return FLD_UNKNOWN;
    }
}

EngineResult FieldFromColumn(const PacketColumnDesc& column, FieldDesc& out) {
    if ((column.typeWord & PKT_REPEATED) != 0) return DSERR_INVALIDFLDTYPE;
    FieldDesc f{};
    std::memcpy(f.name, column.name, sizeof f.name - 1);
    f.name[sizeof f.name - 1] = '\0';
    f.type = InternalTypeFromWord(column.typeWord);
    f.attributes =
        static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(column.attributes)));
    const uint32_t width = PacketWidth(column.typeWord);
    if (f.type == FLD_ADT || f.type == FLD_ARRAY || f.type == FLD_TABLE) {
        f.units1 = width;
        f.length = f.type == FLD_TABLE ? 4 : 0;
    } else if ((column.typeWord & PKT_VARYING) != 0) {
        f.length = 0;
    } else {
        f.length = width;
    }
    out = f;
    return DS_OK;
}

PacketColumnDesc ColumnFromField(const FieldDesc& field) {
    PacketColumnDesc c{};
    std::memcpy(c.name, field.name, sizeof c.name - 1);
    c.name[sizeof c.name - 1] = '\0';
    c.typeWord = PacketTypeWord(field);
    c.attributes = static_cast<uint16_t>(field.attributes & 0xFFFF);
    return c;
}

EngineResult SubtypeFromName(const char* name, uint32_t& code) {
    if (name != nullptr) {
        for (const SubtypeEntry& e : kSubtypes) {
            if (EqualsIgnoringAsciiCase(name, e.name)) {
                code = e.code;
                return DS_OK;
            }
        }
    }
    code = kUnknownSubtype;
    return DSERR_OBJNOTFOUND;
}

const char* SubtypeName(uint32_t code) {
    for (const SubtypeEntry& e : kSubtypes) {
        if (e.code == code) return e.name;
    }
    return nullptr;
}

}  // namespace pelmora
