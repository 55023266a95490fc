// The open and save dialogs: a QFileDialog with the filter converted from the
// "description|patterns|description|patterns" form, or the installed script.
#include "shell/file_dialog.h"

#include <QFileDialog>
#include <QStringList>
#include <utility>

#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

namespace {

TFileDialogHandler& Handler() {
    static TFileDialogHandler handler;
    return handler;
}

QString QtFilter(const std::string& filter) {
    const QStringList parts = platform::Cp932ToQString(filter).split(QChar('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QChar(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) pattern = pattern.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty()) continue;
        filters << parts[i].trimmed() + " (" + patterns.join(QChar(' ')) + ")";
    }
    return filters.join(QStringLiteral(";;"));
}

// A save dialog adds the default extension to a file name without one.
std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    if (extension.empty()) return path;
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos) return path;
    return path + "." + extension;
}

}  // namespace

std::string QtFileFilter(const std::string& filter) {
    return QtFilter(filter).toStdString();
}

std::optional<std::string> FileDialog(QWidget* owner, const TFileDialogCall& call) {
    std::optional<std::string> chosen;
    if (const TFileDialogHandler& handler = Handler()) {
        chosen = handler(call);
    } else {
        QFileDialog dialog(owner, platform::Cp932ToQString(call.title),
                           QString::fromStdString(call.fileName), QtFilter(call.filter));
        dialog.setAcceptMode(call.kind == fdSave ? QFileDialog::AcceptSave
                                                 : QFileDialog::AcceptOpen);
        dialog.setFileMode(call.kind == fdSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!call.defaultExt.empty())
            dialog.setDefaultSuffix(QString::fromStdString(call.defaultExt));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        chosen = dialog.selectedFiles().front().toStdString();
    }
    if (chosen && call.kind == fdSave) *chosen = WithDefaultExtension(*chosen, call.defaultExt);
    return chosen;
}

void SetFileDialogHandler(TFileDialogHandler handler) {
    Handler() = std::move(handler);
}

}  // namespace sarvenu
