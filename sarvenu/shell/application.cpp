#include "shell/application.h"

#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"

namespace sarvenu {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Sarvenu(Morvel)"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        HandleException(error);
        return false;
    }
}

void TApplication::HandleException(const std::exception& error) {
    MessageBox(mainForm_, error.what(), GetAppTitle(), miError, mbOK);
}

}  // namespace sarvenu
