// The about box: product, version and build date on the first page, and the credits
// scrolling by in a banner on the second. The banner runs only while its page is shown.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;
class TBanner;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // The credits the banner scrolls.
    static QStringList CreditLines();

    QTabWidget* pcAbout = nullptr;
    QWidget *tsAbout = nullptr, *tsCredits = nullptr;
    QLabel *lProduct = nullptr, *lVersionCaption = nullptr, *lVersion = nullptr;
    QLabel *lDateCaption = nullptr, *lDate = nullptr;
    TBanner* Banner = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void hideEvent(QHideEvent* e) override;

private:
    void PageChanged(int index);
};
