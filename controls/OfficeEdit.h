// The dialogs' edit box with the flat look: a face-coloured frame while idle, a sunken one
// with a dark inner line while the mouse is over it or it has the focus.
#pragma once
#include <QLineEdit>

#include "controls/FlatHover.h"

class TOfficeEdit : public TFlatHover<QLineEdit> {
    Q_OBJECT
public:
    explicit TOfficeEdit(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};
