// Aggregates: compilation, per-group slots, incremental upkeep and values.
#include "expr/aggregate.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dataset/dataset.h"

namespace pelmora {

namespace {

// Slots are added in steps so that new groups rarely reallocate.
constexpr uint32_t kSlotGrowth = 10;

}  // namespace

Aggregate::Aggregate(TDSBASE* dataset) : dataset_(dataset) {}

EngineResult Aggregate::Create(TDSBASE* dataset, const uint8_t* bytes, uint32_t length,
                               std::unique_ptr<Aggregate>* out) {
    if (dataset == nullptr || bytes == nullptr || length == 0 || out == nullptr)
        return DSERR_INVALIDPARAM;
    try {
        std::unique_ptr<Aggregate> made(new Aggregate(dataset));
        made->bytes_.assign(bytes, bytes + length);
        if (EngineResult r = made->Compile(); r != DS_OK) return r;
        if (EngineResult r = made->SizeGroups(1); r != DS_OK) return r;
        *out = std::move(made);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

EngineResult Aggregate::Clone(std::unique_ptr<Aggregate>* out) const {
    return Create(dataset_, bytes_.data(), static_cast<uint32_t>(bytes_.size()), out);
}

EngineResult Aggregate::Compile() {
    auto compiled = std::unique_ptr<QCanFilter>(new (std::nothrow) QCanFilter(dataset_));
    if (!compiled) return DSERR_NOMEMORY;
    if (EngineResult r = compiled->Compile(bytes_.data(), bytes_.size(), CompileMode::Aggregate);
        r != DS_OK) {
        return r;
    }
    if (compiled->aggregates().empty()) return DSERR_TYPEMISMATCH;
    std::vector<AggregateSpec> specs;
    try {
        for (uint32_t at : compiled->aggregates()) {
            const QCanExecElem& step = compiled->steps()[at];
            AggregateSpec term;
            term.function = static_cast<FunctionId>(step.op);
            term.step = at;
            term.argument = step.operand[0];
            if (term.argument != kNoOperand) {
                const QCanExecElem& arg = compiled->steps()[static_cast<size_t>(term.argument)];
                term.argumentType = arg.type;
                term.argumentWidth = arg.width;
            }
            term.resultType = step.type;
            term.resultWidth = step.width;
            term.precision = step.precision;
            term.scale = step.scale;
            specs.push_back(term);
        }
        result_.assign(std::max<uint32_t>(compiled->result_width(), 8), 0);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    const QCanExecElem& last = compiled->steps().back();
    FieldDesc d{};
    d.type = last.type;
    d.length = last.width;
    switch (last.type) {
        case EXPR_T_STRING:
            d.units1 = last.width > 0 ? last.width - 1 : 0;
            break;
        case EXPR_T_BCD:
            d.units1 = last.precision;
            d.units2 = last.scale;
            break;
        case EXPR_T_BYTES:
        case EXPR_T_UNICODE:
            d.units1 = last.width;
            break;
        default:
            break;
    }
    const bool layoutChanged = compiled_ && specs.size() != specs_.size();
    compiled_ = std::move(compiled);
    specs_ = std::move(specs);
    desc_ = d;
    compiledRecordSize_ = dataset_->record_size();
    if (layoutChanged) {
        for (GroupSlot& slot : slots_) slot = GroupSlot{};
    }
    return DS_OK;
}

EngineResult Aggregate::FollowLayout() {
    if (compiledRecordSize_ == dataset_->record_size()) return DS_OK;
    InvalidateAll();
    return Compile();
}

EngineResult Aggregate::SizeGroups(uint32_t count) {
    if (count <= slots_.size()) return DS_OK;
    try {
        slots_.resize(static_cast<size_t>(count) + kSlotGrowth);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    } catch (const std::length_error&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

void Aggregate::InvalidateAll() {
    for (GroupSlot& slot : slots_) slot.valid = false;
}

void Aggregate::ResetGroup(uint32_t group) {
    if (group >= slots_.size()) return;
    GroupSlot& slot = slots_[group];
    try {
        slot.states.resize(specs_.size());
    } catch (const std::bad_alloc&) {
        slot.valid = false;
        return;
    }
    for (AggregateState& state : slot.states) ResetAggregate(state);
    slot.records = 0;
    slot.valid = true;
}

void Aggregate::Evaluate(const uint8_t* record) {
    compiled_->ResultValue(record);
}

const uint8_t* Aggregate::ArgumentValue(const AggregateSpec& term) const {
    if (term.argument == kNoOperand) return nullptr;
    const QCanExecElem& arg = compiled_->steps()[static_cast<size_t>(term.argument)];
    return arg.blank ? nullptr : arg.value;
}

bool Aggregate::Add(uint32_t group, const uint8_t* record) {
    if (!Valid(group)) return true;
    GroupSlot& slot = slots_[group];
    if (slot.states.size() != specs_.size()) {
        slot.valid = false;
        return true;
    }
    Evaluate(record);
    const platform::Collation& collation = dataset_->collation();
    for (size_t i = 0; i < specs_.size(); ++i) {
        if (!AddAggregateInput(specs_[i], slot.states[i], ArgumentValue(specs_[i]), collation)) {
            slot.valid = false;
            return false;
        }
    }
    ++slot.records;
    return true;
}

void Aggregate::Remove(uint32_t group, const uint8_t* record) {
    if (!Valid(group)) return;
    GroupSlot& slot = slots_[group];
    if (slot.records == 0 || slot.states.size() != specs_.size()) {
        slot.valid = false;
        return;
    }
    Evaluate(record);
    const platform::Collation& collation = dataset_->collation();
    for (size_t i = 0; i < specs_.size(); ++i) {
        if (!RemoveAggregateInput(specs_[i], slot.states[i], ArgumentValue(specs_[i]), collation)) {
            // Some states may have taken the record out already: recompute.
            slot.valid = false;
            return;
        }
    }
    --slot.records;
}

bool Aggregate::Value(uint32_t group, const uint8_t* record, uint8_t* out) {
    const uint32_t width = desc_.length;
    std::memset(out, 0, width);
    if (!Valid(group)) return false;
    const GroupSlot& slot = slots_[group];
    // Nothing ever accumulated: blank, whatever the function.
    if (slot.records == 0) return false;
    std::vector<QCanExecElem>& steps = compiled_->steps();
    const size_t lastStep = steps.size() - 1;
    for (size_t i = 0; i < specs_.size(); ++i) {
        QCanExecElem& step = steps[specs_[i].step];
        try {
            step.own.assign(std::max<uint32_t>(specs_[i].resultWidth, 8), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        step.blank = !AggregateResult(specs_[i], slot.states[i], step.own.data());
        step.value = step.own.data();
        if (specs_[i].step == lastStep) {
            // The expression is the aggregate function itself.
            if (step.blank) return false;
            std::memcpy(out, step.value, std::min(width, specs_[i].resultWidth));
            return true;
        }
    }
    // Steps that combine aggregate values run over them now.
    const uint8_t* value = compiled_->ResultValue(record);
    if (value == nullptr) return false;
    std::memcpy(out, value, width);
    return true;
}

}  // namespace pelmora
