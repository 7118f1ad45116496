// The delete dialog: which entries to delete (the selected rows, all rows, or the rows a
// mask matches). The caller reads FCancelled and FDeleteMode, and the mask from oeByExt.
#pragma once
#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TMainCore;

class TDelForm : public QDialog {
    Q_OBJECT
public:
    TDelForm(TMainCore& main, QWidget* parent = nullptr);

    // Delete with mode 1 (selected), 2 (all) or 3 (by mask); Cancel.
    static void Accept(TMainCore& main, int deleteMode);
    static void Cancel(TMainCore& main);

    QGroupBox* gbSel = nullptr;
    QRadioButton* rbSelFiles = nullptr;
    QRadioButton* rbAllFiles = nullptr;
    QRadioButton* rbByExt = nullptr;
    QLineEdit* oeByExt = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    void reject() override;

private:
    TMainCore& FMain;
};
