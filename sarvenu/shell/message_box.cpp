// Message boxes: a modal QMessageBox with the icon and buttons asked for, or
// the installed script when there is one.
#include "shell/message_box.h"

#include <QMessageBox>
#include <utility>

#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

namespace {

TMessageBoxHandler& Handler() {
    static TMessageBoxHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(TMsgIcon icon) {
    switch (icon) {
        case miError:
            return QMessageBox::Critical;
        case miWarning:
            return QMessageBox::Warning;
        case miQuestion:
            return QMessageBox::Question;
        case miInformation:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, TMsgIcon icon,
               TMsgButtons buttons) {
    if (const TMessageBoxHandler& handler = Handler())
        return handler(TMessageBoxCall{text, caption, icon, buttons});

    QString shown = platform::Cp932ToQString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(IconOf(icon), platform::Cp932ToQString(caption), shown, QMessageBox::NoButton,
                    owner);
    box.setWindowModality(Qt::ApplicationModal);
    switch (buttons) {
        case mbOK:
            box.setStandardButtons(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case mbOKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case mbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Yes);
            // Esc and the close button answer neither Yes nor No: a hidden
            // Cancel takes them, so that dismissing a question never discards
            // or saves anything.
            box.button(QMessageBox::Cancel)->hide();
            box.setEscapeButton(QMessageBox::Cancel);
            break;
    }
    box.exec();
    // A box closed without a button press counts as its cancelling button.
    QAbstractButton* clicked = box.clickedButton();
    const QMessageBox::StandardButton pressed =
        clicked ? box.standardButton(clicked) : QMessageBox::NoButton;
    switch (pressed) {
        case QMessageBox::Ok:
            return idOK;
        case QMessageBox::Yes:
            return idYes;
        case QMessageBox::No:
            return idNo;
        default:
            return buttons == mbOK ? idOK : idCancel;
    }
}

void SetMessageBoxHandler(TMessageBoxHandler handler) {
    Handler() = std::move(handler);
}

}  // namespace sarvenu
