// One QApplication for the whole test executable, created on first use with
// the offscreen platform unless another is set.
#pragma once

#include <QApplication>
#include <QInputDevice>
#include <cstdlib>

namespace window_test {

inline QApplication& EnsureQtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "sarvenu_tests";
    static char* argv[] = {name, nullptr};
    // Qt's list of input devices must outlive the static application, or a
    // test that sent key events crashes at exit: create it first.
    QInputDevice::devices();
    static QApplication app(argc, argv);
    return app;
}

}  // namespace window_test
