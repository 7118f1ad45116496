// The spanning dialog, made once and reused: the volume size of a spanned zip archive, for
// the add dialog (WriteSpanMode 0, which reads Cancelled afterwards) or to re-write the open
// zip archive as a spanned set at once (WriteSpanMode 1). What each control does lives in
// TUserSpanState, which needs no widget.
#pragma once
#include <QDialog>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TMainCore;

class TUserSpanState {
public:
    enum TSize { sz720 = 0, sz1440 = 1, szUser = 2 };
    static constexpr const char* kNotInteger = "Not an integer value, try again";

    int WriteSpanMode = 0; // set by the caller
    int Cancelled = 1;
    // What the widgets show.
    TSize Checked = sz1440;
    bool UserSizeEnabled = false;
    std::string UserSize = "500";

    void FormShow(const TMainCore& main);
    // A radio button was chosen.
    void Choose(TSize size);
    // OK; true when the dialog closes. In write-span mode with a zip archive the archive is
    // re-written here.
    bool OkClick(TMainCore& main);
    void CancelClick() { Cancelled = 1; }
};

class TUserSpanForm : public QDialog {
    Q_OBJECT
public:
    TUserSpanForm(TMainCore& main, QWidget* parent = nullptr);
    // Shows the dialog modally; `writeSpanMode` 1 re-writes the open archive on OK.
    void ShowModal(int writeSpanMode);
    TUserSpanState& State() { return FState; }

    QGroupBox* gbSize = nullptr;
    QRadioButton* rb720Kb = nullptr;
    QRadioButton* rb1440Kb = nullptr;
    QRadioButton* rbUserSize = nullptr;
    QLineEdit* oeUserSize = nullptr;
    QLabel* lbKb = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void reject() override;

private:
    void Sync();
    void OkBtnClick();
    TMainCore& FMain;
    TUserSpanState FState;
};
