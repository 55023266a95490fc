// Dataset property ids: the numbers a caller passes to ReadProperty and
// WriteProperty of a dataset. Some are read-only, some write-only; the
// engine's property code says which.
#pragma once

#include <cstdint>

enum : uint32_t {
    PROP_LOGGING = 0,
    PROP_READONLY = 1,
    PROP_CHANGE_COUNT = 2,
    PROP_CONSTRAINTS_OFF = 3,
    PROP_PARTIAL = 4,
    PROP_VISIBLE_LAST_LOAD = 5,
    PROP_NO_AUTOINC = 6,
    PROP_DELTA = 7,
    PROP_NO_METADATA = 8,
    PROP_MAX_DELTA_BLOB = 9,
    PROP_SAVEPOINT = 10,
    PROP_BEFORE_EXPANSION = 11,
    PROP_FLAGS = 12,
    PROP_FULL_NAME = 13,
    PROP_UNUSED = 14,
    PROP_PARENT = 15,
    PROP_CHANGE_FILTER = 16,
    PROP_KEY_INDEX = 17,
    PROP_UPDATE_MODE = 18,
    PROP_XML_MODE = 19,
    PROP_DISABLE_DELETES = 20,
    PROP_DISABLE_INSERTS = 21,
    PROP_DISABLE_EDITS = 22,
};
