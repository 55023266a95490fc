// The program's application object: its general error handler shows an
// error that no handler caught in a message box owned by the main window,
// and the program keeps running.
#pragma once

#include <QApplication>

namespace sarvenu {

class TfrmMain;

class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);
    void SetMainForm(TfrmMain* form) { mainForm_ = form; }
    bool notify(QObject* receiver, QEvent* event) override;
    // Shows the error box of an uncaught error.
    void HandleException(const std::exception& error);

  private:
    TfrmMain* mainForm_ = nullptr;
};

}  // namespace sarvenu
