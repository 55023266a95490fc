// The three picture slots of the contractor's sheet: choosing a picture
// (checked for size and copied as a pending file), clearing one, and showing
// the slots of the current work. The data store settles the pending files
// with the record when it is saved or abandoned.
#include <QLabel>
#include <QPixmap>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "records/image_size.h"
#include "records/picture_names.h"
#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/picture_image.h"
#include "shell/system_info.h"

namespace sarvenu {

namespace {

constexpr int kMaxPictureWidth = 600;
constexpr int kMaxPictureHeight = 400;

char SlotLetter(int slot) {
    return static_cast<char>('A' + slot - 1);
}

// The extension of a path's file-name part, dot included, as written.
std::string ExtensionOf(const std::string& path) {
    const std::string name = FileNamePart(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

std::string TfrmMain::PickPicture(const std::string& workNumber, char letter) {
    TFileDialogCall call{fdOpen, platform::Utf8ToCp932("画像ファイルを開く"),
                         platform::Utf8ToCp932("画像ファイル|*.gif;*.jpg;*.jpeg;"), "", ""};
    const std::optional<std::string> chosen = FileDialog(this, call);
    if (!chosen || !fileops::FileExists(*chosen)) return {};
    const int width = GetImageWidth(*chosen);
    const int height = GetImageHeight(*chosen);
    if (width > kMaxPictureWidth || height > kMaxPictureHeight) {
        MessageBox(this,
                   platform::Utf8ToCp932("画像のサイズが大きすぎます。\r\n") +
                       std::to_string(kMaxPictureWidth) + platform::Utf8ToCp932("×") +
                       std::to_string(kMaxPictureHeight) +
                       platform::Utf8ToCp932("以内の画像ファイルを選択してください。"),
                   GetAppTitle(), miWarning);
        return {};
    }
    const std::string target = dm_->Directories().picture + "_" +
                               platform::Cp932ToUtf8(workNumber) + letter + ExtensionOf(*chosen);
    if (fileops::FileExists(target)) {
        fileops::SetReadOnly(target, false);
        fileops::DeleteFile(target);
    }
    if (!fileops::CopyFile(*chosen, target, false)) {
        MessageBox(this, platform::Utf8ToCp932("画像ファイルの取得に失敗しました。"), GetAppTitle(),
                   miWarning);
        return {};
    }
    fileops::SetReadOnly(target, false);  // ClearReadOnly
    return target;
}

void TfrmMain::btnPictSelectClick(int slot) {
    const char letter = SlotLetter(slot);
    const std::string path =
        PickPicture(dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText(), letter);
    if (path.empty()) return;
    SwitchControls(slot, false, path);
    dm_->SetValue(dm_->cdsEV_TBL_INV_CON, std::string("FILE_NAME_") + letter,
                  platform::Utf8ToCp932(path));
}

void TfrmMain::ClearPicture(int slot) {
    if (MessageBox(this, platform::Utf8ToCp932("選択した画像をクリアしてよろしいですか？"),
                   GetAppTitle(), miQuestion, mbYesNo) != idYes)
        return;
    if (MessageBox(this,
                   platform::Utf8ToCp932(
                       "クリアした画像をもとに戻すには、もう一度選択し直す必要があります。"),
                   GetAppTitle(), miWarning, mbOKCancel) != idOK)
        return;
    const char letter = SlotLetter(slot);
    TClientTable& sheet = dm_->cdsEV_TBL_INV_CON;
    const std::string fileField = std::string("FILE_NAME_") + letter;
    // A saved picture's file stays as it is: saving drops it, abandoning
    // finds it unchanged.
    SwitchControls(slot, true, {});
    dm_->SetValue(sheet, fileField, "");
    dm_->SetValue(sheet, std::string("PICTURE_") + letter, "");
}

void TfrmMain::SetPicture() {
    TClientTable& sheet = dm_->cdsEV_TBL_INV_CON;
    for (int slot = 1; slot <= 3; ++slot) {
        const std::string field = std::string("FILE_NAME_") + SlotLetter(slot);
        const std::string name =
            FileNamePart(platform::Cp932ToUtf8(sheet.FieldNamed(field).GetText()));
        const std::string path = dm_->Directories().picture + name;
        const bool exists = !name.empty() && fileops::FileExists(path);
        SwitchControls(slot, !exists, exists ? path : std::string());
    }
}

void TfrmMain::SwitchControls(int slot, bool empty, const std::string& path) {
    const QString n = QString::number(slot);
    if (auto* select = findChild<QWidget*>("btnPictSelect" + n)) select->setEnabled(empty);
    if (auto* clear = findChild<QWidget*>("btnPctClear" + n)) clear->setEnabled(!empty);
    if (auto* image = findChild<QLabel*>("imgPict" + n)) {
        image->clear();
        if (!empty) {
            const QImage picture = LoadPicture(path);
            if (!picture.isNull()) image->setPixmap(QPixmap::fromImage(picture));
        }
    }
    if (auto* none = findChild<QWidget*>("lblNoPict" + n)) none->setVisible(empty);
}

void TfrmMain::WirePictures() {
    for (int slot = 1; slot <= 3; ++slot) {
        const QString n = QString::number(slot);
        if (auto* select = findChild<QPushButton*>("btnPictSelect" + n))
            connect(select, &QPushButton::clicked, this,
                    [this, slot] { btnPictSelectClick(slot); });
        if (auto* clear = findChild<QPushButton*>("btnPctClear" + n))
            connect(clear, &QPushButton::clicked, this, [this, slot] { ClearPicture(slot); });
    }
}

}  // namespace sarvenu
