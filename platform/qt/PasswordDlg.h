// TPasswordDlg: the zip front-end's small password window, built in code: a label with the
// prompt, a masked edit of at most 80 characters, OK and Cancel, centred on the screen.
#pragma once
#include <QDialog>

#include "platform/ui_hooks.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordDlg(const platform::PasswordQuestion& question, QWidget* parent = nullptr);
    QLabel* Label = nullptr;
    QLineEdit* Edit = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    bool Accepted = false; // set by OK

    // Shows the window modally: the edit's text when OK was pressed, else empty.
    static bool Run(const platform::PasswordQuestion& question, std::string& value);
};
