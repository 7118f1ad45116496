// The docking toolbar library's shared services and the dock: the version every public class
// shows, application-wide hooks that tool windows register for, sorting, screen work areas,
// small window utilities, and `TDockPv`, the strip along a form's edge that holds tool windows
// in rows. The dock's arrangement is a function over plain bar records, which the widget applies.
#pragma once
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QCursor>
#include <QMargins>
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
// The Visible property of a control: not hidden on purpose. A child of a window that is not
// shown yet counts as visible.
bool IsVisibleProp(const QWidget* w);
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
class TCustomToolWindowPv;
class TDragOutline;

// ---------------------------------------------------------------- tool windows

using TDockableTo = unsigned; // bit (1 << TDockPosition)
inline constexpr TDockableTo kDockableToAll = 15;
enum TToolWindowDockMode { dmCanFloat = 0, dmCannotFloat = 1, dmCannotFloatOrChangeDocks = 2 };
enum TToolWindowFloatingMode { fmOnTopOfParentForm = 0, fmOnTopOfAllForms = 1 };
enum TDragHandleStyle { dhDouble = 0, dhNone = 1, dhSingle = 2 };
enum TBorderStyle { bsNone = 0, bsSingle = 1 };

// What a point of a tool window is: the window system's hit-test codes.
enum THitTest {
    HTNOWHERE = 0,
    HTCLIENT = 1,
    HTCAPTION = 2,
    HTLEFT = 10,
    HTRIGHT = 11,
    HTTOP = 12,
    HTTOPLEFT = 13,
    HTTOPRIGHT = 14,
    HTBOTTOM = 15,
    HTBOTTOMLEFT = 16,
    HTBOTTOMRIGHT = 17,
    HTCLOSE = 20
};
// Resize edges as the resize loop numbers them.
enum TResizeEdge { reLeft = 0, reRight, reTop, reTopLeft, reTopRight, reBottom, reBottomLeft, reBottomRight };
// The edge a sizing hit code stands for; -1 for any other code.
int ResizeEdgeOfHit(int hit);

// Frame widths of a floating tool window: fixed and sizable.
inline constexpr int kFixedFrame = 3;
inline constexpr int kSizeFrame = 4;

// The non-client parts as plain numbers, so that tables can test them.
// Docked: 2 on every side, plus the grip at the left (horizontal dock) or top (vertical).
int DockedGripSize(TDragHandleStyle style, bool closeButtonWhenDocked);
QMargins DockedNonClient(TDockOrientation orientation, bool allowDrag, TDragHandleStyle style,
                         bool closeButtonWhenDocked);
QMargins FloatingNonClient(bool sizable, bool showCaption, int captionHeight);

struct TFloatingFrame {
    QSize Window; // the whole window
    bool Sizable = true;
    bool ShowCaption = true;
    bool CloseButton = true;
    bool ResizeFromCorners = true;
    int CaptionHeight = 0; // the small caption height
};
// Caption and close box rectangles of a floating window, in window coordinates.
QRect FloatingCaptionRect(const TFloatingFrame& f);
QRect FloatingCloseRect(const TFloatingFrame& f);
int FloatingHitTest(const TFloatingFrame& f, QPoint p);
// The docked close box, in window coordinates, for a client width.
QRect DockedCloseRect(TDockOrientation orientation, int clientWidth);

// A caption that does not fit `width` gets "..." and loses the character before it until it
// fits or is down to 4 characters.
QString EllipsizedCaption(const QString& text, int width, const std::function<int(const QString&)>& measure);

// Pulling a floating window back onto its work area: a window entirely outside `work` (or any,
// when `always`) is moved so its right and bottom are inside, then its left and top.
QRect PulledBackRect(const QRect& r, const QRect& work, bool always);
// A floating drag rectangle kept near the work area: shrunk by the frame + 4, a rectangle
// entirely beyond a side comes back in, and its top is at most (topNonClient - 4) above.
QRect ClampFloatingDragRect(const QRect& r, const QRect& work, int frame, int topNonClient);

// The dragged window's rectangle for a size, placed so the grab point scales with it.
QRect ScaledDragRect(QPoint cursor, QPoint grab, QSize startSize, QSize size);
// Whether the cursor counts as over a dock whose screen rectangle is `dock` (empty docks are
// widened across their thickness) for a window of `startSize` grabbed at `grab`, whose rectangle
// at that dock would be `barRect`.
bool CursorOverDock(QPoint cursor, QRect dock, bool vertical, QPoint grab, QSize startSize,
                    const QRect& barRect);

// Callback of the position data: (bar name, value name, value or default, extra) -> value read.
using TPositionDataProc = std::function<int(const QString& name, const QString& value, int def, void* extra)>;

// The floating frame window that holds one floating tool window above its form.
class TFloatingWindowParent : public QWidget {
    Q_OBJECT
public:
    TFloatingWindowParent(QWidget* parentForm, bool onTopOfAll);
    QWidget* ParentForm() const { return FParentForm; }
    void SetOnTopOfAll(bool on);
    bool ShouldShow = false;
    // Shows or hides without activating, as ShouldShow and the form say.
    void ShowingChanged();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QPointer<QWidget> FParentForm;
    friend class TCustomToolWindowPv;
};

// A window that lives on a dock or floats above its form: its frame, grip, caption and close
// box are painted in its margins (the non-client area), hit testing is its own, and dragging,
// resizing and closing are states of the pressed window.
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
    // A dock makes it its parent; null floats it on its form.
    void SetDockedTo(TDockPv* dock);
    bool Docked() const { return FDocked; }
    TDockPv* DefaultDock() const { return qobject_cast<TDockPv*>(FDefaultDock.data()); }
    void SetDefaultDock(TDockPv* dock);
    TDockPv* LastDock() const { return qobject_cast<TDockPv*>(FLastDock.data()); }
    void SetLastDock(TDockPv* dock);
    bool UseLastDock() const { return FUseLastDock; }
    void SetUseLastDock(bool on);
    TDockableTo DockableTo = kDockableToAll;
    TToolWindowDockMode DockMode = dmCanFloat;
    TToolWindowFloatingMode FloatingMode() const { return FFloatingMode; }
    void SetFloatingMode(TToolWindowFloatingMode mode);
    bool ActivateParent = true;
    bool HideWhenInactive() const { return FHideWhenInactive; }
    void SetHideWhenInactive(bool on);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    TDragHandleStyle DragHandleStyle() const { return FDragHandleStyle; }
    void SetDragHandleStyle(TDragHandleStyle style);
    bool CloseButton() const { return FCloseButton; }
    void SetCloseButton(bool on);
    bool CloseButtonWhenDocked() const { return FCloseButtonWhenDocked; }
    void SetCloseButtonWhenDocked(bool on);
    bool ShowCaption() const { return FShowCaption; }
    void SetShowCaption(bool on);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    bool Visible() const { return IsVisibleProp(this); }
    // Thickness the window needs in a dock row of this orientation.
    virtual int RowSize(TDockOrientation orientation) const;
    // Raised while the dock sets this window's bounds.
    int BeingPositioned = 0;
    QString Version() const { return kToolbarPvVersion; }
    void SetVersion(const QString&) {}

    std::function<void(TCustomToolWindowPv*)> OnClose, OnDockChanging, OnDockChanged, OnRecreating,
        OnRecreated, OnMove, OnResize, OnVisibleChanged;
    std::function<void(TCustomToolWindowPv*, bool& canClose)> OnCloseQuery;
    std::function<void(TCustomToolWindowPv*, TDockPv*dockingTo)> OnDockChangingEx, OnDockChangingHidden;

    // Docks (a dock), floats (a form) or removes (null) the window.
    void SetParent(QWidget* target);
    TFloatingWindowParent* FloatingParent() const {
        return qobject_cast<TFloatingWindowParent*>(FFloatParent.data());
    }
    // The stored floating top-left, in screen coordinates.
    QPoint FloatingPosition() const { return FFloatingTopLeft; }
    void SetFloatingPosition(QPoint p);
    // Bounds: in the dock when docked, on the screen when floating.
    QRect BoundsRect() const;
    void SetBounds(const QRect& r);

    void LockControlLayout() { ++FDisableArrange; }
    void UnlockControlLayout();
    void RelayoutControls();
    // Forms whose docks are offered while dragging, beside its own.
    void AddDockForm(QWidget* form);
    void RemoveDockForm(QWidget* form);

    // Non-client sizes and parts in window coordinates, as they are now.
    QMargins NonClient() const;
    QMargins DockedNonClientFor(TDockOrientation orientation) const;
    QMargins FloatingNonClientNow() const;
    QRect CloseBoxRect() const;
    int HitTest(QPoint p) const;
    bool Sizable() const { return FSizable; }
    // Margins again from the parent and the frame properties; re-arranges when they change.
    void RecalcNonClient();

    bool ShouldBeVisible() const;
    void UpdateVisibility();
    // Pulls a floating window back onto the screen.
    void MoveOnScreen(bool onlyIfFullyOffscreen);
    // The end of loading: places a floating window and lays its controls out.
    void Loaded();

    // Which loop runs: none, drag, resize or close.
    enum TLoop { lpNone, lpDrag, lpResize, lpClose };
    TLoop Loop() const { return FLoop; }
    // The drag or resize frame shown, in screen coordinates (empty when none).
    QRect OutlineRect() const;
    int OutlineThickness() const;
    bool ClosePressed() const { return FClosePressed; }
    static const std::vector<TCustomToolWindowPv*>& FloatingList();

    // Behaviour flags fetched at creation.
    struct TBehavior {
        bool AlignChildrenNormally = true;
        bool ResizeFromCorners = true;
        bool ConfineCursor = true;
    };

protected:
    virtual QSize MinimumClientSize() const { return QSize(0, 0); }
    // The client size for an orientation and target dock; with `apply` the controls move.
    virtual QSize OrderAndSizeControls(bool apply, TDockOrientation orientation, TDockPv* dock);
    virtual void SizeChanged(int, int) {}
    virtual bool ChildIsIgnoredByGrip(QWidget*) const { return false; }
    virtual void DockChangingHidden(TDockPv* dock);
    virtual void Moved();
    virtual TBehavior GetBehavior() const { return TBehavior(); }
    virtual void AfterLoaded() {}
    virtual void ResizeBegin(int) {}
    virtual void ResizeEnd(bool) {}
    virtual void ResizeTracking(QRect&, const QRect&) {}

public:
    virtual void ReadPositionData(const TPositionDataProc&, void*) {}
    virtual void WritePositionData(const TPositionDataProc&, void*) {}

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    // Paints the docked or floating frame; descendants paint their client after it.
    void PaintNonClient(QPainter& p);
    TBehavior FBehavior;
    int FDisableArrange = 0;
    bool FArrangePending = false;

public:
    // A press at `pos` (window coordinates) that reached the window or one of its passing
    // children (separators): starts the loop its hit code asks for.
    void StartLoopAt(QPoint pos, QPoint globalPos, Qt::KeyboardModifiers mods, bool doubleClick);

private:
    friend class TDockPv;
    friend class TFloatingWindowParent;
    static void HookProc(THookProcCode code, QObject* window, QEvent* event, int state);
    void Relayout();
    void UpdateFloatingList();
    void ShowingChanged();
    void DoubleClick();
    void ArrangeFor(TDockOrientation o, TDockPv* dock, bool resize);
    // Drag loop.
    void BeginDrag(QPoint local, QPoint global, Qt::KeyboardModifiers mods);
    void TrackDrag(QPoint global, bool ctrl);
    void EndDrag(bool accept);
    // Resize loop.
    void BeginResize(int edge, QPoint global);
    void TrackResize(QPoint global);
    void EndResize(bool accept);
    // Close loop.
    void BeginClose();
    void TrackClose(QPoint local);
    void EndClose(bool accept);
    void EndLoop(bool accept);
    void ShowOutline(const QRect& r, int thickness);

    int FDockRow = 0;
    int FDockPos = -1;
    bool FFullSize = false;
    bool FDocked = false;
    QPointer<TDockPv> FDock; // the dock whose bar list holds this window
    // Read through qobject_cast: a dock being destroyed is no dock any more.
    QPointer<QWidget> FDefaultDock, FLastDock;
    bool FUseLastDock = true;
    TToolWindowFloatingMode FFloatingMode = fmOnTopOfParentForm;
    bool FHideWhenInactive = true;
    TBorderStyle FBorderStyle = bsSingle;
    TDragHandleStyle FDragHandleStyle = dhDouble;
    bool FCloseButton = true, FCloseButtonWhenDocked = false, FShowCaption = true;
    QString FCaption;
    TColor FColor = clBtnFace;
    bool FSizable = true;
    QPoint FFloatingTopLeft;
    QPointer<QWidget> FFloatParent; // read through FloatingParent()
    std::vector<QPointer<QWidget>> FDockForms;
    int FHidden = 0, FDisableOnMove = 0, FUpdatingBounds = 0;
    bool FInSetParent = false;
    bool FInactiveCaption = false;
    bool FClosePressed = false;
    TDockOrientation FLastOrientation = doNoOrient;
    bool FLastOrientationKnown = false;

    // Loop state.
    TLoop FLoop = lpNone;
    QPoint FGrab;     // drag: cursor offset in the window; resize: the start cursor
    QSize FStartSize; // the window's size when the drag began
    QPoint FLastCursor;
    bool FCtrl = false;
    bool FCannotFloat = false;
    struct TCandidate {
        QPointer<TDockPv> Dock;
        QSize Size;
    };
    std::vector<TCandidate> FCandidates;
    QSize FFloatSize;
    QPointer<TDockPv> FDragTarget;
    QRect FDragRect; // empty: nothing to drop
    QRect FResizeStart, FResizeRect;
    int FResizeEdge = -1;
    QSize FResizeMin;
    bool FCursorSaved = false;
    bool FHadCursor = false;
    QCursor FSavedCursor;
    TDragOutline* FOutline = nullptr;
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
