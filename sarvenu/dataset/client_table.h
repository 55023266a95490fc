// The client dataset layer: every table the program touches is a TClientTable,
// one engine dataset and one cursor bound to a table file, with a current
// record, an edit buffer, field objects giving each column as text, a sort
// order, an optional filter and an optional master link. Data-aware code
// reaches a table through a TTableSource. All texts are code page 932 bytes;
// failures are raised as EDatabaseError.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct IDSBase;
struct IDSCursor;

namespace sarvenu {

class TClientTable;

// Raised by every failing table operation. what() is the CP932 message; Code()
// is the engine's result code, or 0 for errors found by this layer itself.
class EDatabaseError : public std::runtime_error {
  public:
    explicit EDatabaseError(const std::string& message, uint16_t code = 0)
        : std::runtime_error(message), code_(code) {}
    uint16_t Code() const { return code_; }

  private:
    uint16_t code_;
};

// Field kinds, derived from the engine field type and subtype.
enum TFieldKind {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftTypedBinary,
    ftLargeint,
    ftWideString,
};

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// One column of an open table. Field objects live as long as the table stays
// open; CloseTable destroys them.
class TField {
  public:
    TField(TClientTable* table, std::string name, TFieldKind kind, uint32_t size, uint32_t fieldNo,
           uint32_t engineType, uint32_t width);

    const std::string& FieldName() const { return name_; }
    TFieldKind Kind() const { return kind_; }
    // Characters for strings (bytes of CP932), bytes for byte fields, digits
    // for packed decimals, else 0.
    uint32_t Size() const { return size_; }
    // 1-based engine field number.
    uint32_t FieldNo() const { return fieldNo_; }
    TClientTable& Table() const { return *table_; }

    // Value of the current record, or of the edit buffer while editing or
    // inserting; a blank value (and a table without records) gives the empty
    // text, numbers in decimal.
    std::string GetText() const;
    // True when the value is blank.
    bool IsNull() const;
    // Only while editing or inserting; converts the text to the field's kind.
    // The empty text stores a blank value.
    void SetText(const std::string& text);
    // SetText with the other field's value.
    void CopyValueFrom(const TField& other);

    // Engine layout details used by the table.
    uint32_t EngineType() const { return engineType_; }
    uint32_t Width() const { return width_; }

  private:
    friend class TRecordView;
    friend class TClientTable;
    // The value in a record buffer of the table's layout, read through cursor.
    std::string TextIn(const uint8_t* record, IDSCursor* cursor) const;

    TClientTable* table_;
    std::string name_;
    TFieldKind kind_;
    uint32_t size_;
    uint32_t fieldNo_;
    uint32_t engineType_;
    uint32_t width_;
};

// Links data-aware code (and detail tables) to a table. Listeners are told
// whenever the current record, its values or the table's state change.
class TTableSource {
  public:
    explicit TTableSource(TClientTable* dataSet = nullptr);
    ~TTableSource();
    TTableSource(const TTableSource&) = delete;
    TTableSource& operator=(const TTableSource&) = delete;

    TClientTable* DataSet() const { return dataSet_; }
    void SetDataSet(TClientTable* dataSet);

    using Listener = std::function<void()>;
    int Subscribe(Listener listener);
    void Unsubscribe(int id);

  private:
    friend class TClientTable;
    void Notify();

    TClientTable* dataSet_ = nullptr;
    // Tables whose MasterSource is this source.
    std::vector<TClientTable*> details_;
    int nextId_ = 1;
    std::map<int, Listener> listeners_;
};

// One record met by TClientTable::ScanView; valid only inside the visit.
class TRecordView {
  public:
    // The field's value in this record, as TField::GetText gives it.
    std::string Text(const TField& field) const { return field.TextIn(record_, cursor_); }

  private:
    friend class TClientTable;
    TRecordView(const uint8_t* record, IDSCursor* cursor) : record_(record), cursor_(cursor) {}
    const uint8_t* record_;
    IDSCursor* cursor_;
};

class TClientTable {
  public:
    using Event = std::function<void(TClientTable&)>;

    explicit TClientTable(std::string name = {});
    // Releases the engine objects without writing the file: writing is
    // CloseTable's job, and a destructor must not raise.
    ~TClientTable();
    TClientTable(const TClientTable&) = delete;
    TClientTable& operator=(const TClientTable&) = delete;

    const std::string& Name() const { return name_; }

    // Path of the table file (binary datapacket, or XML when it ends in ".xml").
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& path) { fileName_ = path; }

    // Field names separated by ";" ordering the records; empty = default order.
    const std::string& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& names);

    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& text);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool on);
    // Case-insensitive string comparisons in the filter.
    bool FilterCaseInsensitive() const { return filterCaseInsensitive_; }
    void SetFilterCaseInsensitive(bool on);

    // Master link: the detail shows the records whose first IndexFieldNames
    // fields equal the master's MasterFields (names separated by ";").
    TTableSource* MasterSource() const { return masterSource_; }
    void SetMasterSource(TTableSource* source);
    const std::string& MasterFields() const { return masterFields_; }
    void SetMasterFields(const std::string& names);

    bool Active() const { return state_ != dsInactive; }
    TDataSetState State() const { return state_; }
    // Edit or insert state.
    bool IsEditing() const { return state_ == dsEdit || state_ == dsInsert; }
    // True when a field was set since the current edit or insert began.
    bool Modified() const { return modified_; }
    // True when the records differ from the table file: a record was posted
    // or deleted since the file was last written, or the file was loaded with
    // a change log that the next write merges away.
    bool Unwritten() const { return unwritten_; }

    void OpenTable();
    // Drops an edit that was never posted, writes the file when the records
    // differ from it (Unwritten, and FileName set) and releases the engine
    // objects. A failed write raises and leaves the table open with its
    // records.
    void CloseTable();
    // Writes the table's packet to path (empty = FileName), replacing the file
    // atomically; ".xml" in any case selects the XML form. The change log is
    // merged first: the program never undoes a change once it is posted, so a
    // file holds the live records only, and a deleted record's data leaves
    // the disk with the write.
    void SaveToPath(const std::string& path = {});
    // Writes the table to its own file when Unwritten; true when it wrote.
    bool SaveChanges();

    void MoveFirst();
    // After a move past the last record AtEnd is true and the last record
    // stays current.
    void MoveNext();
    // Extras for grids and lookups; each move fires AfterScroll.
    void MovePrior();
    void MoveLast();
    // 1-based position in the view; false (and no move) when out of range.
    bool MoveToPosition(uint32_t position);
    // 1-based position of the current record in the view; 0 when none.
    uint32_t Position();
    // Moves to the first record of the view whose field reads as text; true
    // when found, else the cursor stays where it was. A key search when the
    // order starts with the field.
    bool Locate(const std::string& fieldName, const std::string& text);
    // Reads every record of the view in order through a second cursor that
    // copies this one's order, filter and range. The table's own cursor, its
    // details and its listeners stay as they are, and a scan reads only the
    // fields the visit asks for. A record still being inserted is not part of
    // the view.
    void ScanView(const std::function<void(const TRecordView&)>& visit);
    // The same over every live record of the dataset in stored order,
    // whatever the table's order, filter and master range.
    void ScanAllRecords(const std::function<void(const TRecordView&)>& visit);
    bool AtEnd() const { return atEnd_; }
    uint32_t RecordTotal();
    bool IsEmpty() { return RecordTotal() == 0; }

    void StartInsert();
    void StartAppend();
    void StartEdit();
    void CommitRecord();
    void DiscardRecord();
    void RemoveRecord();

    TField& FieldNamed(const std::string& name);
    // Null when there is no field of that name (ASCII case ignored, as FieldNamed).
    TField* FindField(const std::string& name);
    TField& FieldAt(int index);
    int FieldTotal() const { return static_cast<int>(fields_.size()); }

    Event BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, AfterScroll, OnNewRecord;

  private:
    friend class TField;
    friend class TTableSource;
    struct Engine;

    void Require(bool active) const;
    void Check(uint32_t result) const;
    [[noreturn]] void Raise(uint32_t result) const;
    void ReleaseEngine() noexcept;
    void BuildFields();
    std::vector<TField*> FieldsOf(const std::string& names);
    std::vector<uint32_t> ResolveFieldNames(const std::string& names);
    void ApplySort(const std::vector<uint32_t>& fields);
    std::vector<uint8_t> TranslateFilter(const std::string& text);
    uint32_t AttachExpression(const std::string& text);
    void AttachFilter();
    void DetachFilter();
    void RefreshView();
    void RefreshLink();
    TClientTable* LinkedMaster() const;
    std::vector<TField*> LinkedFields();
    std::string MasterKey();
    void ApplyRange(bool force = false);
    void MasterChanged();
    void ReadCurrent();
    void Scan(IDSCursor* cursor, const std::function<void(const TRecordView&)>& visit);
    bool SeekFirstKeyField(const TField& field, const std::string& text);
    void Scrolled();
    void SettleEdit();
    void SettleDetails();
    void BeginInsert();
    void DataChanged();
    const uint8_t* CurrentBuffer() const;
    uint8_t* EditBuffer();
    void NoteFieldSet() { modified_ = true; }
    IDSCursor* Cursor() const;

    std::string name_;
    std::string fileName_;
    std::string indexFieldNames_;
    std::vector<uint32_t> sortFields_;
    std::string filter_;
    bool filtered_ = false;
    bool filterCaseInsensitive_ = false;
    uint32_t filterHandle_ = 0;
    TTableSource* masterSource_ = nullptr;
    std::string masterFields_;
    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool unwritten_ = false;
    bool atEnd_ = true;
    bool hasCurrent_ = false;
    std::unique_ptr<Engine> engine_;
    std::vector<std::unique_ptr<TField>> fields_;
    std::vector<uint8_t> current_;
    std::vector<uint8_t> edit_;
    // Data sources whose DataSet is this table.
    std::vector<TTableSource*> sources_;
    // Master key the detail range was last set to, to skip needless re-ranging.
    std::string rangeKey_;
    bool rangeSet_ = false;
};

}  // namespace sarvenu
