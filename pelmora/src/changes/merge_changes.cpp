// MergeChanges: without an error packet it accepts every change; with one
// it runs the nested reconcile: a RECONCB per level, the error rows of each
// level walked children first, the caller's view dataset filled with the
// rows the callback works on, and the final merge of what did not fail.
#include <cstring>
#include <new>

#include "changes/change_log.h"
#include "changes/reconcile.h"
#include "dataset/dataset.h"
#include "store/record_buffer.h"

namespace pelmora {

namespace {

// The data fields of an error packet follow its leading error fields.
constexpr uint32_t kErrorShift = ERRCOL_COUNT;

TDSBASE* NestedOf(TDSBASE* ds, uint32_t field) {
    if (ds == nullptr) return nullptr;
    const NestedDetail* nested = ds->NestedFor(field);
    return nested != nullptr ? nested->dataset : nullptr;
}

EngineResult BuildLevel(RECONCB& level) {
    if (EngineResult r = MatchDeltaRows(level, false); r != DS_OK) return r;
    for (const NestedDetail& nested : level.base->nested()) {
        TDSBASE* errors = NestedOf(level.errors, nested.field + kErrorShift);
        if (errors != nullptr && errors->next_record() == 1 && errors->nested().empty()) continue;
        auto child = std::make_unique<RECONCB>();
        child->base = nested.dataset;
        child->delta = NestedOf(level.delta, nested.field);
        child->errors = errors;
        child->view = NestedOf(level.view, nested.field);
        child->depth = level.depth + 1;
        child->path = level.path;
        child->path.push_back(nested.field);
        // A detail the delta, the view or the error packet lacks has no rows
        // to reconcile: it is left out.
        if (child->base == nullptr || child->delta == nullptr || child->view == nullptr ||
            child->errors == nullptr)
            continue;
        if (EngineResult r = BuildLevel(*child); r != DS_OK) return r;
        level.children.push_back(std::move(child));
        level.childFields.push_back(nested.field);
    }
    return DS_OK;
}

class NestedReconcile {
  public:
    NestedReconcile(void* clientData, MergeCallback callback)
        : clientData_(clientData), callback_(callback) {}

    // Walks error rows of a level; false in *stopped when the walk goes on.
    EngineResult Walk(RECONCB& level, const std::vector<uint32_t>& errorRows) {
        for (uint32_t e : errorRows) {
            if (EngineResult r = Row(level, e); r != DS_OK) return r;
            if (stopped_) return DS_OK;
        }
        return DS_OK;
    }

    bool stopped() const { return stopped_; }

  private:
    EngineResult Row(RECONCB& level, uint32_t e) {
        TDSBASE& base = *level.base;
        TDSBASE& errors = *level.errors;
        TDSBASE& view = *level.view;
        const uint32_t recno = ReadErrorUint(errors, e, ERRCOL_RECORDNO + 1);
        if (recno == 0 || recno > level.rows.size()) return DSERR_DATAPACKETMISMATCH;
        const size_t k = recno - 1;
        const DeltaRow& row = level.rows[k];
        const bool modification = row.action == LOG_MODIFY;
        if (view.record_size() != base.record_size()) return DSERR_NOTSUPPORTED;

        std::vector<uint8_t> buffer;
        try {
            buffer.assign(view.record_size(), 0);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        const std::vector<FieldDesc>& vf = view.fields();
        const uint32_t one = 1;
        // View row 1: the old version or the record, linked to its neighbours.
        if (EngineResult r = view.ClearRecords(); r != DS_OK) return r;
        const uint32_t source = modification ? row.entry.previous : row.record;
        if (EngineResult r = CopyRecordAcross(base, source, view, buffer.data(), 0); r != DS_OK)
            return r;
        if (view.link_field() != 0) WriteBufferValue(vf, buffer.data(), view.link_field(), &one);
        for (const NestedDetail& n : view.nested())
            WriteBufferValue(vf, buffer.data(), n.field, &one);
        if (EngineResult r = view.AppendRow(buffer.data(), modification ? 1 : row.action, nullptr);
            r != DS_OK)
            return r;

        // Children first.
        for (size_t c = 0; c < level.children.size(); ++c) {
            RECONCB& child = *level.children[c];
            const uint32_t link = ReadErrorUint(errors, e, level.childFields[c] + kErrorShift);
            std::vector<uint32_t> rows;
            TDSBASE& ce = *child.errors;
            for (uint32_t ce_r = 1; ce.link_field() != 0 && ce_r < ce.next_record(); ++ce_r) {
                if (ReadErrorUint(ce, ce_r, ce.link_field()) == link) rows.push_back(ce_r);
            }
            if (EngineResult r = Walk(child, rows); r != DS_OK) return r;
            if (stopped_) return DS_OK;
        }
        for (const NestedDetail& n : view.nested())
            view.store().WriteIndicator(1, n.field, IND_UNCHANGED);

        uint32_t currentRow = 1;
        if (modification) {
            if (EngineResult r = CopyRecordAcross(*level.delta, recno, view, buffer.data(), 0);
                r != DS_OK)
                return r;
            if (EngineResult r = view.AppendRow(buffer.data(), 8, &currentRow); r != DS_OK)
                return r;
        }
        // The error row's values, when it carries any.
        bool first = false;
        bool mixed = false;
        uint8_t seen = 0xFF;
        for (uint32_t f = kErrorShift + 1; f <= errors.field_count(); ++f) {
            if (errors.fields()[f - 1].type == FLD_TABLE) continue;
            const uint8_t ind = errors.store().IndicatorAt(e, f);
            if (f == kErrorShift + 1) first = ind == IND_VALUE;
            if (seen != 0xFF && seen != ind) mixed = true;
            seen = ind;
        }
        const bool hasValues = first || mixed;
        uint32_t valuesRow = 0;
        std::vector<uint8_t> values;
        if (hasValues) {
            if (EngineResult r = CopyRecordAcross(errors, e, view, buffer.data(), 0, kErrorShift);
                r != DS_OK)
                return r;
            if (EngineResult r = view.AppendRow(buffer.data(), 0, &valuesRow); r != DS_OK) return r;
            values.assign(base.record_size(), 0);
            CopyRecordAcross(errors, e, base, values.data(), 0, kErrorShift);
        }
        const uint32_t response = ReadErrorUint(errors, e, ERRCOL_RESPONSE + 1);
        const uint32_t code = ReadErrorUint(errors, e, ERRCOL_CODE + 1);
        // A modification is written over its current version.
        const uint32_t target = row.record;

        if (code == 0) {
            if (hasValues && row.action != 0 && row.action != LOG_DETAIL_CHANGED) {
                if (EngineResult r = base.WriteOver(target, values.data()); r != DS_OK) return r;
            }
        } else {
            std::vector<uint8_t> current(view.record_size(), 0);
            std::vector<uint8_t> old(view.record_size(), 0);
            std::vector<uint8_t> shown(view.record_size(), 0);
            view.ReadRecord(currentRow, current.data());
            if (modification) view.ReadRecord(1, old.data());
            if (hasValues) view.ReadRecord(valuesRow, shown.data());
            const auto ask = [&](EngineResult previous) -> uint32_t {
                if (callback_ == nullptr) return RECONCILE_SKIP;
                return callback_(clientData_, ResultCode(previous), row.action, response, code,
                                 ReadErrorText(errors, e, ERRCOL_MESSAGE + 1),
                                 ReadErrorText(errors, e, ERRCOL_CONTEXT + 1), current.data(),
                                 modification ? old.data() : nullptr,
                                 hasValues ? shown.data() : nullptr, level.depth,
                                 level.path.empty() ? nullptr : level.path.data());
            };
            const auto apply = [&](uint32_t action) {
                return Act(level, k, action, code, current.data(), currentRow,
                           hasValues ? values.data() : nullptr, valuesRow);
            };
            if (AskAndApply(base, aborted_, ask, apply)) {
                level.handled[k] = true;
                if (modification && k > 0) level.handled[k - 1] = true;
            }
        }
        if (response == kErrorResponseStop) stopped_ = true;
        return DS_OK;
    }

    // Copies a view row over a base record in place (BLOBs by content).
    static EngineResult ViewOverBase(RECONCB& level, uint32_t viewRow, uint32_t record) {
        std::vector<uint8_t> buffer(level.base->record_size(), 0);
        if (EngineResult r = CopyRecordAcross(*level.view, viewRow, *level.base, buffer.data(), 0);
            r != DS_OK)
            return r;
        return level.base->WriteOver(record, buffer.data());
    }

    EngineResult Act(RECONCB& level, size_t k, uint32_t action, uint32_t code, uint8_t* current,
                     uint32_t currentRow, const uint8_t* values, uint32_t valuesRow) {
        TDSBASE& base = *level.base;
        TDSBASE& view = *level.view;
        const DeltaRow& row = level.rows[k];
        switch (action) {
            case RECONCILE_MERGE:
                if (row.action == LOG_MODIFY && values != nullptr) {
                    if (EngineResult r = base.RefreshRecord(row.record, view, valuesRow, false);
                        r != DS_OK)
                        return r;
                    if (EngineResult r = view.WriteOver(currentRow, current); r != DS_OK) return r;
                    return ViewOverBase(level, currentRow, row.record);
                }
                if (row.action == LOG_INSERT && values != nullptr && code == DSERR_KEYVIOL) {
                    if (EngineResult r = base.RemoveChain(row.entry, true); r != DS_OK) return r;
                    return base.WriteOver(row.record, values);
                }
                return DSERR_INVALIDPARAM;
            case RECONCILE_CORRECT:
                if (row.action == LOG_DELETE) return DSERR_INVALIDPARAM;
                if (EngineResult r = view.WriteOver(currentRow, current); r != DS_OK) return r;
                return ViewOverBase(level, currentRow, row.record);
            default:
                return RunFlatAction(level, k, action, code, current, values);
        }
    }

    void* clientData_;
    MergeCallback callback_;
    bool aborted_ = false;
    bool stopped_ = false;
};

}  // namespace

EngineResult TDSBASE::MergeChanges(IDSBase* view, SAFEARRAY* deltaPacket, SAFEARRAY* errorPacket,
                                   void* clientData, MergeCallback callback) {
    if (delta_mode()) return DS_OK;
    if (errorPacket == nullptr) {
        std::lock_guard guard(lock_);
        return MergeAll();
    }
    if (deltaPacket == nullptr) return DSERR_INVALIDPARAM;
    TDSBASE* delta = nullptr;
    TDSBASE* errors = nullptr;
    TDSBASE* ownView = nullptr;
    struct Holder {
        TDSBASE*& a;
        TDSBASE*& b;
        TDSBASE*& c;
        ~Holder() {
            for (TDSBASE* p : {a, b, c}) {
                if (p != nullptr) p->Release();
            }
        }
    } holder{delta, errors, ownView};
    if (EngineResult r = LoadIntoNew(deltaPacket, &delta); r != DS_OK) return r;
    if (EngineResult r = LoadIntoNew(errorPacket, &errors); r != DS_OK) return r;
    auto* viewDataset = dynamic_cast<TDSBASE*>(view);
    if (viewDataset == nullptr) {
        // Without a view of the caller's, a row-request shaped one serves.
        IDSBase* made = nullptr;
        if (EngineResult r = MakeDerived(4, 1, 0, &made); r != DS_OK) return r;
        ownView = static_cast<TDSBASE*>(made);
        viewDataset = ownView;
    }
    viewDataset->WriteProperty(0, 0);

    RECONCB top;
    top.base = this;
    top.delta = delta;
    top.errors = errors;
    top.view = viewDataset;
    try {
        if (EngineResult r = BuildLevel(top); r != DS_OK) return r;
        std::vector<uint32_t> rows;
        for (uint32_t e = 1; e < errors->next_record(); ++e) rows.push_back(e);
        NestedReconcile walk(clientData, callback);
        if (EngineResult r = walk.Walk(top, rows); r != DS_OK) return r;
        if (walk.stopped()) return DS_OK;
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    return FinalMerge(top, true);
}

}  // namespace pelmora
