// Survey sheet (3), answered by the contractor or technology developer
// (請負者・技術開発者) and the one sheet of the contractor mode: the
// respondent, the site conditions, Ⅰ経済性 and Ⅱ工程 with their points, the
// four graded aspects, the further items, the overall opinion and the three
// picture slots. The fixed positions below keep every entry a check focuses
// within the view at the check's scroll position (site conditions from 445,
// 565, 690, costs from 814 and 949, days from 1100 and 1235, the aspects'
// answers from 1413, 1908, 2405, 2939, their results from 1731, 2225, 2760,
// 3255, the further items from 3407, 3495, 3585, their result from 3677 and
// the overall opinion from 3800).
#include <QFrame>

#include "platform/codepage.h"
#include "records/cds_module.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

constexpr int kSiteTop = 438;
constexpr int kSiteMemoTops[] = {468, 588, 712};
constexpr int kProcessTop = 1104;
constexpr int kProcessResultTop = 1236;
constexpr int kFirstGrades[] = {1417, 1912, 2409, 2943};
constexpr int kOtherItems[] = {3410, 3500, 3590};
constexpr int kOtherResult = 3680;
constexpr int kResultTop = 3840;
constexpr int kPictureWidth = 233;
constexpr int kPictureHeight = 155;

void SiteConditions(TSheetLayout& layout) {
    layout.MoveTo(kSiteTop);
    layout.Section(platform::Utf8ToQString("当該現場条件"));
    struct TCondition {
        const char* caption;
        const char* hint;
        const char* field;
    };
    const TCondition conditions[] = {
        {"自然環境", "(騒音、振動、水質等)\n", "INV_NATURAL_ENV"},
        {"周辺環境", "(病院、学校、鉄塔の有無等)\n", "INV_SURROUND_ENV"},
        {"現場条件", "", "INV_PLACE_CONDITION"}};
    for (int i = 0; i < 3; ++i) {
        layout.MoveTo(kSiteMemoTops[i]);
        layout.MemoRow(
            platform::Utf8ToQString(conditions[i].caption), conditions[i].field, 110,
            platform::Utf8ToQString(conditions[i].hint) + platform::Utf8ToQString(kWide1000));
    }
}

void Cost(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("Ⅰ経済性"));
    layout.Note(platform::Utf8ToQString(
        "・試行申請型、発注者指定型、フィールド提供型の場合、発注課長が記入する。"));
    layout.Note(platform::Utf8ToQString(
        "施工者希望型の場合は請負者が記入する（活用の型により入力の制限あり）。"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("単位"));
    layout.Edit("INV_COST_UNIT", 240, platform::Utf8ToQString("単位"));
    layout.Text(platform::Utf8ToQString("当り"));
    layout.Hints({platform::Utf8ToQString(kWide127)});
    layout.EndRow();
    for (auto [field, caption] :
         {std::pair{"INV_OLD_COST", "従来工法"}, {"INV_NEW_COST", "新技術"}}) {
        layout.Row();
        layout.Caption(platform::Utf8ToQString(caption));
        layout.Number(field, 120, platform::Utf8ToQString(caption));
        layout.Text(platform::Utf8ToQString("千円"));
        layout.Hints({platform::Utf8ToQString(kHalfDigits), platform::Utf8ToQString(kCostExample)});
        layout.EndRow();
    }
    PointFormulaRows(layout, CostFormula("lblCostSubtractionCon2", "lblInvOldCostCon2",
                                         "lblCostPointCon", "lblInvCostPoint"));
    layout.MemoRow(platform::Utf8ToQString("調査結果"), "INV_COST_RESULT", 70,
                   platform::Utf8ToQString(kWide1000));
}

void Process(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("Ⅱ工程"));
    layout.MoveTo(kProcessTop);
    for (auto [field, caption] :
         {std::pair{"INV_PROCESS_OLD", "従来技術"}, {"INV_PROCESS_NEW", "新技術"}}) {
        layout.Row();
        layout.Caption(platform::Utf8ToQString(caption));
        layout.Number(field, 80, platform::Utf8ToQString(caption));
        layout.Text(platform::Utf8ToQString("日"));
        layout.Hints({platform::Utf8ToQString(kHalfDigits)});
        layout.EndRow();
    }
    PointFormulaRows(layout, ProcessFormula("lblProcessSubtractionCon2", "lblInvProcessOld",
                                            "lblInvProcessPointCon", "lblInvProcessPoint"));
    layout.MoveTo(kProcessResultTop);
    layout.MemoRow(platform::Utf8ToQString("調査結果"), "INV_PROCESS_RESULT", 70,
                   platform::Utf8ToQString(kWide1000));
    layout.Note(platform::Utf8ToQString(kZeroNote));
}

void Closing(TSheetLayout& layout) {
    layout.SetGroup({});
    layout.Skip(6);
    layout.MemoRow(platform::Utf8ToQString("その他追加調査した結果"), "INV_CON_OTHER_RESULT", 60,
                   platform::Utf8ToQString(kWide1000));
    layout.MoveTo(kResultTop);
    layout.MemoRow(platform::Utf8ToQString("総合的な所見"), "INV_CON_RESULT", 80,
                   platform::Utf8ToQString(kWide1000));
}

// The three picture slots side by side, row by row: caption and "未選択",
// the image box, the title entry, and the buttons to choose and clear.
void Pictures(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("【Morvel資料・施工状況等の写真】"));
    layout.SetGroup({});
    layout.Note(platform::Utf8ToQString(
        "写真ファイルには、サイズ300×200程度のGIF形式または、JPG形式の画像ファイルを指定してくだ"
        "さい。"));
    const int column = (kRightEdge - kMarginX) / 3;
    auto each = [&](auto place) {
        layout.Row();
        for (int slot = 1; slot <= 3; ++slot) {
            layout.SetX(kMarginX + (slot - 1) * column);
            place(slot, QString::number(slot),
                  platform::Utf8ToQString("写真") + QString::number(slot));
        }
        layout.EndRow();
    };
    each([&](int, const QString& n, const QString& name) {
        layout.Text(name);
        QLabel* none = layout.Text(platform::Utf8ToQString("未選択"));
        none->setObjectName("lblNoPict" + n);
        none->setAccessibleName(name + platform::Utf8ToQString("-未選択"));
        none->setStyleSheet("QLabel { color: #a01010; }");
    });
    each([&](int, const QString& n, const QString& name) {
        auto* image = new QLabel(layout.Panel());
        image->setObjectName("imgPict" + n);
        image->setAccessibleName(name);
        image->setScaledContents(true);
        image->setFrameStyle(QFrame::Box | QFrame::Plain);
        layout.Put(image, kPictureWidth, kPictureHeight);
    });
    each([&](int slot, const QString&, const QString& name) {
        const int right = layout.X() + kPictureWidth;
        layout.Text(platform::Utf8ToQString("タイトル"));
        layout.Edit(std::string("PICTURE_") + static_cast<char>('A' + slot - 1), right - layout.X(),
                    name + platform::Utf8ToQString("-タイトル"));
    });
    each([&](int, const QString& n, const QString& name) {
        layout.Button("btnPictSelect" + n, platform::Utf8ToQString("選択"), 80, kControlHeight + 4,
                      name + platform::Utf8ToQString("-選択"));
        layout.Button("btnPctClear" + n, platform::Utf8ToQString("クリア"), 80, kControlHeight + 4,
                      name + platform::Utf8ToQString("-クリア"));
        layout.Text(platform::Utf8ToQString("（全角25文字まで）"));
    });
}

// The contractor does not see the points: they are the ordering office's.
void HidePoints(QWidget* panel) {
    QStringList names{"lblCostSubtractionCon2",    "lblInvOldCostCon2", "lblCostPointCon",
                      "lblProcessSubtractionCon2", "lblInvProcessOld",  "lblInvProcessPointCon"};
    for (int i = 1; i <= 5; ++i)
        names << "lblInvCostPoint" + QString::number(i)
              << "lblInvProcessPoint" + QString::number(i);
    for (const QString& name : names)
        if (QWidget* widget = panel->findChild<QWidget*>(name)) widget->hide();
}

}  // namespace

void BuildInvConSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Con", TTableId::InvCon);
    layout.MoveTo(4);
    layout.Title(platform::Utf8ToQString("活用効果調査表(3)/請負者・技術開発者提出用"));
    layout.ShownRow(platform::Utf8ToQString("工事名"), TTableId::Main, "CON_NAME");
    layout.ShownRow(platform::Utf8ToQString("技術名称"), TTableId::Main, "TECH_TITLE");
    layout.ShownRow(platform::Utf8ToQString("従来技術"), TTableId::Main, "OLD_TECH_TITLE");
    RespondentBlock(layout, /*nameRequired=*/false);
    GradeGuide(layout);
    SiteConditions(layout);
    Cost(layout);
    Process(layout);
    for (int aspect = 0; aspect < 4; ++aspect)
        AspectBlock(layout, aspect, "Con", kFirstGrades[aspect]);
    OtherItemsBlock(layout, kOtherItems, kOtherResult);
    Closing(layout);
    Pictures(layout);
    if (!context.orderingOffice) HidePoints(panel);
}

}  // namespace sarvenu
