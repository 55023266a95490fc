// Field subtype codes: the refinement a field descriptor's subtype carries
// beyond its type (a memo text, money, an auto-increment number, ...). In
// datapackets a subtype travels by its name; the engine maps names to these
// codes and back.
#pragma once

#include <cstdint>

enum : uint32_t {
    SUBTYPE_MONEY = 21,
    SUBTYPE_TEXT = 22,
    SUBTYPE_BINARY = 23,
    SUBTYPE_FORMATTED = 24,
    SUBTYPE_OLE = 25,
    SUBTYPE_GRAPHICS = 26,
    SUBTYPE_XOLTA_OLE = 27,
    SUBTYPE_TYPED_BINARY = 28,
    SUBTYPE_AUTOINC = 29,
    SUBTYPE_ACCESS_OLE = 30,
    SUBTYPE_FIXED_CHAR = 31,
    SUBTYPE_HMEMO = 33,
    SUBTYPE_HBINARY = 34,
    SUBTYPE_NESTED_TABLE = 35,
    SUBTYPE_BFILE = 36,
    SUBTYPE_ADT_DATE = 37,
    SUBTYPE_GUID = 38,
    SUBTYPE_REFERENCE = 70,
};
