// The dataset object (TDSBASE, interface IDSBase): one in-memory table with
// its fields, column-wise records, BLOBs, indexes, change log, optional
// parameters and nested detail datasets. Cursors, indexes and the change log
// reach its insides through the engine-internal section below; everything
// there runs under the dataset's re-entrant lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "com/com_object.h"
#include "pelmora/pelmora.h"
#include "store/blob_table.h"
#include "store/layout.h"
#include "store/record_store.h"

namespace platform {
class Collation;
}

namespace pelmora {

class DSCONSTR;
class DSIDX;
class DSLOG;
struct LogEntry;
class ParameterList;
class TDSCursor;
class TDSBASE;

// Dataset flags (property 12).
enum : uint32_t {
    DSF_MASTER = 0x01,
    DSF_DETAIL = 0x02,
    DSF_CASCADE_DELETES = 0x04,
    DSF_CASCADE_UPDATES = 0x08,
    DSF_EMBEDDED = 0x10,
    DSF_DETAILS_WITHOUT_MASTER = 0x20,
};

// Dataset states.
enum : int32_t { DS_UNINITIALISED = -1, DS_COMPLETE = 0, DS_PARTIAL = 1 };

// A nested detail dataset, one per FLD_TABLE field that has one.
struct NestedDetail {
    uint32_t field = 0;                  // the nested-dataset field of this (master) dataset
    TDSBASE* dataset = nullptr;          // one reference held
    std::vector<uint32_t> masterFields;  // master link fields (MD_FIELDLINKS)
    std::vector<uint32_t> detailFields;  // detail link fields
};

// The master side of a cursor link (LinkDetailCursor): which detail dataset
// follows this dataset over which fields, and the detail cursors of the link.
struct DetailLink {
    TDSBASE* detail = nullptr;           // one reference, released with the master
    std::vector<uint32_t> masterFields;  // empty for a nested dataset's link
    std::vector<uint32_t> detailFields;
    uint32_t nestedField = 0;         // nested-dataset field, 0 for a plain link
    std::vector<TDSCursor*> cursors;  // detail cursors following this link
};

class TDSBASE : public ComObject<IDSBase, IID_IDSBase> {
  public:
    TDSBASE();
    ~TDSBASE() override;

    // ---- IDSBase slots -------------------------------------------------
    EngineResult DefineFields(uint32_t count, const FieldDesc* fields, const char* name) override;
    EngineResult AddRuntimeField(const FieldDesc* desc) override;
    EngineResult LoadPacket(SAFEARRAY* packet, int32_t last) override;
    EngineResult FindParameter(uint32_t index, uint32_t field, const char** name,
                               uint32_t* typeWord, uint32_t* length, const void** value) override;
    EngineResult StoreParameter(uint32_t field, const char* name, uint32_t typeWord,
                                uint32_t length, const void* value) override;
    EngineResult ReadDatasetProps(DatasetProps* out) override;
    EngineResult ListFields(FieldDesc* out) override;
    EngineResult ListIndexes(IndexDesc* out) override;
    EngineResult MakeDelta(IDSBase** out) override;
    EngineResult WritePacket(SAFEARRAY** out) override;
    EngineResult AcceptAllChanges() override;
    EngineResult SetIndicator(void* record, uint32_t recordNumber, uint32_t field,
                              uint32_t value) override;
    EngineResult MakeIndex(const IndexDesc* desc) override;
    EngineResult DropIndex(const char* name) override;
    EngineResult ErrorText(uint32_t code, char* buffer) override;
    int32_t CompareValues(uint32_t type, const void* a, const void* b, uint32_t length) override;
    EngineResult ReadProperty(uint32_t id, void* out) override;
    EngineResult WriteProperty(uint32_t id, uint32_t value) override;
    EngineResult SetCalcCallback(void* clientData, CalcCallback callback) override;
    EngineResult ApplyReconcileResult(SAFEARRAY* delta, SAFEARRAY* errors, void* clientData,
                                      ReconcileCallback callback) override;
    EngineResult ReservedSlot23() override;
    EngineResult ReservedSlot24() override;
    EngineResult ReservedSlot25() override;
    EngineResult ReservedSlot26() override;
    EngineResult ClearRecords() override;
    EngineResult UndoToSavepoint(uint32_t savepoint) override;
    EngineResult GetNestedDataset(uint32_t field, IDSBase** out) override;
    EngineResult EmbedDetail(IDSBase* detail, uint32_t count, const uint32_t* masterFields,
                             const uint32_t* detailFields, const char* nestedName,
                             const char* linkName) override;
    EngineResult RefreshFromPacket(SAFEARRAY* packet, uint32_t recordNumber) override;
    EngineResult DiscardBlobs(uint32_t reference) override;
    EngineResult MakeDerived(uint32_t kind, int32_t includeNested, int32_t copyParameters,
                             IDSBase** out) override;
    EngineResult MergeChanges(IDSBase* view, SAFEARRAY* delta, SAFEARRAY* errors, void* clientData,
                              MergeCallback callback) override;
    EngineResult DropParameter(uint32_t field, const char* name) override;

    // ---- engine-internal: contents -------------------------------------
    std::recursive_mutex& lock() { return lock_; }
    int32_t state() const { return state_; }
    const std::string& name() const { return name_; }

    // Fields after array expansion, laid out; field k is fields()[k - 1].
    const std::vector<FieldDesc>& fields() const { return fields_; }
    uint32_t field_count() const { return static_cast<uint32_t>(fields_.size()); }
    uint32_t data_size() const { return layout_.dataSize; }
    uint32_t record_size() const { return layout_.recordSize; }

    RecordStore& store() { return store_; }
    const RecordStore& store() const { return store_; }
    // Null when the dataset has no BLOB field.
    BlobTable* blobs() { return blobs_.get(); }
    const platform::Collation& collation() const { return *collation_; }
    uint32_t lcid() const { return lcid_; }

    bool delta_mode() const { return delta_ != 0; }
    bool logging_on() const { return logging_; }
    uint32_t flags() const { return flags_; }
    void add_flags(uint32_t bits) { flags_ |= bits; }
    bool read_only() const { return readOnly_ != 0; }
    bool constraints_off() const { return constraintsOff_ != 0; }

    // Records 1 .. next_record() - 1 exist in the store.
    uint32_t next_record() const { return store_.next_record(); }
    // Number of live records (no superseded, deleted or discarded bit).
    uint32_t live_count() const { return liveCount_; }

    // Record check before an edit: 9985 for 0 or beyond the next record
    // number, 10756 for a superseded, deleted or discarded record (except in
    // delta mode), else 0.
    EngineResult CheckRecord(uint32_t record) const;

    // Reads a stored record into a buffer of record_size() bytes.
    EngineResult ReadRecord(uint32_t record, uint8_t* buffer) const;

    // ---- engine-internal: indexes (dataset_indexes.cpp) ----------------
    // Registered indexes in registration order.
    const std::vector<DSIDX*>& indexes() const { return indexes_; }
    DSIDX* default_index() const { return defaultIndex_; }
    // The change index, created and registered on first use.
    EngineResult ChangeIndex(DSIDX** out);
    // Name lookup: empty or null = "DEFAULT_ORDER"; case-sensitive locale
    // comparison; only non-private plain and change indexes; 9997 when absent.
    EngineResult FindIndex(const char* name, DSIDX** out) const;
    // Adds an index to the registry and gives it the next identity.
    void RegisterIndex(DSIDX* index);
    // Unlinks an index from the registry (does not destroy it).
    void UnregisterIndex(DSIDX* index);
    // Tells every registered index that a record entered, left or replaced
    // another; on a failure the indexes already told are told the reverse and
    // the failure is returned.
    // Tell every index; on a refusal the indexes already told are rolled
    // back, after `restore` has put the status bytes back as they were.
    EngineResult NotifyAdded(uint32_t record, const std::function<void()>& restore = {});
    EngineResult NotifyRemoved(uint32_t record, const std::function<void()>& restore = {});
    EngineResult NotifyReplaced(uint32_t newRecord, uint32_t oldRecord,
                                const std::function<void()>& restore = {});
    // The indexes' side of rewriting a record in place (its record number
    // stays): LeaveIndexes while the store still holds the old values,
    // ReturnToIndexes once it holds the new ones. Every index but the change
    // index takes part; records that no index holds (not live, outside delta
    // mode) are left alone. A failing leave is undone; a failing return
    // leaves every index as the leave did, so that the caller can put the old
    // values back, return the record again and report the failure.
    EngineResult LeaveIndexes(uint32_t record);
    EngineResult ReturnToIndexes(uint32_t record);
    // Rebuilds every registered index from the store.
    EngineResult RebuildIndexes();

    // ---- engine-internal: edits and the change log (dataset_edit.cpp) --
    // The three store edits, logged when logging is on.
    EngineResult DeleteRecord(uint32_t record);
    EngineResult ModifyRecord(uint32_t record, const uint8_t* buffer, uint32_t* newRecord);
    EngineResult InsertRecord(const uint8_t* buffer, uint32_t* newRecord);
    // Undoes the last log entry; *resultRecord receives the record it restored.
    EngineResult UndoLastChange(uint32_t* resultRecord);
    // Reverts one record to its state at the last merge (RestoreCurrentRecord);
    // *firstVersion receives the restored first version, or 0.
    EngineResult RevertRecord(uint32_t record, uint32_t* firstVersion);
    // Appends a detail-change entry (master record followed back to its first
    // version, link number) and does the same up the master chain.
    void LogDetailChange(uint32_t masterRecord, uint32_t linkNumber);
    // The earliest version of a record through the log's modification entries
    // (the record itself when it has none).
    uint32_t FirstVersion(uint32_t record) const;
    // The live version that replaced a superseded record through the log's
    // modification entries (the record itself when nothing replaced it).
    uint32_t LiveVersion(uint32_t record) const;
    // The change log, or null before the first logged edit.
    DSLOG* log() { return log_.get(); }
    // Accepts every change (the merge): empties the log, discards old
    // versions; the nested details' changes too unless told otherwise.
    EngineResult MergeAll(bool includeNested = true);
    // Change count (property 2).
    uint32_t ChangeCount() const;
    // Savepoint (property 10): creates one and returns its id.
    uint32_t CreateSavepoint();
    // True when two stored records hold equal values field by field (fields
    // never assigned in b, calculated, internal link and nested fields
    // skipped; BLOBs by content).
    bool SameValues(uint32_t a, uint32_t b) const;

    // ---- engine-internal: growth, auto-increment, link values ----------
    // Makes room for `more` further records (growth policy of the store).
    EngineResult EnsureCapacity(uint32_t more);
    uint32_t autoinc_field() const { return autoIncField_; }
    uint32_t next_autoinc() const { return nextAutoInc_; }
    void set_next_autoinc(uint32_t value) { nextAutoInc_ = value; }
    // Hands out the next link value for nested details.
    uint32_t NextLinkValue() { return ++linkCounter_; }
    uint32_t link_counter() const { return linkCounter_; }

    // ---- engine-internal: nested details and cursor links --------------
    const std::vector<NestedDetail>& nested() const { return nested_; }
    // The nested detail of a nested-dataset field, or null.
    const NestedDetail* NestedFor(uint32_t field) const;
    // Set on a nested detail: its master dataset and the master's field.
    TDSBASE* master() const { return master_; }
    uint32_t master_field() const { return masterField_; }
    // Field number of the hidden link field of a nested detail (0 = none).
    uint32_t link_field() const { return linkField_; }
    std::vector<DetailLink>& detail_links() { return detailLinks_; }

    // ---- engine-internal: change notifiers -----------------------------
    void RegisterNotifier(TDSCursor* cursor);
    // Registers a cursor together with the callback the dataset calls for it
    // after every change (registering the same cursor again replaces it).
    void RegisterNotifier(TDSCursor* cursor, void* clientData, ChangeCallback callback);
    void UnregisterNotifier(TDSCursor* cursor);
    // Calls every registered cursor's notifier in registration order.
    void NotifyChange();

    // ---- engine-internal: calculated fields ----------------------------
    // Runs the calculation callback over a record buffer (0 when none is set).
    EngineResult Calculate(uint8_t* buffer);
    // Recomputes a stored record's calculated fields in place.
    EngineResult RecalculateStored(uint32_t record);

    // ---- engine-internal: constraints and default values (constraints.cpp)
    // Receives each default value written into a new record (null = blank).
    using DefaultSink = std::function<EngineResult(uint32_t field, const void* value)>;
    // Adds one constraint (kind 1) or default value (kind 2) entry from a
    // parameter's blob; an expression that does not compile adds nothing.
    EngineResult InstallConstraint(uint32_t kind, uint32_t length, const void* value);
    // Record check before a modify or insert stores a record: 11950 when an
    // entry rejects the buffer (its message kept), else 0.
    EngineResult CheckRecordConstraints(const uint8_t* buffer);
    // Field check of one value against the field's constraints.
    EngineResult CheckFieldValue(uint32_t field, const void* value);
    // Evaluates the default values in list order over `work` (a buffer in
    // this dataset's layout), writes each into it and hands it to the sink.
    EngineResult ApplyDefaultValues(uint8_t* work, const DefaultSink& sink);
    // Takes the message of the last failed check once; false when none.
    bool TakeConstraintMessage(std::string& out);
    DSCONSTR* constraints() { return constraints_.get(); }

    // ---- engine-internal: deltas (delta.cpp) ---------------------------
    // Stores a buffer as a new record with a status byte, unlogged (delta
    // rows, reconcile views).
    EngineResult AppendRow(const uint8_t* buffer, uint8_t status, uint32_t* record);
    // Fills a shaped delta with this dataset's delta rows and recurses into
    // the nested details; *rowCount receives the rows of this level.
    EngineResult FillDelta(TDSBASE& delta, uint32_t* rowCount);
    // Takes a change's chain out of the log (the merge rule): the chain of
    // the compacted entry `entry`; several versions leave old ones discarded
    // and the rest unchanged, a single record keeps its status byte. With
    // `keepDetailChanges` the detail-change entries of the chain's record
    // stay (moved to the version that stays live), so that detail changes
    // still in the detail's log keep their master row.
    EngineResult RemoveChain(const LogEntry& entry, bool keepDetailChanges = false);

    // ---- engine-internal: refresh (refresh.cpp) ------------------------
    // Refreshes record r from row s of a source dataset of the same fields
    // (in place, without logging); nested details too when asked.
    EngineResult RefreshRecord(uint32_t r, TDSBASE& source, uint32_t s, bool nested);
    // Writes a buffer of this layout (BLOB references of this dataset) over
    // a stored record in place, without logging: unchanged fields are left,
    // blank ones become blank, link and nested fields are not touched; the
    // calculated fields are computed again and the indexes told when the
    // record is live.
    EngineResult WriteOver(uint32_t record, const uint8_t* buffer);
    // Nested detail lists of record r refreshed from row s of a source.
    EngineResult RefreshDetails(uint32_t r, TDSBASE& source, uint32_t s);
    // Discards, without logging, the detail records under a link value of a
    // nested field (and theirs, recursively).
    EngineResult DropDetailsUnder(uint32_t field, uint32_t link);
    // Copies, without logging, the source's detail rows under sourceLink of
    // its nested field into this dataset's nested field under `link`.
    EngineResult CopyDetailsUnder(uint32_t field, TDSBASE& source, uint32_t sourceField,
                                  uint32_t sourceLink, uint32_t link);
    // Takes one record out without logging: a live one leaves the indexes;
    // the slot is freed or discarded.
    EngineResult DiscardRecord(uint32_t record);
    // The row-request dataset, made on first use (row_request.cpp).
    EngineResult RowRequestDataset(TDSBASE** out);

  private:
    friend class DatasetLoader;
    friend class DatasetWriter;

    // ---- definition (dataset_define.cpp) ---------------------------------
    // Takes laid-out-to-be fields (arrays expanded, nested descriptors
    // removed): layout, store, BLOB table, auto-increment field, default
    // order, and for a dataset that is not a delta the change log and the
    // change index.
    EngineResult Initialise(std::vector<FieldDesc>& fields);
    // Lays fields out and reshapes the store to them (run-time fields).
    EngineResult ApplyLayout(std::vector<FieldDesc>& fields);
    // Drops fields, records, indexes, parameters, nested datasets and the
    // reader: the dataset is uninitialised again.
    void Reset();
    void FindAutoIncField();
    // Fills definedFields_ with the fields as they were before expansion.
    void RefreshDefinedFields();
    EngineResult CreateDefaultIndex();
    // Makes child the nested dataset of a nested-dataset field; the child
    // gets its hidden link field when it has none.
    EngineResult AttachNested(uint32_t field, TDSBASE* child);
    EngineResult EnsureLinkField();
    EngineResult AddLinkField();
    // The field of the first element of an array that corresponds to a field
    // inside a later element (the field itself otherwise).
    uint32_t FirstElementField(uint32_t field) const;
    // Turns the dataset into a delta: no change log, no change index.
    void BecomeDelta();

    // ---- parameters (dataset_params.cpp) --------------------------------
    // Interprets or keeps one optional parameter of the dataset (field 0) or
    // of a laid-out field.
    EngineResult ApplyParameter(uint32_t field, const char* name, uint32_t typeWord,
                                uint32_t length, const void* value);
    // A key-list parameter (DEFAULT_ORDER, UNIQUE_KEY, PRIMARY_KEY).
    EngineResult ApplyKeyList(uint32_t id, uint32_t typeWord, uint32_t length, const void* value);
    EngineResult ApplyFieldLinks(uint32_t typeWord, uint32_t length, const void* value);
    // The CHANGE_LOG parameter: the log of a saved dataset (a delta keeps none).
    EngineResult ApplyChangeLog(uint32_t typeWord, uint32_t length, const void* value);
    // The LCID parameter: a new collation, and indexes rebuilt with it.
    EngineResult ApplyLocale(uint32_t lcid);

    // ---- packets (dataset_load.cpp) ---------------------------------------
    EngineResult CreateFromPacket(SAFEARRAY* packet, int32_t last);
    EngineResult AppendPacket(SAFEARRAY* packet, int32_t last);

    // ---- properties (dataset_properties.cpp) ----------------------------
    void PassToNested(uint32_t id, uint32_t value);
    EngineResult FullFieldName(uint32_t field, char* out) const;

    std::recursive_mutex lock_;
    std::string name_;
    int32_t state_ = DS_UNINITIALISED;

    // Fields.
    std::vector<FieldDesc> fields_;         // after array expansion
    std::vector<FieldDesc> definedFields_;  // as given, before expansion (property 11)
    uint32_t packetFieldCount_ = 0;         // fields that came from a packet
    LayoutResult layout_;
    std::vector<uint8_t> scratch_;  // scratch record buffer

    // Records.
    RecordStore store_;
    std::unique_ptr<BlobTable> blobs_;
    uint32_t liveCount_ = 0;
    uint32_t holes_ = 0;
    uint32_t visibleLastLoad_ = 0;

    // Indexes.
    std::vector<DSIDX*> indexes_;
    DSIDX* defaultIndex_ = nullptr;
    DSIDX* changeIndex_ = nullptr;
    bool defaultOrderByMakeIndex_ = false;
    uint32_t nextIndexIdentity_ = 0;
    uint8_t changeIndexFilter_ = 0;

    // Change log.
    std::unique_ptr<DSLOG> log_;
    bool logging_ = true;

    // Optional parameters.
    std::unique_ptr<ParameterList> params_;

    // Constraints and default values (created with the first one).
    std::unique_ptr<DSCONSTR> constraints_;
    // The kept row-request dataset (one reference held), or null.
    TDSBASE* rowRequest_ = nullptr;

    // Properties.
    uint32_t readOnly_ = 0;
    uint32_t constraintsOff_ = 0;
    uint32_t noMetadata_ = 0;
    uint32_t maxDeltaBlob_ = 0;
    uint32_t reportBeforeExpansion_ = 0;
    uint32_t flags_ = 0;
    uint32_t updateMode_ = 0;
    uint32_t xmlMode_ = 0;
    uint32_t disableDeletes_ = 0;
    uint32_t disableInserts_ = 0;
    uint32_t disableEdits_ = 0;
    uint32_t delta_ = 0;

    // Locale.
    uint32_t lcid_ = 0;
    std::unique_ptr<platform::Collation> collation_;

    // Calculated fields.
    void* calcData_ = nullptr;
    CalcCallback calcFn_ = nullptr;

    // Change notifiers in registration order.
    std::vector<TDSCursor*> notifiers_;

    // Nested details, links and counters.
    std::vector<NestedDetail> nested_;
    std::vector<DetailLink> detailLinks_;
    TDSBASE* master_ = nullptr;
    uint32_t masterField_ = 0;
    uint32_t linkField_ = 0;
    uint32_t linkCounter_ = 0;
    uint32_t autoIncField_ = 0;
    uint32_t nextAutoInc_ = 1;

    // Readers of the current load and of later appends.
    IDSPacketReader* reader_ = nullptr;

    // Field number of every packet column of this level, in column order
    // (rows of later packets are read through the same map).
    std::vector<uint32_t> packetColumns_;
    // The link field was added by the engine (not given by the caller or a
    // packet); it carries nothing a packet needs and is not written.
    bool autoLinkField_ = false;

    // Callbacks of the registered notifiers, parallel to notifiers_.
    std::vector<std::pair<void*, ChangeCallback>> notifierCallbacks_;
};

// A new dataset object with reference count 0; null when memory is short.
TDSBASE* NewDataset();

}  // namespace pelmora
