// Placement of the controls on the header and the sheet panels: a row cursor
// that puts titles, section headings, captions, entries and displays from top
// to bottom, names and binds every control, limits entries to their column
// width, and gives each control an accessible name made of its visible label,
// prefixed by the section it lies in ("調査者-氏名"). The blocks that several
// survey sheets share (respondent, graded aspects, further items, point
// formulas) are built here too, so that the sheets lay them out alike.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <string>

#include "records/schema.h"
#include "shell/db_controls.h"
#include "shell/sheets.h"

namespace sarvenu {

class TTableSource;

// Geometry shared by every panel.
inline constexpr int kMarginX = 12;                           // left edge of a row
inline constexpr int kRightEdge = kSheetPanelWidth - 12;      // right edge of a row
inline constexpr int kCaptionWidth = 160;                     // the caption column
inline constexpr int kEntryX = kMarginX + kCaptionWidth + 6;  // where entries start
inline constexpr int kControlHeight = 22;
inline constexpr int kRowGap = 4;
inline constexpr int kItemGap = 6;
inline constexpr int kGradeBoxWidth = 236;
inline constexpr int kGradeBoxHeight = 30;

// The data source of a table of the data store (null for tables without one).
TTableSource* SourceOf(TdmCdsModule& dm, TTableId table);
// Object name of a read-only copy of table.field shown on another tab:
// kind + tab + "_" + sheet + "_" + field ("dbtRep_Plan_CON_PLACE").
QString CopyName(const char* kind, const QString& tab, TTableId table, const std::string& field);

class TSheetLayout {
  public:
    // tab names the copies shown on the panel ("Plan", "Rep", "Add1", ...);
    // table is the table whose entries the panel edits.
    TSheetLayout(QWidget* panel, TSheetContext& context, const QString& tab, TTableId table);

    QWidget* Panel() const { return panel_; }
    TdmCdsModule& Dm() const { return context_.dm; }
    bool OrderingOffice() const { return context_.orderingOffice; }
    const QString& Tab() const { return tab_; }
    TTableId Table() const { return table_; }

    // Cursor. A row starts at Row(); items are placed at X() on the row's top
    // and advance X(); EndRow() moves below the lowest item placed.
    int Y() const { return y_; }
    int X() const { return x_; }
    // The next row starts at y (the layout never moves upwards).
    void MoveTo(int y);
    void Skip(int pixels) { y_ += pixels; }
    void Row(int x = kMarginX);
    void SetX(int x) { x_ = x; }
    void EndRow(int gap = kRowGap);

    // The group accessible names start with; empty for none.
    void SetGroup(const QString& group) { group_ = group; }
    const QString& Group() const { return group_; }
    QString Accessible(const QString& label) const;

    // Whole rows.
    QLabel* Title(const QString& text);
    // A heading bar across the panel; its text becomes the group.
    QLabel* Section(const QString& text);
    // Explanation across the panel, wrapped, indented from the row start.
    QLabel* Note(const QString& text, int indent = 0);

    // Items on the current row. Static texts fit their width unless given.
    QLabel* Text(const QString& text, int width = 0, Qt::Alignment align = Qt::AlignLeft);
    QLabel* Caption(const QString& text);  // the caption column
    TDBEdit* Edit(const std::string& field, int width, const QString& label);
    TRightDBEdit* Number(const std::string& field, int width, const QString& label);
    TDBMemo* Memo(const std::string& field, int width, int height, const QString& label);
    TDBCheckBox* Check(const std::string& field, const QString& caption, const QString& label);
    TDBRadioGroup* Grade(const std::string& field, const QString& label);
    TDBRadioGroup* Choice(const QString& name, const std::vector<QString>& captions,
                          const std::vector<std::string>& values, int columns, int width,
                          int height, const QString& label);
    TDateCombos Date(const QString& base, const QString& label);
    // A value the window computes and shows (points, differences, copies).
    QLabel* Value(const QString& name, int width, const QString& label);
    // Read-only copies of a field of another table.
    TDBText* Shown(TTableId table, const std::string& field, int width, const QString& label);
    TDBMemo* ShownMemo(TTableId table, const std::string& field, int width, int height,
                       const QString& label);
    TDBCheckBox* ShownCheck(TTableId table, const std::string& field, const QString& caption,
                            const QString& label);
    TDBRadioGroup* ShownGrade(TTableId table, const std::string& field, const QString& label);
    // A one-line name display the window fills or binds (dbmmGatherMocPlan ...).
    TDBMemo* NameDisplay(const QString& name, int width, const QString& label);
    QPushButton* Button(const QString& name, const QString& caption, int width, int height,
                        const QString& label = {});
    // Any other widget, already named.
    void Put(QWidget* widget, int width, int height);

    // Common rows: caption, item and static hints, then EndRow.
    TDBEdit* EditRow(const QString& caption, const std::string& field, int width,
                     const QStringList& hints = {});
    // The hint goes under the caption, one line per "\n".
    TDBMemo* MemoRow(const QString& caption, const std::string& field, int height,
                     const QString& hint = {});
    TDBText* ShownRow(const QString& caption, TTableId table, const std::string& field,
                      int width = 0);
    TDateCombos DateRow(const QString& caption, const QString& base, const QStringList& hints = {});
    // Start and end date entries on one row, "～" between.
    void PeriodRow(const QString& caption, const QString& start, const QString& end,
                   const QStringList& hints = {});
    void Hints(const QStringList& hints);

  private:
    QWidget* panel_;
    TSheetContext& context_;
    QString tab_;
    TTableId table_;
    QString group_;
    int x_ = kMarginX;
    int y_ = 0;
    int rowBottom_ = 0;
};

// Blocks shared by the survey sheets.

// 調査者: 所属, 氏名 and 連絡先 of the sheet's table.
void RespondentBlock(TSheetLayout& layout, bool nameRequired);

// The explanation and the two rows of a cost or process point: the formula
// in words, then 100 + 100 x difference / conventional = point with the
// three values the window computes. Values are named
// difference/conventional/point; the five static parts are named
// staticName + "1".."5" when staticName is given (so the window can hide them).
struct TPointFormula {
    QString words;       // the formula in words
    QString difference;  // name of the difference display
    QString differenceLabel;
    QString conventional;  // name of the conventional value display
    QString conventionalLabel;
    QString point;  // name of the point display
    QString staticName;
};
void PointFormulaRows(TSheetLayout& layout, const TPointFormula& formula);
TPointFormula CostFormula(const QString& difference, const QString& conventional,
                          const QString& point, const QString& staticName = {});
TPointFormula ProcessFormula(const QString& difference, const QString& conventional,
                             const QString& point, const QString& staticName = {});

// One graded aspect of the chief supervisor's or the contractor's sheet:
// heading, the fixed questions, the two optional questions with their tick
// and wording, score and point, and the result. The first question's group is
// placed at firstGrade; the result entry kGradeResultOffset (seven answer
// slots) or kGradeResultOffset + kGradeRowPitch (eight) below it.
inline constexpr int kGradeRowPitch = 36;
inline constexpr int kGradeHeadOffset = 52;  // heading top to the first question
inline constexpr int kGradeTail = 70;        // last answer row to the result
inline constexpr int kGradeResultOffset = 7 * kGradeRowPitch + kGradeTail;
void AspectBlock(TSheetLayout& layout, int aspectIndex, const QString& side, int firstGrade);

// The Japanese heading of an aspect ("Ⅲ品質・出来形") and its fixed questions.
const QString& AspectHeading(int aspectIndex);
const QStringList& AspectQuestions(int aspectIndex);
// "Quality", "Safety", "Construct", "Env": the aspect's word in display names.
QString AspectWord(int aspectIndex);

// 評価の方法: how the five grades are chosen (at most kGradeGuideHeight high).
inline constexpr int kGradeGuideHeight = 200;
void GradeGuide(TSheetLayout& layout);

// Ⅶその他: the three further items, each placed at its y, and the group's result.
void OtherItemsBlock(TSheetLayout& layout, const int itemY[3], int resultY);

// The small texts the sheets share (UTF-8 sources).
inline const char* const kRequired = "（入力必須）";
inline const char* const kChoiceRequired = "（選択必須）";
inline const char* const kWide127 = "（全角127文字まで）";
inline const char* const kWide1000 = "（全角1000文字まで）";
inline const char* const kHalfDigits = "（半角数字）";
inline const char* const kCostExample = "（記入例：999.9）";
inline const char* const kZeroNote = "※評価できない場合には、０を選択してください。";

}  // namespace sarvenu
