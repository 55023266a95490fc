#include "shell/sheet_layout.h"

#include <QFont>
#include <QFrame>
#include <QTextDocument>
#include <algorithm>

#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/entry_names.h"

namespace sarvenu {

TTableSource* SourceOf(TdmCdsModule& dm, TTableId table) {
    switch (table) {
        case TTableId::Main:
            return &dm.dsEV_TBL_MAIN;
        case TTableId::Plan:
            return &dm.dsEV_TBL_PLAN;
        case TTableId::Report:
            return &dm.dsEV_TBL_REPORT;
        case TTableId::InvSection:
            return &dm.dsEV_TBL_INV_SECTION;
        case TTableId::InvChief:
            return &dm.dsEV_TBL_INV_CHIEF;
        case TTableId::InvCon:
            return &dm.dsEV_TBL_INV_CON;
        case TTableId::GatherMoc:
            return &dm.dsMV_STBL_INFO_GATHER_MOC;
        case TTableId::HacSai:
            return &dm.dsMV_STBL_HAC_SAI;
        case TTableId::ConTypeMode:
            return &dm.dsEV_STBL_CON_TYPE_MODE;
        case TTableId::ConType:
            return &dm.dsEV_STBL_CON_TYPE;
    }
    return nullptr;
}

QString CopyName(const char* kind, const QString& tab, TTableId table, const std::string& field) {
    return QString::fromLatin1(kind) + tab + "_" + QString::fromStdString(SheetSuffix(table)) +
           "_" + QString::fromStdString(field);
}

namespace {

// Displays look sunken, so that an empty one still shows where its value goes.
void DisplayFrame(QLabel* label) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAutoFillBackground(true);
}

// The entry limit of a text column in bytes, 0 for other columns.
int ColumnWidth(TTableId table, const std::string& field) {
    const TTableDef& def = TableDef(table);
    const int index = def.ColumnIndex(field);
    return index < 0 ? 0 : static_cast<int>(def.columns[static_cast<size_t>(index)].width);
}

// A one-line read-only memo: small margins so one line fits its height.
void OneLine(TDBMemo* memo) {
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->document()->setDocumentMargin(2);
}

}  // namespace

TSheetLayout::TSheetLayout(QWidget* panel, TSheetContext& context, const QString& tab,
                           TTableId table)
    : panel_(panel), context_(context), tab_(tab), table_(table) {}

void TSheetLayout::MoveTo(int y) {
    // Never upwards: a fixed position that the content above has already
    // passed keeps the rows apart rather than stacking them.
    y_ = std::max(y_, y);
    rowBottom_ = y_;
}

void TSheetLayout::Row(int x) {
    x_ = x;
    rowBottom_ = y_;
}

void TSheetLayout::EndRow(int gap) {
    y_ = std::max(y_, rowBottom_) + gap;
    rowBottom_ = y_;
    x_ = kMarginX;
}

QString TSheetLayout::Accessible(const QString& label) const {
    return group_.isEmpty() ? label : group_ + "-" + label;
}

void TSheetLayout::Put(QWidget* widget, int width, int height) {
    widget->setGeometry(x_, y_, width, height);
    x_ += width + kItemGap;
    rowBottom_ = std::max(rowBottom_, y_ + height);
}

QLabel* TSheetLayout::Title(const QString& text) {
    Row();
    auto* label = new QLabel(text, panel_);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 4);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    Put(label, kRightEdge - kMarginX, 30);
    EndRow(8);
    return label;
}

QLabel* TSheetLayout::Section(const QString& text) {
    Row();
    auto* label = new QLabel(text, panel_);
    label->setStyleSheet(
        "QLabel { background: #d8e4f0; color: #102840; font-weight: bold; padding-left: 6px; }");
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Put(label, kRightEdge - kMarginX, kControlHeight);
    EndRow();
    group_ = text;
    return label;
}

QLabel* TSheetLayout::Note(const QString& text, int indent) {
    Row(kMarginX + indent);
    auto* label = new QLabel(text, panel_);
    label->setWordWrap(true);
    const int width = kRightEdge - x_;
    Put(label, width, std::max(18, label->heightForWidth(width)));
    EndRow(2);
    return label;
}

QLabel* TSheetLayout::Text(const QString& text, int width, Qt::Alignment align) {
    auto* label = new QLabel(text, panel_);
    label->setAlignment(align | Qt::AlignVCenter);
    Put(label, width > 0 ? width : label->sizeHint().width(), kControlHeight);
    return label;
}

QLabel* TSheetLayout::Caption(const QString& text) {
    return Text(text, kCaptionWidth);
}

TDBEdit* TSheetLayout::Edit(const std::string& field, int width, const QString& label) {
    auto* edit = new TDBEdit(panel_, QString::fromStdString(EntryName(table_, field)));
    edit->Bind(SourceOf(Dm(), table_), field);
    edit->SetMaxBytes(ColumnWidth(table_, field));
    edit->setAccessibleName(Accessible(label));
    Put(edit, width, kControlHeight);
    return edit;
}

TRightDBEdit* TSheetLayout::Number(const std::string& field, int width, const QString& label) {
    auto* edit = new TRightDBEdit(panel_, QString::fromStdString(EntryName(table_, field)));
    edit->Bind(SourceOf(Dm(), table_), field);
    edit->SetMaxBytes(ColumnWidth(table_, field));
    edit->SetImeOff(true);
    edit->setAccessibleName(Accessible(label));
    Put(edit, width, kControlHeight);
    return edit;
}

TDBMemo* TSheetLayout::Memo(const std::string& field, int width, int height, const QString& label) {
    auto* memo = new TDBMemo(panel_, QString::fromStdString(EntryName(table_, field)));
    memo->Bind(SourceOf(Dm(), table_), field);
    memo->SetMaxBytes(ColumnWidth(table_, field));
    memo->setAccessibleName(Accessible(label));
    Put(memo, width, height);
    return memo;
}

TDBCheckBox* TSheetLayout::Check(const std::string& field, const QString& caption,
                                 const QString& label) {
    auto* box = new TDBCheckBox(panel_, QString::fromStdString(EntryName(table_, field)), caption);
    box->Bind(SourceOf(Dm(), table_), field);
    box->setAccessibleName(Accessible(label));
    Put(box, box->sizeHint().width() + 4, kControlHeight);
    return box;
}

TDBRadioGroup* TSheetLayout::Grade(const std::string& field, const QString& label) {
    // The caption names the group (and its buttons) for accessibility; the
    // question beside it is the visible label, so the box carries no title.
    TDBRadioGroup* group =
        MakeGradeGroup(panel_, QString::fromStdString(EntryName(table_, field)), Accessible(label));
    group->setTitle({});
    group->Bind(SourceOf(Dm(), table_), field);
    Put(group, kGradeBoxWidth, kGradeBoxHeight);
    return group;
}

TDBRadioGroup* TSheetLayout::Choice(const QString& name, const std::vector<QString>& captions,
                                    const std::vector<std::string>& values, int columns, int width,
                                    int height, const QString& label) {
    auto* group = new TDBRadioGroup(panel_, name, Accessible(label), captions, values, columns);
    group->setTitle({});
    Put(group, width, height);
    return group;
}

TDateCombos TSheetLayout::Date(const QString& base, const QString& label) {
    TDateCombos combos = MakeDateCombos(panel_, base, Accessible(label));
    Put(combos.year, combos.year->width(), kControlHeight);
    Text(platform::Utf8ToQString("年"));
    Put(combos.month, combos.month->width(), kControlHeight);
    Text(platform::Utf8ToQString("月"));
    Put(combos.day, combos.day->width(), kControlHeight);
    Text(platform::Utf8ToQString("日"));
    return combos;
}

QLabel* TSheetLayout::Value(const QString& name, int width, const QString& label) {
    auto* value = new QLabel(panel_);
    value->setObjectName(name);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setAccessibleName(Accessible(label));
    DisplayFrame(value);
    Put(value, width, kControlHeight);
    return value;
}

TDBText* TSheetLayout::Shown(TTableId table, const std::string& field, int width,
                             const QString& label) {
    auto* text = new TDBText(panel_, CopyName("dbt", tab_, table, field));
    text->Bind(SourceOf(Dm(), table), field);
    text->setAccessibleName(Accessible(label));
    DisplayFrame(text);
    Put(text, width, kControlHeight);
    return text;
}

TDBMemo* TSheetLayout::ShownMemo(TTableId table, const std::string& field, int width, int height,
                                 const QString& label) {
    auto* memo = new TDBMemo(panel_, CopyName("dbmm", tab_, table, field));
    memo->setReadOnly(true);
    memo->Bind(SourceOf(Dm(), table), field);
    memo->setAccessibleName(Accessible(label));
    Put(memo, width, height);
    return memo;
}

TDBCheckBox* TSheetLayout::ShownCheck(TTableId table, const std::string& field,
                                      const QString& caption, const QString& label) {
    auto* box = new TDBCheckBox(panel_, CopyName("dbcb", tab_, table, field), caption);
    box->Bind(SourceOf(Dm(), table), field);
    box->setEnabled(false);
    box->setAccessibleName(Accessible(label));
    Put(box, box->sizeHint().width() + 4, kControlHeight);
    return box;
}

TDBRadioGroup* TSheetLayout::ShownGrade(TTableId table, const std::string& field,
                                        const QString& label) {
    TDBRadioGroup* group =
        MakeGradeGroup(panel_, CopyName("dbrg", tab_, table, field), Accessible(label));
    group->setTitle({});
    group->Bind(SourceOf(Dm(), table), field);
    group->setEnabled(false);
    Put(group, kGradeBoxWidth, kGradeBoxHeight);
    return group;
}

TDBMemo* TSheetLayout::NameDisplay(const QString& name, int width, const QString& label) {
    auto* memo = new TDBMemo(panel_, name);
    OneLine(memo);
    memo->setAccessibleName(Accessible(label));
    Put(memo, width, kControlHeight + 2);
    return memo;
}

QPushButton* TSheetLayout::Button(const QString& name, const QString& caption, int width,
                                  int height, const QString& label) {
    auto* button = new QPushButton(caption, panel_);
    button->setObjectName(name);
    button->setAccessibleName(label.isEmpty() ? QString(caption).remove('\n') : label);
    Put(button, width, height);
    return button;
}

void TSheetLayout::Hints(const QStringList& hints) {
    for (const QString& hint : hints) Text(hint);
}

TDBEdit* TSheetLayout::EditRow(const QString& caption, const std::string& field, int width,
                               const QStringList& hints) {
    Row();
    Caption(caption);
    TDBEdit* edit = Edit(field, width, caption);
    Hints(hints);
    EndRow();
    return edit;
}

TDBMemo* TSheetLayout::MemoRow(const QString& caption, const std::string& field, int height,
                               const QString& hint) {
    Row();
    const int top = y_;
    Caption(caption);
    if (!hint.isEmpty()) {
        // The limit goes under the caption, in the caption column.
        auto* label = new QLabel(hint, panel_);
        label->setGeometry(kMarginX, top + kControlHeight + 2, kCaptionWidth,
                           18 * (hint.count('\n') + 1));
    }
    SetX(kEntryX);
    TDBMemo* memo = Memo(field, kRightEdge - kEntryX, height, caption);
    EndRow();
    return memo;
}

TDBText* TSheetLayout::ShownRow(const QString& caption, TTableId table, const std::string& field,
                                int width) {
    Row();
    Caption(caption);
    TDBText* text = Shown(table, field, width > 0 ? width : kRightEdge - x_, caption);
    EndRow();
    return text;
}

TDateCombos TSheetLayout::DateRow(const QString& caption, const QString& base,
                                  const QStringList& hints) {
    Row();
    Caption(caption);
    TDateCombos combos = Date(base, caption);
    Hints(hints);
    EndRow();
    return combos;
}

void TSheetLayout::PeriodRow(const QString& caption, const QString& start, const QString& end,
                             const QStringList& hints) {
    Row();
    Caption(caption);
    Date(start, caption + platform::Utf8ToQString("(始)"));
    Text(platform::Utf8ToQString("～"));
    Date(end, caption + platform::Utf8ToQString("(終)"));
    Hints(hints);
    EndRow();
}

// Blocks shared by the survey sheets.

namespace {

// ① .. ⑧, the numbers of the questions of an aspect.
QString Circled(int number) {
    return QString(QChar(0x2460 + number - 1));
}

// Centres an item of a graded row on the row's grade group.
void CentreOnGrade(QWidget* widget, int rowTop) {
    widget->move(widget->x(), rowTop + (kGradeBoxHeight - widget->height()) / 2);
}

}  // namespace

const QString& AspectHeading(int aspectIndex) {
    static const QString headings[] = {
        platform::Utf8ToQString("Ⅲ品質・出来形"), platform::Utf8ToQString("Ⅳ安全性"),
        platform::Utf8ToQString("Ⅴ施工性"), platform::Utf8ToQString("Ⅵ環境")};
    return headings[aspectIndex];
}

const QStringList& AspectQuestions(int aspectIndex) {
    static const QStringList questions[] = {
        {platform::Utf8ToQString("品質は向上したか？"),
         platform::Utf8ToQString("出来形・精度は向上したか？"),
         platform::Utf8ToQString("耐久性が向上する構造になったか？"),
         platform::Utf8ToQString("品質・出来形の管理項目は減少したか？"),
         platform::Utf8ToQString("品質・出来形の管理頻度は減少したか？")},
        {platform::Utf8ToQString("墜落・転落事故の危険性が減少したか？"),
         platform::Utf8ToQString("重機災害の危険性が減少したか？"),
         platform::Utf8ToQString("飛来・落下物災害の危険性が減少したか？"),
         platform::Utf8ToQString("作業環境が向上したか？(暗がり・騒音・狭所作業等の減少)"),
         platform::Utf8ToQString("危険物等の取り扱いが減少したか？")},
        {platform::Utf8ToQString("現場での施工が減少したか？"),
         platform::Utf8ToQString("仮設工が減少したか？"),
         platform::Utf8ToQString("作業員が容易になったか？"),
         platform::Utf8ToQString("熟練度に依存した工程が減少したか？"),
         platform::Utf8ToQString("施工の機械化の程度は向上したか？"),
         platform::Utf8ToQString("施工時の制約条件が減少したか？")},
        {platform::Utf8ToQString("周辺の大気汚染・土壌汚染・水質汚染が減少したか？"),
         platform::Utf8ToQString("騒音・振動・粉塵等が減少したか？"),
         platform::Utf8ToQString("周辺の自然・生態環境・景観との調和は向上したか？"),
         platform::Utf8ToQString("産業廃棄物の発生量は減少したか？（リサイクル性の向上）"),
         platform::Utf8ToQString("省エネルギー、省資源化が向上したか？")},
    };
    return questions[aspectIndex];
}

QString AspectWord(int aspectIndex) {
    static const char* const words[] = {"Quality", "Safety", "Construct", "Env"};
    return QString::fromLatin1(words[aspectIndex]);
}

void RespondentBlock(TSheetLayout& layout, bool nameRequired) {
    layout.Section(platform::Utf8ToQString("調査者"));
    const QStringList limit{platform::Utf8ToQString(kWide127)};
    layout.EditRow(platform::Utf8ToQString("所属"), "INV_BELONG", 440, limit);
    layout.EditRow(platform::Utf8ToQString("氏名"), "INV_NAME", 440,
                   nameRequired ? QStringList{platform::Utf8ToQString(kRequired),
                                              platform::Utf8ToQString(kWide127)}
                                : limit);
    layout.EditRow(platform::Utf8ToQString("連絡先"), "INV_ADDRESS", 440, limit);
}

TPointFormula CostFormula(const QString& difference, const QString& conventional,
                          const QString& point, const QString& staticName) {
    return {platform::Utf8ToQString("＝１００＋１００×コスト差／従来技術コスト(０～２００点)"),
            difference,
            platform::Utf8ToQString("コスト差"),
            conventional,
            platform::Utf8ToQString("従来技術コスト"),
            point,
            staticName};
}

TPointFormula ProcessFormula(const QString& difference, const QString& conventional,
                             const QString& point, const QString& staticName) {
    return {platform::Utf8ToQString("＝１００＋１００×短縮日数／従来技術の施工日数(０～２００点)"),
            difference,
            platform::Utf8ToQString("短縮日数"),
            conventional,
            platform::Utf8ToQString("従来技術の施工日数"),
            point,
            staticName};
}

void PointFormulaRows(TSheetLayout& layout, const TPointFormula& formula) {
    std::vector<QLabel*> parts;
    layout.Row();
    parts.push_back(layout.Caption(platform::Utf8ToQString("評価点")));
    parts.push_back(layout.Text(formula.words));
    layout.EndRow();
    layout.Row(kEntryX);
    parts.push_back(layout.Text(platform::Utf8ToQString("＝１００＋１００×")));
    layout.Value(formula.difference, 100, formula.differenceLabel);
    parts.push_back(layout.Text(platform::Utf8ToQString("／")));
    layout.Value(formula.conventional, 100, formula.conventionalLabel);
    parts.push_back(layout.Text(platform::Utf8ToQString("＝")));
    layout.Value(formula.point, 60, platform::Utf8ToQString("評価点"));
    layout.EndRow();
    if (!formula.staticName.isEmpty())
        for (size_t i = 0; i < parts.size(); ++i)
            parts[i]->setObjectName(formula.staticName + QString::number(i + 1));
}

void AspectBlock(TSheetLayout& layout, int aspectIndex, const QString& side, int firstGrade) {
    const TAspect& aspect = Aspects().at(static_cast<size_t>(aspectIndex));
    const std::string prefix = std::string("INV_") + aspect.name + "_";
    const QStringList& questions = AspectQuestions(aspectIndex);
    const int gradeX = kRightEdge - kGradeBoxWidth;
    const int questionX = kMarginX + 8;

    layout.MoveTo(firstGrade - kGradeHeadOffset);
    layout.Section(AspectHeading(aspectIndex));
    layout.Row(questionX);
    layout.Text(platform::Utf8ToQString("評価項目"));
    layout.SetX(gradeX);
    layout.Text(platform::Utf8ToQString("評価点（+2 ～ -2）"), kGradeBoxWidth, Qt::AlignHCenter);
    layout.EndRow();

    auto endGradeRow = [&layout] { layout.EndRow(kGradeRowPitch - kGradeBoxHeight); };
    for (int q = 0; q < aspect.fixedQuestions; ++q) {
        const QString label = Circled(q + 1) + questions[q];
        layout.Row(questionX);
        const int top = layout.Y();
        QLabel* text = layout.Text(label, gradeX - kItemGap - questionX);
        text->resize(text->width(), kGradeBoxHeight);
        CentreOnGrade(text, top);
        layout.SetX(gradeX);
        layout.Grade(prefix + "EVAL_POINT" + std::to_string(q + 1), label);
        endGradeRow();
    }
    for (int k = 1; k <= 2; ++k) {
        const int number = aspect.fixedQuestions + k;
        const QString label = Circled(number) + platform::Utf8ToQString("その他");
        layout.Row(questionX);
        const int top = layout.Y();
        CentreOnGrade(layout.Check(prefix + "EVAL_YN" + std::to_string(k), label, label), top);
        CentreOnGrade(layout.Text(platform::Utf8ToQString("（")), top);
        const int closing =
            layout.Panel()->fontMetrics().horizontalAdvance(platform::Utf8ToQString("）"));
        const int width = gradeX - kItemGap - layout.X() - closing - kItemGap;
        CentreOnGrade(layout.Edit(prefix + "OTHER" + std::to_string(k), width,
                                  label + platform::Utf8ToQString("-内容")),
                      top);
        CentreOnGrade(layout.Text(platform::Utf8ToQString("）")), top);
        layout.SetX(gradeX);
        layout.Grade(prefix + "EVAL_POINT" + std::to_string(number),
                     label + platform::Utf8ToQString("-評価点"));
        endGradeRow();
    }
    const int slotsEnd = layout.Y();

    const QString word = AspectWord(aspectIndex);
    layout.Row(kEntryX);
    layout.Text(platform::Utf8ToQString("得点"));
    layout.Value("lbl" + word + "Score" + side, 60, platform::Utf8ToQString("得点"));
    layout.Text(platform::Utf8ToQString("評価点"));
    layout.Value("lbl" + word + "Point" + side, 60, platform::Utf8ToQString("評価点"));
    layout.Text(platform::Utf8ToQString("＝100＋(50×得点)／選択項目数"));
    layout.EndRow();
    layout.Note(
        platform::Utf8ToQString("※その他の項目は、チェックを付けた場合のみ得点に数えます。"),
        kEntryX - kMarginX);
    layout.MoveTo(slotsEnd + kGradeTail);
    layout.MemoRow(platform::Utf8ToQString("調査結果"), prefix + "RESULT", 100,
                   platform::Utf8ToQString(kWide1000));
}

void GradeGuide(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("評価の方法"));
    layout.Note(platform::Utf8ToQString(
        "各項目について、従来技術と比べた新技術の効果を次の５段階から選択してください。"));
    for (const char* grade :
         {"+2：従来技術より非常に優れている", "+1：従来技術より優れている", "　0：従来技術と同程度",
          "-1：従来技術より劣っている", "-2：従来技術より非常に劣っている"})
        layout.Note(platform::Utf8ToQString(grade), 24);
    layout.Note(platform::Utf8ToQString(kZeroNote));
    layout.Note(platform::Utf8ToQString(
        "※その他の項目は、チェックを付けて内容を記入した場合のみ得点に数えます。"));
}

void OtherItemsBlock(TSheetLayout& layout, const int itemY[3], int resultY) {
    layout.Skip(10);
    layout.Section(platform::Utf8ToQString("Ⅶその他"));
    layout.Note(platform::Utf8ToQString(
        "※調査した項目にチェックを付け、（　）内に調査内容を、文章にコメントを記入してください。"));
    for (int k = 1; k <= 3; ++k) {
        const std::string n = std::to_string(k);
        const QString label = "(" + QString::number(k) + ")" + platform::Utf8ToQString("その他");
        layout.MoveTo(itemY[k - 1]);
        layout.Row();
        layout.Text("(" + QString::number(k) + ")");
        layout.Check("INV_OTHER_YN" + n, platform::Utf8ToQString("その他"), label);
        layout.Text(platform::Utf8ToQString("（"));
        layout.Edit("INV_OTHER_CONTENT" + n, 440, label + platform::Utf8ToQString("-（　）内"));
        layout.Text(platform::Utf8ToQString("）"));
        layout.Hints({platform::Utf8ToQString(kWide127)});
        layout.EndRow();
        layout.Row(kMarginX + 40);
        layout.Text(platform::Utf8ToQString("文章"));
        layout.Edit("INV_OTHER_NOTE" + n, kRightEdge - layout.X(),
                    label + platform::Utf8ToQString("-文章"));
        layout.EndRow();
    }
    layout.MoveTo(resultY);
    layout.MemoRow(platform::Utf8ToQString("調査結果"), "INV_OTHER_RESULT", 80,
                   platform::Utf8ToQString(kWide1000));
}

}  // namespace sarvenu
