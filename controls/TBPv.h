// The docking toolbar library's shared services and the dock: the version every public class
// shows, application-wide hooks that tool windows register for, sorting, screen work areas,
// small window utilities, and `TDockPv`, the strip along a form's edge that holds tool windows
// in rows. The dock's arrangement is a function over plain bar records, which the widget applies.
#pragma once
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "controls/PvCommon.h"

class QEvent;
class QScreen;

// ---------------------------------------------------------------- version

inline constexpr const char* kToolbarPvVersion = "ToolbarPv version 1.76";
using TToolbarPvVersion = const char*;

// ---------------------------------------------------------------- hooks

// What a registered callback hears about, from every window of the application:
// 0 the application became active or inactive; 1 a top-level window was shown, hidden,
// moved or changed its state; 2 a top-level window is being destroyed; 3 the mouse moved.
enum THookProcCode {
    hkActivateAppSent = 0,
    hkWindowPosChangedSent = 1,
    hkBeforeDestroy = 2,
    hkMouseMovePosted = 3
};
using THookProcCodes = unsigned; // bit (1 << kind)
// `window` is the window concerned (the application object for kind 0); `event` the event
// behind the call, or null for kind 2; kind 0 carries the new Qt::ApplicationState in `state`.
using THookProc = void (*)(THookProcCode code, QObject* window, QEvent* event, int state);

// The hooks installed: one for kinds 0 and 1, one for kind 2, one for kind 3, in that order.
enum THookIndex { hiCallWndProc = 0, hiCBT = 1, hiGetMessage = 2 };

void RegisterHookCallback(THookProc proc, THookProcCodes codes, bool skipInstall = false);
void UnregisterHookCallback(THookProc proc);
// Removes all hooks whatever their counts and forgets every registration.
void FinalizeHooks();
// Inspection: a hook's use count and whether it is installed; a callback's reference count
// (0 when not listed); the number of registrations.
int HookUseCount(THookIndex hook);
bool HookInstalled(THookIndex hook);
int HookCallbackRefCount(THookProc proc);
int HookCallbackCount();

// ---------------------------------------------------------------- sorting

// Quicksort of a pointer list: pivot the middle item, recursing on the left part and looping
// on the right. Lists of 0 or 1 items are untouched.
using TListSortCompareEx = int (*)(const void* item1, const void* item2, void* extra);
void SortPointerList(std::vector<void*>& list, TListSortCompareEx compare, void* extra);

template <class T, class Compare> void QuickSortList(std::vector<T>& list, Compare compare) {
    if (list.size() < 2) return;
    std::function<void(long, long)> sort = [&](long l, long r) {
        long i;
        do {
            i = l;
            long j = r;
            const T p = list[size_t((l + r) >> 1)];
            do {
                while (compare(list[size_t(i)], p) < 0) ++i;
                while (compare(list[size_t(j)], p) > 0) --j;
                if (i <= j) {
                    std::swap(list[size_t(i)], list[size_t(j)]);
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (l < j) sort(l, j);
            l = i;
        } while (i < r);
    };
    sort(0, long(list.size()) - 1);
}

// ---------------------------------------------------------------- windows and screens

bool ApplicationHasActiveWindow();
int ToolCaptionHeight();
// Work areas: the available geometry of the primary screen; of the screen a rectangle overlaps
// most (else the nearest one); of the screen a point lies on (else the nearest one).
QRect GetDesktopWorkArea();
QRect GetWorkAreaOfRect(const QRect& r);
QRect GetWorkAreaOfPoint(const QPoint& p);
// The choice behind the two above, on plain rectangles: the index of the screen `r` overlaps
// most, or, when it overlaps none, the one nearest to it; -1 for no screens.
int ScreenIndexOfRect(const std::vector<QRect>& screens, const QRect& r);

// The form a control sits on: its window, or null for a control on no form.
QWidget* OwningFormOf(QWidget* control);
// As OwningFormOf; a control on no form raises EInvalidOperation.
QWidget* RequireOwningForm(QWidget* control);
// There are no MDI forms here: every form is its own parent.
inline QWidget* MDIParentOf(QWidget* form) {
    return form;
}
// Paints every window whose painting is pending, now.
void FlushPaintMessages();
// The first shown, enabled top-level window other than `except` that does not stay on top;
// else the first one that does; null if none.
QWidget* FindTopLevelWindowExcept(QWidget* except);
// Recomputes and repaints a control's frame (what lies outside its contents).
void RecalcFrame(QWidget* control);

// ---------------------------------------------------------------- tool windows, docks

enum TDockPosition { dpTop = 0, dpBottom = 1, dpLeft = 2, dpRight = 3 };
inline constexpr int kNoDockPosition = 4; // floating or not in a tool window
enum TDockOrientation { doNoOrient = 0, doHorz = 1, doVert = 2 };
enum TDockBoundLine { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TDockBoundLines = unsigned;

class TDockPv;

// A window that a dock holds in one of its rows. The tool window library builds on this;
// what the dock reads of it is here.
class TCustomToolWindowPv : public QWidget {
    Q_OBJECT
public:
    explicit TCustomToolWindowPv(QWidget* parent = nullptr);
    ~TCustomToolWindowPv() override;

    int DockRow() const { return FDockRow; }
    void SetDockRow(int row);
    int DockPos() const { return FDockPos; }
    void SetDockPos(int pos);
    bool FullSize() const { return FFullSize; }
    void SetFullSize(bool on);
    TDockPv* DockedTo() const;
    // Thickness the window needs in a dock row of this orientation.
    virtual int RowSize(TDockOrientation orientation) const;
    // Raised while the dock sets this window's bounds.
    int BeingPositioned = 0;
    QString Version() const { return kToolbarPvVersion; }
    void SetVersion(const QString&) {}

protected:
    bool event(QEvent* e) override;

private:
    void Relayout();
    int FDockRow = 0;
    int FDockPos = -1;
    bool FFullSize = false;
    QPointer<TDockPv> FDock; // the dock whose bar list holds this window
    friend class TDockPv;
};

// Position on the dock of the tool window a control sits in; kNoDockPosition when floating
// or not in one.
int GetDockPositionOfControl(QWidget* control);

// One bar as the arrangement sees it. In: row, position, full size, shown, size and row
// size for the dock's orientation. Out: row and position (as stored after the arrangement),
// the fitted position and the bounds, in the dock's client coordinates.
struct TDockBarRecord {
    int DockRow = 0;
    int DockPos = -1;
    bool FullSize = false;
    bool Shown = true;
    int Width = 0, Height = 0;
    int RowSize = 0;
    int FittedPos = 0;
    QRect Bounds;
    int Tag = 0; // the caller's own
};

struct TDockLayoutParams {
    TDockOrientation Orientation = doHorz;
    bool LimitToOneRow = false;
    bool FixAlign = false;
    bool ClipPositions = false;
    int AvailableLength = 0;    // the dock's client length along its rows
    int NonClientThickness = 0; // the frame across the rows (both sides)
};

struct TDockLayoutResult {
    std::map<int, int> RowSizes; // non-empty rows only; every other row is 0
    int Thickness = 0;           // the dock's new width (vertical) or height (horizontal)
};

// Arranges the bars: removes empty rows, sorts by row and position, gives full-size bars a
// row of their own, sizes rows, removes overlaps and fits the rows into the dock. `bars` is
// re-sorted in place. Works on the rows in use only, whatever their numbers.
TDockLayoutResult LayOutBarRecords(std::vector<TDockBarRecord>& bars, const TDockLayoutParams& params);

// Rows at an offset across the dock, over the row sizes as the arrangement left them.
int RowAtOffsetOf(const std::map<int, int>& rowSizes, int highestRow, int offset);
// The row a bar dropped at `offset` goes to, and whether a new row is made before it.
int DropRowAtOffsetOf(const std::map<int, int>& rowSizes, int highestRow, int offset, bool& newRow);

class TDockPv : public QWidget {
    Q_OBJECT
public:
    explicit TDockPv(QWidget* parent = nullptr, TDockPosition position = dpTop);
    ~TDockPv() override;

    // A dock cannot sit inside another dock or a tool window.
    void SetParent(QWidget* parent);

    QString Version() const { return kToolbarPvVersion; }
    void SetVersion(const QString&) {}

    bool AllowDrag() const { return FAllowDrag; }
    void SetAllowDrag(bool on);
    const QPixmap& Background() const { return FBackground; }
    void SetBackground(const QPixmap& pixmap);
    bool BackgroundOnToolbars() const { return FBackgroundOnToolbars; }
    void SetBackgroundOnToolbars(bool on);
    bool BackgroundTransparent() const { return FBackgroundTransparent; }
    void SetBackgroundTransparent(bool on);
    TDockBoundLines BoundLines() const { return FBoundLines; }
    void SetBoundLines(TDockBoundLines lines);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    bool FixAlign() const { return FFixAlign; }
    void SetFixAlign(bool on);
    bool LimitToOneRow() const { return FLimitToOneRow; }
    void SetLimitToOneRow(bool on);
    TDockPosition Position() const { return FPosition; }
    void SetPosition(TDockPosition position);
    TDockOrientation Orientation() const;

    std::function<void(TDockPv*, bool inserting, TCustomToolWindowPv* bar)> OnInsertRemoveBar;
    std::function<void(TDockPv*, TCustomToolWindowPv* bar, bool& accept)> OnRequestDock;
    std::function<void(TDockPv*)> OnResize;
    std::function<void(TDockPv*, QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;

    // The end of loading: lays the bars out. Until then (BeginLoading) layouts wait.
    void BeginLoading() { FLoading = true; }
    void Loaded();

    void DisableLayout() { ++FDisableArrange; }
    void EnableLayout();
    void LayOutBars(bool clipPositions);
    void AddRemoveBar(TCustomToolWindowPv* bar, bool inserting);
    void UpdateBarVisibility(TCustomToolWindowPv* bar, bool forceHidden);
    int GetRowSize(int row, TCustomToolWindowPv* bar) const;
    int HighestRow() const;
    int RowAtOffset(int offset) const;
    int DropRowAtOffset(int offset, bool& newRow) const;
    bool HasVisibleBars() const;
    int BarCountInRow(int row, TCustomToolWindowPv* except) const;
    void InsertRowBefore(int row);
    void RepaintBackground();

    // A bar is shown on the dock when it sits on it and is not hidden.
    bool IsShownOnDock(TCustomToolWindowPv* bar) const;
    const std::vector<TCustomToolWindowPv*>& BarList() const { return FBarList; }
    const std::vector<TCustomToolWindowPv*>& VisibleBarList() const { return FVisibleBars; }
    // Paints the background tiles into `rect` (this widget's coordinates), the pattern anchored
    // at the form's client origin; a bar of the dock paints its own part through this too.
    void DrawBackground(QPainter& p, const QRect& rect, QWidget* onBehalfOf = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SetThickness(int thickness);
    void AlignToParent();
    void WatchParent(QWidget* parent);
    const QPixmap& BackgroundToDraw();
    int AvailableLength() const;

    bool FAllowDrag = true;
    QPixmap FBackground;
    QPixmap FTransparentCache;
    bool FBackgroundOnToolbars = true;
    bool FBackgroundTransparent = false;
    TDockBoundLines FBoundLines = 0;
    TColor FColor = clBtnFace;
    bool FFixAlign = false;
    bool FLimitToOneRow = false;
    TDockPosition FPosition = dpTop;
    std::vector<TCustomToolWindowPv*> FBarList;
    std::vector<TCustomToolWindowPv*> FVisibleBars;
    std::map<int, int> FRowSizes;
    int FDisableArrange = 0;
    bool FArrangePending = false;
    bool FClipPositions = false;
    bool FLoading = false;
    int FThickness = 0;
    QPointer<QWidget> FWatchedParent;
};
