#include "controls/TBPvTlbr.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstdlib>

// ================================================================ the layout

int ToolbarRowSize(const std::vector<TToolbarItem>& items, TDockOrientation orientation) {
    int r = 8;
    for (const TToolbarItem& it : items)
        if (!it.Separator) r = std::max(r, orientation == doVert ? it.Width : it.Height);
    return r;
}

TToolbarLayoutResult LayOutToolbarItems(std::vector<TToolbarItem>& items, const TToolbarLayoutParams& prm) {
    TToolbarLayoutResult res;
    const bool vert = prm.Orientation == doVert;
    const bool floating = !prm.Docked;
    const int ml = floating ? 4 : 0, mt = floating ? 2 : 0, mr = floating ? 4 : 0, mb = floating ? 1 : 0;
    // Wrapping only when floating with a right edge, never narrower than the widest control.
    int64_t W = INT64_MAX;
    if (floating && prm.FloatRightX != 0) {
        int widest = 0;
        for (const TToolbarItem& it : items)
            if (!it.Separator) widest = std::max(widest, it.Width);
        W = std::max<int64_t>(prm.FloatRightX, int64_t(widest) + 8);
    }
    const int r = ToolbarRowSize(items, prm.Orientation);
    res.RowSize = r;
    const int t = prm.Thickness > 0 ? prm.Thickness : r;

    // Segments: each ends after a separator.
    {
        TToolbarSegment seg;
        for (size_t i = 0; i < items.size(); ++i) {
            const TToolbarItem& it = items[i];
            seg.Items.push_back(int(i));
            if (!it.Separator) {
                seg.Width += it.Width;
                seg.Height += it.Height;
            } else {
                res.Segments.push_back(seg);
                seg = TToolbarSegment();
            }
        }
        if (!seg.Items.empty()) res.Segments.push_back(seg);
    }

    int64_t across = mt, along = ml, extent = along;
    bool forced = false;
    int64_t extentBeforeSep = extent;
    for (size_t s = 0; s < res.Segments.size(); ++s) {
        const TToolbarSegment& seg = res.Segments[s];
        const int64_t h = vert ? seg.Height : seg.Width;
        if (floating && (forced || along + h + mr > W)) {
            along = ml;
            if (s != 0) across += r + 6;
            if (s != 0) {
                TToolbarItem& last = items[size_t(res.Segments[s - 1].Items.back())];
                if (last.Separator) {
                    extent = extentBeforeSep;
                    last.Bounds.setWidth(0);
                    res.WrapLines.push_back({int(across), last.Blank});
                }
            }
        }
        forced = false;
        extent = std::max(extent, along);
        for (int idx : seg.Items) {
            TToolbarItem& c = items[size_t(idx)];
            const int64_t v = c.Separator ? (vert ? c.SizeVert : c.SizeHorz) : (vert ? c.Height : c.Width);
            if (floating && !c.Separator && along + v + mr > W) {
                along = ml;
                across += r;
                forced = true;
            }
            const int a = int(std::min<int64_t>(along, INT_MAX)), x = int(std::min<int64_t>(across, INT_MAX));
            if (vert) {
                if (c.Separator)
                    c.Bounds = QRect(x, a, t, c.SizeVert);
                else
                    c.Bounds = QRect(x + (t - c.Width) / 2, a, c.Width, c.Height);
            } else {
                if (c.Separator)
                    c.Bounds = QRect(a, x, c.SizeHorz, t);
                else
                    c.Bounds = QRect(a, x + (t - c.Height) / 2, c.Width, c.Height);
            }
            if (c.Separator) extentBeforeSep = extent;
            along += v;
            extent = std::max(extent, along);
        }
    }
    if (items.empty()) extent = along + 8;
    const int length = int(std::min<int64_t>(extent + mr, INT_MAX));
    const int thickness = int(std::min<int64_t>(across + r + mb, INT_MAX));
    res.Client = vert ? QSize(thickness, length) : QSize(length, thickness);
    return res;
}

std::vector<QSize> ToolbarWrapSizes(const std::function<QSize(int)>& layout) {
    std::vector<QSize> list;
    const QSize first = layout(0);
    list.push_back(first);
    int i = first.width() - 1;
    while (i >= 8) {
        const QSize s = layout(i);
        if (s.width() > i) break;
        if (s.width() == i) {
            if (std::find(list.begin(), list.end(), s) == list.end()) {
                if (list.size() > 1 && s.height() == list.back().height())
                    list.back() = s;
                else
                    list.push_back(s);
            }
            --i;
        } else {
            i = s.width();
        }
    }
    return list;
}

void TToolbarSnap::Start(QSize current) {
    Current = -1;
    for (size_t i = 0; i < Sizes.size(); ++i)
        if (Sizes[i] == current) Current = int(i);
    SnapDistance = 12;
    if (Current < 0) return;
    const size_t i = size_t(Current);
    if (i > 0) SnapDistance = std::min(SnapDistance, std::abs(Extent(i - 1) - Extent(i)) - 1);
    if (i + 1 < Sizes.size()) SnapDistance = std::min(SnapDistance, std::abs(Extent(i) - Extent(i + 1)) - 1);
    SnapDistance = std::max(SnapDistance, 0);
}

int TToolbarSnap::Choose(int distance) {
    if (Sizes.empty()) return -1;
    const int cur = Current >= 0 ? Extent(size_t(Current)) : distance;
    const int dir = distance > cur ? 1 : distance < cur ? -1 : 0;
    if (dir != 0 && dir != LastDirection) LastDirection = dir;
    // Within the snap distance the current size holds.
    if (std::abs(distance - cur) <= SnapDistance) distance = cur;
    int chosen;
    if (distance > cur) {
        chosen = 0; // the largest if none is greater
        for (size_t k = Sizes.size(); k-- > 0;)
            if (Extent(k) > distance) {
                chosen = int(k);
                break;
            }
    } else {
        chosen = int(Sizes.size()) - 1; // the smallest if none fits
        for (size_t k = 0; k < Sizes.size(); ++k)
            if (Extent(k) <= distance) {
                chosen = int(k);
                break;
            }
    }
    if (chosen != Current) Start(Sizes[size_t(chosen)]);
    Current = chosen;
    return chosen;
}

// ================================================================ the tool bar

TCustomToolbarPv::TCustomToolbarPv(QWidget* parent) : TCustomToolWindowPv(parent) {}

TCustomToolbarPv::~TCustomToolbarPv() {
    for (auto& c : FOrder)
        if (c) c->removeEventFilter(this);
}

void TCustomToolbarPv::SetFloatRightX(int x) {
    FFloatRightX = x;
    if (!Docked()) RelayoutControls();
}

void TCustomToolbarPv::childEvent(QChildEvent* e) {
    if (e->added() && e->child()->isWidgetType()) {
        auto* w = static_cast<QWidget*>(e->child());
        if (std::find(FOrder.begin(), FOrder.end(), w) == FOrder.end()) {
            FOrder.emplace_back(w);
            w->installEventFilter(this);
        }
    } else if (e->removed()) {
        QObject* gone = e->child();
        FOrder.erase(std::remove_if(FOrder.begin(), FOrder.end(),
                                    [&](const QPointer<QWidget>& p) { return !p || p.data() == gone; }),
                     FOrder.end());
        FPairs.erase(std::remove_if(FPairs.begin(), FPairs.end(),
                                    [&](const TPair& p) { return p.Vertical == gone || p.Other == gone; }),
                     FPairs.end());
        if (e->child()->isWidgetType()) RelayoutControls();
    }
    TCustomToolWindowPv::childEvent(e);
}

bool TCustomToolbarPv::eventFilter(QObject* watched, QEvent* e) {
    if (!FPositioning && watched->parent() == this) {
        switch (e->type()) {
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
        case QEvent::Resize:
            RelayoutControls();
            if (TDockPv* d = DockedTo()) d->LayOutBars(false);
            break;
        default:
            break;
        }
    }
    return TCustomToolWindowPv::eventFilter(watched, e);
}

void TCustomToolbarPv::PurgeOrder() {
    FOrder.erase(std::remove_if(FOrder.begin(), FOrder.end(),
                                [&](const QPointer<QWidget>& p) { return !p || p->parent() != this; }),
                 FOrder.end());
}

std::vector<QWidget*> TCustomToolbarPv::OrderList() const {
    std::vector<QWidget*> out;
    for (auto& c : FOrder)
        if (c && c->parent() == this) out.push_back(c);
    return out;
}

void TCustomToolbarPv::SetOrderIndex(QWidget* control, int index) {
    PurgeOrder();
    auto it = std::find(FOrder.begin(), FOrder.end(), control);
    if (it == FOrder.end()) return;
    FOrder.erase(it);
    index = std::clamp(index, 0, int(FOrder.size()));
    FOrder.insert(FOrder.begin() + index, QPointer<QWidget>(control));
    RelayoutControls();
}

void TCustomToolbarPv::AddOrientationPair(QWidget* forVertical, QWidget* forOther) {
    FPairs.push_back({forVertical, forOther});
    RelayoutControls();
}

void TCustomToolbarPv::Loaded() {
    PurgeOrder();
    TDockPv* d = DockedTo();
    const bool vert = d && d->Orientation() == doVert;
    std::stable_sort(FOrder.begin(), FOrder.end(),
                     [&](const QPointer<QWidget>& a, const QPointer<QWidget>& b) {
                         return vert ? a->y() < b->y() : a->x() < b->x();
                     });
    TCustomToolWindowPv::Loaded();
}

bool TCustomToolbarPv::VisibleFor(QWidget* c, TDockOrientation o) const {
    for (const TPair& p : FPairs) {
        if (p.Vertical == c) return o == doVert;
        if (p.Other == c) return o != doVert;
    }
    return IsVisibleProp(c);
}

std::vector<QWidget*> TCustomToolbarPv::Candidates(bool apply, TDockOrientation o) const {
    std::vector<QWidget*> out;
    for (auto& c : FOrder) {
        if (!c || c->parent() != this || c->isWindow()) continue;
        if (apply ? IsVisibleProp(c) : VisibleFor(c, o)) out.push_back(c);
    }
    return out;
}

int TCustomToolbarPv::RowSize(TDockOrientation orientation) const {
    int r = 8;
    for (auto& c : FOrder) {
        if (!c || c->parent() != this || qobject_cast<TToolbarSepPv*>(c) || !VisibleFor(c, orientation))
            continue;
        r = std::max(r, orientation == doVert ? c->width() : c->height());
    }
    return r;
}

bool TCustomToolbarPv::ChildIsIgnoredByGrip(QWidget* child) const {
    return qobject_cast<TToolbarSepPv*>(child) != nullptr;
}

QSize TCustomToolbarPv::OrderAndSizeControls(bool apply, TDockOrientation, TDockPv* dock) {
    const TDockOrientation o = dock ? dock->Orientation() : doNoOrient;
    if (apply && !FPairs.empty()) {
        ++FPositioning;
        for (const TPair& p : FPairs) {
            if (p.Vertical) p.Vertical->setVisible(o == doVert);
            if (p.Other) p.Other->setVisible(o != doVert);
        }
        --FPositioning;
    }
    const std::vector<QWidget*> cands = Candidates(apply, o);
    std::vector<TToolbarItem> items;
    items.reserve(cands.size());
    for (size_t i = 0; i < cands.size(); ++i) {
        TToolbarItem it;
        if (auto* sep = qobject_cast<TToolbarSepPv*>(cands[i])) {
            it.Separator = true;
            it.SizeHorz = sep->SizeHorz();
            it.SizeVert = sep->SizeVert();
            it.Blank = sep->Blank();
        } else {
            it.Width = cands[i]->width();
            it.Height = cands[i]->height();
        }
        it.Tag = int(i);
        items.push_back(it);
    }
    TToolbarLayoutParams prm;
    prm.Orientation = o;
    prm.Docked = dock != nullptr;
    prm.FloatRightX = FFloatRightX;
    prm.Thickness = dock && dock == DockedTo() ? dock->GetRowSize(DockRow(), this) : 0;
    TToolbarLayoutResult res = LayOutToolbarItems(items, prm);
    if (apply) {
        ++FPositioning;
        // Placed for the margins the bar has (or is about to have) on the target.
        const QMargins target =
            dock ? DockedNonClient(o, dock->AllowDrag(), DragHandleStyle(), CloseButtonWhenDocked())
                 : FloatingNonClientNow();
        const QPoint at(target.left(), target.top());
        for (const TToolbarItem& it : items) cands[size_t(it.Tag)]->setGeometry(it.Bounds.translated(at));
        --FPositioning;
        FSegments = res.Segments;
        FWrapLines = res.WrapLines;
        update();
    }
    return res.Client;
}

void TCustomToolbarPv::ReadPositionData(const TPositionDataProc& proc, void* extra) {
    FFloatRightX = proc(objectName(), "FloatRightX", 0, extra);
}

void TCustomToolbarPv::WritePositionData(const TPositionDataProc& proc, void* extra) {
    proc(objectName(), "FloatRightX", FFloatRightX, extra);
}

void TCustomToolbarPv::ResizeBegin(int edge) {
    FResizeEdge = edge;
    FSnap = std::make_unique<TToolbarSnap>();
    const int saved = FFloatRightX;
    const QMargins nc = FloatingNonClientNow();
    std::vector<QSize> sizes = ToolbarWrapSizes([&](int x) {
        FFloatRightX = x;
        return OrderAndSizeControls(false, doNoOrient, nullptr);
    });
    FFloatRightX = saved;
    struct Entry {
        QSize outer;
        int rightX;
    };
    std::vector<Entry> entries;
    for (size_t i = 0; i < sizes.size(); ++i)
        entries.push_back({sizes[i].grownBy(nc), i == 0 ? 0
                                                        : sizes[i].width() + nc.left() + nc.right() -
                                                              2 * (Sizable() ? kSizeFrame : kFixedFrame)});
    FSnap->Horizontal = edge == reLeft || edge == reRight;
    const bool horz = FSnap->Horizontal;
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return horz ? a.outer.width() > b.outer.width() : a.outer.height() > b.outer.height();
    });
    for (const Entry& e : entries) {
        FSnap->Sizes.push_back(e.outer);
        FSnap->RightX.push_back(e.rightX);
    }
    FSnap->Start(size());
}

void TCustomToolbarPv::ResizeTracking(QRect& rect, const QRect&) {
    if (!FSnap || FSnap->Sizes.empty()) return;
    const int distance = FSnap->Horizontal ? rect.width() : rect.height();
    const int i = FSnap->Choose(distance);
    const QSize s = FSnap->Sizes[size_t(i)];
    switch (FResizeEdge) {
    case reLeft:
        rect = QRect(rect.right() + 1 - s.width(), rect.top(), s.width(), s.height());
        break;
    case reTop:
        rect = QRect(rect.left(), rect.bottom() + 1 - s.height(), s.width(), s.height());
        break;
    default:
        rect = QRect(rect.topLeft(), s);
        break;
    }
}

void TCustomToolbarPv::ResizeEnd(bool accepted) {
    if (accepted && FSnap && FSnap->Current >= 0) FFloatRightX = FSnap->RightX[size_t(FSnap->Current)];
    FSnap.reset();
}

void TCustomToolbarPv::paintEvent(QPaintEvent* e) {
    TCustomToolWindowPv::paintEvent(e);
    if (Docked() || !FloatingParent() || parentWidget() != FloatingParent()) return;
    QPainter p(this);
    const QRect c = contentsRect();
    for (const TToolbarWrapLine& w : FWrapLines) {
        if (w.Blank) continue;
        p.fillRect(QRect(c.left() + 1, c.top() + w.Across - 4, c.width() - 2, 1),
                   palette().color(QPalette::Dark));
        p.fillRect(QRect(c.left() + 1, c.top() + w.Across - 3, c.width() - 2, 1),
                   palette().color(QPalette::Light));
    }
}

// ================================================================ the separator

namespace {
QWidget* checkedSepParent(QWidget* parent) {
    if (parent && !qobject_cast<TCustomToolbarPv*>(parent))
        throw EInvalidOperation("TToolbarSepPv can only be placed on a TToolbarPv");
    return parent;
}
} // namespace

TToolbarSepPv::TToolbarSepPv(QWidget* parent) : QWidget(checkedSepParent(parent)) {
    resize(FSizeHorz, 22);
    // A control is visible from its creation on, also on a bar that is already showing.
    if (parent && parent->isVisible()) show();
}

void TToolbarSepPv::SetParent(QWidget* parent) {
    setParent(checkedSepParent(parent));
}

void TToolbarSepPv::Rearrange() {
    if (auto* bar = qobject_cast<TCustomToolbarPv*>(parentWidget())) {
        bar->RelayoutControls();
        if (TDockPv* d = bar->DockedTo()) d->LayOutBars(false);
    }
}

void TToolbarSepPv::SetSizeHorz(int size) {
    size = std::max(1, size);
    if (FSizeHorz == size) return;
    FSizeHorz = size;
    Rearrange();
}

void TToolbarSepPv::SetSizeVert(int size) {
    size = std::max(1, size);
    if (FSizeVert == size) return;
    FSizeVert = size;
    Rearrange();
}

void TToolbarSepPv::SetBlank(bool on) {
    FBlank = on;
    update();
}

void TToolbarSepPv::paintEvent(QPaintEvent*) {
    if (FBlank) return;
    QPainter p(this);
    const QColor sh = palette().color(QPalette::Dark), hi = palette().color(QPalette::Light);
    if (GetDockPositionOfControl(this) == dpLeft || GetDockPositionOfControl(this) == dpRight) {
        p.fillRect(QRect(0, height() / 2 - 1, width(), 1), sh);
        p.fillRect(QRect(0, height() / 2, width(), 1), hi);
    } else {
        p.fillRect(QRect(width() / 2 - 1, 0, 1, height()), sh);
        p.fillRect(QRect(width() / 2, 0, 1, height()), hi);
    }
}

// A press on a separator drags its bar.
void TToolbarSepPv::mousePressEvent(QMouseEvent* e) {
    auto* bar = qobject_cast<TCustomToolWindowPv*>(parentWidget());
    if (!bar || e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    bar->StartLoopAt(mapTo(bar, e->position().toPoint()), e->globalPosition().toPoint(), e->modifiers(),
                     false);
}

void TToolbarSepPv::mouseDoubleClickEvent(QMouseEvent* e) {
    auto* bar = qobject_cast<TCustomToolWindowPv*>(parentWidget());
    if (!bar || e->button() != Qt::LeftButton) return;
    bar->StartLoopAt(mapTo(bar, e->position().toPoint()), e->globalPosition().toPoint(), e->modifiers(),
                     true);
}
