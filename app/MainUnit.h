// The main window on Qt Widgets: menus, the toolbar, the file list and the status bar
// over the widget-free core, which holds every field and makes every decision.
#pragma once
#include <QMainWindow>
#include <QStringList>
#include <chrono>
#include <map>
#include <vector>

#include "app/MainCore.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class QTreeView;
class QItemSelection;
class TFileListModel;
class TStatForm;
class TOverwriteForm;
class TPWordForm;
class TUserSpanForm;

class TMainForm : public QMainWindow, public TMainCore {
    Q_OBJECT
public:
    // `params`: the command-line parameters, acted on at the first show.
    TMainForm(std::unique_ptr<TZipBackend> zip, std::unique_ptr<TListerBackend> lister,
              const std::string& programPath, std::vector<std::string> params = {});
    ~TMainForm() override;

    QTreeView* ZipList() const { return FZipList; }
    QToolBar* Toolbar() const { return FToolbar; }
    QLabel* StatusPanel(int index) const;
    // Every action bound to a command of EnableItems (menu, popup and button).
    std::vector<QAction*> ActionsFor(const std::string& item) const;
    QMenu* OpenHistoryMenu() const { return FOpenHistoryMenu; }
    QMenu* ExtHistoryMenu() const { return FExtHistoryMenu; }

    // The commands behind the menus.
    void mmiOpenClick();
    void mmiNewClick();
    void mmiCloseClick() { CloseArchive(); }
    // Extract dialog road; `fromPopup` proposes the selected files.
    void tbExtClick(bool fromPopup = false);
    void mmiMultiExtractClick();
    TStatForm* StatWindow() const { return FStatForm; }
    TOverwriteForm* OverwriteWindow() const { return FOverwriteForm; }
    // The password and spanning dialogs, made once and reused.
    TPWordForm* PWordForm() const { return FPWordForm; }
    TUserSpanForm* UserSpanForm() const { return FUserSpanForm; }

    void SetCaptions();
    void UpdateSettings();
    void RestoreWindowPlacement(int left, int right, int bottom, int top);
    void SaveWindowPlacement(int& left, int& top) const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

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
    std::string ZipDateText(double dt) const override;
    void ApplySelection(const std::vector<bool>& wanted) override;

private:
    void FormShow();
    void BuildMenus();
    void BuildToolbar();
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
    bool FShown = false;
    bool FSyncingSelection = false;
    bool FRefreshPending = false;
    QTreeView* FZipList = nullptr;
    TFileListModel* FModel = nullptr;
    QToolBar* FToolbar = nullptr;
    QMenu* FOpenHistoryMenu = nullptr;
    QMenu* FExtHistoryMenu = nullptr;
    QMenu* FPopup = nullptr;
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
