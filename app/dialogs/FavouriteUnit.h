// The favourites window: a list of favourite zip files with their date and folder, the
// selected file's name and type, and its buttons. Only Cancel does something; the other
// buttons stay disabled rather than doing nothing when pressed.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

class TFavouriteZipForm : public QDialog {
    Q_OBJECT
public:
    explicit TFavouriteZipForm(QWidget* parent = nullptr);

    QTreeWidget* lvFavourites = nullptr;
    QLabel *lFileName = nullptr, *lFileType = nullptr;
    QPushButton *btnOpen = nullptr, *btnSearch = nullptr, *btnOptions = nullptr, *btnCancel = nullptr;
};
