// The two totals tabs (活用効果調査表集計表). (1/2): the fiscal year, the
// evaluation points of both sides with their averages, the ordering-side
// average and the overall point, the cost and day values, and every graded
// answer of both sides. (2/2): the periods, the averages, the costs and the
// results. Everything here is read-only: the window fills the points, the
// fiscal years and the name displays; the rest is bound to the sheets.
//
// Point displays: lbl<Aspect>Point<Chief|Con>Add1 (the ordering and the
// contractor column), lbl<Aspect>PointAvgAdd1 and lbl<Aspect>PointAvgAdd2,
// Aspect one of Cost, Process, Quality, Safety, Construct, Env;
// lblChiefPointAvgAdd1 (発注者平均), lblPointAvgAdd1 and lblPointAvgAdd2
// (総合評価点).
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

constexpr int kColumnWidth = 140;

struct TAspectName {
    const char* word;
    const char* label;
};
const TAspectName kSixAspects[] = {{"Cost", "経済性"},          {"Process", "工程"},
                                   {"Quality", "品質・出来形"}, {"Safety", "安全性"},
                                   {"Construct", "施工性"},     {"Env", "環境"}};

void Heading(TSheetLayout& layout, const char* title, const QString& nendo, const QString& bureau,
             const QString& office) {
    layout.MoveTo(4);
    layout.Title(platform::Utf8ToQString(title));
    layout.Row();
    layout.Value(nendo, 60, platform::Utf8ToQString("年度"));
    layout.Text(platform::Utf8ToQString("年度"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("実施整備局"));
    layout.NameDisplay(bureau, 220, platform::Utf8ToQString("実施整備局"));
    layout.Text(platform::Utf8ToQString("実施事務所"), 80, Qt::AlignRight);
    layout.NameDisplay(office, 260, platform::Utf8ToQString("実施事務所"));
    layout.EndRow();
}

void PointTable(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("評価点"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("評価項目"));
    for (const char* column : {"発注者", "請負者・技術開発者", "平均"})
        layout.Text(platform::Utf8ToQString(column), kColumnWidth, Qt::AlignHCenter);
    layout.EndRow();
    for (const TAspectName& aspect : kSixAspects) {
        const QString word = QString::fromLatin1(aspect.word);
        const QString label = platform::Utf8ToQString(aspect.label);
        layout.Row();
        layout.Caption(label);
        layout.Value("lbl" + word + "PointChiefAdd1", kColumnWidth,
                     label + platform::Utf8ToQString("-発注者"));
        layout.Value("lbl" + word + "PointConAdd1", kColumnWidth,
                     label + platform::Utf8ToQString("-請負者・技術開発者"));
        layout.Value("lbl" + word + "PointAvgAdd1", kColumnWidth,
                     label + platform::Utf8ToQString("-平均"));
        layout.EndRow();
    }
    layout.Row();
    layout.Caption(platform::Utf8ToQString("発注者平均"));
    layout.Value("lblChiefPointAvgAdd1", kColumnWidth, platform::Utf8ToQString("発注者平均"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("総合評価点"));
    layout.SetX(kEntryX + 2 * (kColumnWidth + kItemGap));
    layout.Value("lblPointAvgAdd1", kColumnWidth, platform::Utf8ToQString("総合評価点"));
    layout.EndRow();
}

void CostAndDays(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("経済性・工程"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("単位"));
    layout.Value("lblInvCostUnitAdd1", 160, platform::Utf8ToQString("単位"))
        ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("当り"));
    layout.Text(platform::Utf8ToQString("従来工法"), 60, Qt::AlignRight);
    layout.Value("lblInvOldCostAdd1", 100, platform::Utf8ToQString("従来工法"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.Text(platform::Utf8ToQString("新技術"), 60, Qt::AlignRight);
    layout.Value("lblInvNewCostAdd1", 100, platform::Utf8ToQString("新技術"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("コスト差"));
    layout.Value("lblCostSubtractionAdd1", 100, platform::Utf8ToQString("コスト差"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("工程-従来技術"));
    layout
        .Shown(TTableId::InvCon, "INV_PROCESS_OLD", 100, platform::Utf8ToQString("工程-従来技術"))
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("日"));
    layout.Text(platform::Utf8ToQString("新技術"), 60, Qt::AlignRight);
    layout.Shown(TTableId::InvCon, "INV_PROCESS_NEW", 100, platform::Utf8ToQString("工程-新技術"))
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("日"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("短縮日数"));
    layout.Value("lblProcessSubtractionAdd1", 100, platform::Utf8ToQString("短縮日数"));
    layout.Text(platform::Utf8ToQString("日"));
    layout.EndRow();
}

// Every answer of one aspect, the chief supervisor's beside the contractor's.
void Answers(TSheetLayout& layout, int aspectIndex) {
    const TAspect& aspect = Aspects().at(static_cast<size_t>(aspectIndex));
    const std::string prefix = std::string("INV_") + aspect.name + "_EVAL_POINT";
    const QStringList& questions = AspectQuestions(aspectIndex);
    const int conX = kRightEdge - kGradeBoxWidth;
    const int chiefX = conX - kItemGap - kGradeBoxWidth;

    layout.Section(AspectHeading(aspectIndex));
    layout.Row();
    layout.Text(platform::Utf8ToQString("評価項目"));
    layout.SetX(chiefX);
    layout.Text(platform::Utf8ToQString("発注者（主任監督員）"), kGradeBoxWidth, Qt::AlignHCenter);
    layout.Text(platform::Utf8ToQString("請負者・技術開発者"), kGradeBoxWidth, Qt::AlignHCenter);
    layout.EndRow();
    for (int q = 1; q <= aspect.fixedQuestions + 2; ++q) {
        const QString label =
            q <= aspect.fixedQuestions
                ? QString(QChar(0x2460 + q - 1)) + questions[q - 1]
                : QString(QChar(0x2460 + q - 1)) + platform::Utf8ToQString("その他");
        const std::string field = prefix + std::to_string(q);
        layout.Row(kMarginX + 8);
        QLabel* text = layout.Text(label, chiefX - kItemGap - kMarginX - 8);
        text->resize(text->width(), kGradeBoxHeight);
        layout.SetX(chiefX);
        layout.ShownGrade(TTableId::InvChief, field, label + platform::Utf8ToQString("-発注者"));
        layout.ShownGrade(TTableId::InvCon, field,
                          label + platform::Utf8ToQString("-請負者・技術開発者"));
        layout.EndRow(0);
    }
    layout.Skip(6);
}

}  // namespace

void BuildInvAddSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Add1", TTableId::Main);
    Heading(layout, "活用効果調査表集計表(1/2)", "lblNendoAdd1", "dbmmGatherMocAdd1",
            "dbmmHacSaiAdd1");
    layout.ShownRow(platform::Utf8ToQString("工事名"), TTableId::Main, "CON_NAME");
    PointTable(layout);
    CostAndDays(layout);
    for (int aspect = 0; aspect < 4; ++aspect) Answers(layout, aspect);
}

void BuildInvAdd2Sheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Add2", TTableId::Main);
    Heading(layout, "活用効果調査表集計表(2/2)", "lblNendoAdd2", "dbmmGatherMocAdd2",
            "dbmmHacSaiAdd2");
    layout.ShownRow(platform::Utf8ToQString("工事名"), TTableId::Main, "CON_NAME");
    layout.ShownRow(platform::Utf8ToQString("技術名称"), TTableId::Main, "TECH_TITLE");

    layout.Section(platform::Utf8ToQString("期間"));
    for (auto [caption, start, end] :
         {std::tuple{"工事期間", "INV_CON_DATE_S", "INV_CON_DATE_E"},
          {"新技術施工期間", "INV_TECH_CON_DATE_S", "INV_TECH_CON_DATE_E"}}) {
        layout.Row();
        layout.Caption(platform::Utf8ToQString(caption));
        layout.Shown(TTableId::InvChief, start, 110,
                     platform::Utf8ToQString(caption) + platform::Utf8ToQString("(始)"));
        layout.Text(platform::Utf8ToQString("～"));
        layout.Shown(TTableId::InvChief, end, 110,
                     platform::Utf8ToQString(caption) + platform::Utf8ToQString("(終)"));
        layout.EndRow();
    }

    layout.Section(platform::Utf8ToQString("評価点（平均）"));
    constexpr int kCellWidth = 110;
    layout.Row();
    for (const TAspectName& aspect : kSixAspects)
        layout.Text(platform::Utf8ToQString(aspect.label), kCellWidth, Qt::AlignHCenter);
    layout.Text(platform::Utf8ToQString("総合評価点"), kCellWidth, Qt::AlignHCenter);
    layout.EndRow();
    layout.Row();
    for (const TAspectName& aspect : kSixAspects)
        layout.Value("lbl" + QString::fromLatin1(aspect.word) + "PointAvgAdd2", kCellWidth,
                     platform::Utf8ToQString(aspect.label));
    layout.Value("lblPointAvgAdd2", kCellWidth, platform::Utf8ToQString("総合評価点"));
    layout.EndRow();

    layout.Section(platform::Utf8ToQString("Ⅰ経済性"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("単位"));
    layout.Value("lblInvCostUnitAdd2", 160, platform::Utf8ToQString("単位"))
        ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("当り"));
    layout.Text(platform::Utf8ToQString("従来工法"), 60, Qt::AlignRight);
    layout.Value("lblInvOldCostAdd2", 100, platform::Utf8ToQString("従来工法"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.Text(platform::Utf8ToQString("新技術"), 60, Qt::AlignRight);
    layout.Value("lblInvNewCostAdd2", 100, platform::Utf8ToQString("新技術"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.EndRow(10);

    layout.SetGroup(platform::Utf8ToQString("調査結果"));
    layout.Row();
    layout.Value("lblNendo2Add2", 60, platform::Utf8ToQString("年度"));
    layout.Text(platform::Utf8ToQString("年度"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("実施整備局"));
    layout.NameDisplay("dbmmGatherMoc2Add2", 220, platform::Utf8ToQString("実施整備局"));
    layout.Text(platform::Utf8ToQString("実施事務所"), 80, Qt::AlignRight);
    layout.NameDisplay("dbmmHacSai2Add2", 260, platform::Utf8ToQString("実施事務所"));
    layout.EndRow();
    layout.Section(platform::Utf8ToQString("調査結果"));
    for (auto [caption, table, field] :
         {std::tuple{"活用調査結果（発注課長）", TTableId::InvSection, "INV_SECTION_RESULT"},
          {"総合的な所見（主任監督員）", TTableId::InvChief, "INV_CHIEF_RESULT"},
          {"総合的な所見（請負者）", TTableId::InvCon, "INV_CON_RESULT"}}) {
        layout.Row();
        layout.Caption(platform::Utf8ToQString(caption));
        layout.ShownMemo(table, field, kRightEdge - kEntryX, 64, platform::Utf8ToQString(caption));
        layout.EndRow();
    }
}

}  // namespace sarvenu
