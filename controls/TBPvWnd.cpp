// Tool windows: docking and floating, the frames they paint in their margins, hit testing,
// and the drag, resize and close loops. A loop is a state of the pressed window: it grabs the
// mouse and the keyboard, follows the events it receives and ends on release, Esc, another
// press or a lost grab.
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "controls/TBPv.h"

// ================================================================ plain geometry

int ResizeEdgeOfHit(int hit) {
    switch (hit) {
    case HTLEFT:
        return reLeft;
    case HTRIGHT:
        return reRight;
    case HTTOP:
        return reTop;
    case HTTOPLEFT:
        return reTopLeft;
    case HTTOPRIGHT:
        return reTopRight;
    case HTBOTTOM:
        return reBottom;
    case HTBOTTOMLEFT:
        return reBottomLeft;
    case HTBOTTOMRIGHT:
        return reBottomRight;
    default:
        return -1;
    }
}

int DockedGripSize(TDragHandleStyle style, bool closeButtonWhenDocked) {
    if (closeButtonWhenDocked) return 14;
    switch (style) {
    case dhDouble:
        return 9;
    case dhSingle:
        return 6;
    case dhNone:
        break;
    }
    return 0;
}

QMargins DockedNonClient(TDockOrientation orientation, bool allowDrag, TDragHandleStyle style,
                         bool closeButtonWhenDocked) {
    QMargins m(2, 2, 2, 2);
    if (allowDrag) {
        const int g = DockedGripSize(style, closeButtonWhenDocked);
        if (orientation == doVert)
            m.setTop(m.top() + g);
        else
            m.setLeft(m.left() + g);
    }
    return m;
}

QMargins FloatingNonClient(bool sizable, bool showCaption, int captionHeight) {
    const int f = sizable ? kSizeFrame : kFixedFrame;
    return QMargins(f, f + (showCaption ? captionHeight : 0), f, f);
}

namespace {
int frameOf(const TFloatingFrame& f) {
    return f.Sizable ? kSizeFrame : kFixedFrame;
}
QRect clientOf(const TFloatingFrame& f) {
    const QMargins m = FloatingNonClient(f.Sizable, f.ShowCaption, f.CaptionHeight);
    return QRect(QPoint(0, 0), f.Window).marginsRemoved(m);
}
} // namespace

QRect FloatingCaptionRect(const TFloatingFrame& f) {
    const int fw = frameOf(f);
    const int cw = std::max(0, clientOf(f).width());
    QRect r(fw, fw, cw, std::max(0, f.CaptionHeight - 1));
    if (f.CloseButton) r.setWidth(std::max(0, r.width() - (f.CaptionHeight - 1)));
    return r;
}

QRect FloatingCloseRect(const TFloatingFrame& f) {
    if (!f.CloseButton) return QRect();
    const QRect c = FloatingCaptionRect(f);
    return QRect(c.left() + c.width(), c.top(), f.CaptionHeight - 1, c.height());
}

QRect DockedCloseRect(TDockOrientation orientation, int clientWidth) {
    const int size = DockedGripSize(dhDouble, true) - 3;
    if (orientation == doVert) return QRect(clientWidth - size + 2, 3, size, size);
    return QRect(3, 2, size, size);
}

int FloatingHitTest(const TFloatingFrame& f, QPoint p) {
    const QRect all(QPoint(0, 0), f.Window);
    if (!all.contains(p)) return HTNOWHERE;
    if (clientOf(f).contains(p)) return HTCLIENT;
    if (f.ShowCaption) {
        const QRect caption = FloatingCaptionRect(f), close = FloatingCloseRect(f);
        if (close.contains(p)) return HTCLOSE;
        if (caption.contains(p) ||
            QRect(caption.left(), caption.top(), caption.width() + close.width(), caption.height() + 1)
                .contains(p))
            return HTCLIENT;
    }
    if (!f.Sizable) return HTNOWHERE;
    const int fw = frameOf(f);
    const int w = f.Window.width(), h = f.Window.height();
    const bool left = p.x() < fw, top = p.y() < fw;
    const bool right = p.x() >= w - fw - 1, bottom = p.y() >= h - fw - 1;
    if (f.ResizeFromCorners) {
        const int c = f.CaptionHeight + fw - 1;
        const bool nearLeft = p.x() < c, nearRight = p.x() >= w - c;
        const bool nearTop = p.y() < c, nearBottom = p.y() >= h - c;
        if (top || bottom || left || right) {
            if ((top && nearLeft) || (left && nearTop)) return HTTOPLEFT;
            if ((top && nearRight) || (right && nearTop)) return HTTOPRIGHT;
            if ((bottom && nearLeft) || (left && nearBottom)) return HTBOTTOMLEFT;
            if ((bottom && nearRight) || (right && nearBottom)) return HTBOTTOMRIGHT;
        }
        if (top) return HTTOP;
        if (bottom) return HTBOTTOM;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
        return HTNOWHERE;
    }
    if (top) return HTTOP;
    if (bottom) return HTBOTTOM;
    if (left) return HTLEFT;
    if (right) return HTRIGHT;
    return HTNOWHERE;
}

QString EllipsizedCaption(const QString& text, int width, const std::function<int(const QString&)>& measure) {
    if (measure(text) <= width) return text;
    QString base = text;
    QString s = base + "...";
    while (base.size() > 1 && measure(s) > width && s.size() > 4) {
        base.chop(1);
        s = base + "...";
    }
    return s;
}

QRect PulledBackRect(const QRect& r, const QRect& work, bool always) {
    if (!always && r.intersects(work)) return r;
    QRect n = r;
    if (n.right() > work.right()) n.moveRight(work.right());
    if (n.bottom() > work.bottom()) n.moveBottom(work.bottom());
    if (n.left() < work.left()) n.moveLeft(work.left());
    if (n.top() < work.top()) n.moveTop(work.top());
    return n;
}

QRect ClampFloatingDragRect(const QRect& r, const QRect& work, int frame, int topNonClient) {
    const int d = frame + 4;
    const QRect w = work.adjusted(d, d, -d, -d);
    QRect n = r;
    if (n.bottom() < w.top()) n.moveBottom(w.top());
    if (n.top() > w.bottom()) n.moveTop(w.bottom());
    if (n.right() < w.left()) n.moveRight(w.left());
    if (n.left() > w.right()) n.moveLeft(w.right());
    const int highest = work.top() - (topNonClient - 4);
    if (n.top() < highest) n.moveTop(highest);
    return n;
}

namespace {
// a * b / c rounded, as the window system's MulDiv; a zero divisor gives 0.
int mulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    const int64_t p = int64_t(a) * b;
    const int64_t q = (std::abs(p) + std::abs(int64_t(c)) / 2) / std::abs(int64_t(c));
    return int(((p < 0) != (c < 0)) ? -q : q);
}
} // namespace

QRect ScaledDragRect(QPoint cursor, QPoint grab, QSize startSize, QSize size) {
    const int left = cursor.x() - mulDiv(size.width() - 1, grab.x(), startSize.width() - 1);
    const int top = cursor.y() - mulDiv(size.height() - 1, grab.y(), startSize.height() - 1);
    return QRect(QPoint(left, top), size);
}

bool CursorOverDock(QPoint cursor, QRect dock, bool vertical, QPoint grab, QSize startSize,
                    const QRect& barRect) {
    QRect r = dock;
    if (vertical && r.width() <= 0) r = QRect(r.left() - 1, r.top(), 2, r.height());
    if (!vertical && r.height() <= 0) r = QRect(r.left(), r.top() - 1, r.width(), 2);
    // Exclusive right and bottom, as the window system counts them.
    const int rr = r.left() + r.width(), rb = r.top() + r.height();
    const int gx = mulDiv(32, grab.x(), startSize.width() - 1);
    const int gy = mulDiv(20, grab.y(), startSize.height() - 1);
    const int x = cursor.x(), y = cursor.y();
    if (x < r.left() + gx - 32 || x > rr - 1 + gx) return false;
    if (vertical && (y < r.top() || y >= rb)) return false;
    if (y < r.top() + gy - 20 || y > rb - 1 + gy) return false;
    return r.intersects(barRect);
}

// ================================================================ the outline

// The frame a loop shows while it tracks: an input-transparent top-level window masked to the
// frame band, painted with a half-tone brush.
class TDragOutline : public QWidget {
public:
    TDragOutline()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName("TBPvDragOutline");
    }
    void SetFrame(const QRect& r, int thickness) {
        FRect = r;
        FThickness = thickness;
        if (r.isEmpty()) {
            hide();
            return;
        }
        setGeometry(r);
        const QRegion all(0, 0, r.width(), r.height());
        setMask(all.subtracted(
            QRegion(thickness, thickness, r.width() - 2 * thickness, r.height() - 2 * thickness)));
        show();
        update();
    }
    QRect FRect;
    int FThickness = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
    }
};

// ================================================================ the floating parent

namespace {
int gFloatingSerial = 0;
std::vector<TCustomToolWindowPv*>& floatingList() {
    static std::vector<TCustomToolWindowPv*> list;
    return list;
}
} // namespace

TFloatingWindowParent::TFloatingWindowParent(QWidget* parentForm, bool onTopOfAll)
    : QWidget(parentForm, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                              (onTopOfAll ? Qt::WindowStaysOnTopHint : Qt::WindowFlags())),
      FParentForm(parentForm) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QString::asprintf("TBPvFloatingWindowParent_%.8x", unsigned(++gFloatingSerial)));
}

void TFloatingWindowParent::SetOnTopOfAll(bool on) {
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on) return;
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

void TFloatingWindowParent::ShowingChanged() {
    const bool show = ShouldShow;
    if (show != isVisible()) setVisible(show);
}

void TFloatingWindowParent::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier && FParentForm) {
        FParentForm->activateWindow();
        FParentForm->setFocus();
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

// The window system's close goes to the form.
void TFloatingWindowParent::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (FParentForm) FParentForm->close();
}

// ================================================================ tool window

TCustomToolWindowPv::TCustomToolWindowPv(QWidget* parent) : QWidget(parent) {
    if (auto* dock = qobject_cast<TDockPv*>(parent)) {
        dock->AddRemoveBar(this, true);
        FDocked = true;
        FLastOrientation = dock->Orientation();
        FLastOrientationKnown = true;
    }
    RegisterHookCallback(&HookProc, (1u << hkActivateAppSent) | (1u << hkWindowPosChangedSent) |
                                        (1u << hkBeforeDestroy));
    setContentsMargins(NonClient());
}

TCustomToolWindowPv::~TCustomToolWindowPv() {
    if (FLoop != lpNone) {
        if (QWidget::mouseGrabber() == this) releaseMouse();
        if (QWidget::keyboardGrabber() == this) releaseKeyboard();
    }
    delete FOutline;
    FOutline = nullptr;
    auto& list = floatingList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (FDock) FDock->AddRemoveBar(this, false);
    if (TDockPv* last = LastDock(); last && last != FDock) last->AddRemoveBar(this, false);
    if (FloatingParent() && FloatingParent() != parentWidget()) FloatingParent()->deleteLater();
    UnregisterHookCallback(&HookProc);
}

const std::vector<TCustomToolWindowPv*>& TCustomToolWindowPv::FloatingList() {
    return floatingList();
}

void TCustomToolWindowPv::HookProc(THookProcCode code, QObject* window, QEvent*, int) {
    const std::vector<TCustomToolWindowPv*> list = floatingList();
    for (TCustomToolWindowPv* w : list) {
        switch (code) {
        case hkActivateAppSent:
            w->UpdateVisibility();
            break;
        case hkWindowPosChangedSent: {
            if (w->FFloatingMode != fmOnTopOfParentForm || !w->FloatingParent()) break;
            QWidget* form = w->FloatingParent()->ParentForm();
            if (form && window == form) w->UpdateVisibility();
            break;
        }
        default:
            break;
        }
    }
}

TDockPv* TCustomToolWindowPv::DockedTo() const {
    return qobject_cast<TDockPv*>(parentWidget());
}

void TCustomToolWindowPv::SetDockedTo(TDockPv* dock) {
    if (dock)
        SetParent(dock);
    else
        SetParent(RequireOwningForm(this));
}

void TCustomToolWindowPv::Relayout() {
    if (TDockPv* d = DockedTo()) d->LayOutBars(false);
}

void TCustomToolWindowPv::SetDockRow(int row) {
    FDockRow = row;
    if (!BeingPositioned) Relayout();
}

void TCustomToolWindowPv::SetDockPos(int pos) {
    FDockPos = pos;
    if (!BeingPositioned) Relayout();
}

void TCustomToolWindowPv::SetFullSize(bool on) {
    if (FFullSize == on) return;
    FFullSize = on;
    RelayoutControls();
    Relayout();
}

void TCustomToolWindowPv::SetLastDock(TDockPv* dock) {
    if (FUseLastDock && FDocked) dock = DockedTo();
    if (LastDock() == dock) return;
    TDockPv* old = LastDock();
    if (old && old != parentWidget()) old->AddRemoveBar(this, false);
    FLastDock = static_cast<QWidget*>(dock);
    if (dock) {
        FUseLastDock = true;
        dock->AddRemoveBar(this, true);
    }
}

void TCustomToolWindowPv::SetUseLastDock(bool on) {
    if (FUseLastDock == on) return;
    FUseLastDock = on;
    SetLastDock(on ? DockedTo() : nullptr);
}

void TCustomToolWindowPv::SetFloatingMode(TToolWindowFloatingMode mode) {
    if (FFloatingMode == mode) return;
    FFloatingMode = mode;
    if (FloatingParent()) ShowingChanged();
}

void TCustomToolWindowPv::SetHideWhenInactive(bool on) {
    FHideWhenInactive = on;
    UpdateVisibility();
}

void TCustomToolWindowPv::SetBorderStyle(TBorderStyle style) {
    FBorderStyle = style;
    if (FDocked) RecalcNonClient();
}

void TCustomToolWindowPv::SetDragHandleStyle(TDragHandleStyle style) {
    FDragHandleStyle = style;
    if (FDocked) RecalcNonClient();
}

void TCustomToolWindowPv::SetCloseButtonWhenDocked(bool on) {
    FCloseButtonWhenDocked = on;
    if (FDocked) RecalcNonClient();
}

void TCustomToolWindowPv::SetCloseButton(bool on) {
    FCloseButton = on;
    update();
}

void TCustomToolWindowPv::SetShowCaption(bool on) {
    FShowCaption = on;
    if (!FDocked) RecalcNonClient();
}

void TCustomToolWindowPv::SetCaption(const QString& caption) {
    FCaption = caption;
    setWindowTitle(caption);
    update();
}

void TCustomToolWindowPv::SetColor(TColor color) {
    FColor = color;
    update();
}

void TCustomToolWindowPv::SetFloatingPosition(QPoint p) {
    FFloatingTopLeft = p;
    if (FloatingParent() && parentWidget() == FloatingParent()) SetBounds(QRect(p, size()));
}

// ---------------------------------------------------------------- non-client

QMargins TCustomToolWindowPv::DockedNonClientFor(TDockOrientation orientation) const {
    TDockPv* d = DockedTo();
    const bool allowDrag = d ? d->AllowDrag() : true;
    return DockedNonClient(orientation, allowDrag, FDragHandleStyle, FCloseButtonWhenDocked);
}

QMargins TCustomToolWindowPv::FloatingNonClientNow() const {
    return FloatingNonClient(FSizable, FShowCaption, ToolCaptionHeight());
}

QMargins TCustomToolWindowPv::NonClient() const {
    if (TDockPv* d = DockedTo()) return DockedNonClientFor(d->Orientation());
    if (FloatingParent() && parentWidget() == FloatingParent()) return FloatingNonClientNow();
    return QMargins();
}

void TCustomToolWindowPv::RecalcNonClient() {
    const QMargins m = NonClient();
    if (m != contentsMargins()) {
        setContentsMargins(m);
        RelayoutControls();
    }
    update();
}

QRect TCustomToolWindowPv::CloseBoxRect() const {
    if (TDockPv* d = DockedTo()) {
        if (!FCloseButtonWhenDocked || !d->AllowDrag()) return QRect();
        return DockedCloseRect(d->Orientation(), contentsRect().width());
    }
    if (!FloatingParent()) return QRect();
    TFloatingFrame f;
    f.Window = size();
    f.Sizable = FSizable;
    f.ShowCaption = FShowCaption;
    f.CloseButton = FCloseButton;
    f.CaptionHeight = ToolCaptionHeight();
    return FShowCaption ? FloatingCloseRect(f) : QRect();
}

int TCustomToolWindowPv::HitTest(QPoint p) const {
    if (TDockPv* d = DockedTo()) {
        if (FCloseButtonWhenDocked && d->AllowDrag() && CloseBoxRect().contains(p)) return HTCLOSE;
        return HTCLIENT;
    }
    if (!FloatingParent() || parentWidget() != FloatingParent()) return HTCLIENT;
    TFloatingFrame f;
    f.Window = size();
    f.Sizable = FSizable;
    f.ShowCaption = FShowCaption;
    f.CloseButton = FCloseButton;
    f.ResizeFromCorners = GetBehavior().ResizeFromCorners;
    f.CaptionHeight = ToolCaptionHeight();
    return FloatingHitTest(f, p);
}

// ---------------------------------------------------------------- layout of the controls

QSize TCustomToolWindowPv::OrderAndSizeControls(bool, TDockOrientation, TDockPv*) {
    return contentsRect().size();
}

void TCustomToolWindowPv::UnlockControlLayout() {
    if (FDisableArrange <= 0) return;
    if (--FDisableArrange == 0 && FArrangePending) RelayoutControls();
}

void TCustomToolWindowPv::RelayoutControls() {
    if (FDisableArrange > 0 || !parentWidget()) {
        FArrangePending = true;
        return;
    }
    ++FDisableArrange;
    TDockPv* dock = DockedTo();
    const TDockOrientation o = dock ? dock->Orientation() : doNoOrient;
    QSize sz = OrderAndSizeControls(true, o, dock);
    const QMargins m = NonClient();
    if (dock) {
        const int rs = dock->GetRowSize(FDockRow, this);
        if (o == doVert)
            sz.setWidth(std::max(sz.width(), rs));
        else
            sz.setHeight(std::max(sz.height(), rs));
        if (FFullSize) {
            const QRect c = dock->contentsRect();
            if (o == doVert)
                sz.setHeight(std::max(0, c.height() - m.top() - m.bottom()));
            else
                sz.setWidth(std::max(0, c.width() - m.left() - m.right()));
        }
    }
    sz = sz.grownBy(m);
    if (sz != size()) {
        ++FUpdatingBounds;
        const QRect b = BoundsRect();
        SetBounds(QRect(b.topLeft(), sz));
        --FUpdatingBounds;
    }
    --FDisableArrange;
    FArrangePending = false;
}

QRect TCustomToolWindowPv::BoundsRect() const {
    if (FloatingParent() && parentWidget() == FloatingParent()) return FloatingParent()->geometry();
    return geometry();
}

void TCustomToolWindowPv::SetBounds(const QRect& r) {
    const QSize old = size();
    if (FloatingParent() && parentWidget() == FloatingParent()) {
        FloatingParent()->setGeometry(r);
        setGeometry(0, 0, r.width(), r.height());
        if (!FUpdatingBounds || r.topLeft() == FloatingParent()->pos()) FFloatingTopLeft = r.topLeft();
    } else {
        setGeometry(r);
    }
    if (old != r.size() && !FUpdatingBounds) SizeChanged(r.width(), r.height());
}

void TCustomToolWindowPv::AddDockForm(QWidget* form) {
    for (auto& f : FDockForms)
        if (f == form) return;
    FDockForms.emplace_back(form);
}

void TCustomToolWindowPv::RemoveDockForm(QWidget* form) {
    FDockForms.erase(std::remove_if(FDockForms.begin(), FDockForms.end(),
                                    [&](const QPointer<QWidget>& f) { return !f || f == form; }),
                     FDockForms.end());
}

void TCustomToolWindowPv::Loaded() {
    if (FloatingParent() && parentWidget() == FloatingParent()) MoveOnScreen(false);
    AfterLoaded();
    RelayoutControls();
}

// ---------------------------------------------------------------- change of parent

void TCustomToolWindowPv::DockChangingHidden(TDockPv* dock) {
    if (OnDockChangingHidden) OnDockChangingHidden(this, dock);
}

void TCustomToolWindowPv::Moved() {
    if (OnMove) OnMove(this);
}

void TCustomToolWindowPv::ArrangeFor(TDockOrientation o, TDockPv* dock, bool resize) {
    if (resize) {
        RelayoutControls();
        return;
    }
    ++FDisableArrange;
    OrderAndSizeControls(true, o, dock);
    --FDisableArrange;
}

void TCustomToolWindowPv::SetParent(QWidget* target) {
    auto* targetDock = qobject_cast<TDockPv*>(target);
    if (target && !targetDock && !target->isWindow())
        throw EInvalidOperation("A tool window can only be placed on a TDockPv or directly on the form");
    QWidget* real = target;
    TFloatingWindowParent* newFloat = nullptr;
    if (target && !targetDock) {
        newFloat = qobject_cast<TFloatingWindowParent*>(target);
        if (!newFloat) {
            if (FloatingParent() && FloatingParent()->ParentForm() == target)
                newFloat = FloatingParent();
            else
                newFloat = new TFloatingWindowParent(target, FFloatingMode == fmOnTopOfAllForms);
        }
        real = newFloat;
    }
    if (real == parentWidget()) {
        FDocked = targetDock != nullptr;
        UpdateFloatingList();
        return;
    }
    if (target) {
        if (OnDockChanging) OnDockChanging(this);
        if (OnDockChangingEx) OnDockChangingEx(this, targetDock);
        if (OnRecreating) OnRecreating(this);
    }
    ++FHidden;
    ++FDisableOnMove;
    UpdateVisibility();
    QPointer<TDockPv> oldDock = DockedTo();
    if (oldDock) oldDock->DisableLayout();
    if (targetDock) targetDock->DisableLayout();
    ++FUpdatingBounds;
    if (target) {
        DockChangingHidden(targetDock);
        if (FLastOrientationKnown)
            ArrangeFor(targetDock ? targetDock->Orientation() : doNoOrient, targetDock, false);
    }

    ++FDisableArrange;
    FInSetParent = true;
    if (oldDock) {
        if (!FUseLastDock) oldDock->AddRemoveBar(this, false);
        oldDock->UpdateBarVisibility(this, true);
    }
    auto* oldFloat = qobject_cast<TFloatingWindowParent*>(parentWidget());
    const bool wasShown = IsVisibleProp(this);
    FDocked = targetDock != nullptr;
    setParent(real);
    if (real && wasShown) show();
    if (oldFloat && oldFloat != real) {
        if (oldFloat == FFloatParent) FFloatParent = nullptr;
        oldFloat->hide();
        oldFloat->deleteLater();
    }
    if (newFloat) FFloatParent = newFloat;
    if (targetDock) {
        if (FUseLastDock) {
            SetLastDock(targetDock);
            if (FDock != targetDock) targetDock->AddRemoveBar(this, true);
            targetDock->UpdateBarVisibility(this, false);
        } else {
            targetDock->AddRemoveBar(this, true);
        }
    }
    FLastOrientation = targetDock ? targetDock->Orientation() : doNoOrient;
    FLastOrientationKnown = true;
    setContentsMargins(NonClient());
    FInSetParent = false;

    --FDisableArrange;
    FArrangePending = false;
    UpdateFloatingList();
    RelayoutControls();
    --FUpdatingBounds;
    if (targetDock) targetDock->EnableLayout();
    if (oldDock) oldDock->EnableLayout();

    --FDisableOnMove;
    --FHidden;
    UpdateVisibility();
    if (parentWidget()) Moved();
    if (target) {
        if (OnRecreated) OnRecreated(this);
        if (OnDockChanged) OnDockChanged(this);
    }
}

void TCustomToolWindowPv::UpdateFloatingList() {
    auto& list = floatingList();
    const bool floating = FloatingParent() && parentWidget() == FloatingParent();
    auto it = std::find(list.begin(), list.end(), this);
    if (floating) {
        if (it == list.end()) list.push_back(this);
        ++FUpdatingBounds;
        SetBounds(QRect(FFloatingTopLeft, size()));
        --FUpdatingBounds;
    } else if (it != list.end()) {
        list.erase(it);
    }
}

// ---------------------------------------------------------------- visibility

bool TCustomToolWindowPv::ShouldBeVisible() const {
    if (!IsVisibleProp(this) || FHidden) return false;
    if (!FloatingParent() || parentWidget() != FloatingParent()) return true;
    if (FFloatingMode == fmOnTopOfParentForm) {
        QWidget* form = FloatingParent()->ParentForm();
        if (!form || !form->isVisible() || form->isMinimized()) return false;
    }
    if (FHideWhenInactive && QGuiApplication::applicationState() != Qt::ApplicationActive) return false;
    return true;
}

void TCustomToolWindowPv::UpdateVisibility() {
    const bool floating = FloatingParent() && parentWidget() == FloatingParent();
    const bool inactive =
        floating && !FHideWhenInactive && QGuiApplication::applicationState() != Qt::ApplicationActive;
    if (inactive != FInactiveCaption) {
        FInactiveCaption = inactive;
        update();
    }
    if (floating && FloatingParent()->isVisible() != ShouldBeVisible()) ShowingChanged();
}

void TCustomToolWindowPv::ShowingChanged() {
    if (!FloatingParent()) return;
    const bool show = ShouldBeVisible();
    FloatingParent()->SetOnTopOfAll(FFloatingMode == fmOnTopOfAllForms);
    FloatingParent()->ShouldShow = show;
    FloatingParent()->ShowingChanged();
    if (!show && FloatingParent()->isActiveWindow())
        if (QWidget* w = FindTopLevelWindowExcept(FloatingParent())) w->activateWindow();
}

void TCustomToolWindowPv::MoveOnScreen(bool onlyIfFullyOffscreen) {
    if (!FloatingParent() || parentWidget() != FloatingParent()) return;
    const QRect r = BoundsRect();
    const QRect n = PulledBackRect(r, GetWorkAreaOfRect(r), !onlyIfFullyOffscreen);
    if (n != r) SetBounds(n);
}

// ---------------------------------------------------------------- events and painting

bool TCustomToolWindowPv::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::ParentChange: {
        if (FInSetParent) break;
        TDockPv* now = DockedTo();
        if (FDock && FDock != now) FDock->AddRemoveBar(this, false);
        if (now && FDock != now) now->AddRemoveBar(this, true);
        FDocked = now != nullptr;
        if (now) {
            FLastOrientation = now->Orientation();
            FLastOrientationKnown = true;
        }
        setContentsMargins(NonClient());
        break;
    }
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
        if (TDockPv* d = DockedTo()) d->UpdateBarVisibility(this, false);
        if (FloatingParent() && parentWidget() == FloatingParent()) UpdateVisibility();
        if (OnVisibleChanged && !FInSetParent) OnVisibleChanged(this);
        break;
    case QEvent::Hide:
        if (FLoop != lpNone && !FInSetParent) EndLoop(false);
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void TCustomToolWindowPv::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (OnResize) OnResize(this);
}

void TCustomToolWindowPv::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (!FDisableOnMove && DockedTo() && !DockedTo()->Background().isNull()) update();
}

namespace {
// A raised one-pixel edge: highlight top and left, shadow bottom and right.
void raisedInner(QPainter& p, const QRect& r, const QPalette& pal) {
    const QColor hi = pal.color(QPalette::Light), sh = pal.color(QPalette::Dark);
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), hi);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), hi);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), sh);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), sh);
}

// The caption's close box: a small raised button with a cross, sunken while pressed.
void drawCloseBox(QPainter& p, const QRect& r, const QPalette& pal, bool pressed) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.fillRect(r, pal.color(QPalette::Button));
    const QColor hi = pal.color(QPalette::Light), sh = pal.color(QPalette::Dark),
                 dk = pal.color(QPalette::Shadow);
    const QColor tl = pressed ? dk : hi, br = pressed ? hi : dk;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), tl);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), tl);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
    if (!pressed) {
        p.fillRect(QRect(r.left() + 1, r.bottom() - 1, r.width() - 2, 1), sh);
        p.fillRect(QRect(r.right() - 1, r.top() + 1, 1, r.height() - 2), sh);
    }
    const int o = pressed ? 1 : 0;
    const QRect c = r.adjusted(3 + o, 3 + o, -4 + o, -4 + o);
    p.save();
    p.setPen(QPen(pal.color(QPalette::ButtonText), 1));
    p.drawLine(c.topLeft(), c.bottomRight());
    p.drawLine(c.topLeft() + QPoint(1, 0), c.bottomRight() + QPoint(0, -1));
    p.drawLine(c.bottomLeft(), c.topRight());
    p.drawLine(c.bottomLeft() + QPoint(1, 0), c.topRight() + QPoint(0, 1));
    p.restore();
}
} // namespace

void TCustomToolWindowPv::PaintNonClient(QPainter& p) {
    const QPalette& pal = palette();
    const QColor color = ColorToQColor(FColor, pal);
    const QRect all = rect();
    const QRect client = contentsRect();
    if (TDockPv* d = DockedTo()) {
        const bool tiled = !d->Background().isNull() && d->BackgroundOnToolbars();
        if (tiled) {
            p.save();
            p.setClipRegion(QRegion(all).subtracted(QRegion(client)));
            d->DrawBackground(p, all, this);
            p.restore();
        } else {
            p.fillRect(all, color);
        }
        if (FBorderStyle == bsSingle)
            raisedInner(p, all, pal);
        else
            FrameRect(p, all, color);
        if (!d->AllowDrag()) return;
        const bool vert = d->Orientation() == doVert;
        const int grip = DockedGripSize(FDragHandleStyle, FCloseButtonWhenDocked);
        int count = FDragHandleStyle == dhDouble ? 2 : FDragHandleStyle == dhSingle ? 1 : 0;
        int e = FDragHandleStyle == dhDouble ? 2 : 1;
        if (FCloseButtonWhenDocked) e = FDragHandleStyle == dhDouble ? 3 : 5;
        const int cw = client.width(), ch = client.height();
        for (int i = 0; i < count; ++i) {
            const int at = e + 2 + i * 3;
            QRect bar;
            if (!vert) {
                const int y0 = FCloseButtonWhenDocked ? grip : 2;
                bar = QRect(at, y0, 3, ch + 2 - y0);
            } else {
                const int x1 = FCloseButtonWhenDocked ? cw - grip + 4 : cw + 2;
                bar = QRect(2, at, x1 - 2, 3);
            }
            if (bar.width() <= 0 || bar.height() <= 0) continue;
            p.fillRect(bar, pal.color(QPalette::Button));
            raisedInner(p, bar, pal);
            // One highlight pixel at the far end.
            p.fillRect(vert ? QRect(bar.right(), bar.top(), 1, 1) : QRect(bar.left(), bar.bottom(), 1, 1),
                       pal.color(QPalette::Light));
        }
        if (FCloseButtonWhenDocked) drawCloseBox(p, CloseBoxRect(), pal, FClosePressed);
        return;
    }
    if (!FloatingParent() || parentWidget() != FloatingParent()) {
        p.fillRect(all, color);
        return;
    }
    // Floating: a raised edge, the band in the face colour, the caption and its close box.
    const QColor face = pal.color(QPalette::Button);
    p.fillRect(all, face);
    p.fillRect(QRect(all.left(), all.top(), all.width(), 1), pal.color(QPalette::Midlight));
    p.fillRect(QRect(all.left(), all.top(), 1, all.height()), pal.color(QPalette::Midlight));
    p.fillRect(QRect(all.left(), all.bottom(), all.width(), 1), pal.color(QPalette::Shadow));
    p.fillRect(QRect(all.right(), all.top(), 1, all.height()), pal.color(QPalette::Shadow));
    raisedInner(p, all.adjusted(1, 1, -1, -1), pal);
    p.fillRect(client, color);
    if (!FShowCaption) return;
    TFloatingFrame f;
    f.Window = size();
    f.Sizable = FSizable;
    f.ShowCaption = true;
    f.CloseButton = FCloseButton;
    f.CaptionHeight = ToolCaptionHeight();
    const QRect cap = FloatingCaptionRect(f);
    const QRect closeR = FloatingCloseRect(f);
    const QPalette::ColorGroup g = FInactiveCaption ? QPalette::Inactive : QPalette::Active;
    const QColor capColor =
        FInactiveCaption ? pal.color(g, QPalette::Dark) : pal.color(g, QPalette::Highlight);
    p.fillRect(cap.united(closeR.isValid() ? closeR : cap), capColor);
    QFont font = p.font();
    font.setPixelSize(11);
    p.save();
    p.setFont(font);
    p.setPen(pal.color(g, QPalette::HighlightedText));
    const QRect textR = cap.adjusted(1, 0, -1, 0);
    const QFontMetrics fm(font);
    const QString text =
        EllipsizedCaption(FCaption, textR.width(), [&](const QString& s) { return fm.horizontalAdvance(s); });
    p.drawText(textR, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
    p.restore();
    p.fillRect(QRect(cap.left(), cap.bottom() + 1, cap.width() + closeR.width(), 1), face);
    if (FCloseButton) drawCloseBox(p, closeR.adjusted(1, 1, -1, -1), pal, FClosePressed);
}

void TCustomToolWindowPv::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintNonClient(p);
    TDockPv* d = DockedTo();
    if (d && !d->Background().isNull() && d->BackgroundOnToolbars())
        d->DrawBackground(p, contentsRect(), this);
}

// ---------------------------------------------------------------- mouse and loops

void TCustomToolWindowPv::mousePressEvent(QMouseEvent* e) {
    if (FLoop != lpNone) {
        // Another left press ends the loop without a change; right and middle are swallowed.
        if (e->button() == Qt::LeftButton) EndLoop(false);
        return;
    }
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    StartLoopAt(e->position().toPoint(), e->globalPosition().toPoint(), e->modifiers(), false);
}

void TCustomToolWindowPv::mouseDoubleClickEvent(QMouseEvent* e) {
    if (FLoop != lpNone) {
        if (e->button() == Qt::LeftButton) EndLoop(false);
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    StartLoopAt(e->position().toPoint(), e->globalPosition().toPoint(), e->modifiers(), true);
}

void TCustomToolWindowPv::StartLoopAt(QPoint pos, QPoint globalPos, Qt::KeyboardModifiers mods, bool dbl) {
    const bool floating = FloatingParent() && parentWidget() == FloatingParent();
    if (floating && ActivateParent && FFloatingMode == fmOnTopOfParentForm) {
        QWidget* form = FloatingParent()->ParentForm();
        if (form && !form->isActiveWindow()) form->activateWindow();
    }
    const int hit = HitTest(pos);
    if (hit == HTCLIENT) {
        TDockPv* d = DockedTo();
        if (d && !d->AllowDrag()) return;
        if (dbl)
            DoubleClick();
        else
            BeginDrag(pos, globalPos, mods);
        return;
    }
    if (hit == HTCLOSE) {
        BeginClose();
        return;
    }
    const int edge = ResizeEdgeOfHit(hit);
    if (edge >= 0 && floating && FSizable) BeginResize(edge, globalPos);
}

void TCustomToolWindowPv::DoubleClick() {
    if (FDocked) {
        if (DockMode != dmCanFloat) return;
        SetParent(RequireOwningForm(this));
        MoveOnScreen(true);
        return;
    }
    if (TDockPv* last = LastDock()) {
        SetParent(last);
    } else if (TDockPv* def = DefaultDock()) {
        FDockRow = 0;
        FDockPos = -8;
        SetParent(def);
    }
}

void TCustomToolWindowPv::mouseMoveEvent(QMouseEvent* e) {
    if (FLoop == lpNone) {
        QWidget::mouseMoveEvent(e);
        return;
    }
    if (QWidget::mouseGrabber() != this) {
        EndLoop(false);
        return;
    }
    const QPoint g = e->globalPosition().toPoint();
    switch (FLoop) {
    case lpDrag:
        TrackDrag(g, e->modifiers() & Qt::ControlModifier);
        break;
    case lpResize:
        if (g != FLastCursor) TrackResize(g);
        break;
    case lpClose:
        TrackClose(e->position().toPoint());
        break;
    case lpNone:
        break;
    }
}

void TCustomToolWindowPv::mouseReleaseEvent(QMouseEvent* e) {
    if (FLoop == lpNone) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    if (FLoop == lpClose) {
        TrackClose(e->position().toPoint());
        EndLoop(FClosePressed);
        return;
    }
    if (FLoop == lpDrag) TrackDrag(e->globalPosition().toPoint(), FCtrl);
    EndLoop(true);
}

void TCustomToolWindowPv::keyPressEvent(QKeyEvent* e) {
    if (FLoop == lpNone) {
        QWidget::keyPressEvent(e);
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        if (FLoop != lpClose) EndLoop(false);
    } else if (e->key() == Qt::Key_Control && FLoop == lpDrag && !e->isAutoRepeat()) {
        TrackDrag(FLastCursor, true);
    }
}

void TCustomToolWindowPv::keyReleaseEvent(QKeyEvent* e) {
    if (FLoop == lpNone) {
        QWidget::keyReleaseEvent(e);
        return;
    }
    if (e->key() == Qt::Key_Control && FLoop == lpDrag && !e->isAutoRepeat()) TrackDrag(FLastCursor, false);
}

void TCustomToolWindowPv::EndLoop(bool accept) {
    switch (FLoop) {
    case lpDrag:
        EndDrag(accept);
        break;
    case lpResize:
        EndResize(accept);
        break;
    case lpClose:
        EndClose(accept);
        break;
    case lpNone:
        break;
    }
}

QRect TCustomToolWindowPv::OutlineRect() const {
    return FOutline && FOutline->isVisible() ? FOutline->FRect : QRect();
}

int TCustomToolWindowPv::OutlineThickness() const {
    return FOutline && FOutline->isVisible() ? FOutline->FThickness : 0;
}

void TCustomToolWindowPv::ShowOutline(const QRect& r, int thickness) {
    if (!FOutline) FOutline = new TDragOutline;
    FOutline->SetFrame(r, thickness);
}

namespace {
// The docks of a form, depth first: for each position in turn its docks, then the other
// windowed children that are not docks. The dragged window and what lies inside it are
// never searched; a panel that holds the dragged window's own dock is, since the docks a
// form keeps around its central area live in such a panel.
void collectDocks(QWidget* w, QWidget* dragged, std::vector<TDockPv*>& out) {
    const QObjectList& kids = w->children();
    for (int pos : {dpTop, dpBottom, dpLeft, dpRight})
        for (QObject* o : kids)
            if (auto* d = qobject_cast<TDockPv*>(o))
                if (d->Position() == pos && !d->isHidden()) out.push_back(d);
    for (QObject* o : kids) {
        auto* c = qobject_cast<QWidget*>(o);
        if (!c || c->isWindow() || qobject_cast<TDockPv*>(c)) continue;
        if (c == dragged || dragged->isAncestorOf(c) || !c->isVisible()) continue;
        collectDocks(c, dragged, out);
    }
}
} // namespace

void TCustomToolWindowPv::BeginDrag(QPoint local, QPoint global, Qt::KeyboardModifiers mods) {
    FGrab = local;
    FStartSize = size();
    FCtrl = mods & Qt::ControlModifier;
    FCannotFloat = DockMode != dmCanFloat;
    TDockPv* cur = DockedTo();
    const TDockOrientation curO = cur ? cur->Orientation() : doNoOrient;

    std::vector<TDockPv*> docks;
    if (DockMode == dmCannotFloatOrChangeDocks) {
        if (cur) docks.push_back(cur);
    } else {
        QWidget* form = FloatingParent() && parentWidget() == FloatingParent()
                            ? FloatingParent()->ParentForm()
                            : window();
        if (form) collectDocks(form, this, docks);
        for (auto& f : FDockForms)
            if (f && f != form) collectDocks(f, this, docks);
    }
    FCandidates.clear();
    ++FDisableArrange;
    FFloatSize = OrderAndSizeControls(false, curO, nullptr).grownBy(FloatingNonClientNow());
    for (TDockPv* d : docks) {
        if (!d->AllowDrag() || !(DockableTo & (1u << d->Position()))) continue;
        QSize s;
        const QMargins m = DockedNonClientFor(d->Orientation());
        if (d == cur)
            s = size();
        else
            s = OrderAndSizeControls(false, curO, d).grownBy(m);
        FCandidates.push_back({d, s});
    }
    --FDisableArrange;

    FlushPaintMessages();
    FLoop = lpDrag;
    FHadCursor = testAttribute(Qt::WA_SetCursor);
    FSavedCursor = cursor();
    grabMouse();
    grabKeyboard();
    TrackDrag(global, FCtrl);
}

void TCustomToolWindowPv::TrackDrag(QPoint global, bool ctrl) {
    FLastCursor = global;
    FCtrl = ctrl;
    TDockPv* target = nullptr;
    QSize targetSize;
    if (!ctrl)
        for (const TCandidate& c : FCandidates) {
            TDockPv* d = c.Dock;
            if (!d) continue;
            const QRect dr(d->mapToGlobal(QPoint(0, 0)), d->size());
            const QRect bar = ScaledDragRect(global, FGrab, FStartSize, c.Size);
            if (!CursorOverDock(global, dr, d->Orientation() == doVert, FGrab, FStartSize, bar)) continue;
            bool accept = true;
            if (d->OnRequestDock) d->OnRequestDock(d, this, accept);
            if (!accept) continue;
            target = d;
            targetSize = c.Size;
            break;
        }
    QPoint pt = global;
    QRect r;
    int thickness = 1;
    if (target) {
        r = ScaledDragRect(pt, FGrab, FStartSize, targetSize);
    } else {
        const QRect work = GetWorkAreaOfPoint(pt);
        pt.setX(std::clamp(pt.x(), work.left(), work.right()));
        pt.setY(std::clamp(pt.y(), work.top(), work.bottom()));
        thickness = FSizable ? kSizeFrame : kFixedFrame;
        r = ClampFloatingDragRect(ScaledDragRect(pt, FGrab, FStartSize, FFloatSize), work, thickness,
                                  FloatingNonClientNow().top());
    }
    if (!target && FCannotFloat) {
        r = QRect();
        setCursor(Qt::ForbiddenCursor);
    } else if (FHadCursor) {
        setCursor(FSavedCursor);
    } else {
        unsetCursor();
    }
    FDragTarget = target;
    FDragRect = r;
    ShowOutline(r, thickness);
}

void TCustomToolWindowPv::EndDrag(bool accept) {
    FLoop = lpNone;
    if (FOutline) FOutline->SetFrame(QRect(), 0);
    if (QWidget::mouseGrabber() == this) releaseMouse();
    if (QWidget::keyboardGrabber() == this) releaseKeyboard();
    if (FHadCursor)
        setCursor(FSavedCursor);
    else
        unsetCursor();
    const QRect r = FDragRect;
    TDockPv* target = FDragTarget;
    FCandidates.clear();
    FDragTarget = nullptr;
    if (!accept || r.isEmpty()) return;
    if (target) {
        const QMargins dm = target->contentsMargins();
        const QPoint tl = target->mapFromGlobal(r.topLeft()) - QPoint(dm.left(), dm.top());
        const bool vert = target->Orientation() == doVert;
        const int centre = vert ? tl.x() + r.width() / 2 : tl.y() + r.height() / 2;
        bool newRow = false;
        int row = target->DropRowAtOffset(centre, newRow);
        if (newRow) {
            target->InsertRowBefore(row);
        } else if (FFullSize && target->BarCountInRow(row, this) > 0) {
            ++row;
            target->InsertRowBefore(row);
        }
        FDockRow = row;
        FDockPos = vert ? tl.y() : tl.x();
        SetParent(target);
        target->LayOutBars(true);
        return;
    }
    FFloatingTopLeft = r.topLeft();
    if (FDocked)
        SetParent(RequireOwningForm(this));
    else
        SetBounds(QRect(r.topLeft(), size()));
    MoveOnScreen(true);
}

void TCustomToolWindowPv::BeginResize(int edge, QPoint global) {
    FResizeMin = MinimumClientSize().grownBy(NonClient());
    FResizeEdge = edge;
    ResizeBegin(edge);
    FlushPaintMessages();
    FLoop = lpResize;
    grabMouse();
    grabKeyboard();
    FResizeStart = BoundsRect();
    FResizeRect = FResizeStart;
    FGrab = global;
    FLastCursor = global;
    ShowOutline(FResizeRect, FSizable ? kSizeFrame : kFixedFrame);
}

void TCustomToolWindowPv::TrackResize(QPoint global) {
    FLastCursor = global;
    const QPoint d = global - FGrab;
    const int e = FResizeEdge;
    QRect r = FResizeStart;
    const bool leftSide = e == reLeft || e == reTopLeft || e == reBottomLeft;
    const bool rightSide = e == reRight || e == reTopRight || e == reBottomRight;
    const bool topSide = e == reTop || e == reTopLeft || e == reTopRight;
    const bool bottomSide = e == reBottom || e == reBottomLeft || e == reBottomRight;
    if (leftSide) {
        r.setLeft(r.left() + d.x());
        if (r.width() < FResizeMin.width()) r.setLeft(r.right() + 1 - FResizeMin.width());
    }
    if (rightSide) {
        r.setRight(r.right() + d.x());
        if (r.width() < FResizeMin.width()) r.setRight(r.left() + FResizeMin.width() - 1);
    }
    if (topSide) {
        r.setTop(r.top() + d.y());
        if (r.height() < FResizeMin.height()) r.setTop(r.bottom() + 1 - FResizeMin.height());
    }
    if (bottomSide) {
        r.setBottom(r.bottom() + d.y());
        if (r.height() < FResizeMin.height()) r.setBottom(r.top() + FResizeMin.height() - 1);
    }
    ResizeTracking(r, FResizeRect);
    FResizeRect = r;
    ShowOutline(FResizeRect, FSizable ? kSizeFrame : kFixedFrame);
}

void TCustomToolWindowPv::EndResize(bool accept) {
    FLoop = lpNone;
    if (QWidget::mouseGrabber() == this) releaseMouse();
    if (QWidget::keyboardGrabber() == this) releaseKeyboard();
    if (FOutline) FOutline->SetFrame(QRect(), 0);
    ResizeEnd(accept);
    if (!accept) return;
    ++FDisableArrange;
    SetBounds(FResizeRect);
    --FDisableArrange;
    FArrangePending = false;
    RelayoutControls();
    MoveOnScreen(true);
}

void TCustomToolWindowPv::BeginClose() {
    FLoop = lpClose;
    FClosePressed = true;
    grabMouse();
    grabKeyboard();
    update();
}

void TCustomToolWindowPv::TrackClose(QPoint local) {
    const bool in = CloseBoxRect().contains(local);
    if (in != FClosePressed) {
        FClosePressed = in;
        update();
    }
}

void TCustomToolWindowPv::EndClose(bool accept) {
    FLoop = lpNone;
    if (QWidget::mouseGrabber() == this) releaseMouse();
    if (QWidget::keyboardGrabber() == this) releaseKeyboard();
    FClosePressed = false;
    update();
    if (!accept) return;
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    hide();
    if (OnClose) OnClose(this);
}

int TCustomToolWindowPv::RowSize(TDockOrientation orientation) const {
    return orientation == doVert ? width() : height();
}

int GetDockPositionOfControl(QWidget* control) {
    for (QWidget* w = control; w; w = w->parentWidget())
        if (auto* tw = qobject_cast<TCustomToolWindowPv*>(w)) {
            if (TDockPv* d = tw->DockedTo()) return d->Position();
            return kNoDockPosition;
        }
    return kNoDockPosition;
}

void TCustomToolWindowPv::SetDefaultDock(TDockPv* dock) {
    FDefaultDock = dock;
}
