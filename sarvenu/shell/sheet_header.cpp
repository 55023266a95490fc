// The header above the sheet tabs: the main record's entries, the bureau,
// office and type lists over their code tables, and the buttons that write a
// submission file and import a contractor's one. Six rows in 160 pixels;
// the buttons and the note on the lists sit in the right-hand column.
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/entry_names.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

constexpr int kHeaderCaption = 110;
constexpr int kHeaderEntryX = 8 + kHeaderCaption + 4;
constexpr int kHeaderTextWidth = 440;
constexpr int kRequiredX = kHeaderEntryX + kHeaderTextWidth + 4;
constexpr int kLimitX = kRequiredX + 76;
constexpr int kButtonX = 776;
constexpr int kButtonWidth = 144;
constexpr int kSecondCaptionX = 430;
constexpr int kSecondListX = 512;
constexpr int kPitch = 25;

TDBLookupComboBox* LookupList(TSheetLayout& layout, const std::string& field, TTableId list,
                              const std::string& listField, int width, const QString& label) {
    TdmCdsModule& dm = layout.Dm();
    auto* combo = new TDBLookupComboBox(layout.Panel(),
                                        QString::fromStdString(EntryName(TTableId::Main, field)));
    combo->Bind(&dm.dsEV_TBL_MAIN, field);
    combo->SetListSource(SourceOf(dm, list), "CD", listField);
    combo->setAccessibleName(label);
    combo->setGeometry(layout.X(), layout.Y(), width, kControlHeight);
    layout.SetX(layout.X() + width + kItemGap);
    return combo;
}

// One text row of the header: caption, entry and its marks at fixed columns.
void TextRow(TSheetLayout& layout, int row, const char* caption, const char* field, bool required) {
    layout.MoveTo(4 + row * kPitch);
    layout.Row(8);
    layout.Text(platform::Utf8ToQString(caption), kHeaderCaption);
    layout.Edit(field, kHeaderTextWidth, platform::Utf8ToQString(caption));
    if (required) {
        layout.SetX(kRequiredX);
        layout.Text(platform::Utf8ToQString(kRequired));
    }
    layout.SetX(kLimitX);
    layout.Text(platform::Utf8ToQString(kWide127));
}

}  // namespace

void BuildHeader(QWidget* pnlHeader, TSheetContext& context) {
    TSheetLayout layout(pnlHeader, context, "Header", TTableId::Main);

    TextRow(layout, 0, "工事名", "CON_NAME", true);
    layout.SetX(kButtonX);
    layout.Button("btnExp", platform::Utf8ToQString("提出用ファイル作成"), kButtonWidth,
                  kControlHeight + 2);
    TextRow(layout, 1, "技術名称", "TECH_TITLE", true);
    layout.SetX(kButtonX);
    QPushButton* import =
        layout.Button("btnImpCon", platform::Utf8ToQString("請負者・技術開発者\n提出用の取り込み"),
                      kButtonWidth, kPitch + kControlHeight + 2);
    import->setVisible(context.orderingOffice);
    TextRow(layout, 2, "従来技術", "OLD_TECH_TITLE", false);
    TextRow(layout, 3, "工事担当課・発注課", "CON_CHARGE_SEC", false);

    layout.MoveTo(4 + 4 * kPitch);
    layout.Row(8);
    layout.Text(platform::Utf8ToQString("登録番号"), kHeaderCaption);
    TDBEdit* number = layout.Edit("REG_NO", 110, platform::Utf8ToQString("登録番号"));
    number->SetImeOff(true);
    layout.Hints(
        {platform::Utf8ToQString(kRequired), platform::Utf8ToQString("（半角10文字まで）")});
    layout.SetX(kSecondCaptionX);
    layout.Text(platform::Utf8ToQString("活用等の型"), kSecondListX - kSecondCaptionX - kItemGap);
    LookupList(layout, "CON_TYPE", TTableId::ConType, "CON_TYPE", 200,
               platform::Utf8ToQString("活用等の型"));
    const int noteTop = layout.Y();

    layout.MoveTo(4 + 5 * kPitch);
    layout.Row(8);
    layout.Text(platform::Utf8ToQString("実施整備局"), kHeaderCaption);
    LookupList(layout, "MOC_CD", TTableId::GatherMoc, "GATHER_MOC", 180,
               platform::Utf8ToQString("実施整備局"));
    layout.Text(platform::Utf8ToQString(kChoiceRequired));
    layout.SetX(kSecondCaptionX);
    layout.Text(platform::Utf8ToQString("実施事務所"), kSecondListX - kSecondCaptionX - kItemGap);
    LookupList(layout, "OFFICE_CD", TTableId::HacSai, "HAC_SAI", 150,
               platform::Utf8ToQString("実施事務所"));
    layout.Text(platform::Utf8ToQString(kChoiceRequired));

    auto* note = new QLabel(
        platform::Utf8ToQString("キーボードの”Delete”キーで選択をクリアできます。"), pnlHeader);
    note->setWordWrap(true);
    const int noteX = layout.X();
    note->setGeometry(noteX, noteTop, kWindowWidth - 6 - noteX, kPitch + kControlHeight);
}

}  // namespace sarvenu
