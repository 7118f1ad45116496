// The self-extractor options: the folder the program extracts to, a command to run after,
// its window caption, the overwrite mode and three options. The caller reads FSfxAccepted
// and then the controls.
#pragma once
#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TMainCore;

class TExeOpt : public QDialog {
    Q_OBJECT
public:
    TExeOpt(TMainCore& main, QWidget* parent = nullptr);

    // OK (true) or Cancel (false).
    static void Accept(TMainCore& main, bool ok);
    // The overwrite mode's row: 0 confirm, 1 overwrite, 2 don't overwrite.
    int OverwrMode() const;
    void SetOverwrMode(int row);

    QLabel* DefDirLabel = nullptr;
    QLineEdit* DefDirEdit = nullptr;
    QLabel* CmdLabel = nullptr;
    QLineEdit* CmdEdit = nullptr;
    QLabel* AppTitel = nullptr;
    QLineEdit* AppCaption = nullptr;
    QGroupBox* OverwrModeBox = nullptr; // the radio group "Overwritemode"
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* AskCmdLn = nullptr;
    QCheckBox* AskFile = nullptr;
    QCheckBox* HideBox = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    TMainCore& FMain;
    QButtonGroup* FOverwrGroup = nullptr;
};
