#include "shell/export_dialog.h"

#include <QLabel>

namespace sarvenu {

namespace {

TExportDialogHandler& Handler() {
    static TExportDialogHandler handler;
    return handler;
}

const char* const kSheetCaptions[kExportSheetCount] = {
    "新技術活用等計画書", "新技術活用実施報告書", "活用効果調査表(1)/個別－発注課長用",
    "活用効果調査表(2)/個別－主任監督員用", "活用効果調査表(3)/請負者・技術開発者提出用"};
const char* const kSheetNames[kExportSheetCount] = {"cbPlan", "cbReport", "cbSection", "cbChief",
                                                    "cbCon"};

}  // namespace

void SetExportDialogHandler(TExportDialogHandler handler) {
    Handler() = std::move(handler);
}

TfrmExp::TfrmExp(QWidget* owner, const TExportChoices& choices) : QDialog(owner) {
    setObjectName("frmExp");
    setWindowTitle(QString::fromUtf8("提出用ファイル作成"));
    setFixedSize(420, 250);
    auto* text =
        new QLabel(QString::fromUtf8("提出用ファイルとして作成する様式を選択してください。"), this);
    text->setGeometry(16, 12, 390, 24);
    for (int i = 0; i < kExportSheetCount; ++i) {
        cbSheets[i] = new QCheckBox(QString::fromUtf8(kSheetCaptions[i]), this);
        cbSheets[i]->setObjectName(kSheetNames[i]);
        cbSheets[i]->setAccessibleName(cbSheets[i]->text());
        cbSheets[i]->setGeometry(32, 44 + 30 * i, 370, 24);
        cbSheets[i]->setChecked(choices[i]);
    }
    btnExp = new QPushButton(QString::fromUtf8("提出用ファイル作成"), this);
    btnExp->setObjectName("btnExp");
    btnExp->setGeometry(110, 206, 150, 30);
    btnCancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(270, 206, 130, 30);
    for (QPushButton* button : {btnExp, btnCancel}) button->setAccessibleName(button->text());
    connect(btnExp, &QPushButton::clicked, this, [this] { accept(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

TExportChoices TfrmExp::Choices() const {
    TExportChoices choices{};
    for (int i = 0; i < kExportSheetCount; ++i) choices[i] = cbSheets[i]->isChecked();
    return choices;
}

int TfrmExp::Run() {
    if (Handler()) return Handler()(*this);
    return exec();
}

}  // namespace sarvenu
