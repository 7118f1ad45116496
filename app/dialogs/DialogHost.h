// What a dialog may reach of the window that opens it: the core it edits, the widget to
// parent itself on, and the password and spanning dialogs the window makes once and reuses.
// The main window is the one host; the dialogs never see its class.
#pragma once

class QWidget;
class TMainCore;
class TPWordForm;
class TUserSpanForm;

class TDialogHost {
public:
    virtual TMainCore& Core() = 0;
    virtual QWidget* Window() = 0;
    virtual TPWordForm* PWordForm() const = 0;
    virtual TUserSpanForm* UserSpanForm() const = 0;

protected:
    ~TDialogHost() = default;
};
