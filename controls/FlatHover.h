// What the flat controls share about hot tracking: whether the mouse is over the control,
// and a repaint whenever that or the focus changes, since their painted frame shows both.
#pragma once
#include <QEnterEvent>
#include <QFocusEvent>

template <class TBase> class TFlatHover : public TBase {
public:
    using TBase::TBase;
    bool MouseInside() const { return FMouseInside; }

protected:
    void enterEvent(QEnterEvent* e) override {
        FMouseInside = true;
        TBase::enterEvent(e);
        this->update();
    }
    void leaveEvent(QEvent* e) override {
        FMouseInside = false;
        TBase::leaveEvent(e);
        this->update();
    }
    void focusInEvent(QFocusEvent* e) override {
        TBase::focusInEvent(e);
        this->update();
    }
    void focusOutEvent(QFocusEvent* e) override {
        TBase::focusOutEvent(e);
        this->update();
    }

private:
    bool FMouseInside = false;
};
