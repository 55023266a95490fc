// The one place the program asks for a file name. Tests install a script
// that answers instead of a person. Filters use the "description|patterns"
// form ("画像ファイル|*.gif;*.jpg;*.jpeg;"); texts are code page 932, paths are
// file-system paths (UTF-8).
#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace sarvenu {

enum TFileDialogKind { fdOpen, fdSave };

struct TFileDialogCall {
    TFileDialogKind kind;
    std::string title;       // CP932
    std::string filter;      // CP932
    std::string defaultExt;  // without the dot, may be empty
    std::string fileName;    // proposed name or path, may be empty
};

// The chosen path, or nothing when the user cancelled. A save dialog appends
// defaultExt to a name typed without extension.
std::optional<std::string> FileDialog(QWidget* owner, const TFileDialogCall& call);

// The filter in Qt's form, UTF-8: "画像ファイル (*.gif *.jpg *.jpeg)"; several
// description|patterns pairs are joined with ";;".
std::string QtFileFilter(const std::string& filter);

using TFileDialogHandler = std::function<std::optional<std::string>(const TFileDialogCall&)>;
void SetFileDialogHandler(TFileDialogHandler handler);

}  // namespace sarvenu
