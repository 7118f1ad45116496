// The docking toolbar library's controls. The flat edit box: no frame of its own, a three-pixel
// border painted in the idle or the sunken look, and the list of flat edit classes whose focus
// keeps the other flat edits idle under the mouse. The tool bar button: glyph and caption, hot
// tracking, groups, auto-repeat and drop-down menus, with the glyph images it shares among
// buttons of the same glyph size.
#pragma once
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QPixmap>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "controls/FlatHover.h"
#include "controls/TBPv.h"

class QAction;
class QTimer;

// Classes whose instances, when they hold the focus, keep every flat edit under the mouse idle.
void AddFlatEditClass(const QMetaObject* cls);
void RemoveFlatEditClass(const QMetaObject* cls);
const std::vector<const QMetaObject*>& FlatEditClasses();
bool IsFlatEditClassInstance(const QObject* o);

class TEditPv : public TFlatHover<QLineEdit> {
    Q_OBJECT
public:
    explicit TEditPv(QWidget* parent = nullptr);
    ~TEditPv() override;
    QString Version() const { return kToolbarPvVersion; }
    void SetVersion(const QString&) {}
    // Height from the font: its text height plus 6; run at load and after each font change.
    void Loaded();

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void AdjustHeight();
};

// ---------------------------------------------------------------- tool bar buttons

enum TButtonDisplayMode { dmBoth = 0, dmGlyphOnly = 1, dmTextOnly = 2 };
enum TButtonLayout { blGlyphLeft = 0, blGlyphRight = 1, blGlyphTop = 2, blGlyphBottom = 3 };
// A button's states, in the order of the images of a glyph bitmap.
enum TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3, bsHot = 4 };

// A list of images of one size, as buttons take them (the image list of a form).
class TPvImageList : public QObject {
    Q_OBJECT
public:
    TPvImageList(int width, int height, QObject* parent = nullptr);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return int(FImages.size()); }
    // Adds an image (scaled to the list's size when it differs); returns its index.
    int Add(const QPixmap& image);
    void Replace(int index, const QPixmap& image);
    // The image at `index`; a null pixmap for an index outside the list.
    QPixmap Image(int index) const;
    void Clear();

signals:
    void Changed();

private:
    int FWidth, FHeight;
    std::vector<QPixmap> FImages;
};

// Generated images of one size, shared among the buttons whose glyphs have that size.
class TGlyphList {
public:
    TGlyphList(int width, int height) : FWidth(width), FHeight(height) {}
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return FCount; }
    // The first free slot, or a new one at the end.
    int Allocate();
    // Puts an image with its mask (white = transparent) into an allocated slot.
    void Add(int index, const QImage& image, const QImage& mask);
    // Puts an image into an allocated slot, every pixel of `maskColor` transparent.
    void AddMasked(int index, const QImage& image, QRgb maskColor);
    void Delete(int index);
    const QPixmap& Image(int index) const { return FImages[size_t(index)]; }

private:
    int FWidth, FHeight;
    std::vector<QPixmap> FImages;
    std::vector<bool> FUsed;
    int FCount = 0;
};

// The glyph lists, one per size in use; a list that becomes empty is freed.
class TGlyphCache {
public:
    TGlyphList* Get(int width, int height);
    void Return(TGlyphList* list);
    bool Empty() const { return FLists.empty(); }
    int ListCount() const { return int(FLists.size()); }

private:
    std::vector<std::unique_ptr<TGlyphList>> FLists;
};
// The process's glyph cache (null when no glyph holds generated images).
TGlyphCache* GlyphCache();

// The glyph of a button: a bitmap of NumGlyphs images side by side, or an image-list entry,
// and the images generated from it for each state.
class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    const QPixmap& Glyph() const { return FGlyph; }
    void SetGlyph(const QPixmap& glyph);
    const QPixmap& GlyphMask() const { return FGlyphMask; }
    void SetGlyphMask(const QPixmap& mask);
    TPvImageList* Images() const { return FImages; }
    void SetImages(TPvImageList* list);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int n);
    bool OldDisabledStyle() const { return FOldDisabledStyle; }
    void SetOldDisabledStyle(bool on);
    // The size of one image; 0 x 0 for an empty glyph or an index outside the list.
    QSize GlyphSize() const;
    // The image for a state, generated on first use; null when there is none.
    QPixmap StateImage(TButtonState state, const QPalette& pal);
    // Returns the generated images.
    void Invalidate();
    std::function<void()> OnChange;

private:
    QImage Source(int index) const;
    QImage SourceMask(int index) const;
    QPixmap FGlyph, FGlyphMask;
    QPointer<TPvImageList> FImages;
    int FImageIndex = -1;
    int FNumGlyphs = 1;
    bool FOldDisabledStyle = false;
    TGlyphList* FLists[2] = {nullptr, nullptr};
    int FIndexes[2][5];
    QMetaObject::Connection FListLink;
};

// Where the parts of a button's content go. Widget-free: the caller measures the text.
struct TButtonContentLayout {
    QPoint Glyph;
    QRect Text;
    QPoint Arrow; // the small arrow's left and top
};
struct TButtonContentParams {
    QRect Client;
    QSize GlyphSize; // 0 x 0: none
    bool HasText = true;
    TButtonLayout Layout = blGlyphLeft;
    int Margin = -1;
    int Spacing = 4;
    bool WordWrap = false;
    int ArrowWidth = 0; // the small drop-down arrow; 0 when none shows
    QPoint Offset;      // (1, 1) while drawn down
    // The text's size when it may be `width` wide.
    std::function<QSize(int width)> MeasureText;
};
TButtonContentLayout LayOutButtonContent(const TButtonContentParams& p);

class TToolbarButtonPv;

// Links a button to an action: Checked ~ Down, and the action's "HelpContext" and
// "ImageIndex" properties.
class TToolbarButtonPvActionLink : public QObject {
    Q_OBJECT
public:
    TToolbarButtonPvActionLink(TToolbarButtonPv* client, QAction* action);
    QAction* Action() const { return FAction; }
    bool IsCheckedLinked() const;
    bool IsHelpContextLinked() const;
    bool IsImageIndexLinked() const;
    // Takes the action's values; with `checkDefaults` only where the button still has its default.
    void ActionChange(bool checkDefaults);

private:
    TToolbarButtonPv* FClient;
    QPointer<QAction> FAction;
};

class TToolbarButtonPv : public QWidget {
    Q_OBJECT
public:
    explicit TToolbarButtonPv(QWidget* parent = nullptr);
    ~TToolbarButtonPv() override;

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment a);
    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool on);
    bool Cancel = false;
    bool Default = false;
    TColor Color() const { return FColor; }
    void SetColor(TColor c);
    TButtonDisplayMode DisplayMode() const { return FDisplayMode; }
    void SetDisplayMode(TButtonDisplayMode m);
    bool Down() const { return FDown; }
    void SetDown(bool down);
    bool DropdownAlways() const { return FDropdownAlways; }
    void SetDropdownAlways(bool on);
    bool DropdownArrow() const { return FDropdownArrow; }
    void SetDropdownArrow(bool on);
    int DropdownArrowWidth() const { return FDropdownArrowWidth; }
    void SetDropdownArrowWidth(int w);
    bool DropdownCombo() const { return FDropdownCombo; }
    void SetDropdownCombo(bool on);
    QMenu* DropdownMenu() const { return FDropdownMenu; }
    void SetDropdownMenu(QMenu* menu);
    bool Flat() const { return FFlat; }
    void SetFlat(bool on);
    const QPixmap& Glyph() const { return FGlyph.Glyph(); }
    void SetGlyph(const QPixmap& glyph);
    const QPixmap& GlyphMask() const { return FGlyph.GlyphMask(); }
    void SetGlyphMask(const QPixmap& mask);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int index);
    int HelpContext = 0;
    bool HighlightWhenDown() const { return FHighlightWhenDown; }
    void SetHighlightWhenDown(bool on);
    int ImageIndex() const { return FGlyph.ImageIndex(); }
    void SetImageIndex(int index);
    TPvImageList* Images() const { return FGlyph.Images(); }
    void SetImages(TPvImageList* list);
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout l);
    int Margin() const { return FMargin; }
    void SetMargin(int m);
    int ModalResult = 0;
    bool NoBorder() const { return FNoBorder; }
    void SetNoBorder(bool on);
    int NumGlyphs() const { return FGlyph.NumGlyphs(); }
    void SetNumGlyphs(int n);
    bool OldDisabledStyle() const { return FGlyph.OldDisabledStyle(); }
    void SetOldDisabledStyle(bool on);
    bool Opaque() const { return FOpaque; }
    void SetOpaque(bool on);
    bool Repeating = false;
    int RepeatDelay = 400, RepeatInterval = 100;
    bool ShowBorderWhenInactive = false;
    bool ShowHint = true; // its tooltip shows
    int Spacing() const { return FSpacing; }
    void SetSpacing(int s);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool on);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    // Links to an action: its text, enabled state, tooltip and checked state; clicking triggers it.
    QAction* Action() const { return FActionLink ? FActionLink->Action() : nullptr; }
    void SetAction(QAction* action);
    QString Version() const { return kToolbarPvVersion; }

    std::function<void(TToolbarButtonPv*)> OnClick, OnDblClick, OnMouseEnter, OnMouseExit;
    std::function<void(TToolbarButtonPv*, bool& showMenu, bool& removeClicks)> OnDropdown;
    std::function<void(TToolbarButtonPv*, QMouseEvent*)> OnMouseDown, OnMouseUp;

    TButtonState State() const { return FState; }
    bool MouseInControl() const { return FMouseInControl; }
    bool UsesDropdown() const { return FDropdownAlways || FDropdownMenu; }
    bool MenuShowing() const { return FMenuShowing; }
    void Click();
    // The button under the mouse, if any.
    static TToolbarButtonPv* HotButton();
    // The content positions for the current size and properties.
    TButtonContentLayout ContentLayout() const;
    QSize sizeHint() const override { return QSize(23, 22); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool event(QEvent* e) override;

private:
    friend class TToolbarButtonPvActionLink;
    void MouseEntered();
    void MouseLeft();
    bool CursorOver() const;
    void UpdateGroup();
    void Redraw();
    void StopRepeat();
    bool InsideForMouse(QPoint p) const;
    static void HotTimerTick();
    TButtonContentParams ContentParams(const QRect& r, QPoint offset) const;

    TAlignment FAlignment = taCenter;
    bool FAllowAllUp = false;
    TColor FColor = clBtnFace;
    TButtonDisplayMode FDisplayMode = dmBoth;
    bool FDown = false;
    bool FDropdownAlways = false, FDropdownArrow = true;
    int FDropdownArrowWidth = 9;
    bool FDropdownCombo = false;
    QPointer<QMenu> FDropdownMenu;
    bool FFlat = true;
    TButtonGlyph FGlyph;
    int FGroupIndex = 0;
    bool FHighlightWhenDown = true;
    TButtonLayout FLayout = blGlyphLeft;
    int FMargin = -1;
    bool FNoBorder = false, FOpaque = true;
    int FSpacing = 4;
    bool FWordWrap = false;
    QString FCaption;
    TButtonState FState = bsUp;
    bool FMouseInControl = false, FMouseIsDown = false, FMenuIsDown = false, FInClick = false;
    bool FMenuShowing = false, FSwallowPress = false;
    bool FMouseInside = false; // the pressed mouse is over the main part, as the last move told
    QTimer* FRepeatTimer = nullptr;
    TToolbarButtonPvActionLink* FActionLink = nullptr;
};
