// The one place the program shows message boxes. Every message to the user
// goes through MessageBox; tests install a script that answers instead of a
// person and records what was shown. Texts and captions are code page 932.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace sarvenu {

enum TMsgIcon { miError, miWarning, miQuestion, miInformation };
enum TMsgButtons { mbOK, mbOKCancel, mbYesNo };
// Results with the Windows values.
enum TMsgResult { idOK = 1, idCancel = 2, idYes = 6, idNo = 7 };

struct TMessageBoxCall {
    std::string text;     // CP932
    std::string caption;  // CP932
    TMsgIcon icon;
    TMsgButtons buttons;
};

// Shows a modal box owned by owner (may be null) and returns the button
// pressed; Esc or closing the box gives idCancel (idOK for an OK box), also
// for a Yes/No question, which the caller then treats as neither answer.
int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, TMsgIcon icon,
               TMsgButtons buttons = mbOK);

// While installed, MessageBox calls the handler instead of showing a box.
// Passing an empty function restores the real boxes.
using TMessageBoxHandler = std::function<int(const TMessageBoxCall&)>;
void SetMessageBoxHandler(TMessageBoxHandler handler);

}  // namespace sarvenu
