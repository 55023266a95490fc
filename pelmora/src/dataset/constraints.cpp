// Constraints and default values: installing the entries that parameters
// carry, the record and field checks of edits, the default values of new
// records and the message of the last failed check.
#include "dataset/constraints.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "dataset/dataset.h"
#include "expr/expr_compile.h"
#include "expr/filter_list.h"
#include "store/bcd.h"
#include "store/record_buffer.h"
#include "store/unaligned.h"

namespace pelmora {

namespace {

bool IsNumberType(uint32_t type) {
    switch (type) {
        case FLD_BOOL16:
        case FLD_INT16:
        case FLD_INT32:
        case FLD_FLOAT:
        case FLD_UINT16:
        case FLD_UINT32:
        case FLD_INT64:
        case FLD_UINT64:
        case FLD_INT8:
        case FLD_UINT8:
        case FLD_BOOL8:
        case FLD_BOOL32:
            return true;
        default:
            return false;
    }
}

// A number of a numeric type as double (integers up to 2^53 exactly).
bool ReadNumber(uint32_t type, uint32_t width, const uint8_t* p, double& out) {
    switch (type) {
        case FLD_INT8:
            out = static_cast<int8_t>(p[0]);
            break;
        case FLD_UINT8:
        case FLD_BOOL8:
            out = p[0];
            break;
        case FLD_INT16:
            out = Load<int16_t>(p);
            break;
        case FLD_UINT16:
        case FLD_BOOL16:
            out = Load<uint16_t>(p);
            break;
        case FLD_INT32:
            out = Load<int32_t>(p);
            break;
        case FLD_UINT32:
        case FLD_BOOL32:
            out = Load<uint32_t>(p);
            break;
        case FLD_INT64:
            out = static_cast<double>(Load<int64_t>(p));
            break;
        case FLD_UINT64:
            out = static_cast<double>(Load<uint64_t>(p));
            break;
        case FLD_FLOAT:
            out = width >= 8 ? Load<double>(p) : 0.0;
            break;
        default:
            return false;
    }
    return true;
}

// A packed decimal as double.
bool ReadBcd(uint32_t type, uint32_t width, const uint8_t* p, double& out) {
    long double value = 0;
    if (type != FLD_BCD || BcdToFloat(p, width, value) != 0) return false;
    out = static_cast<double>(value);
    return true;
}

template <typename T>
void Store(std::vector<uint8_t>& out, T v) {
    std::memcpy(out.data(), &v, std::min(sizeof v, out.size()));
}

void WriteNumber(uint32_t type, double v, std::vector<uint8_t>& out) {
    switch (type) {
        case FLD_INT8:
            Store(out, static_cast<int8_t>(v));
            break;
        case FLD_UINT8:
            Store(out, static_cast<uint8_t>(v));
            break;
        case FLD_BOOL8:
            Store(out, static_cast<uint8_t>(v != 0));
            break;
        case FLD_INT16:
            Store(out, static_cast<int16_t>(v));
            break;
        case FLD_UINT16:
            Store(out, static_cast<uint16_t>(v));
            break;
        case FLD_BOOL16:
            Store(out, static_cast<uint16_t>(v != 0));
            break;
        case FLD_INT32:
            Store(out, static_cast<int32_t>(v));
            break;
        case FLD_UINT32:
            Store(out, static_cast<uint32_t>(v));
            break;
        case FLD_BOOL32:
            Store(out, static_cast<uint32_t>(v != 0));
            break;
        case FLD_INT64:
            Store(out, static_cast<int64_t>(v));
            break;
        case FLD_UINT64:
            Store(out, static_cast<uint64_t>(v));
            break;
        case FLD_FLOAT:
            Store(out, v);
            break;
        default:
            break;
    }
}

}  // namespace

EngineResult ConvertResultToField(const FieldDesc& field, uint32_t type, uint32_t width,
                                  const uint8_t* value, std::vector<uint8_t>& out) {
    try {
        out.assign(field.length, 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (type == field.type) {
        std::memcpy(out.data(), value, std::min(width, field.length));
        // A cut text keeps its terminator.
        if ((type == FLD_STRING) && !out.empty()) out.back() = 0;
        return DS_OK;
    }
    double number = 0;
    const bool isNumber =
        ReadNumber(type, width, value, number) || ReadBcd(type, width, value, number);
    if (IsNumberType(field.type) && isNumber) {
        WriteNumber(field.type, number, out);
        return DS_OK;
    }
    if (field.type == FLD_BCD && (type == FLD_BCD || isNumber)) {
        // As an assignment converts: a packed decimal is re-scaled, a number
        // is cut to the field's places from its decimal text.
        const uint32_t places = field.units2 & kBcdPlacesMask;
        uint8_t bcd[kBcdMaxBytes] = {};
        if (type == FLD_BCD) {
            if (RescaleBcd(value, width, bcd, sizeof bcd, field.units1, places) != DS_OK)
                return DSERR_TYPEMISMATCH;
        } else if (FloatToBcd(TruncatedDecimal(number, places), field.units1, places, bcd) != 0) {
            return DSERR_TYPEMISMATCH;
        }
        std::memcpy(out.data(), bcd, std::min<size_t>(field.length, sizeof bcd));
        return DS_OK;
    }
    if (field.type == FLD_TIMESTAMP && type == FLD_DATE && width >= 4) {
        Store(out, static_cast<double>(Load<int32_t>(value)) * kMsPerDay);
        return DS_OK;
    }
    return DSERR_TYPEMISMATCH;
}

// ---- installing entries ------------------------------------------------------

EngineResult TDSBASE::InstallConstraint(uint32_t kind, uint32_t length, const void* value) {
    if (!constraints_) {
        constraints_.reset(new (std::nothrow) DSCONSTR(this));
        if (!constraints_) return DSERR_NOMEMORY;
        constraints_->set_required_hook([this](uint32_t field) {
            if (field >= 1 && field <= fields_.size())
                fields_[field - 1].attributes |= ATTR_REQUIRED;
        });
    }
    const EngineResult r = constraints_->AddExpression(value, length, kind, nullptr);
    // An expression that does not compile adds no entry; the parameter stands.
    return ResultCode(r) == DSERR_NOMEMORY ? r : EngineResult{DS_OK};
}

// ---- checks -------------------------------------------------------------------

EngineResult TDSBASE::CheckRecordConstraints(const uint8_t* buffer) {
    if (!constraints_ || constraints_->empty() || constraintsOff_ != 0) return DS_OK;
    return constraints_->RecordPasses(buffer) ? EngineResult{DS_OK}
                                              : EngineResult{DSERR_CONSTRAINTFAILED};
}

EngineResult TDSBASE::CheckFieldValue(uint32_t field, const void* value) {
    if (!constraints_ || constraints_->empty() || constraintsOff_ != 0) return DS_OK;
    if (field == 0 || field > field_count()) return DSERR_OUTOFRANGE;
    uint8_t* scratch = constraints_->ScratchRecord();
    if (scratch == nullptr) return DSERR_NOMEMORY;
    ClearRecordBuffer(fields_, scratch);
    if (EngineResult r = WriteBufferValue(fields_, scratch, field, value); r != DS_OK) return r;
    for (size_t i = 0; i < constraints_->size(); ++i) {
        FilterEntry& e = constraints_->entry(i);
        if (e.kind != FILTER_KIND_CONSTRAINT || e.field != field) continue;
        if (e.filter == nullptr || !e.filter->Evaluate(scratch)) {
            constraints_->SetMessage(e.filter != nullptr ? e.filter->message() : std::string());
            return DSERR_CONSTRAINTFAILED;
        }
    }
    return DS_OK;
}

// ---- default values -----------------------------------------------------------

EngineResult TDSBASE::ApplyDefaultValues(uint8_t* work, const DefaultSink& sink) {
    if (!constraints_ || constraints_->empty()) return DS_OK;
    std::vector<uint8_t> converted;
    for (size_t i = 0; i < constraints_->size(); ++i) {
        FilterEntry& e = constraints_->entry(i);
        if (e.kind != FILTER_KIND_DEFAULT || e.filter == nullptr) continue;
        if (e.field == 0 || e.field > field_count()) continue;
        const FieldDesc& f = fields_[e.field - 1];
        const uint8_t* result = e.filter->ResultValue(work);
        const void* value = nullptr;
        if (result != nullptr) {
            EngineResult r = ConvertResultToField(f, e.filter->result_type(),
                                                  e.filter->result_width(), result, converted);
            if (r != DS_OK) return r;
            value = converted.data();
        }
        if (EngineResult r = WriteBufferValue(fields_, work, e.field, value); r != DS_OK) return r;
        if (sink) {
            if (EngineResult r = sink(e.field, value); r != DS_OK) return r;
        }
    }
    return DS_OK;
}

bool TDSBASE::TakeConstraintMessage(std::string& out) {
    if (!constraints_ || constraints_->message().empty()) return false;
    try {
        out = constraints_->message();
    } catch (const std::bad_alloc&) {
        return false;
    }
    constraints_->ClearMessage();
    return true;
}

}  // namespace pelmora
