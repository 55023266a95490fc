// Data-aware controls: Qt widgets bound to one field of a table through a
// TTableSource. A bound control shows the field of the table's current record
// (or of its edit buffer) and follows every change the source reports; a
// change by the user puts the table into editing (inserting when it has no
// record) and writes the field at once. Field values are code page 932; the
// controls convert at this boundary only. Events are plain function members
// so the window can attach its handlers without the meta-object compiler.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sarvenu {

class TTableSource;
class TField;
class TClientTable;
class TRecordView;

// The binding of one control to one field. The control's refresh runs when
// the source reports a change, except while the control itself is writing.
class TFieldLink {
  public:
    explicit TFieldLink(std::function<void()> refresh);
    ~TFieldLink();
    TFieldLink(const TFieldLink&) = delete;
    TFieldLink& operator=(const TFieldLink&) = delete;

    // Binding to a null source (or an empty field name) unbinds: the control
    // then shows nothing.
    void Bind(TTableSource* source, const std::string& fieldName);
    TTableSource* Source() const { return source_; }
    const std::string& FieldName() const { return fieldName_; }
    // The field, or null when unbound, the table is closed or has no such field.
    TField* Field() const;
    // The field's text, empty when there is no field.
    std::string Read() const;
    // Puts the table into editing when it is not, then sets the field (a no-op
    // when the value is already that text or there is no field).
    void Write(const std::string& cp932);

  private:
    std::function<void()> refresh_;
    TTableSource* source_ = nullptr;
    std::string fieldName_;
    int subscription_ = 0;
    bool writing_ = false;
};

// Key hook: receives the typed character (UTF-16 code unit); setting it to 0
// discards the key press.
using TKeyPressHandler = std::function<void(char16_t& key)>;
// Key-down hook with the Qt key code; return true to swallow the key.
using TKeyDownHandler = std::function<bool(int qtKey)>;

// One-line entry (dbe). MaxBytes limits the text in CP932 bytes (0 = no limit);
// typing beyond it is refused.
class TDBEdit : public QLineEdit {
  public:
    TDBEdit(QWidget* parent, const QString& objectName);
    void Bind(TTableSource* source, const std::string& fieldName) { link_.Bind(source, fieldName); }
    TFieldLink& Link() { return link_; }
    void SetMaxBytes(int bytes) { maxBytes_ = bytes; }
    int MaxBytes() const { return maxBytes_; }
    // The shown text in CP932.
    std::string TextCp932() const;
    // Replaces the text as if typed (writes the field and runs OnChange).
    void SetTextCp932(const std::string& cp932);
    // Input method off while focused (number and code entries).
    void SetImeOff(bool off);

    std::function<void()> OnChange;  // after every change of the text
    std::function<void()> OnExit;    // the entry lost the focus
    TKeyPressHandler OnKeyPress;
    TKeyDownHandler OnKeyDown;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Refresh();
    void UserEdited(const QString& text);
    // Shows the field again (or, unbound, the last text taken).
    void Restore();
    TFieldLink link_;
    int maxBytes_ = 0;
    bool refreshing_ = false;
    QString accepted_;
};

// Right-aligned one-line number entry (module RightDBEdit).
class TRightDBEdit : public TDBEdit {
  public:
    TRightDBEdit(QWidget* parent, const QString& objectName);
};

// Multi-line entry (dbmm). Line breaks are CR LF in the field and in
// TextCp932; MaxBytes as for TDBEdit. A read-only memo serves as a name display.
class TDBMemo : public QPlainTextEdit {
  public:
    TDBMemo(QWidget* parent, const QString& objectName);
    void Bind(TTableSource* source, const std::string& fieldName) { link_.Bind(source, fieldName); }
    TFieldLink& Link() { return link_; }
    void SetMaxBytes(int bytes) { maxBytes_ = bytes; }
    int MaxBytes() const { return maxBytes_; }
    std::string TextCp932() const;
    void SetTextCp932(const std::string& cp932);

    std::function<void()> OnChange;
    std::function<void()> OnExit;
    TKeyDownHandler OnKeyDown;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Refresh();
    void UserEdited();
    TFieldLink link_;
    int maxBytes_ = 0;
    bool refreshing_ = false;
};

// Tick box (dbcb): "1" ticked, "0" not ticked; anything else shows unticked.
class TDBCheckBox : public QCheckBox {
  public:
    TDBCheckBox(QWidget* parent, const QString& objectName, const QString& caption);
    void Bind(TTableSource* source, const std::string& fieldName) { link_.Bind(source, fieldName); }
    TFieldLink& Link() { return link_; }
    std::function<void()> OnClick;  // after the user changed the tick

  private:
    void Refresh();
    TFieldLink link_;
    bool refreshing_ = false;
};

// Radio group (dbrg): one button per item, each with the value stored for it.
// ItemIndex is -1 while the field holds none of the values (not answered).
// The buttons are laid out in Columns columns; each button's object name is
// the group's name + "_" + its index, its accessible name the group's
// accessible name + "-" + its caption.
class TDBRadioGroup : public QGroupBox {
  public:
    TDBRadioGroup(QWidget* parent, const QString& objectName, const QString& caption,
                  const std::vector<QString>& captions, const std::vector<std::string>& values,
                  int columns);
    void Bind(TTableSource* source, const std::string& fieldName) { link_.Bind(source, fieldName); }
    TFieldLink& Link() { return link_; }
    int ItemIndex() const;
    // Selects an item as the user would (writes the field, runs OnClick); -1 clears.
    void SetItemIndex(int index);
    bool HasValue() const { return ItemIndex() >= 0; }
    int Count() const;
    // Focus goes to the checked button, else the first.
    void FocusGroup();
    std::function<void()> OnClick;

  private:
    void Refresh();
    TFieldLink link_;
    std::vector<std::string> values_;
    bool refreshing_ = false;
};

// The five grades of a graded question, "+2" .. "-2" stored as "2" .. "-2".
TDBRadioGroup* MakeGradeGroup(QWidget* parent, const QString& objectName, const QString& caption);

// Lookup list (dblcmb): the data field holds a code (KeyField of the list
// table); the list offers the ListField of every record of the list table in
// its current order and filter. Choosing an item writes its code. The list
// keeps the list table's current record on the data field's code (so displays
// bound to the list table show its name) and shows that record's name. The
// Delete key empties the data field.
class TDBLookupComboBox : public QComboBox {
  public:
    TDBLookupComboBox(QWidget* parent, const QString& objectName);
    void Bind(TTableSource* source, const std::string& fieldName) { link_.Bind(source, fieldName); }
    TFieldLink& Link() { return link_; }
    void SetListSource(TTableSource* list, const std::string& keyField,
                       const std::string& listField);
    // The name shown (CP932), empty when the code matches no record.
    std::string TextCp932() const;
    // Chooses the item with this code as the user would (runs OnClick).
    void SelectCode(const std::string& code);
    // Reads the list table again (after its filter or order changed).
    void RefreshList();

    std::function<void()> OnDropDown;  // before the list opens (it is read again after)
    std::function<void()> OnClick;     // after the user chose an item
    TKeyDownHandler OnKeyDown;         // runs after the Delete handling

    void showPopup() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Refresh();
    TFieldLink link_;
    TTableSource* list_ = nullptr;
    int listSubscription_ = 0;
    std::string keyField_, listField_;
    std::vector<std::string> codes_;
    bool refreshing_ = false;
};

// Read-only one-line display of a field (a label).
class TDBText : public QLabel {
  public:
    TDBText(QWidget* parent, const QString& objectName);
    void Bind(TTableSource* source, const std::string& fieldName) { link_.Bind(source, fieldName); }
    TFieldLink& Link() { return link_; }

  private:
    void Refresh();
    TFieldLink link_;
};

// Read-only grid over a table: one row per record of the table's view, the
// given columns, whole rows selected. Clicking a row moves the table to it.
// The rows are read again when the table reports a change while it is not
// editing and the grid is visible; a table being edited is never moved.
class TDBGrid : public QTableView {
  public:
    struct TColumn {
        std::string field;
        QString title;
        int width;
    };
    TDBGrid(QWidget* parent, const QString& objectName);
    ~TDBGrid() override;
    void Bind(TTableSource* source, const std::vector<TColumn>& columns);
    void RefreshRows();
    int RowTotal() const;
    // The text of a cell (CP932).
    std::string CellText(int row, int column) const;
    std::function<void()> OnDblClick;

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    struct TModel;
    std::unique_ptr<TModel> model_;
    TTableSource* source_ = nullptr;
    int subscription_ = 0;
    std::vector<TColumn> columns_;
    bool refreshing_ = false;
};

// An editable drop-down list (cmb) with the events of a date list. OnChange
// runs when the user changes the text (typing or choosing), not when the
// program sets it with SetTextSilently.
class TComboBox : public QComboBox {
  public:
    TComboBox(QWidget* parent, const QString& objectName);
    std::string TextCp932() const;
    // Sets the edit text without running OnChange.
    void SetTextSilently(const QString& text);
    // Replaces the items, keeping the edit text, without running OnChange.
    void SetItemsSilently(const QStringList& items);
    std::function<void()> OnDropDown;  // before the list opens
    std::function<void()> OnChange;
    void showPopup() override;

  private:
    bool silent_ = false;
};

// The three editable drop-down lists of a date entry, named
// baseName + "_Year", "_Month", "_Day"; accessible names label + "-年", "-月", "-日".
struct TDateCombos {
    TComboBox* year = nullptr;
    TComboBox* month = nullptr;
    TComboBox* day = nullptr;
};
TDateCombos MakeDateCombos(QWidget* parent, const QString& baseName, const QString& label);

// Runs visit on every record of the table's view, in order, without moving
// the table: its current record, edit, details and handlers stay as they are.
// A closed table is not visited: false.
bool VisitRecords(TClientTable& table, const std::function<void(const TRecordView&)>& visit);

// The longest head of a CP932 text that fits in maxBytes without splitting a
// double-byte character.
std::string CutCp932(const std::string& cp932, size_t maxBytes);

}  // namespace sarvenu
