// The main window on Qt Widgets: menus, the toolbar, the file list and the status bar
// over the widget-free core, which holds every field and makes every decision.
#pragma once
#include <QMainWindow>
#include <QStringList>
#include <chrono>
#include <map>
#include <vector>

#include "app/core/MainCore.h"
#include "app/dialogs/DialogHost.h"
#include "controls/TBPv.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TToolbarPv;
class TToolbarButtonPv;
class TToolbarSepPv;
class TPvImageList;
class QTreeView;
class QItemSelection;
class TFileListModel;
class TStatForm;
class TOverwriteForm;
class TPWordForm;
class TUserSpanForm;
class TDropFileSource;
class TPvHttp;

class TMainForm : public QMainWindow, public TMainCore, public TDialogHost {
    Q_OBJECT
public:
    // `params`: the command-line parameters, acted on at the first show.
    TMainForm(std::unique_ptr<TZipBackend> zip, std::unique_ptr<TListerBackend> lister,
              const std::string& programPath, std::vector<std::string> params = {});
    ~TMainForm() override;

    QTreeView* ZipList() const { return FZipList; }
    TToolbarPv* Toolbar() const { return FToolbar; }
    TDockPv* Dock(TDockPosition position) const;
    // The dock of that name ("pvDockTop", ...); null for any other.
    TDockPv* DockNamed(const std::string& name) const;
    const std::vector<TToolbarButtonPv*>& ToolbarButtons() const { return FButtons; }
    QMenu* ToolbarPopup() const { return FToolbarPopup; }
    QAction* ShowToolbarAction() const { return FShowToolbarAction; }
    QLabel* StatusPanel(int index) const;
    // Every action bound to a command of EnableItems (menu, popup and button).
    std::vector<QAction*> ActionsFor(const std::string& item) const;
    QMenu* OpenHistoryMenu() const { return FOpenHistoryMenu; }
    // The Delete button's drop-down ("Delete selected", "Delete all files").
    QMenu* DeleteMenu() const { return FDeleteMenu; }
    QAction* ConvertAction() const { return FConvertAction; }
    // After the preferences dialog's OK: bars, columns and the list's look from the fields.
    void ApplyOptions();
    // Whether the dialog a command opens exists (its seam is filled, DialogSeams.h); a
    // command without its dialog stays disabled.
    bool DialogAvailable(const std::string& item) const;
    // Files dropped on the window or handed over by the desktop: the file-drop dialog.
    void ShowFileDrop(const std::vector<std::string>& paths);
    QMenu* ExtHistoryMenu() const { return FExtHistoryMenu; }

    // The commands behind the menus.
    void mmiOpenClick();
    void mmiNewClick();
    void mmiCloseClick() { CloseArchive(); }
    // Extract dialog road; `fromPopup` proposes the selected files. True when the dialog
    // asked for an extraction and it succeeded.
    bool tbExtClick(bool fromPopup = false);
    void mmiMultiExtractClick();
    TStatForm* StatWindow() const { return FStatForm; }
    TOverwriteForm* OverwriteWindow() const { return FOverwriteForm; }
    // The host of the dialogs: the window's own core, the window as their parent, and the
    // password and spanning dialogs, made once and reused.
    TMainCore& Core() override { return *this; }
    QWidget* Window() override { return this; }
    TPWordForm* PWordForm() const override { return FPWordForm; }
    TUserSpanForm* UserSpanForm() const override { return FUserSpanForm; }

    // The toolbar's commands (MainToolbar.cpp).
    void ShowTBClick();
    void tmiShowCaptionsClick();
    void tmiToolTipsClick();
    void tmiFlatButtonsClick();
    void tmiAlignTopClick(QAction* item, TDockPosition position);
    void pvToolbarClose();
    void tbMouseEnter(TToolbarButtonPv* button);
    void tbMouseExit(TToolbarButtonPv* button);
    TToolbarButtonPv *tbNew = nullptr, *tbOpen = nullptr, *tbAdd = nullptr, *tbExt = nullptr,
                     *tbDel = nullptr, *tbSetup = nullptr, *tbAbout = nullptr, *tbExit = nullptr;
    TToolbarSepPv *tbSep1 = nullptr, *tbSep2 = nullptr;
    TPvImageList *ilNormal = nullptr, *ilHot = nullptr;

    // Files dragged out of the list (MainDrop.cpp): the drag of the selected rows.
    void StartDragOut();
    bool AddDroppedFiles() override;
    TDropFileSource* DragSource() const { return dsMainDrag; }

    // Shell integration (MainShell.cpp): the desktop shortcut to the open archive, the zip
    // association check at start, the update check and the web links.
    void mmiShortcutClick();
    void CheckZipAssociation();
    // `manual`: asked for from the Help menu (a failure is then reported).
    void mmiCheckUpdateClick();
    void StartUpdateCheck(bool manual);
    void pvHttpSuccess(const std::string& body);
    void mmiHomepage1Click();
    void mmiHomepage2Click();
    void mmiForumClick();
    void mmiEmailClick();
    TPvHttp* HttpClient() const { return pvHttp; }

    void SetCaptions();
    void UpdateSettings();
    void RestoreWindowPlacement(int left, int right, int bottom, int top);
    void SaveWindowPlacement(int& left, int& top) const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    void BeginListUpdate() override;
    void EndListUpdate() override;
    void RowsChanged() override;
    void StatusChanged() override;
    void CaptionChanged() override;
    void ItemsChanged() override;
    void HistoryChanged() override;
    void ImagesChanged() override;
    void SortChanged() override;
    void StatChanged() override;
    TOverwriteAnswer AskOverwrite() override;
    void ShowPasswordDialog() override;
    void ApplySelection(const std::vector<bool>& wanted) override;
    void CloseMainWindow(int status) override;
    bool ExtractDialogRoad() override;

private:
    void FormShow();
    void BuildMenus();
    void BuildToolbar();
    void ApplyToolbarSettings();
    // The popup's Align items checked for the dock the toolbar sits in.
    void SyncAlignChecks();
    void PlaceToolbarAtShow();
    void SaveToolbarPlacement();
    void SyncToolbar();
    void BuildList();
    QAction* MakeAction(const QString& text, const std::string& item = {});
    void Bind(QAction* action, const std::string& item);
    void BindExtractionCommands();
    // Adding, deleting and the other commands that write the archive (CommandsWrite.cpp).
    void BindWriteCommands();
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void SyncSelectionFromCore();
    void ShowStatusBar(bool show);
    void ShowToolbar(bool show);
    QIcon IconFor(const TImageKey& key) const;
    int ColumnWidth(int col) const;

    std::vector<std::string> FParams;
    TPvHttp* pvHttp = nullptr;
    bool FManualUpdateCheck = false;
    void BindShellCommands(QMenu* help);
    TDropFileSource* dsMainDrag = nullptr;
    int FMouseDownX = 0, FMouseDownY = 0;
    bool FDragging = false;
    bool FShown = false;
    bool FSyncingSelection = false;
    bool FRefreshPending = false;
    QTreeView* FZipList = nullptr;
    TFileListModel* FModel = nullptr;
    TToolbarPv* FToolbar = nullptr;
    TDockPv* FDocks[4] = {nullptr, nullptr, nullptr, nullptr};
    std::vector<TToolbarButtonPv*> FButtons;
    QMenu* FToolbarPopup = nullptr;
    QAction *FShowCaptionsAction = nullptr, *FToolTipsAction = nullptr, *FFlatAction = nullptr;
    QAction* FAlignActions[4] = {nullptr, nullptr, nullptr, nullptr};
    QMenu* FOpenHistoryMenu = nullptr;
    QMenu* FExtHistoryMenu = nullptr;
    QMenu* FPopup = nullptr;
    QMenu* FDeleteMenu = nullptr;
    QAction* FConvertAction = nullptr;
    QAction* FPrefsAction = nullptr;
    std::vector<QLabel*> FPanels;
    std::multimap<std::string, QAction*> FItemActions;
    std::vector<QAction*> FSortActions; // both menus, six each
    std::vector<QMenu*> FTopMenus;      // File, Edit, Actions, Options, Extras, Help
    std::vector<QAction*> FToolButtons;
    QAction* FSetupButton = nullptr;
    TStatForm* FStatForm = nullptr;
    TOverwriteForm* FOverwriteForm = nullptr;
    TPWordForm* FPWordForm = nullptr;
    TUserSpanForm* FUserSpanForm = nullptr;
    QTimer* FStatSyncTimer = nullptr;
    std::chrono::steady_clock::time_point FStatSynced;
    static constexpr std::chrono::milliseconds kStatInterval{40};
    QAction* FShowToolbarAction = nullptr;
    QAction* FShowStatusAction = nullptr;
    std::vector<QAction*> FExtractToActions, FExtractHereActions;
};

// The one main window of the program.
extern TMainForm* MainForm;
