// The dialogs' push button with the flat look: a quiet frame while idle, a raised one while
// the mouse is over it, the standard focused look while it has the focus.
#pragma once
#include <QPushButton>

#include "controls/FlatHover.h"

class TWin2KButton : public TFlatHover<QPushButton> {
    Q_OBJECT
public:
    explicit TWin2KButton(QWidget* parent = nullptr);
    TWin2KButton(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};
