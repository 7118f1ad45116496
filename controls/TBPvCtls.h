// The docking toolbar library's flat edit box: no frame of its own, a three-pixel border
// painted in the idle or the sunken look, and the list of flat edit classes whose focus keeps
// the other flat edits idle under the mouse.
#pragma once
#include <QLineEdit>
#include <QMetaObject>
#include <vector>

#include "controls/TBPv.h"

// Classes whose instances, when they hold the focus, keep every flat edit under the mouse idle.
void AddFlatEditClass(const QMetaObject* cls);
void RemoveFlatEditClass(const QMetaObject* cls);
const std::vector<const QMetaObject*>& FlatEditClasses();
bool IsFlatEditClassInstance(const QObject* o);

class TEditPv : public QLineEdit {
    Q_OBJECT
public:
    explicit TEditPv(QWidget* parent = nullptr);
    ~TEditPv() override;
    bool MouseInside() const { return FMouseInside; }
    QString Version() const { return kToolbarPvVersion; }
    void SetVersion(const QString&) {}
    // Height from the font: its text height plus 6; run at load and after each font change.
    void Loaded();

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void AdjustHeight();
    bool FMouseInside = false;
};
