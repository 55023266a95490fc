// Optional parameters of a dataset: the named, typed values that travel with
// a datapacket (per dataset and per field). The dataset keeps the ones it
// does not consume here, in arrival order, and writes them back unchanged.
// Names are kept in stable storage so that the pointers FindParameter hands
// out stay valid while the list grows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pelmora/pelmora.h"

namespace platform {
class Collation;
}

namespace pelmora {

// Known parameter names and their ids; 0 for a name that is not known.
enum : uint32_t {
    PARAM_UNKNOWN = 0,
    PARAM_UNIQUE_KEY = 1,
    PARAM_DEFAULT_ORDER = 2,
    PARAM_CHANGE_LOG = 3,
    PARAM_SERVER_COL = 4,
    PARAM_CONSTRAINTS = 5,
    PARAM_DATASET_CONTEXT = 6,
    PARAM_DATASET_DELTA = 7,
    PARAM_READONLY = 8,
    PARAM_SUBTYPE = 9,
    PARAM_DECIMALS = 10,
    PARAM_WIDTH = 11,
    PARAM_LCID = 12,
    PARAM_VRKDOMAIN_X = 13,
    PARAM_VRKRECORD_X = 14,
    PARAM_VRKDEFAULT_X = 15,
    PARAM_AUTOINCVALUE = 16,
    PARAM_ELEMENTS = 17,
    PARAM_TABLENAME = 18,
    PARAM_MD_FIELDLINKS = 19,
    PARAM_TYPENAME = 20,
    PARAM_UPDATEMODE = 21,
    PARAM_MD_SEMANTICS = 22,
    PARAM_CALCULATED = 23,
    PARAM_VRKDOMAIN_CL = 24,
    PARAM_VRKRECORD_CL = 25,
    PARAM_VRKDEFAULT_CL = 26,
    PARAM_DELTA = 27,
    PARAM_PRIMARY_KEY = 28,
    PARAM_MINVALUE = 29,
    PARAM_MAXVALUE = 30,
    PARAM_DISABLE_DELETES = 31,
    PARAM_DISABLE_INSERTS = 32,
    PARAM_DISABLE_EDITS = 33,
};

// Flags of a kept parameter: which derived datasets receive a copy.
enum : uint32_t {
    PARAMF_DELTA = 0x01,
    PARAMF_ERROR = 0x02,
    PARAMF_ROW_REQUEST = 0x04,
};

// The id of a parameter name, matched ignoring the case of ASCII letters.
uint32_t ParameterId(const char* name);

// The flags a kept parameter gets from its name and type word.
uint32_t ParameterFlags(uint32_t id, uint32_t typeWord);

// True when two names are equal ignoring case: through the collation when one
// is given, else ignoring the case of ASCII letters.
bool ParameterNamesEqual(const char* a, const char* b, const platform::Collation* collation);

struct ParameterEntry {
    uint32_t flags = 0;
    uint32_t field = 0;  // 0 = the dataset
    uint32_t typeWord = 0;
    std::string name;
    std::vector<uint8_t> value;
    uint32_t length() const { return static_cast<uint32_t>(value.size()); }
};

class ParameterList {
  public:
    // Appends a copy of the parameter; 9473 when memory runs out.
    EngineResult Add(uint32_t flags, uint32_t field, const char* name, uint32_t typeWord,
                     uint32_t length, const void* value);

    size_t size() const { return entries_.size(); }
    const ParameterEntry& at(size_t i) const { return *entries_[i]; }

    // The n-th (1-based) parameter of a field, in arrival order; null when none.
    const ParameterEntry* Nth(uint32_t field, uint32_t n) const;
    // The first parameter of a field with that name; null when none.
    const ParameterEntry* Find(uint32_t field, const char* name,
                               const platform::Collation* collation) const;
    // Removes the first parameter of a field with that name; false when none.
    bool Drop(uint32_t field, const char* name, const platform::Collation* collation);
    // Number of parameters of a field.
    uint32_t CountFor(uint32_t field) const;
    // Removes the parameters of fields above `lastField`.
    void DropFieldsAbove(uint32_t lastField);
    void Clear() { entries_.clear(); }

  private:
    std::vector<std::unique_ptr<ParameterEntry>> entries_;
};

}  // namespace pelmora
