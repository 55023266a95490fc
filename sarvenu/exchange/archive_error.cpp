// Raising the archive layer's errors.
#include "exchange/archive_error.h"

#include "platform/codepage.h"

namespace sarvenu {

void RaiseArchiverError(std::string_view utf8Message) {
    throw EArchiver(platform::Utf8ToCp932(utf8Message));
}

void RaiseMissingEntry(const std::string& moduleName, const std::string& entryName) {
    throw EArchiver(moduleName + platform::Utf8ToCp932(" に ") + entryName +
                    platform::Utf8ToCp932(" のエントリが見つかりません。"));
}

}  // namespace sarvenu
