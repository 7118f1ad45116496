#include "controls/TBPvCtls.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace {
std::vector<const QMetaObject*>& flatEditClasses() {
    static std::vector<const QMetaObject*> list;
    return list;
}
int editPvInstances = 0;
} // namespace

void AddFlatEditClass(const QMetaObject* cls) {
    auto& l = flatEditClasses();
    if (std::find(l.begin(), l.end(), cls) == l.end()) l.push_back(cls);
}

void RemoveFlatEditClass(const QMetaObject* cls) {
    auto& l = flatEditClasses();
    l.erase(std::remove(l.begin(), l.end(), cls), l.end());
}

const std::vector<const QMetaObject*>& FlatEditClasses() {
    return flatEditClasses();
}

bool IsFlatEditClassInstance(const QObject* o) {
    if (!o) return false;
    for (const QMetaObject* cls : flatEditClasses())
        if (o->metaObject()->inherits(cls)) return true;
    return false;
}

TEditPv::TEditPv(QWidget* parent) : TFlatHover<QLineEdit>(parent) {
    if (editPvInstances++ == 0) AddFlatEditClass(&TEditPv::staticMetaObject);
    if (QStyle* s = FlatBaseStyle()) setStyle(s);
    setFrame(false);
    // The client area is the window less three pixels on every side.
    setContentsMargins(3, 3, 3, 3);
    setAttribute(Qt::WA_Hover);
    resize(width(), 19);
    AdjustHeight();
}

TEditPv::~TEditPv() {
    if (--editPvInstances == 0) RemoveFlatEditClass(&TEditPv::staticMetaObject);
}

void TEditPv::Loaded() {
    AdjustHeight();
}

void TEditPv::AdjustHeight() {
    const int h = QFontMetrics(font()).height() + 6;
    setFixedHeight(h);
}

void TEditPv::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    QPainter p(this);
    // The frame is in the system colours, whatever colour the edit itself has.
    const QPalette pal = QApplication::palette(this);
    QRect r = rect();
    const bool idle =
        !isEnabled() ||
        (!hasFocus() && (!MouseInside() || IsFlatEditClassInstance(QApplication::focusWidget())));
    if (idle) {
        FrameRect(p, r, pal.color(QPalette::Button));
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Button));
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Base));
    } else {
        DrawSunkenOuter(p, r, pal, esRect);
        r.adjust(1, 1, -1, -1);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), pal.color(QPalette::Button));
        p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), pal.color(QPalette::Button));
        DrawSunkenInner(p, r, pal, esBottomRight);
        r.adjust(1, 1, -1, -1);
        FrameRect(p, r, pal.color(QPalette::Base));
    }
}

void TEditPv::changeEvent(QEvent* e) {
    QLineEdit::changeEvent(e);
    switch (e->type()) {
    case QEvent::FontChange:
        AdjustHeight();
        break;
    case QEvent::EnabledChange: {
        // The window colour while enabled, the face colour while not.
        QPalette pal = palette();
        pal.setColor(QPalette::Base,
                     QApplication::palette(this).color(isEnabled() ? QPalette::Base : QPalette::Button));
        setPalette(pal);
        update();
        break;
    }
    default:
        break;
    }
}

// ================================================================ image lists and glyphs

TPvImageList::TPvImageList(int width, int height, QObject* parent)
    : QObject(parent), FWidth(std::max(0, width)), FHeight(std::max(0, height)) {}

int TPvImageList::Add(const QPixmap& image) {
    QPixmap p = image;
    if (!p.isNull() && p.size() != QSize(FWidth, FHeight) && FWidth > 0 && FHeight > 0)
        p = p.scaled(FWidth, FHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    FImages.push_back(p);
    emit Changed();
    return int(FImages.size()) - 1;
}

void TPvImageList::Replace(int index, const QPixmap& image) {
    if (index < 0 || index >= Count()) return;
    FImages[size_t(index)] = image;
    emit Changed();
}

QPixmap TPvImageList::Image(int index) const {
    if (index < 0 || index >= Count()) return QPixmap();
    return FImages[size_t(index)];
}

void TPvImageList::Clear() {
    FImages.clear();
    emit Changed();
}

int TGlyphList::Allocate() {
    for (size_t i = 0; i < FUsed.size(); ++i)
        if (!FUsed[i]) {
            FUsed[i] = true;
            ++FCount;
            return int(i);
        }
    FUsed.push_back(true);
    FImages.emplace_back();
    ++FCount;
    return int(FUsed.size()) - 1;
}

void TGlyphList::Add(int index, const QImage& image, const QImage& mask) {
    if (image.width() < FWidth || image.height() < FHeight) throw EInvalidOperation("Ungültige Bildgröße");
    if (index < 0 || index >= int(FImages.size())) throw EInvalidOperation("Bild kann nicht ersetzt werden");
    QImage out = image.copy(0, 0, FWidth, FHeight).convertToFormat(QImage::Format_ARGB32);
    if (!mask.isNull())
        for (int y = 0; y < FHeight && y < mask.height(); ++y)
            for (int x = 0; x < FWidth && x < mask.width(); ++x)
                if (qGray(mask.pixel(x, y)) > 127) out.setPixel(x, y, 0);
    FImages[size_t(index)] = QPixmap::fromImage(out);
}

void TGlyphList::AddMasked(int index, const QImage& image, QRgb maskColor) {
    if (image.width() < FWidth || image.height() < FHeight) throw EInvalidOperation("Ungültige Bildgröße");
    if (index < 0 || index >= int(FImages.size())) throw EInvalidOperation("Bild kann nicht ersetzt werden");
    QImage out = image.copy(0, 0, FWidth, FHeight).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < FHeight; ++y)
        for (int x = 0; x < FWidth; ++x)
            if ((out.pixel(x, y) & 0xFFFFFF) == (maskColor & 0xFFFFFF)) out.setPixel(x, y, 0);
    FImages[size_t(index)] = QPixmap::fromImage(out);
}

void TGlyphList::Delete(int index) {
    if (index < 0 || index >= int(FUsed.size()) || !FUsed[size_t(index)]) return;
    FUsed[size_t(index)] = false;
    FImages[size_t(index)] = QPixmap();
    --FCount;
}

namespace {
TGlyphCache* gGlyphCache = nullptr;
int gGlyphCount = 0;
} // namespace

TGlyphCache* GlyphCache() {
    return gGlyphCache;
}

TGlyphList* TGlyphCache::Get(int width, int height) {
    for (auto it = FLists.rbegin(); it != FLists.rend(); ++it)
        if ((*it)->Width() == width && (*it)->Height() == height) return it->get();
    FLists.push_back(std::make_unique<TGlyphList>(width, height));
    return FLists.back().get();
}

void TGlyphCache::Return(TGlyphList* list) {
    if (!list || list->Count() != 0) return;
    FLists.erase(std::remove_if(FLists.begin(), FLists.end(),
                                [&](const std::unique_ptr<TGlyphList>& l) { return l.get() == list; }),
                 FLists.end());
}

TButtonGlyph::TButtonGlyph() {
    ++gGlyphCount;
    for (auto& row : FIndexes)
        for (int& i : row) i = -1;
}

TButtonGlyph::~TButtonGlyph() {
    QObject::disconnect(FListLink);
    Invalidate();
    if (--gGlyphCount == 0 && gGlyphCache && gGlyphCache->Empty()) {
        delete gGlyphCache;
        gGlyphCache = nullptr;
    }
}

void TButtonGlyph::Invalidate() {
    for (int k = 0; k < 2; ++k) {
        for (int& i : FIndexes[k]) {
            if (i >= 0 && FLists[k]) FLists[k]->Delete(i);
            i = -1;
        }
        if (FLists[k] && gGlyphCache) gGlyphCache->Return(FLists[k]);
        FLists[k] = nullptr;
    }
}

void TButtonGlyph::SetGlyph(const QPixmap& glyph) {
    Invalidate();
    FGlyph = glyph;
    const int w = glyph.width(), h = glyph.height();
    if (h > 0 && w % h == 0 && w / h < 6 && w / h > 0)
        FNumGlyphs = w / h;
    else
        FNumGlyphs = 1;
    if (OnChange) OnChange();
}

void TButtonGlyph::SetGlyphMask(const QPixmap& mask) {
    Invalidate();
    FGlyphMask = mask;
    if (OnChange) OnChange();
}

void TButtonGlyph::SetImages(TPvImageList* list) {
    if (FImages == list) return;
    QObject::disconnect(FListLink);
    Invalidate();
    FImages = list;
    if (list)
        FListLink = QObject::connect(list, &TPvImageList::Changed, [this] {
            Invalidate();
            if (OnChange) OnChange();
        });
    FNumGlyphs = list ? 1 : FNumGlyphs;
    if (OnChange) OnChange();
}

void TButtonGlyph::SetImageIndex(int index) {
    if (FImageIndex == index) return;
    FImageIndex = index;
    if (FImages) {
        Invalidate();
        if (OnChange) OnChange();
    }
}

void TButtonGlyph::SetNumGlyphs(int n) {
    n = std::clamp(n, 1, 5);
    if (FImages) n = 1;
    if (FNumGlyphs == n) return;
    Invalidate();
    FNumGlyphs = n;
    if (OnChange) OnChange();
}

void TButtonGlyph::SetOldDisabledStyle(bool on) {
    if (FOldDisabledStyle == on) return;
    Invalidate();
    FOldDisabledStyle = on;
    if (OnChange) OnChange();
}

QSize TButtonGlyph::GlyphSize() const {
    if (FImages) {
        if (FImageIndex < 0 || FImageIndex >= FImages->Count()) return QSize(0, 0);
        if (FImages->Width() <= 0 || FImages->Height() <= 0) return QSize(0, 0);
        return QSize(FImages->Width(), FImages->Height());
    }
    if (FGlyph.width() <= 0 || FGlyph.height() <= 0) return QSize(0, 0);
    const int w = FGlyph.width() / std::max(1, FNumGlyphs);
    if (w <= 0) return QSize(0, 0);
    return QSize(w, FGlyph.height());
}

QImage TButtonGlyph::Source(int index) const {
    const QSize s = GlyphSize();
    if (FImages) return FImages->Image(FImageIndex).toImage().convertToFormat(QImage::Format_ARGB32);
    if (index >= FNumGlyphs) index = 0;
    return FGlyph.toImage()
        .copy(index * s.width(), 0, s.width(), s.height())
        .convertToFormat(QImage::Format_ARGB32);
}

// The explicit transparency of an image: white where transparent; null when there is none.
QImage TButtonGlyph::SourceMask(int index) const {
    const QSize s = GlyphSize();
    if (FImages) {
        const QImage img = Source(index);
        if (!img.hasAlphaChannel()) return QImage();
        QImage m(img.size(), QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                m.setPixel(x, y, qAlpha(img.pixel(x, y)) < 128 ? 0xFFFFFF : 0);
        return m;
    }
    if (FGlyphMask.isNull()) return QImage();
    if (index >= FNumGlyphs) index = 0;
    return FGlyphMask.toImage()
        .copy(index * s.width(), 0, s.width(), s.height())
        .convertToFormat(QImage::Format_RGB32);
}

QPixmap TButtonGlyph::StateImage(TButtonState state, const QPalette& pal) {
    const QSize s = GlyphSize();
    if (s.isEmpty()) return QPixmap();
    const int k = state == bsDisabled ? 1 : 0;
    int& slot = FIndexes[k][state];
    if (slot >= 0 && FLists[k]) return FLists[k]->Image(slot);
    if (!gGlyphCache) gGlyphCache = new TGlyphCache;
    const QSize ls = k ? s + QSize(1, 1) : s;
    if (!FLists[k]) FLists[k] = gGlyphCache->Get(ls.width(), ls.height());
    TGlyphList* list = FLists[k];
    const int index = state;
    const QImage src = Source(index);
    const QImage mask = SourceMask(index);
    // The transparent colour: the bottom-left pixel.
    const QRgb transparent = src.isNull() ? 0 : src.pixel(0, src.height() - 1);
    const int at = list->Allocate();
    slot = at;
    const QRgb face = pal.color(QPalette::Button).rgb(), hi = pal.color(QPalette::Light).rgb(),
               sh = pal.color(QPalette::Dark).rgb();
    auto isTransparent = [&](int x, int y) {
        if (!mask.isNull()) return qGray(mask.pixel(x, y)) > 127;
        if (FImages) return qAlpha(src.pixel(x, y)) < 128;
        return (src.pixel(x, y) & 0xFFFFFF) == (transparent & 0xFFFFFF);
    };
    if (state != bsDisabled) {
        if (!mask.isNull() || FImages)
            list->Add(at, src, mask);
        else
            list->AddMasked(at, src, transparent);
        return list->Image(at);
    }
    QImage out(ls, QImage::Format_ARGB32);
    out.fill(0);
    if (FNumGlyphs >= 2 && !FImages) {
        // Its own disabled image: white becomes the highlight, grey the shadow.
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) {
                if (isTransparent(x, y)) continue;
                const QRgb c = src.pixel(x, y) & 0xFFFFFF;
                out.setPixel(x, y, c == 0xFFFFFF ? hi : c == 0x808080 ? sh : (0xFF000000u | c));
            }
    } else {
        // Generated: the dark pixels drawn embossed, highlight one pixel down-right, shadow on top.
        auto marked = [&](int x, int y) {
            const QRgb c = src.pixel(x, y) & 0xFFFFFF;
            if (FOldDisabledStyle) return !isTransparent(x, y) && (c == 0 || qGray(c) < 128);
            return !(c == 0xFFFFFF || c == 0xC0C0C0 || isTransparent(x, y));
        };
        QImage canvas(ls, QImage::Format_RGB32);
        canvas.fill(face);
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x)
                if (marked(x, y)) canvas.setPixel(x + 1, y + 1, hi);
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x)
                if (marked(x, y)) canvas.setPixel(x, y, sh);
        for (int y = 0; y < ls.height(); ++y)
            for (int x = 0; x < ls.width(); ++x)
                if ((canvas.pixel(x, y) & 0xFFFFFF) != (face & 0xFFFFFF))
                    out.setPixel(x, y, canvas.pixel(x, y) | 0xFF000000u);
    }
    list->Add(at, out, QImage());
    return list->Image(at);
}

// ================================================================ content layout

TButtonContentLayout LayOutButtonContent(const TButtonContentParams& p) {
    TButtonContentLayout out;
    const QRect R = p.Client;
    const QSize g = p.GlyphSize.isEmpty() ? QSize(0, 0) : p.GlyphSize;
    const bool hasGlyph = g.width() > 0 && g.height() > 0;
    const int a = p.ArrowWidth;
    const bool beside = p.Layout == blGlyphLeft || p.Layout == blGlyphRight || !hasGlyph;
    int spacing = p.Spacing, margin = p.Margin;
    // The text's size.
    QSize t(0, 0);
    if (p.HasText && p.MeasureText) {
        int w = R.width() - (beside ? a : 0);
        if (p.WordWrap) {
            if (beside && hasGlyph) w -= g.width() + (spacing == -1 ? 4 : spacing);
            const int m = margin == -1 ? (spacing == -1 ? 4 : spacing) : margin;
            w -= 2 * m;
        }
        t = p.MeasureText(std::max(0, w));
    }
    const bool hasText = t.width() > 0 && t.height() > 0;
    QPoint gp, tp;
    int arrowX = 0;
    if (beside) {
        gp.setY((R.height() - g.height() + 1) / 2);
        tp.setY((R.height() + 1 - t.height()) / 2);
    } else {
        gp.setX((R.width() - g.width() - a + 1) / 2);
        tp.setX((R.width() + 1 - t.width()) / 2);
        arrowX = hasGlyph ? gp.x() + g.width() : tp.x() + t.width();
    }
    if (!hasText || !hasGlyph) spacing = 0;
    const int extent = beside ? R.width() : R.height();
    const int ge = beside ? g.width() : g.height();
    const int te = beside ? t.width() : t.height();
    const int ae = beside ? a : 0;
    if (margin == -1) {
        if (spacing == -1) {
            margin = spacing = (extent - (ge + te + ae)) / 3;
        } else {
            margin = (extent - (ge + spacing + te + ae) + 1) / 2;
        }
    } else if (spacing == -1) {
        spacing = ((extent - margin - ge - ae) - te) / 2;
    }
    TButtonLayout layout = p.Layout;
    if (!hasGlyph && (layout == blGlyphTop || layout == blGlyphBottom)) layout = blGlyphLeft;
    switch (layout) {
    case blGlyphLeft:
        gp.setX(margin);
        tp.setX(margin + g.width() + spacing);
        arrowX = tp.x() + t.width();
        break;
    case blGlyphRight:
        arrowX = R.width() - margin - a;
        gp.setX(arrowX - g.width());
        tp.setX(gp.x() - spacing - t.width());
        break;
    case blGlyphTop:
        gp.setY(margin);
        tp.setY(margin + g.height() + spacing);
        break;
    case blGlyphBottom:
        gp.setY(R.height() - margin - g.height());
        tp.setY(gp.y() - spacing - t.height());
        break;
    }
    ++arrowX;
    const int arrowY = hasGlyph ? gp.y() + (g.height() - 3) / 2 : tp.y() + (t.height() - 3) / 2;
    const QPoint o = R.topLeft() + p.Offset;
    out.Glyph = gp + o;
    out.Text = QRect(tp + o, t);
    out.Arrow = QPoint(arrowX, arrowY) + o;
    return out;
}

// ================================================================ action link

TToolbarButtonPvActionLink::TToolbarButtonPvActionLink(TToolbarButtonPv* client, QAction* action)
    : QObject(client), FClient(client), FAction(action) {
    connect(action, &QAction::changed, this, [this] { ActionChange(false); });
    connect(action, &QObject::destroyed, this, [this] { FClient->SetAction(nullptr); });
}

bool TToolbarButtonPvActionLink::IsCheckedLinked() const {
    return FAction && FAction->isChecked() == FClient->Down();
}
bool TToolbarButtonPvActionLink::IsHelpContextLinked() const {
    return FAction && FAction->property("HelpContext").toInt() == FClient->HelpContext;
}
bool TToolbarButtonPvActionLink::IsImageIndexLinked() const {
    return FAction && FAction->property("ImageIndex").toInt() == FClient->ImageIndex();
}

void TToolbarButtonPvActionLink::ActionChange(bool checkDefaults) {
    if (!FAction) return;
    TToolbarButtonPv* b = FClient;
    if (!checkDefaults || !b->Down()) b->SetDown(FAction->isChecked());
    const QVariant help = FAction->property("HelpContext");
    if (help.isValid() && (!checkDefaults || b->HelpContext == 0)) b->HelpContext = help.toInt();
    const QVariant image = FAction->property("ImageIndex");
    if (image.isValid() && (!checkDefaults || b->ImageIndex() == -1)) b->SetImageIndex(image.toInt());
    if (!checkDefaults || b->Caption().isEmpty()) b->SetCaption(FAction->text());
    b->setEnabled(FAction->isEnabled());
    b->setVisible(FAction->isVisible());
    if (!checkDefaults || b->toolTip().isEmpty()) b->setToolTip(FAction->toolTip());
}

// ================================================================ tool bar button

namespace {
QPointer<TToolbarButtonPv> gHotButton;
QTimer* gHotTimer = nullptr;
int gButtonCount = 0;
QPixmap* gDither = nullptr;
QRgb gDitherFace = 0, gDitherHighlight = 0;

// Face with highlight on the pixels whose row and column have the same parity.
const QPixmap& ditherBitmap(const QPalette& pal) {
    const QRgb face = pal.color(QPalette::Button).rgb(), hi = pal.color(QPalette::Light).rgb();
    if (gDither && (gDitherFace != face || gDitherHighlight != hi)) {
        delete gDither;
        gDither = nullptr;
    }
    if (!gDither) {
        QImage img(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) img.setPixel(x, y, (x & 1) == (y & 1) ? hi : face);
        gDither = new QPixmap(QPixmap::fromImage(img));
        gDitherFace = face;
        gDitherHighlight = hi;
    }
    return *gDither;
}

void edge(QPainter& p, const QRect& r, const QColor& tl, const QColor& br) {
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), tl);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), tl);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
}

// A raised or sunken edge: two pixels for the standard look, one for the flat look.
void drawButtonEdge(QPainter& p, const QRect& r, const QPalette& pal, bool flat, bool down) {
    const QColor hi = pal.color(QPalette::Light), sh = pal.color(QPalette::Dark),
                 dk = pal.color(QPalette::Shadow), lt = pal.color(QPalette::Midlight);
    if (flat) {
        edge(p, r, down ? sh : hi, down ? hi : sh);
        return;
    }
    p.fillRect(r.adjusted(1, 1, -1, -1), pal.color(QPalette::Button));
    if (down) {
        edge(p, r, sh, hi);
        edge(p, r.adjusted(1, 1, -1, -1), dk, lt);
    } else {
        edge(p, r, hi, dk);
        edge(p, r.adjusted(1, 1, -1, -1), lt, sh);
    }
}

void drawArrow(QPainter& p, int x, int y, const QColor& c) {
    // A filled triangle (x - 2, y), (x + 2, y), (x, y + 2).
    for (int i = 0; i < 3; ++i) p.fillRect(QRect(x - 2 + i, y + i, 5 - 2 * i, 1), c);
}
} // namespace

TToolbarButtonPv* TToolbarButtonPv::HotButton() {
    return gHotButton;
}

TToolbarButtonPv::TToolbarButtonPv(QWidget* parent) : QWidget(parent) {
    ++gButtonCount;
    resize(23, 22);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    FGlyph.OnChange = [this] { Redraw(); };
    if (parent && parent->isVisible()) show();
}

TToolbarButtonPv::~TToolbarButtonPv() {
    FGlyph.OnChange = nullptr;
    if (gHotButton == this) gHotButton = nullptr;
    if (--gButtonCount == 0) {
        delete gHotTimer;
        gHotTimer = nullptr;
        delete gDither;
        gDither = nullptr;
    }
}

void TToolbarButtonPv::Redraw() {
    update();
}

void TToolbarButtonPv::SetAlignment(TAlignment a) {
    if (FAlignment != a) FAlignment = a, Redraw();
}
void TToolbarButtonPv::SetColor(TColor c) {
    if (FColor != c) FColor = c, Redraw();
}
void TToolbarButtonPv::SetDisplayMode(TButtonDisplayMode m) {
    if (FDisplayMode != m) FDisplayMode = m, Redraw();
}
void TToolbarButtonPv::SetDropdownArrow(bool on) {
    if (FDropdownArrow != on) FDropdownArrow = on, Redraw();
}
void TToolbarButtonPv::SetDropdownAlways(bool on) {
    if (FDropdownAlways != on) FDropdownAlways = on, Redraw();
}
void TToolbarButtonPv::SetDropdownMenu(QMenu* menu) {
    if (FDropdownMenu != menu) FDropdownMenu = menu, Redraw();
}
void TToolbarButtonPv::SetFlat(bool on) {
    if (FFlat != on) FFlat = on, Redraw();
}
void TToolbarButtonPv::SetGlyph(const QPixmap& glyph) {
    FGlyph.SetGlyph(glyph);
}
void TToolbarButtonPv::SetGlyphMask(const QPixmap& mask) {
    FGlyph.SetGlyphMask(mask);
}
void TToolbarButtonPv::SetImageIndex(int index) {
    FGlyph.SetImageIndex(index);
}
void TToolbarButtonPv::SetImages(TPvImageList* list) {
    FGlyph.SetImages(list);
    Redraw();
}
void TToolbarButtonPv::SetLayout(TButtonLayout l) {
    if (FLayout != l) FLayout = l, Redraw();
}
void TToolbarButtonPv::SetMargin(int m) {
    // Values below -1 are ignored.
    if (m >= -1 && FMargin != m) FMargin = m, Redraw();
}
void TToolbarButtonPv::SetNoBorder(bool on) {
    if (FNoBorder != on) FNoBorder = on, Redraw();
}
void TToolbarButtonPv::SetNumGlyphs(int n) {
    FGlyph.SetNumGlyphs(n);
}
void TToolbarButtonPv::SetOldDisabledStyle(bool on) {
    FGlyph.SetOldDisabledStyle(on);
}
void TToolbarButtonPv::SetOpaque(bool on) {
    if (FOpaque != on) FOpaque = on, Redraw();
}
void TToolbarButtonPv::SetSpacing(int s) {
    if (FSpacing != s) FSpacing = s, Redraw();
}
void TToolbarButtonPv::SetWordWrap(bool on) {
    if (FWordWrap != on) FWordWrap = on, Redraw();
}
void TToolbarButtonPv::SetCaption(const QString& caption) {
    if (FCaption != caption) FCaption = caption, Redraw();
}
void TToolbarButtonPv::SetHighlightWhenDown(bool on) {
    if (FHighlightWhenDown == on) return;
    FHighlightWhenDown = on;
    if (FDown) Redraw();
}

void TToolbarButtonPv::SetDropdownCombo(bool on) {
    if (FDropdownCombo == on) return;
    FDropdownCombo = on;
    const int d = FDropdownArrowWidth + 2;
    resize(on ? width() + d : std::max(1, width() - d), height());
    Redraw();
}

void TToolbarButtonPv::SetDropdownArrowWidth(int w) {
    w = std::max(7, w);
    if (FDropdownArrowWidth == w) return;
    const int diff = w - FDropdownArrowWidth;
    FDropdownArrowWidth = w;
    if (FDropdownCombo) resize(std::max(1, width() + diff), height());
    Redraw();
}

void TToolbarButtonPv::SetGroupIndex(int index) {
    if (FGroupIndex == index) return;
    FGroupIndex = index;
    UpdateGroup();
}

void TToolbarButtonPv::SetAllowAllUp(bool on) {
    if (FAllowAllUp == on) return;
    FAllowAllUp = on;
    UpdateGroup();
}

void TToolbarButtonPv::SetDown(bool down) {
    if (FGroupIndex == 0) down = false;
    if (down == FDown) return;
    if (FDown && !FAllowAllUp) return;
    FDown = down;
    FState = !isEnabled() ? bsDisabled : down ? bsExclusive : bsUp;
    Redraw();
    if (down) UpdateGroup();
    if (FActionLink && FActionLink->Action() && FActionLink->Action()->isCheckable())
        FActionLink->Action()->setChecked(down);
}

// The other buttons of the group: a down one goes up; all take this button's AllowAllUp.
void TToolbarButtonPv::UpdateGroup() {
    if (FGroupIndex == 0 || !parentWidget()) return;
    for (QObject* o : parentWidget()->children()) {
        auto* b = qobject_cast<TToolbarButtonPv*>(o);
        if (!b || b == this || b->FGroupIndex != FGroupIndex) continue;
        if (FDown && b->FDown) {
            b->FDown = false;
            b->FState = b->isEnabled() ? bsUp : bsDisabled;
            b->Redraw();
        }
        b->FAllowAllUp = FAllowAllUp;
    }
}

void TToolbarButtonPv::SetAction(QAction* action) {
    delete FActionLink;
    FActionLink = nullptr;
    if (!action) return;
    FActionLink = new TToolbarButtonPvActionLink(this, action);
    FActionLink->ActionChange(true);
}

// ---------------------------------------------------------------- hot tracking and mouse

void TToolbarButtonPv::HotTimerTick() {
    TToolbarButtonPv* b = gHotButton;
    if (!b) {
        if (gHotTimer) gHotTimer->stop();
        return;
    }
    if (!b->CursorOver()) b->MouseLeft();
}

bool TToolbarButtonPv::CursorOver() const {
    // Where the cursor really is: a popup menu takes the mouse without the button hearing
    // that it left, so the widget's own under-mouse mark can be stale. Under an open popup
    // no button is hot.
    return isVisible() && !QApplication::activePopupWidget() &&
           rect().contains(mapFromGlobal(QCursor::pos()));
}

void TToolbarButtonPv::MouseEntered() {
    if (!isEnabled() || FMouseInControl) return;
    FMouseInControl = true;
    if (FState == bsUp) FState = bsHot;
    if (FFlat || NumGlyphs() == 5) Redraw();
    if (OnMouseEnter) OnMouseEnter(this);
}

void TToolbarButtonPv::MouseLeft() {
    if (!isEnabled() || !FMouseInControl || FMouseIsDown) return;
    FMouseInControl = false;
    if (gHotButton == this) {
        gHotButton = nullptr;
        if (gHotTimer) gHotTimer->stop();
    }
    const TButtonState old = FState;
    if (FState == bsHot || (FState == bsDown && !FInClick)) FState = FDown ? bsExclusive : bsUp;
    if (FFlat || NumGlyphs() == 5 || (old != FState && old != bsHot)) Redraw();
    if (OnMouseExit) OnMouseExit(this);
}

void TToolbarButtonPv::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
}

void TToolbarButtonPv::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (gHotButton == this) MouseLeft();
}

bool TToolbarButtonPv::InsideForMouse(QPoint p) const {
    QRect r = rect();
    if (FDropdownCombo && UsesDropdown()) r.setRight(r.right() - (FDropdownArrowWidth + 2));
    return r.contains(p);
}

void TToolbarButtonPv::mouseMoveEvent(QMouseEvent* e) {
    if (gHotButton != this && !FMouseIsDown) {
        if (TToolbarButtonPv* old = gHotButton) old->MouseLeft();
        if (ShowBorderWhenInactive || QGuiApplication::applicationState() == Qt::ApplicationActive) {
            gHotButton = this;
            if (!gHotTimer) {
                gHotTimer = new QTimer;
                gHotTimer->setInterval(125);
                QObject::connect(gHotTimer, &QTimer::timeout, &TToolbarButtonPv::HotTimerTick);
            }
            gHotTimer->start();
            MouseEntered();
        }
    }
    if (FMouseIsDown) {
        const bool inside = InsideForMouse(e->position().toPoint());
        FMouseInside = inside;
        if (inside && FRepeatTimer) FRepeatTimer->start();
        const TButtonState s = FDown ? bsExclusive : inside ? bsDown : bsUp;
        if (s != FState) {
            FState = s;
            Redraw();
        }
    }
    QWidget::mouseMoveEvent(e);
}

void TToolbarButtonPv::mousePressEvent(QMouseEvent* e) {
    if (FSwallowPress) {
        e->accept();
        return;
    }
    if (!isEnabled()) {
        QWidget::mousePressEvent(e);
        return;
    }
    MouseEntered();
    QPointer<TToolbarButtonPv> self(this);
    if (e->button() == Qt::LeftButton) {
        FMenuIsDown =
            UsesDropdown() && (!FDropdownCombo || e->position().x() >= width() - FDropdownArrowWidth - 2);
        if (!FDown) {
            FState = bsDown;
            Redraw();
        } else if (FAllowAllUp) {
            Redraw();
        }
        if (!FMenuIsDown) {
            FMouseIsDown = true;
            FMouseInside = true;
        }
    }
    if (OnMouseDown) OnMouseDown(this, e);
    if (!self) return;
    if (e->button() == Qt::LeftButton) {
        if (FMenuIsDown) {
            Click();
        } else if (Repeating) {
            Click();
            if (!self) return;
            if (!FRepeatTimer) {
                FRepeatTimer = new QTimer(this);
                connect(FRepeatTimer, &QTimer::timeout, this, [this] {
                    FRepeatTimer->setInterval(RepeatInterval);
                    if (Repeating && FMouseIsDown && FMouseInside)
                        Click();
                    else
                        StopRepeat();
                });
            }
            FRepeatTimer->start(RepeatDelay);
        }
        if (self) FMenuIsDown = false;
    }
}

void TToolbarButtonPv::StopRepeat() {
    delete FRepeatTimer;
    FRepeatTimer = nullptr;
}

void TToolbarButtonPv::mouseReleaseEvent(QMouseEvent* e) {
    StopRepeat();
    QPointer<TToolbarButtonPv> self(this);
    if (e->button() == Qt::RightButton && isEnabled()) {
        FMouseIsDown = false;
        MouseLeft();
    }
    if (OnMouseUp) OnMouseUp(this, e);
    if (!self) return;
    if (e->button() == Qt::LeftButton && FMouseIsDown) {
        FMouseIsDown = false;
        const bool inside = InsideForMouse(e->position().toPoint());
        if (!inside || Repeating) {
            if (FState == bsDown) FState = FDown ? bsExclusive : bsUp;
            Redraw();
            if (!inside) MouseLeft();
        } else {
            Click();
        }
    }
}

void TToolbarButtonPv::mouseDoubleClickEvent(QMouseEvent* e) {
    if (FSwallowPress) return;
    if (FDown && OnDblClick) {
        OnDblClick(this);
        return;
    }
    // Otherwise a second press like the first.
    mousePressEvent(e);
}

void TToolbarButtonPv::Click() {
    QPointer<TToolbarButtonPv> self(this);
    if (Repeating && !FMenuIsDown) {
        if (OnClick) OnClick(this);
        return;
    }
    FInClick = true;
    if (FGroupIndex != 0 && !FMenuIsDown) SetDown(!FDown);
    if (FState == bsUp || FState == bsHot) {
        FState = bsDown;
        repaint();
    }
    if (UsesDropdown() && (!FDropdownCombo || FMenuIsDown)) {
        if (!FDropdownCombo && OnClick) OnClick(this);
        if (!self) return;
        if (QWidget::mouseGrabber() == this) releaseMouse();
        bool showMenu = FDropdownMenu != nullptr, removeClicks = true;
        if (OnDropdown) OnDropdown(this, showMenu, removeClicks);
        if (!self) return;
        if (FDropdownMenu && showMenu) {
            QMenu* menu = FDropdownMenu;
            QPoint at = mapToGlobal(QPoint(0, height()));
            const int dock = GetDockPositionOfControl(this);
            if (dock == dpLeft) at = mapToGlobal(QPoint(width(), 0));
            if (dock == dpRight) at = mapToGlobal(QPoint(0, 0)) - QPoint(menu->sizeHint().width(), 0);
            FMenuShowing = true;
            menu->exec(at);
            if (!self) return;
            FMenuShowing = false;
        }
        // The press that closed the menu over this button must not open it again.
        if (removeClicks) {
            FSwallowPress = true;
            QTimer::singleShot(0, this, [this] { FSwallowPress = false; });
        }
    } else {
        if (ModalResult != 0)
            if (auto* dlg = qobject_cast<QDialog*>(window())) dlg->setResult(ModalResult);
        if (FActionLink && FActionLink->Action()) FActionLink->Action()->trigger();
        if (!self) return;
        if (OnClick) OnClick(this);
        if (!self) return;
        if (ModalResult != 0)
            if (auto* dlg = qobject_cast<QDialog*>(window())) dlg->done(ModalResult);
    }
    if (!self) return;
    FInClick = false;
    if (FState == bsDown) FState = FDown ? bsExclusive : bsUp;
    Redraw();
    if (!CursorOver()) MouseLeft();
}

void TToolbarButtonPv::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            FState = bsDisabled;
            FMouseInControl = false;
            FMouseIsDown = false;
            if (gHotButton == this) gHotButton = nullptr;
            StopRepeat();
        } else if (FState == bsDisabled) {
            FState = FDown && FGroupIndex != 0 ? bsExclusive : bsUp;
        }
        Redraw();
    } else if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) {
        if (e->type() == QEvent::PaletteChange) FGlyph.Invalidate();
        Redraw();
    }
    QWidget::changeEvent(e);
}

bool TToolbarButtonPv::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip && !ShowHint) {
        e->ignore();
        return true;
    }
    if (e->type() == QEvent::Shortcut || e->type() == QEvent::KeyPress) {
        // Enter with Default, Esc with Cancel.
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->modifiers() == Qt::NoModifier && isEnabled() && isVisible() &&
                (((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && Default) ||
                 (k->key() == Qt::Key_Escape && Cancel))) {
                Click();
                return true;
            }
        }
    }
    return QWidget::event(e);
}

// ---------------------------------------------------------------- painting

TButtonContentParams TToolbarButtonPv::ContentParams(const QRect& r, QPoint offset) const {
    TButtonContentParams p;
    p.Client = r;
    p.GlyphSize = FDisplayMode == dmTextOnly ? QSize(0, 0) : FGlyph.GlyphSize();
    p.HasText = FDisplayMode != dmGlyphOnly && !FCaption.isEmpty();
    p.Layout = FLayout;
    p.Margin = FMargin;
    p.Spacing = FSpacing;
    p.WordWrap = FWordWrap;
    p.ArrowWidth = FDropdownArrow && !FDropdownCombo && UsesDropdown() ? FDropdownArrowWidth : 0;
    p.Offset = offset;
    const QFontMetrics fm = fontMetrics();
    const QString text = FCaption;
    const bool wrap = FWordWrap;
    p.MeasureText = [fm, text, wrap](int w) {
        const QRect b =
            fm.boundingRect(QRect(0, 0, std::max(1, w), 10000),
                            Qt::TextShowMnemonic | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine), text);
        return b.size();
    };
    return p;
}

TButtonContentLayout TToolbarButtonPv::ContentLayout() const {
    QRect r = rect();
    if (FDropdownCombo && UsesDropdown()) r.setRight(r.right() - (FDropdownArrowWidth + 2));
    if (!FNoBorder) r = r.adjusted(FFlat ? 1 : 2, FFlat ? 1 : 2, FFlat ? -1 : -2, FFlat ? -1 : -2);
    const bool downLook = (FState == bsDown || FState == bsExclusive) && !(FDropdownCombo && FMenuIsDown);
    return LayOutButtonContent(ContentParams(r, downLook ? QPoint(1, 1) : QPoint()));
}

void TToolbarButtonPv::paintEvent(QPaintEvent*) {
    const QPalette& pal = palette();
    QPixmap buffer;
    const bool offscreen = FOpaque || !FFlat;
    QPainter wp(this);
    if (offscreen) {
        buffer = QPixmap(size());
        buffer.fill(ColorToQColor(FColor, pal));
    }
    QPainter bp;
    if (offscreen) bp.begin(&buffer);
    QPainter& p = offscreen ? bp : wp;

    QRect r = rect();
    const bool combo = FDropdownCombo && UsesDropdown();
    const bool downLook = (FState == bsDown || FState == bsExclusive) && !(combo && FMenuShowing);
    const bool border = !FNoBorder && (!FFlat || FState == bsDown || FState == bsExclusive ||
                                       (FMouseInControl && FState != bsDisabled));
    if (combo) {
        const QRect arrowPart(width() - FDropdownArrowWidth - 2, 0, FDropdownArrowWidth + 2, height());
        if (border)
            drawButtonEdge(p, arrowPart.adjusted(0, 0, -0, 0), pal, FFlat, FMenuShowing && FState == bsDown);
        r.setRight(r.right() - (FDropdownArrowWidth + 2));
    }
    if (border) drawButtonEdge(p, r, pal, FFlat, downLook);
    if (!FNoBorder) r = r.adjusted(FFlat ? 1 : 2, FFlat ? 1 : 2, FFlat ? -1 : -2, FFlat ? -1 : -2);
    if (downLook && FState == bsExclusive && !(FFlat && FMouseInControl) && FHighlightWhenDown)
        p.fillRect(r, QBrush(ditherBitmap(pal)));

    const TButtonContentLayout c = LayOutButtonContent(ContentParams(r, downLook ? QPoint(1, 1) : QPoint()));
    if (FDisplayMode != dmTextOnly) {
        const QPixmap img = FGlyph.StateImage(FState, pal);
        if (!img.isNull()) p.drawPixmap(c.Glyph, img);
    }
    if (FDisplayMode != dmGlyphOnly && !FCaption.isEmpty()) {
        const int align = (FAlignment == taLeftJustify    ? Qt::AlignLeft
                           : FAlignment == taRightJustify ? Qt::AlignRight
                                                          : Qt::AlignHCenter) |
                          Qt::AlignVCenter | Qt::TextShowMnemonic |
                          (FWordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
        p.setFont(font());
        if (FState == bsDisabled) {
            p.setPen(pal.color(QPalette::Light));
            p.drawText(c.Text.translated(1, 1), align, FCaption);
            p.setPen(pal.color(QPalette::Dark));
        } else {
            p.setPen(pal.color(QPalette::ButtonText));
        }
        p.drawText(c.Text, align, FCaption);
    }
    auto arrow = [&](int x, int y) {
        if (FState == bsDisabled) {
            drawArrow(p, x + 1, y + 1, pal.color(QPalette::Light));
            drawArrow(p, x, y, pal.color(QPalette::Dark));
        } else {
            drawArrow(p, x, y, pal.color(QPalette::ButtonText));
        }
    };
    if (FDropdownArrow && !combo && UsesDropdown()) arrow(c.Arrow.x() + FDropdownArrowWidth / 2, c.Arrow.y());
    if (combo) {
        const int ax = width() - FDropdownArrowWidth - 2;
        arrow(ax + (FDropdownArrowWidth + 2) / 2, height() / 2 - 1);
    }
    if (offscreen) {
        bp.end();
        wp.drawPixmap(0, 0, buffer);
    }
}
