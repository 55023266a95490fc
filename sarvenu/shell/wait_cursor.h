// The hourglass cursor for the length of a scope: long work (preview, batch
// printing, export, import) shows it and restores the normal cursor however
// the scope is left, an error included.
#pragma once

#include <QApplication>
#include <QCursor>

namespace sarvenu {

class TWaitCursor {
  public:
    TWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace sarvenu
