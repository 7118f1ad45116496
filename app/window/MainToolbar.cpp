// The main window's docking toolbar: four docks around the list, the eight buttons and two
// separators, the toolbar's popup menu, and its placement, restored at the first show and
// saved at shut-down in the [Toolbar] section of the settings.
#include <QAction>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QTreeView>

#include "app/dialogs/AboutUnit.h"
#include "app/window/MainUnit.h"
#include "controls/TBPvCtls.h"
#include "controls/TBPvTlbr.h"
#include "platform/ui_hooks.h"

namespace {

constexpr int kGlyph = 24;
// Button sizes with and without their captions.
constexpr QSize kButtonWithText(56, 44);
constexpr QSize kButtonGlyphOnly(32, 30);

// The hot image: the normal one, lighter.
QPixmap hotImage(const QPixmap& normal) {
    QImage img = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qAlpha(c) == 0) continue;
            img.setPixel(x, y,
                         qRgba((qRed(c) + 255) / 2, (qGreen(c) + 255) / 2, (qBlue(c) + 255) / 2, qAlpha(c)));
        }
    return QPixmap::fromImage(img);
}

const char* const kDockNames[4] = {"pvDockTop", "pvDockBottom", "pvDockLeft", "pvDockRight"};

} // namespace

TDockPv* TMainForm::Dock(TDockPosition position) const {
    return FDocks[position];
}

TDockPv* TMainForm::DockNamed(const std::string& name) const {
    for (int i = 0; i < 4; ++i)
        if (name == kDockNames[i]) return FDocks[i];
    return nullptr;
}

void TMainForm::BuildToolbar() {
    // The list sits in the middle of the four docks.
    auto* central = new QWidget(this);
    central->setObjectName("pvPanel");
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    QWidget* list = takeCentralWidget();
    for (int i = 0; i < 4; ++i) {
        auto* d = new TDockPv(central, TDockPosition(i));
        d->setObjectName(kDockNames[i]);
        d->setSizePolicy(i < 2 ? QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed)
                               : QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred));
        d->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(d, &QWidget::customContextMenuRequested, this,
                [this, d](const QPoint& p) { FToolbarPopup->popup(d->mapToGlobal(p)); });
        FDocks[i] = d;
    }
    grid->addWidget(FDocks[dpTop], 0, 0, 1, 3);
    grid->addWidget(FDocks[dpLeft], 1, 0);
    grid->addWidget(list, 1, 1);
    grid->addWidget(FDocks[dpRight], 1, 2);
    grid->addWidget(FDocks[dpBottom], 2, 0, 1, 3);
    setCentralWidget(central);

    FToolbar = new TToolbarPv(this);
    FToolbar->setObjectName("pvToolbar");
    FToolbar->SetCaption("Toolbar");
    FToolbar->OnClose = [this](TCustomToolWindowPv*) { pvToolbarClose(); };
    FToolbar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FToolbar, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { FToolbarPopup->popup(FToolbar->mapToGlobal(p)); });

    ilNormal = new TPvImageList(kGlyph, kGlyph, this);
    ilHot = new TPvImageList(kGlyph, kGlyph, this);
    QStyle* st = style();
    auto button = [&](const char* name, QStyle::StandardPixmap icon, const char* text,
                      const std::string& item = {}) {
        QAction* a = MakeAction(QString::fromLatin1(text), item);
        const QPixmap pm = st->standardIcon(icon).pixmap(kGlyph, kGlyph);
        const int index = ilNormal->Add(pm);
        ilHot->Add(hotImage(ilNormal->Image(index)));
        auto* b = new TToolbarButtonPv(FToolbar);
        b->setObjectName(name);
        b->resize(kButtonWithText);
        b->SetLayout(blGlyphTop);
        b->SetImages(ilNormal);
        b->SetImageIndex(index);
        b->SetAction(a);
        b->OnMouseEnter = [this](TToolbarButtonPv* s) { tbMouseEnter(s); };
        b->OnMouseExit = [this](TToolbarButtonPv* s) { tbMouseExit(s); };
        FToolButtons.push_back(a);
        FButtons.push_back(b);
        return b;
    };
    tbNew = button("tbNew", QStyle::SP_FileIcon, "New");
    connect(tbNew->Action(), &QAction::triggered, this, [this] { mmiNewClick(); });
    tbOpen = button("tbOpen", QStyle::SP_DialogOpenButton, "Open");
    connect(tbOpen->Action(), &QAction::triggered, this, [this] { mmiOpenClick(); });
    FOpenHistoryMenu = new QMenu(this);
    for (int i = 1; i <= 5; ++i) {
        QAction* item = FOpenHistoryMenu->addAction(QString());
        item->setObjectName(QString("Item%1").arg(i));
        connect(item, &QAction::triggered, this, [this, i] { OpenHistoryItem(i); });
    }
    tbOpen->SetDropdownMenu(FOpenHistoryMenu);
    tbOpen->SetDropdownCombo(true);
    tbAdd = button("tbAdd", QStyle::SP_FileDialogNewFolder, "Add", cmd::Add);
    tbExt = button("tbExt", QStyle::SP_ArrowDown, "Extract", cmd::Extract);
    FExtHistoryMenu = new QMenu(this);
    QAction* to = FExtHistoryMenu->addAction("Extract to");
    Bind(to, cmd::ExtractTo);
    FExtractToActions.push_back(to);
    FExtHistoryMenu->addSeparator();
    for (int i = 1; i <= 5; ++i) {
        QAction* item = FExtHistoryMenu->addAction(QString());
        item->setObjectName(QString("EItem%1").arg(i));
        connect(item, &QAction::triggered, this, [this, i] { EItemClick(i); });
    }
    tbExt->SetDropdownMenu(FExtHistoryMenu);
    tbExt->SetDropdownCombo(true);
    tbDel = button("tbDel", QStyle::SP_TrashIcon, "Delete", cmd::Delete);
    tbSep1 = new TToolbarSepPv(FToolbar);
    tbSep1->setObjectName("tbSep1");
    tbSetup = button("tbSetup", QStyle::SP_ComputerIcon, "Install", cmd::Install);
    FSetupButton = tbSetup->Action();
    tbSep2 = new TToolbarSepPv(FToolbar);
    tbSep2->setObjectName("tbSep2");
    tbSep2->SetSizeHorz(SetupSeparatorWidth);
    tbAbout = button("tbAbout", QStyle::SP_MessageBoxInformation, "About");
    connect(tbAbout->Action(), &QAction::triggered, this, [this] {
        TAboutForm about(this);
        about.exec();
    });
    tbExit = button("tbExit", QStyle::SP_DialogCloseButton, "Exit");
    connect(tbExit->Action(), &QAction::triggered, this, &QWidget::close);
    tbNew->Action()->setToolTip("Create new Archive");
    tbOpen->Action()->setToolTip("Open Archive");
    tbAdd->Action()->setToolTip("Add files to Archive");
    tbExt->Action()->setToolTip("Extract files from Archive");
    tbDel->Action()->setToolTip("Delete files from Archive");
    FSetupButton->setToolTip("Start installation");
    tbAbout->Action()->setToolTip("Show about dialog");
    tbExit->Action()->setToolTip("Exit Parvex 2000");
    FSetupButton->setVisible(false);
    FToolbar->SetDockedTo(FDocks[dpTop]);

    // The toolbar's popup menu.
    FToolbarPopup = new QMenu(this);
    FToolbarPopup->setObjectName("pmToolbar");
    QAction* show = FToolbarPopup->addAction("Show Toolbar");
    connect(show, &QAction::triggered, this, [this] { ShowTBClick(); });
    FShowCaptionsAction = FToolbarPopup->addAction("Show Text");
    FShowCaptionsAction->setCheckable(true);
    FShowCaptionsAction->setChecked(true);
    connect(FShowCaptionsAction, &QAction::triggered, this, [this] { tmiShowCaptionsClick(); });
    FToolTipsAction = FToolbarPopup->addAction("Show tooltips");
    FToolTipsAction->setCheckable(true);
    FToolTipsAction->setChecked(true);
    connect(FToolTipsAction, &QAction::triggered, this, [this] { tmiToolTipsClick(); });
    FFlatAction = FToolbarPopup->addAction("Flat buttons");
    FFlatAction->setCheckable(true);
    FFlatAction->setChecked(true);
    connect(FFlatAction, &QAction::triggered, this, [this] { tmiFlatButtonsClick(); });
    FToolbarPopup->addSeparator();
    const std::pair<const char*, TDockPosition> aligns[4] = {
        {"Align Top", dpTop}, {"Align Left", dpLeft}, {"Align Right", dpRight}, {"Align Bottom", dpBottom}};
    for (int i = 0; i < 4; ++i) {
        QAction* a = FToolbarPopup->addAction(aligns[i].first);
        a->setCheckable(true);
        const TDockPosition pos = aligns[i].second;
        connect(a, &QAction::triggered, this, [this, a, pos] { tmiAlignTopClick(a, pos); });
        FAlignActions[i] = a;
    }
    FAlignActions[0]->setChecked(true);
    // The toolbar may have been dragged to another dock since: the checks say where it is now.
    connect(FToolbarPopup, &QMenu::aboutToShow, this, [this] { SyncAlignChecks(); });
}

void TMainForm::SyncAlignChecks() {
    const TDockPosition order[4] = {dpTop, dpLeft, dpRight, dpBottom};
    TDockPv* now = FToolbar->DockedTo();
    for (int i = 0; i < 4; ++i) FAlignActions[i]->setChecked(now && now == FDocks[order[i]]);
}

// Loading: the dock named in the settings; an empty name floats it; any other name leaves it
// where the form put it.
void TMainForm::ApplyToolbarSettings() {
    if (FToolbarDocked.empty()) {
        FToolbar->SetFloatingPosition(QPoint(FToolbarLeft, FToolbarTop));
        FToolbar->SetDockedTo(nullptr);
    } else if (TDockPv* d = DockNamed(FToolbarDocked)) {
        FToolbar->SetDockedTo(d);
    }
    SyncAlignChecks();
}

// First show: a floating toolbar goes to [Toolbar] Left, Top, pulled back onto the nearest
// screen when that lies off every one.
void TMainForm::PlaceToolbarAtShow() {
    if (!FToolbar->Docked()) {
        FToolbar->SetFloatingPosition(QPoint(FToolbarLeft, FToolbarTop));
        FToolbar->MoveOnScreen(true);
    }
}

// Shut-down: the floating position and the dock the toolbar sits in ("" when floating).
void TMainForm::SaveToolbarPlacement() {
    TIniFile* ini = Settings();
    if (!ini || !FToolbar) return;
    const QPoint p = FToolbar->FloatingPosition();
    ini->WriteInteger("Toolbar", "Left", p.x());
    ini->WriteInteger("Toolbar", "Top", p.y());
    TDockPv* d = FToolbar->DockedTo();
    ini->WriteString("Toolbar", "Docked", d ? d->objectName().toStdString() : std::string());
}

void TMainForm::ShowToolbar(bool show) {
    FToolbar->setVisible(show);
    FToolbarShown = FToolbar->Visible();
    FShowToolbarAction->setChecked(show);
}

void TMainForm::ShowTBClick() {
    ShowToolbar(!FShowToolbarAction->isChecked());
}

void TMainForm::tmiShowCaptionsClick() {
    const bool on = FShowCaptionsAction->isChecked();
    FToolbar->LockControlLayout();
    for (TToolbarButtonPv* b : FButtons) {
        b->SetDisplayMode(on ? dmBoth : dmGlyphOnly);
        const int extra = b->DropdownCombo() ? b->DropdownArrowWidth() + 2 : 0;
        const QSize s = on ? kButtonWithText : kButtonGlyphOnly;
        b->resize(s.width() + extra, s.height());
    }
    FToolbar->UnlockControlLayout();
    FToolbar->RelayoutControls();
}

void TMainForm::tmiToolTipsClick() {
    for (TToolbarButtonPv* b : FButtons) b->ShowHint = FToolTipsAction->isChecked();
}

void TMainForm::tmiFlatButtonsClick() {
    for (TToolbarButtonPv* b : FButtons) b->SetFlat(FFlatAction->isChecked());
}

void TMainForm::tmiAlignTopClick(QAction* item, TDockPosition position) {
    const bool checked = item->isChecked();
    for (QAction* a : FAlignActions) a->setChecked(false);
    item->setChecked(checked);
    FToolbar->SetDockedTo(FDocks[position]);
}

void TMainForm::pvToolbarClose() {
    FShowToolbarAction->setChecked(false);
    FToolbarShown = false;
}

void TMainForm::tbMouseEnter(TToolbarButtonPv* b) {
    b->SetImages(ilHot);
}

void TMainForm::tbMouseExit(TToolbarButtonPv* b) {
    b->SetImages(ilNormal);
}

void TMainForm::SyncToolbar() {
    if (tbSep2) tbSep2->SetSizeHorz(SetupSeparatorWidth);
    // DisableAll and EnableAll reach the buttons through their actions.
}
