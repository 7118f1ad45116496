// The tool bar: a tool window that lines its child controls up in one row when docked and in
// wrapped lines when floating, with snapping sizes while a floating bar is resized; and the
// separator placed between groups of its controls. The layout is a function over plain item
// records, which the widget applies.
#pragma once
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "controls/TBPv.h"

class TToolbarSepPv;

// One control as the layout sees it. In: separator or not, its size (a separator's lengths).
// Out: its bounds in the bar's client area; a separator at a wrap gets width 0.
struct TToolbarItem {
    bool Separator = false;
    int Width = 0, Height = 0;
    int SizeHorz = 6, SizeVert = 6;
    bool Blank = false;
    QRect Bounds;
    int Tag = 0; // the caller's own
};

struct TToolbarWrapLine {
    int Across = 0; // offset of the new line
    bool Blank = false;
};

struct TToolbarSegment {
    int Width = 0, Height = 0; // totals of its non-separator controls
    std::vector<int> Items;    // indexes into the items
};

struct TToolbarLayoutParams {
    TDockOrientation Orientation = doNoOrient; // of the target dock; none when floating
    bool Docked = false;
    int FloatRightX = 0; // floating: the width at which controls wrap; 0 = one line
    int Thickness = 0;   // the row thickness to place in; 0 = the row size
};

struct TToolbarLayoutResult {
    QSize Client;
    int RowSize = 8;
    std::vector<TToolbarWrapLine> WrapLines;
    std::vector<TToolbarSegment> Segments;
};

// The largest height (width on a vertical dock) among the controls, at least 8.
int ToolbarRowSize(const std::vector<TToolbarItem>& items, TDockOrientation orientation);
// Lays the items out in the order given; fills their bounds.
TToolbarLayoutResult LayOutToolbarItems(std::vector<TToolbarItem>& items, const TToolbarLayoutParams& params);
// The client sizes a floating bar can take: the unwrapped one first, then each narrower
// wrapping, by trial layouts with a floating right edge.
std::vector<QSize> ToolbarWrapSizes(const std::function<QSize(int floatRightX)>& layout);

// The snapping of a resize over the possible sizes (largest first along the resized extent).
struct TToolbarSnap {
    std::vector<QSize> Sizes; // outer sizes, largest first along the extent
    std::vector<int> RightX;  // the floating right edge of each size (0: unwrapped)
    bool Horizontal = true;   // left or right edge: the extent is the width
    int SnapDistance = 12;
    int LastDirection = 0;
    int Current = -1; // index of the chosen size
    int Extent(size_t i) const { return Horizontal ? Sizes[i].width() : Sizes[i].height(); }
    // Sets the snap distance from the neighbours of the current size.
    void Start(QSize current);
    // The size for a cursor distance from the fixed edge.
    int Choose(int distance);
};

class TCustomToolbarPv : public TCustomToolWindowPv {
    Q_OBJECT
public:
    explicit TCustomToolbarPv(QWidget* parent = nullptr);
    ~TCustomToolbarPv() override;

    int FloatRightX() const { return FFloatRightX; }
    void SetFloatRightX(int x);
    // Controls in layout order.
    std::vector<QWidget*> OrderList() const;
    // Puts `control` at `index` of the layout order.
    void SetOrderIndex(QWidget* control, int index);
    const std::vector<TToolbarSegment>& Segments() const { return FSegments; }
    const std::vector<TToolbarWrapLine>& WrapLines() const { return FWrapLines; }
    // A pair of controls of which one shows on vertical docks and the other elsewhere.
    void AddOrientationPair(QWidget* forVertical, QWidget* forOther);
    // Sorts the order by position (Top on a vertical dock, else Left) after loading.
    void Loaded();

    int RowSize(TDockOrientation orientation) const override;
    void ReadPositionData(const TPositionDataProc& proc, void* extra) override;
    void WritePositionData(const TPositionDataProc& proc, void* extra) override;
    // The snapping sizes of the running resize; empty when none runs.
    const TToolbarSnap* Snap() const { return FSnap.get(); }

protected:
    QSize OrderAndSizeControls(bool apply, TDockOrientation orientation, TDockPv* dock) override;
    TBehavior GetBehavior() const override { return {false, false, false}; }
    bool ChildIsIgnoredByGrip(QWidget* child) const override;
    void ResizeBegin(int edge) override;
    void ResizeTracking(QRect& rect, const QRect& previous) override;
    void ResizeEnd(bool accepted) override;
    void paintEvent(QPaintEvent* e) override;
    void childEvent(QChildEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool VisibleFor(QWidget* c, TDockOrientation o) const;
    std::vector<QWidget*> Candidates(bool apply, TDockOrientation o) const;
    void PurgeOrder();
    std::vector<QPointer<QWidget>> FOrder;
    struct TPair {
        QPointer<QWidget> Vertical, Other;
    };
    std::vector<TPair> FPairs;
    std::vector<TToolbarSegment> FSegments;
    std::vector<TToolbarWrapLine> FWrapLines;
    int FFloatRightX = 0;
    int FResizeEdge = -1;
    std::unique_ptr<TToolbarSnap> FSnap;
    int FPositioning = 0;
};

class TToolbarPv : public TCustomToolbarPv {
    Q_OBJECT
public:
    using TCustomToolbarPv::TCustomToolbarPv;
};

class TToolbarSepPv : public QWidget {
    Q_OBJECT
public:
    // A separator's parent is a tool bar or none.
    explicit TToolbarSepPv(QWidget* parent = nullptr);
    void SetParent(QWidget* parent);
    int SizeHorz() const { return FSizeHorz; }
    void SetSizeHorz(int size);
    int SizeVert() const { return FSizeVert; }
    void SetSizeVert(int size);
    bool Blank() const { return FBlank; }
    void SetBlank(bool on);
    QString Version() const { return kToolbarPvVersion; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void Rearrange();
    int FSizeHorz = 6, FSizeVert = 6;
    bool FBlank = false;
};
