// The dialogs' push button with the flat look: a quiet frame while idle, a raised one while
// the mouse is over it, the standard focused look while it has the focus.
#pragma once
#include <QPushButton>

class TWin2KButton : public QPushButton {
    Q_OBJECT
public:
    explicit TWin2KButton(QWidget* parent = nullptr);
    TWin2KButton(const QString& text, QWidget* parent = nullptr);
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
