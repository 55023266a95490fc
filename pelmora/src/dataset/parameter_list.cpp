#include "dataset/parameter_list.h"

#include <cstring>
#include <new>

#include "platform/collation.h"

namespace pelmora {

namespace {

struct NamedId {
    const char* name;
    uint32_t id;
};

constexpr NamedId kParameterNames[] = {
    {"UNIQUE_KEY", PARAM_UNIQUE_KEY},
    {"DEFAULT_ORDER", PARAM_DEFAULT_ORDER},
    {"CHANGE_LOG", PARAM_CHANGE_LOG},
    {"SERVER_COL", PARAM_SERVER_COL},
    {"CONSTRAINTS", PARAM_CONSTRAINTS},
    {"DATASET_CONTEXT", PARAM_DATASET_CONTEXT},
    {"DATASET_DELTA", PARAM_DATASET_DELTA},
    {"READONLY", PARAM_READONLY},
    {"SUBTYPE", PARAM_SUBTYPE},
    {"DECIMALS", PARAM_DECIMALS},
    {"WIDTH", PARAM_WIDTH},
    {"LCID", PARAM_LCID},
    {"VRKDOMAIN_X", PARAM_VRKDOMAIN_X},
    {"VRKRECORD_X", PARAM_VRKRECORD_X},
    {"VRKDEFAULT_X", PARAM_VRKDEFAULT_X},
    {"AUTOINCVALUE", PARAM_AUTOINCVALUE},
    {"ELEMENTS", PARAM_ELEMENTS},
    {"TABLENAME", PARAM_TABLENAME},
    {"MD_FIELDLINKS", PARAM_MD_FIELDLINKS},
    {"TYPENAME", PARAM_TYPENAME},
    {"UPDATEMODE", PARAM_UPDATEMODE},
    {"MD_SEMANTICS", PARAM_MD_SEMANTICS},
    {"CALCULATED", PARAM_CALCULATED},
    {"VRKDOMAIN_CL", PARAM_VRKDOMAIN_CL},
    {"VRKRECORD_CL", PARAM_VRKRECORD_CL},
    {"VRKDEFAULT_CL", PARAM_VRKDEFAULT_CL},
    {"DELTA", PARAM_DELTA},
    {"PRIMARY_KEY", PARAM_PRIMARY_KEY},
    {"MINVALUE", PARAM_MINVALUE},
    {"MAXVALUE", PARAM_MAXVALUE},
    {"DISABLE_DELETES", PARAM_DISABLE_DELETES},
    {"DISABLE_INSERTS", PARAM_DISABLE_INSERTS},
    {"DISABLE_EDITS", PARAM_DISABLE_EDITS},
};

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool AsciiEqualNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
    }
    return *a == *b;
}

}  // namespace

uint32_t ParameterId(const char* name) {
    if (name == nullptr) return PARAM_UNKNOWN;
    for (const NamedId& entry : kParameterNames) {
        if (AsciiEqualNoCase(name, entry.name)) return entry.id;
    }
    return PARAM_UNKNOWN;
}

uint32_t ParameterFlags(uint32_t id, uint32_t typeWord) {
    if ((typeWord & PKT_ROUNDTRIP) != 0) return PARAMF_DELTA | PARAMF_ROW_REQUEST;
    switch (id) {
        case PARAM_DATASET_CONTEXT:
        case PARAM_TABLENAME:
        case PARAM_UPDATEMODE:
        case PARAM_TYPENAME:
        case PARAM_SUBTYPE:  // kept only when the subtype name is not known
            return PARAMF_DELTA | PARAMF_ROW_REQUEST;
        case PARAM_READONLY:
        case PARAM_LCID:
        case PARAM_DATASET_DELTA:
        case PARAM_DELTA:
            return PARAMF_DELTA;
        default:
            return 0;
    }
}

bool ParameterNamesEqual(const char* a, const char* b, const platform::Collation* collation) {
    if (a == nullptr || b == nullptr) return false;
    if (collation != nullptr) return collation->Compare(a, -1, b, -1, true) == 0;
    return AsciiEqualNoCase(a, b);
}

EngineResult ParameterList::Add(uint32_t flags, uint32_t field, const char* name, uint32_t typeWord,
                                uint32_t length, const void* value) {
    try {
        auto entry = std::make_unique<ParameterEntry>();
        entry->flags = flags;
        entry->field = field;
        entry->typeWord = typeWord;
        entry->name = name != nullptr ? name : "";
        if (length != 0 && value != nullptr) {
            const auto* bytes = static_cast<const uint8_t*>(value);
            entry->value.assign(bytes, bytes + length);
        }
        entries_.push_back(std::move(entry));
        return DS_OK;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
}

const ParameterEntry* ParameterList::Nth(uint32_t field, uint32_t n) const {
    for (const auto& entry : entries_) {
        if (entry->field == field && --n == 0) return entry.get();
    }
    return nullptr;
}

const ParameterEntry* ParameterList::Find(uint32_t field, const char* name,
                                          const platform::Collation* collation) const {
    for (const auto& entry : entries_) {
        if (entry->field == field && ParameterNamesEqual(entry->name.c_str(), name, collation))
            return entry.get();
    }
    return nullptr;
}

bool ParameterList::Drop(uint32_t field, const char* name, const platform::Collation* collation) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if ((*it)->field == field && ParameterNamesEqual((*it)->name.c_str(), name, collation)) {
            entries_.erase(it);
            return true;
        }
    }
    return false;
}

uint32_t ParameterList::CountFor(uint32_t field) const {
    uint32_t count = 0;
    for (const auto& entry : entries_) count += entry->field == field ? 1 : 0;
    return count;
}

void ParameterList::DropFieldsAbove(uint32_t lastField) {
    std::erase_if(entries_, [lastField](const auto& entry) { return entry->field > lastField; });
}

}  // namespace pelmora
