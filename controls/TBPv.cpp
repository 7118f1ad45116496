#include "controls/TBPv.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>

// ================================================================ hooks

namespace {

struct THookEntry {
    THookProc proc;
    int refCount;
    THookProcCodes codes;
};

class THookFilter;

struct THookTable {
    std::vector<THookEntry>* list = nullptr; // made on first registration, freed when empty
    int useCount[3] = {0, 0, 0};
    THookFilter* filter[3] = {nullptr, nullptr, nullptr};
};

THookTable& hooks() {
    static THookTable t;
    return t;
}

// Calls every callback registered for `code`; a callback that throws is passed over.
void dispatch(THookProcCode code, QObject* window, QEvent* event, int state) {
    THookTable& t = hooks();
    if (!t.list) return;
    // A callback may register or unregister: walk a copy.
    const std::vector<THookEntry> entries = *t.list;
    for (const THookEntry& e : entries) {
        if (!(e.codes & (1u << code))) continue;
        try {
            e.proc(code, window, event, state);
        } catch (...) {
        }
    }
}

// One installed hook: an application-wide event filter for the events of its kinds.
class THookFilter : public QObject {
public:
    explicit THookFilter(THookIndex index) : FIndex(index) {
        qApp->installEventFilter(this);
        if (FIndex == hiCBT)
            for (QWidget* w : QApplication::topLevelWidgets()) Track(w);
    }
    ~THookFilter() override {
        if (qApp) qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (FIndex) {
        case hiCallWndProc:
            switch (e->type()) {
            // The application's windows as a whole become active or inactive.
            case QEvent::ApplicationActivate:
            case QEvent::ApplicationDeactivate:
                if (watched == qApp)
                    dispatch(hkActivateAppSent, watched, e,
                             e->type() == QEvent::ApplicationActivate ? Qt::ApplicationActive
                                                                      : Qt::ApplicationInactive);
                break;
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::WindowStateChange:
            case QEvent::Move:
                if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
                    dispatch(hkWindowPosChangedSent, watched, e, 0);
                break;
            default:
                break;
            }
            break;
        case hiCBT:
            // Top-level windows are watched from their first event on, so their end is heard.
            if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) Track(watched);
            break;
        case hiGetMessage:
            // Every move reaches the window first, whether or not a widget tracks the mouse;
            // it is told as a move over the widget under the mouse.
            if (e->type() == QEvent::MouseMove && watched->isWindowType()) {
                auto* me = static_cast<QMouseEvent*>(e);
                QObject* target = QApplication::widgetAt(me->globalPosition().toPoint());
                dispatch(hkMouseMovePosted, target ? target : watched, e, 0);
            }
            break;
        }
        return false;
    }

private:
    void Track(QObject* o) {
        if (!FTracked.insert(o).second) return;
        connect(o, &QObject::destroyed, this, [this](QObject* gone) {
            FTracked.erase(gone);
            dispatch(hkBeforeDestroy, gone, nullptr, 0);
        });
    }
    THookIndex FIndex;
    std::set<QObject*> FTracked;
};

unsigned hooksOf(THookProcCodes codes) {
    unsigned h = 0;
    if (codes & ((1u << hkActivateAppSent) | (1u << hkWindowPosChangedSent))) h |= 1u << hiCallWndProc;
    if (codes & (1u << hkBeforeDestroy)) h |= 1u << hiCBT;
    if (codes & (1u << hkMouseMovePosted)) h |= 1u << hiGetMessage;
    return h;
}

void removeHook(int i) {
    THookTable& t = hooks();
    delete t.filter[i];
    t.filter[i] = nullptr;
}

} // namespace

void RegisterHookCallback(THookProc proc, THookProcCodes codes, bool skipInstall) {
    THookTable& t = hooks();
    if (!t.list) t.list = new std::vector<THookEntry>;
    auto it =
        std::find_if(t.list->begin(), t.list->end(), [&](const THookEntry& e) { return e.proc == proc; });
    if (it != t.list->end())
        ++it->refCount;
    else
        t.list->push_back({proc, 1, codes});
    if (skipInstall) return;
    const unsigned need = hooksOf(codes);
    for (int i = 0; i < 3; ++i) {
        if (!(need & (1u << i))) continue;
        ++t.useCount[i];
        if (!t.filter[i] && qApp) t.filter[i] = new THookFilter(THookIndex(i));
    }
}

void UnregisterHookCallback(THookProc proc) {
    THookTable& t = hooks();
    if (!t.list) return;
    auto it =
        std::find_if(t.list->begin(), t.list->end(), [&](const THookEntry& e) { return e.proc == proc; });
    if (it == t.list->end()) return;
    const unsigned need = hooksOf(it->codes);
    if (--it->refCount == 0) t.list->erase(it);
    for (int i = 0; i < 3; ++i) {
        if (!(need & (1u << i))) continue;
        // A registration that skipped installing never raised the count: it stays at 0.
        if (t.useCount[i] > 0) --t.useCount[i];
        if (t.useCount[i] == 0) removeHook(i);
    }
    if (t.list->empty()) {
        delete t.list;
        t.list = nullptr;
    }
}

void FinalizeHooks() {
    THookTable& t = hooks();
    for (int i = 0; i < 3; ++i) {
        removeHook(i);
        t.useCount[i] = 0;
    }
    delete t.list;
    t.list = nullptr;
}

int HookUseCount(THookIndex hook) {
    return hooks().useCount[hook];
}
bool HookInstalled(THookIndex hook) {
    return hooks().filter[hook] != nullptr;
}

int HookCallbackRefCount(THookProc proc) {
    const THookTable& t = hooks();
    if (!t.list) return 0;
    for (const THookEntry& e : *t.list)
        if (e.proc == proc) return e.refCount;
    return 0;
}

int HookCallbackCount() {
    return hooks().list ? int(hooks().list->size()) : 0;
}

// ================================================================ sorting

void SortPointerList(std::vector<void*>& list, TListSortCompareEx compare, void* extra) {
    QuickSortList(list, [&](void* a, void* b) { return compare(a, b, extra); });
}

// ================================================================ windows and screens

bool ApplicationHasActiveWindow() {
    return QApplication::activeWindow() != nullptr;
}

int ToolCaptionHeight() {
    QStyleOptionTitleBar opt;
    opt.titleBarFlags = Qt::Tool;
    return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt);
}

QRect GetDesktopWorkArea() {
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->availableGeometry();
    return QRect();
}

namespace {
int64_t distanceSquared(const QRect& a, const QRect& b) {
    // Gaps between the two rectangles along each axis (0 where they overlap).
    const int64_t dx =
        std::max<int64_t>({0, int64_t(a.left()) - b.right() - 1, int64_t(b.left()) - a.right() - 1});
    const int64_t dy =
        std::max<int64_t>({0, int64_t(a.top()) - b.bottom() - 1, int64_t(b.top()) - a.bottom() - 1});
    return dx * dx + dy * dy;
}
} // namespace

int ScreenIndexOfRect(const std::vector<QRect>& screens, const QRect& r) {
    if (screens.empty()) return -1;
    int best = -1;
    int64_t bestArea = 0;
    for (size_t i = 0; i < screens.size(); ++i) {
        const QRect x = screens[i].intersected(r);
        const int64_t area = x.isEmpty() ? 0 : int64_t(x.width()) * x.height();
        if (area > bestArea) {
            bestArea = area;
            best = int(i);
        }
    }
    if (best >= 0) return best;
    int64_t bestDist = INT64_MAX;
    for (size_t i = 0; i < screens.size(); ++i) {
        const int64_t d =
            distanceSquared(screens[i], r.normalized().isEmpty() ? QRect(r.topLeft(), QSize(1, 1)) : r);
        if (d < bestDist) {
            bestDist = d;
            best = int(i);
        }
    }
    return best;
}

QRect GetWorkAreaOfRect(const QRect& r) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() <= 1) return GetDesktopWorkArea();
    std::vector<QRect> rects;
    for (QScreen* s : screens) rects.push_back(s->geometry());
    const int i = ScreenIndexOfRect(rects, r);
    return i < 0 ? GetDesktopWorkArea() : screens[i]->availableGeometry();
}

QRect GetWorkAreaOfPoint(const QPoint& p) {
    return GetWorkAreaOfRect(QRect(p, QSize(1, 1)));
}

QWidget* OwningFormOf(QWidget* control) {
    if (!control) return nullptr;
    QWidget* form = control->window();
    // A control that stands alone is on no form.
    if (form == control && !control->inherits("QDialog") && !control->inherits("QMainWindow") &&
        !control->parentWidget() && control->children().isEmpty())
        return nullptr;
    return form;
}

QWidget* RequireOwningForm(QWidget* control) {
    QWidget* form = OwningFormOf(control);
    if (!form)
        throw EInvalidOperation("Element '" +
                                (control ? control->objectName().toStdString() : std::string()) +
                                "' hat kein übergeordnetes Fenster");
    return form;
}

void FlushPaintMessages() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

bool IsVisibleProp(const QWidget* w) {
    return !(w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide));
}

QWidget* FindTopLevelWindowExcept(QWidget* except) {
    QWidget* topmost = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == except || !w->isVisible() || !w->isEnabled()) continue;
        if (!(w->windowFlags() & Qt::WindowStaysOnTopHint)) return w;
        if (!topmost) topmost = w;
    }
    return topmost;
}

void RecalcFrame(QWidget* control) {
    if (!control) return;
    if (auto* tw = qobject_cast<TCustomToolWindowPv*>(control)) tw->RecalcNonClient();
    if (auto* dock = qobject_cast<TDockPv*>(control))
        dock->SetBoundLines(dock->BoundLines()); // margins from the bound lines again
    control->updateGeometry();
    control->update();
}

// ================================================================ the arrangement

namespace {
int clampInt(int64_t v) {
    return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}
int saturatedAdd(int a, int b) {
    return clampInt(int64_t(a) + b);
}
} // namespace

TDockLayoutResult LayOutBarRecords(std::vector<TDockBarRecord>& bars, const TDockLayoutParams& prm) {
    TDockLayoutResult res;
    const bool horz = prm.Orientation != doVert;
    const bool anyShown =
        std::any_of(bars.begin(), bars.end(), [](const TDockBarRecord& b) { return b.Shown; });
    if (!anyShown) {
        res.Thickness = prm.FixAlign ? 1 : 0;
        return res;
    }
    for (TDockBarRecord& b : bars) {
        if (prm.LimitToOneRow) b.DockRow = 0;
        // Rows above the first do not exist: such a bar goes to the first row.
        if (b.DockRow < 0) b.DockRow = 0;
    }

    // Empty rows go, one of each two neighbours at a time: walking the rows upwards, each empty
    // row moves the rows above it down by one and the walk steps on. Over a run of g empty rows
    // that removes ceil(g/2) of them; done per run, so no empty row is ever visited.
    {
        std::set<int> used;
        for (const TDockBarRecord& b : bars) used.insert(b.DockRow);
        std::map<int, int> newRow;
        int64_t removed = 0;
        int prev = -1;
        for (int r : used) {
            const int64_t gap = int64_t(r) - prev - 1;
            removed += (gap + 1) / 2;
            newRow[r] = int(r - removed);
            prev = r;
        }
        for (TDockBarRecord& b : bars) b.DockRow = newRow[b.DockRow];
    }

    // Sort by row, then position.
    std::vector<size_t> order(bars.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto cmp = [&](size_t a, size_t b) {
        const TDockBarRecord &x = bars[a], &y = bars[b];
        if (x.DockRow != y.DockRow) return x.DockRow < y.DockRow ? -1 : 1;
        if (x.DockPos != y.DockPos) return x.DockPos < y.DockPos ? -1 : 1;
        return 0;
    };
    QuickSortList(order, cmp);
    {
        std::vector<TDockBarRecord> sorted;
        sorted.reserve(bars.size());
        for (size_t i : order) sorted.push_back(bars[i]);
        bars.swap(sorted);
    }

    // A full-size bar sharing its row pushes every other bar of that row and beyond down one.
    {
        auto rowFrom = [&](int64_t from, int& row) {
            bool found = false;
            for (const TDockBarRecord& b : bars)
                if (b.DockRow >= from && (!found || b.DockRow < row)) {
                    row = b.DockRow;
                    found = true;
                }
            return found;
        };
        int i = 0;
        for (bool more = rowFrom(0, i); more; more = rowFrom(int64_t(i) + 1, i)) {
            for (size_t k = 0; k < bars.size(); ++k) {
                if (bars[k].DockRow != i || !bars[k].FullSize) continue;
                bool shared = false;
                for (size_t m = 0; m < bars.size(); ++m)
                    if (m != k && bars[m].DockRow == i) shared = true;
                if (!shared) continue;
                for (size_t m = 0; m < bars.size(); ++m)
                    if (m != k && bars[m].DockRow >= i) bars[m].DockRow = saturatedAdd(bars[m].DockRow, 1);
                break;
            }
        }
    }
    // The order stays by row: moved bars kept their relative order and moved as a block.
    std::stable_sort(bars.begin(), bars.end(),
                     [](const TDockBarRecord& a, const TDockBarRecord& b) { return a.DockRow < b.DockRow; });

    // Row sizes over the shown bars; at least 8 for a row in use.
    for (const TDockBarRecord& b : bars) {
        if (!b.Shown) continue;
        int& s = res.RowSizes[b.DockRow];
        s = std::max({s, b.RowSize, 8});
    }

    auto lengthOf = [&](const TDockBarRecord& b) { return horz ? b.Width : b.Height; };
    // No overlap within a row.
    {
        int row = INT_MIN;
        int64_t a = 0;
        for (TDockBarRecord& b : bars) {
            if (!b.Shown) continue;
            if (b.DockRow != row) {
                row = b.DockRow;
                a = 0;
            }
            if (b.FullSize) {
                b.DockPos = 0;
                continue;
            }
            b.DockPos = clampInt(std::max<int64_t>(b.DockPos, a));
            a = int64_t(b.DockPos) + lengthOf(b);
        }
    }

    // Fit each row into the available length: back from the end, then forward from the start.
    const int avail = std::max(0, prm.AvailableLength);
    {
        size_t i = 0;
        while (i < bars.size()) {
            size_t j = i;
            while (j < bars.size() && bars[j].DockRow == bars[i].DockRow) ++j;
            int64_t l = avail;
            for (size_t k = j; k-- > i;) {
                TDockBarRecord& b = bars[k];
                if (!b.Shown || b.FullSize) continue;
                l -= lengthOf(b);
                b.FittedPos = clampInt(std::min<int64_t>(b.DockPos, l));
                l = b.FittedPos;
            }
            int64_t s = 0;
            for (size_t k = i; k < j; ++k) {
                TDockBarRecord& b = bars[k];
                if (!b.Shown) continue;
                if (b.FullSize) {
                    b.FittedPos = 0;
                    continue;
                }
                b.FittedPos = clampInt(std::max<int64_t>(b.FittedPos, s));
                s = int64_t(b.FittedPos) + lengthOf(b);
            }
            i = j;
        }
        if (prm.ClipPositions)
            for (TDockBarRecord& b : bars)
                if (b.Shown && !b.FullSize) b.DockPos = b.FittedPos;
    }

    // Place the rows one after the other.
    int64_t s = 0;
    for (const auto& [row, size] : res.RowSizes) {
        const int t = size + 4;
        for (TDockBarRecord& b : bars) {
            if (b.DockRow != row || !b.Shown) continue;
            if (horz)
                b.Bounds = QRect(b.FittedPos, clampInt(s), b.FullSize ? avail : b.Width, t);
            else
                b.Bounds = QRect(clampInt(s), b.FittedPos, t, b.FullSize ? avail : b.Height);
        }
        s += t;
    }
    res.Thickness = clampInt(s + prm.NonClientThickness);
    return res;
}

int RowAtOffsetOf(const std::map<int, int>& rowSizes, int highestRow, int offset) {
    int64_t sum = 0;
    for (const auto& [row, size] : rowSizes) {
        if (row > highestRow || size == 0) continue;
        sum += int64_t(size) + 4;
        if (sum > offset) return row;
    }
    return saturatedAdd(highestRow, 1);
}

int DropRowAtOffsetOf(const std::map<int, int>& rowSizes, int highestRow, int offset, bool& newRow) {
    int64_t b = 0;
    auto tryRow = [&](int row, int64_t end) {
        if (offset < b + 5) {
            newRow = true;
            return true;
        }
        if (offset <= end - 6) {
            newRow = false;
            return true;
        }
        return false;
    };
    for (const auto& [row, size] : rowSizes) {
        if (row < 0 || row > highestRow || size == 0) continue;
        const int64_t end = b + size + 4;
        if (tryRow(row, end)) return row;
        b = end;
    }
    // The row past the last reaches to the end of all offsets.
    const int past = saturatedAdd(highestRow, 1);
    if (tryRow(past, INT64_MAX)) return past;
    newRow = false;
    return 0;
}

// ================================================================ the dock

namespace {
// A dock cannot sit inside another dock or a tool window.
QWidget* checkedDockParent(QWidget* parent) {
    for (QWidget* w = parent; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (qobject_cast<TDockPv*>(w) || qobject_cast<TCustomToolWindowPv*>(w))
            throw EInvalidOperation(
                "A TDockPv control cannot be placed inside a tool window or another TDockPv");
    return parent;
}
} // namespace

TDockPv::TDockPv(QWidget* parent, TDockPosition position)
    : QWidget(checkedDockParent(parent)), FPosition(position) {
    setObjectName("DockPv");
    WatchParent(parent);
    AlignToParent();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

TDockPv::~TDockPv() {
    for (TCustomToolWindowPv* b : FBarList) b->FDock = nullptr;
    FBarList.clear();
    FVisibleBars.clear();
    if (FWatchedParent) FWatchedParent->removeEventFilter(this);
}

void TDockPv::SetParent(QWidget* parent) {
    setParent(checkedDockParent(parent));
    WatchParent(parent);
    AlignToParent();
}

void TDockPv::WatchParent(QWidget* parent) {
    if (FWatchedParent == parent) return;
    if (FWatchedParent) FWatchedParent->removeEventFilter(this);
    FWatchedParent = parent;
    if (parent) parent->installEventFilter(this);
}

bool TDockPv::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FWatchedParent && e->type() == QEvent::Resize) AlignToParent();
    return QWidget::eventFilter(watched, e);
}

// Without a layout to place it, the dock keeps itself along its edge of the parent.
void TDockPv::AlignToParent() {
    QWidget* p = parentWidget();
    if (!p || p->layout()) return;
    const QRect r = p->contentsRect();
    switch (FPosition) {
    case dpTop:
        setGeometry(r.left(), r.top(), r.width(), FThickness);
        break;
    case dpBottom:
        setGeometry(r.left(), r.bottom() + 1 - FThickness, r.width(), FThickness);
        break;
    case dpLeft:
        setGeometry(r.left(), r.top(), FThickness, r.height());
        break;
    case dpRight:
        setGeometry(r.right() + 1 - FThickness, r.top(), FThickness, r.height());
        break;
    }
}

TDockOrientation TDockPv::Orientation() const {
    return FPosition == dpTop || FPosition == dpBottom ? doHorz : doVert;
}

void TDockPv::SetAllowDrag(bool on) {
    if (FAllowDrag == on) return;
    FAllowDrag = on;
    for (QObject* o : children())
        if (auto* tw = qobject_cast<TCustomToolWindowPv*>(o)) RecalcFrame(tw);
}

void TDockPv::SetBackground(const QPixmap& pixmap) {
    FBackground = pixmap;
    FTransparentCache = QPixmap();
    RepaintBackground();
}

void TDockPv::SetBackgroundOnToolbars(bool on) {
    if (FBackgroundOnToolbars == on) return;
    FBackgroundOnToolbars = on;
    RepaintBackground();
}

void TDockPv::SetBackgroundTransparent(bool on) {
    if (FBackgroundTransparent == on) return;
    FBackgroundTransparent = on;
    FTransparentCache = QPixmap();
    RepaintBackground();
}

void TDockPv::SetBoundLines(TDockBoundLines lines) {
    FBoundLines = lines;
    setContentsMargins(lines & blLeft ? 1 : 0, lines & blTop ? 1 : 0, lines & blRight ? 1 : 0,
                       lines & blBottom ? 1 : 0);
    LayOutBars(false);
    update();
}

void TDockPv::SetColor(TColor color) {
    if (FColor == color) return;
    FColor = color;
    FTransparentCache = QPixmap();
    RepaintBackground();
}

void TDockPv::SetFixAlign(bool on) {
    if (FFixAlign == on) return;
    FFixAlign = on;
    LayOutBars(false);
}

void TDockPv::SetLimitToOneRow(bool on) {
    FLimitToOneRow = on;
    LayOutBars(false);
}

void TDockPv::SetPosition(TDockPosition position) {
    if (FPosition == position) return;
    for (QObject* o : children())
        if (o->isWidgetType())
            throw EInvalidOperation("Cannot change Position of a TDockPv if it already contains controls");
    FPosition = position;
    AlignToParent();
    LayOutBars(false);
}

void TDockPv::Loaded() {
    FLoading = false;
    LayOutBars(false);
}

void TDockPv::EnableLayout() {
    if (FDisableArrange <= 0) return;
    if (--FDisableArrange == 0 && FArrangePending) LayOutBars(FClipPositions);
}

bool TDockPv::IsShownOnDock(TCustomToolWindowPv* bar) const {
    // Visible as a property: not hidden on purpose (a child shows with its dock).
    return bar && bar->parentWidget() == this && IsVisibleProp(bar);
}

int TDockPv::AvailableLength() const {
    const QRect c = contentsRect();
    return std::max(0, Orientation() == doHorz ? c.width() : c.height());
}

void TDockPv::LayOutBars(bool clipPositions) {
    if (clipPositions) FClipPositions = true;
    if (FDisableArrange > 0 || FLoading) {
        FArrangePending = true;
        return;
    }
    ++FDisableArrange;
    struct Done {
        TDockPv* d;
        ~Done() {
            --d->FDisableArrange;
            d->FArrangePending = false;
            d->FClipPositions = false;
        }
    } done{this};
    raise();

    const TDockOrientation orient = Orientation();
    std::vector<TDockBarRecord> recs;
    recs.reserve(FBarList.size());
    for (size_t i = 0; i < FBarList.size(); ++i) {
        TCustomToolWindowPv* b = FBarList[i];
        TDockBarRecord r;
        r.DockRow = b->DockRow();
        r.DockPos = b->DockPos();
        r.FullSize = b->FullSize();
        r.Shown = IsShownOnDock(b);
        r.Width = b->width();
        r.Height = b->height();
        r.RowSize = r.Shown ? b->RowSize(orient) : 0;
        r.Tag = int(i);
        recs.push_back(r);
    }
    TDockLayoutParams prm;
    prm.Orientation = orient;
    prm.LimitToOneRow = FLimitToOneRow;
    prm.FixAlign = FFixAlign;
    prm.ClipPositions = FClipPositions;
    prm.AvailableLength = AvailableLength();
    const QMargins m = contentsMargins();
    prm.NonClientThickness = orient == doHorz ? m.top() + m.bottom() : m.left() + m.right();
    const TDockLayoutResult res = LayOutBarRecords(recs, prm);

    std::vector<TCustomToolWindowPv*> sorted;
    sorted.reserve(recs.size());
    for (const TDockBarRecord& r : recs) sorted.push_back(FBarList[size_t(r.Tag)]);
    const bool anyShown = !res.RowSizes.empty();
    if (anyShown) {
        FBarList = sorted;
        std::vector<TCustomToolWindowPv*> vis;
        for (TCustomToolWindowPv* b : FBarList)
            if (std::find(FVisibleBars.begin(), FVisibleBars.end(), b) != FVisibleBars.end())
                vis.push_back(b);
        FVisibleBars = vis;
        FRowSizes = res.RowSizes;
        for (size_t i = 0; i < recs.size(); ++i) {
            const TDockBarRecord& r = recs[i];
            TCustomToolWindowPv* b = FBarList[i];
            ++b->BeingPositioned;
            b->FDockRow = r.DockRow;
            b->FDockPos = r.DockPos;
            if (r.Shown) b->setGeometry(r.Bounds.translated(m.left(), m.top()));
            --b->BeingPositioned;
        }
    } else {
        FRowSizes.clear();
    }
    SetThickness(res.Thickness);
}

void TDockPv::SetThickness(int thickness) {
    FThickness = thickness;
    const QRect g = geometry();
    switch (FPosition) {
    case dpTop:
        setGeometry(g.left(), g.top(), g.width(), thickness);
        break;
    case dpBottom:
        setGeometry(g.left(), g.top() + g.height() - thickness, g.width(), thickness);
        break;
    case dpLeft:
        setGeometry(g.left(), g.top(), thickness, g.height());
        break;
    case dpRight:
        setGeometry(g.left() + g.width() - thickness, g.top(), thickness, g.height());
        break;
    }
    updateGeometry();
}

QSize TDockPv::sizeHint() const {
    return Orientation() == doHorz ? QSize(width(), FThickness) : QSize(FThickness, height());
}

QSize TDockPv::minimumSizeHint() const {
    return Orientation() == doHorz ? QSize(0, FThickness) : QSize(FThickness, 0);
}

void TDockPv::AddRemoveBar(TCustomToolWindowPv* bar, bool inserting) {
    auto it = std::find(FBarList.begin(), FBarList.end(), bar);
    if (inserting) {
        if (it == FBarList.end()) FBarList.push_back(bar);
        bar->FDock = this;
    } else {
        if (it != FBarList.end()) FBarList.erase(it);
        if (bar->FDock == this) bar->FDock = nullptr;
    }
    UpdateBarVisibility(bar, !inserting);
}

void TDockPv::UpdateBarVisibility(TCustomToolWindowPv* bar, bool forceHidden) {
    const bool belongs = !forceHidden && std::find(FBarList.begin(), FBarList.end(), bar) != FBarList.end() &&
                         IsShownOnDock(bar);
    auto it = std::find(FVisibleBars.begin(), FVisibleBars.end(), bar);
    const bool listed = it != FVisibleBars.end();
    if (belongs == listed) return;
    if (belongs)
        FVisibleBars.push_back(bar);
    else
        FVisibleBars.erase(it);
    LayOutBars(false);
    if (OnInsertRemoveBar) OnInsertRemoveBar(this, belongs, bar);
}

int TDockPv::GetRowSize(int row, TCustomToolWindowPv* bar) const {
    auto it = FRowSizes.find(row);
    if (it != FRowSizes.end() && it->second != 0) return it->second;
    return bar ? bar->RowSize(Orientation()) : 0;
}

int TDockPv::HighestRow() const {
    int h = -1;
    for (TCustomToolWindowPv* b : FBarList) h = std::max(h, b->DockRow());
    return h;
}

int TDockPv::RowAtOffset(int offset) const {
    return RowAtOffsetOf(FRowSizes, HighestRow(), offset);
}

int TDockPv::DropRowAtOffset(int offset, bool& newRow) const {
    return DropRowAtOffsetOf(FRowSizes, HighestRow(), offset, newRow);
}

bool TDockPv::HasVisibleBars() const {
    return std::any_of(FBarList.begin(), FBarList.end(),
                       [this](TCustomToolWindowPv* b) { return IsShownOnDock(b); });
}

int TDockPv::BarCountInRow(int row, TCustomToolWindowPv* except) const {
    return int(std::count_if(FBarList.begin(), FBarList.end(),
                             [&](TCustomToolWindowPv* b) { return b != except && b->DockRow() == row; }));
}

void TDockPv::InsertRowBefore(int row) {
    for (TCustomToolWindowPv* b : FBarList)
        if (b->DockRow() >= row) b->FDockRow = saturatedAdd(b->FDockRow, 1);
}

void TDockPv::RepaintBackground() {
    update();
    for (TCustomToolWindowPv* b : FBarList)
        if (IsShownOnDock(b)) {
            RecalcFrame(b);
            b->update();
        }
}

const QPixmap& TDockPv::BackgroundToDraw() {
    if (!FBackgroundTransparent) return FBackground;
    if (FTransparentCache.isNull()) {
        QImage src = FBackground.toImage().convertToFormat(QImage::Format_ARGB32);
        const QRgb key = src.pixel(0, src.height() - 1);
        QImage out(src.size(), QImage::Format_ARGB32);
        out.fill(ColorToQColor(FColor, palette()));
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x)
                if ((src.pixel(x, y) & 0xFFFFFF) != (key & 0xFFFFFF)) out.setPixel(x, y, src.pixel(x, y));
        FTransparentCache = QPixmap::fromImage(out);
    }
    return FTransparentCache;
}

void TDockPv::DrawBackground(QPainter& p, const QRect& rect, QWidget* onBehalfOf) {
    if (FBackground.width() == 0 || FBackground.height() == 0) return;
    const QPixmap& tile = BackgroundToDraw();
    // The pattern starts at the form's client origin, so that all docks and bars join up.
    QWidget* host = onBehalfOf ? onBehalfOf : this;
    QWidget* form = host->window();
    const QPoint origin = host->mapTo(form, QPoint(0, 0));
    p.save();
    p.setClipRect(rect);
    p.drawTiledPixmap(rect, tile,
                      QPoint(((rect.left() + origin.x()) % tile.width() + tile.width()) % tile.width(),
                             ((rect.top() + origin.y()) % tile.height() + tile.height()) % tile.height()));
    p.restore();
}

void TDockPv::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    if (FBoundLines && HasVisibleBars()) {
        const QColor shadow = palette().color(QPalette::Dark), light = palette().color(QPalette::Light);
        if (FBoundLines & blTop) {
            p.fillRect(QRect(r.left(), r.top(), r.width(), 1), shadow);
            r.setTop(r.top() + 1);
        }
        if (FBoundLines & blLeft) {
            p.fillRect(QRect(r.left(), r.top(), 1, r.height()), shadow);
            r.setLeft(r.left() + 1);
        }
        if (FBoundLines & blBottom) {
            p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), light);
            r.setBottom(r.bottom() - 1);
        }
        if (FBoundLines & blRight) {
            p.fillRect(QRect(r.right(), r.top(), 1, r.height()), light);
            r.setRight(r.right() - 1);
        }
    }
    p.fillRect(r, ColorToQColor(FColor, palette()));
    DrawBackground(p, contentsRect());
}

void TDockPv::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (FLoading) return;
    LayOutBars(false);
    if (OnResize) OnResize(this);
}

void TDockPv::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (!FBackground.isNull()) RepaintBackground();
}

void TDockPv::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange) FTransparentCache = QPixmap();
    if (e->type() == QEvent::ParentChange) {
        WatchParent(parentWidget());
        AlignToParent();
    }
    QWidget::changeEvent(e);
}

void TDockPv::mousePressEvent(QMouseEvent* e) {
    if (OnMouseDown) OnMouseDown(this, e);
}
void TDockPv::mouseMoveEvent(QMouseEvent* e) {
    if (OnMouseMove) OnMouseMove(this, e);
}
void TDockPv::mouseReleaseEvent(QMouseEvent* e) {
    if (OnMouseUp) OnMouseUp(this, e);
}
