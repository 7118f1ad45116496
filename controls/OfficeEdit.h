// The dialogs' edit box with the flat look: a face-coloured frame while idle, a sunken one
// with a dark inner line while the mouse is over it or it has the focus.
#pragma once
#include <QLineEdit>

class TOfficeEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TOfficeEdit(QWidget* parent = nullptr);
    bool MouseInside() const { return FMouseInside; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    bool FMouseInside = false;
};
