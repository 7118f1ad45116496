// The window's commands that write the archive or open a dialog of their own: the dialogs
// (or their seams, DialogSeams.h), then the core's routines.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QHeaderView>
#include <QPainter>
#include <QShortcut>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "app/dialogs/AddFilesUnit.h"
#include "app/dialogs/DelUnit.h"
#include "app/dialogs/DialogSeams.h"
#include "app/dialogs/ExeOpt.h"
#include "app/dialogs/MailArchiveUnit.h"
#include "app/window/MainUnit.h"
#include "app/desktop/MyMapi.h"
#include "app/dialogs/Optionsunit.h"
#include "app/dialogs/UserSpanUnit.h"
#include "controls/TBPvCtls.h"
#include "platform/ui_hooks.h"
#include "platform/ui_text.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

// A comment typed into the editor is the same text when only its line ends differ: the
// editor gives "\n" where the archive may hold "\r\n".
std::string plainLineEnds(std::string s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

// Hot tracking of the list: names underlined under the mouse (MousePoint) or always
// (AlwaysUnder) while a single click opens, with a pointing hand over the names.
class THotTrackDelegate : public QStyledItemDelegate {
public:
    THotTrackDelegate(const TMainCore& core, QObject* parent) : QStyledItemDelegate(parent), FCore(core) {}
    bool Underlined(bool hovered) const {
        return FCore.FSingleClick && (FCore.FAlwaysUnder || (FCore.FMousePoint && hovered));
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == 0 && Underlined(option->state & QStyle::State_MouseOver))
            option->font.setUnderline(true);
    }

private:
    const TMainCore& FCore;
};

} // namespace

void TMainForm::ApplyOptions() {
    ShowToolbar(FToolbarShown);
    ShowStatusBar(FStatusBarShown);
    // Size, Packed, Ratio, Date, CRC, Attributes, Path: their columns and widths when shown.
    static const int columns[7] = {1, 2, 3, 4, 6, 7, 5};
    static const int widths[7] = {70, 70, 40, 100, 62, 35, 120};
    for (size_t i = 0; i < 7; ++i) {
        FZipList->setColumnHidden(columns[i], !FColumnShown[i]);
        if (FColumnShown[i]) FZipList->setColumnWidth(columns[i], widths[i]);
    }
    UpdateSettings();
    FZipList->viewport()->update();
}

bool TMainForm::DialogAvailable(const std::string& item) const {
    const TDialogSeams& s = DialogSeams();
    if (item == cmd::Properties) return bool(s.Properties);
    if (item == cmd::CopyArchive || item == cmd::MoveArchive) return bool(s.CopyMove);
    if (item == cmd::Test) return bool(s.TestOutput);
    if (item == "ConvertArchive") return bool(s.Convert);
    if (item == cmd::UUEncode) return bool(s.UUEncode);
    if (item == cmd::Checkout) return bool(s.Checkout);
    if (item == cmd::FindFiles) return bool(s.FindFiles);
    if (item == cmd::MailArchive) return !FInternalMail || bool(s.Mail);
    return true;
}

void TMainForm::ShowFileDrop(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    if (auto& show = DialogSeams().FileDrop) show(*this, paths);
}

void TMainForm::BindWriteCommands() {
    auto bind = [this](const char* item, auto handler) {
        for (QAction* a : ActionsFor(item)) connect(a, &QAction::triggered, this, handler);
    };
    // A seam's dialog, looked up when the command runs (a seam may be filled late).
    auto seam = [this](const char* item, TDialogSeams::TShow TDialogSeams::*member) {
        for (QAction* a : ActionsFor(item))
            connect(a, &QAction::triggered, this, [this, member] {
                if (auto& show = DialogSeams().*member) show(*this);
            });
    };

    bind(cmd::Add, [this] {
        if (!FArchiveOpen) {
            platform::messageBox("Error", "Error - open ZIP file first", platform::MsgType::Error,
                                 platform::mbOK);
            return;
        }
        TAddChoice c;
        FCancelled = true;
        if (auto& wizard = DialogSeams().AddWizard)
            wizard(*this, c);
        else
            TAddFilesForm::Run(*this, c);
        if (FCancelled) return;
        AddChosen(c);
    });

    auto deleteCommand = [this] {
        if (!FArchiveOpen || Rows.empty() || !AllEnabled || !IsEnabled(cmd::Delete)) return;
        std::string mask = "*.*";
        {
            TDelForm dlg(*this, this);
            dlg.exec();
            mask = dlg.oeByExt->text().toStdString();
        }
        DeleteCore(false, mask);
    };
    bind(cmd::Delete, deleteCommand);
    // The Delete key, on the window and on the list.
    auto* del = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    del->setObjectName("DeleteKey");
    del->setContext(Qt::WindowShortcut);
    connect(del, &QShortcut::activated, this, deleteCommand);
    // The Delete button's drop-down.
    FDeleteMenu = new QMenu(this);
    FDeleteMenu->setObjectName("pmDelete");
    QAction* delSel = FDeleteMenu->addAction("Delete selected");
    delSel->setObjectName("pmiDeleteSelected");
    connect(delSel, &QAction::triggered, this, [this] {
        if (AllEnabled && IsEnabled(cmd::Delete)) pmiDeleteSelectedClick();
    });
    QAction* delAll = FDeleteMenu->addAction("Delete all files");
    delAll->setObjectName("pmiDeleteAll");
    connect(delAll, &QAction::triggered, this, [this] {
        if (AllEnabled && IsEnabled(cmd::Delete)) pmiDeleteAllClick();
    });
    connect(FDeleteMenu, &QMenu::aboutToShow, this, [this, delSel, delAll] {
        const bool on = AllEnabled && IsEnabled(cmd::Delete) && !Rows.empty();
        delSel->setEnabled(on && SelectedCount() > 0);
        delAll->setEnabled(on);
    });
    if (tbDel) tbDel->SetDropdownMenu(FDeleteMenu);

    bind(cmd::MakeExe, [this] {
        TExeOpt dlg(*this, this);
        FSfxAccepted = false;
        dlg.exec();
        if (!FSfxAccepted) return;
        TExeChoice c;
        c.overwriteMode = dlg.OverwrMode();
        c.askCmdLine = dlg.AskCmdLn->isChecked();
        c.askFiles = dlg.AskFile->isChecked();
        c.hideOverwriteBox = dlg.HideBox->isChecked();
        c.defaultDir = dlg.DefDirEdit->text().toStdString();
        c.commandLine = dlg.CmdEdit->text().toStdString();
        c.caption = dlg.AppCaption->text().toStdString();
        MakeExeCore(c);
    });
    bind(cmd::ExeToZip, [this] { ExeToZipCore(); });

    bind(cmd::Rename, [this] {
        if (SelectedCount() == 0) return;
        FCancelled = true;
        if (auto& show = DialogSeams().ItemRename) {
            show(*this);
        } else {
            std::string name;
            for (const TListRow& r : Rows)
                if (r.Selected) {
                    const size_t slash = r.StoredName.rfind('/');
                    name = slash == std::string::npos ? r.StoredName : r.StoredName.substr(slash + 1);
                    break;
                }
            if (platform::askText("Rename", "New name:", name, false)) {
                FNewItemName = name;
                FCancelled = false;
            }
        }
        if (!FCancelled) RenameEntryCore(FNewItemName);
    });
    bind(cmd::RenameArchive, [this] {
        if (FArchiveFile.empty()) return;
        std::string name = FArchiveName;
        if (platform::askText("Rename Archive", "New name:", name, false) && name != FArchiveName)
            RenameArchiveCore(name);
    });
    bind(cmd::DeleteArchive, [this] { DeleteArchiveCore(); });
    bind(cmd::Comment, [this] {
        if (auto& show = DialogSeams().Comment) {
            show(*this);
            return;
        }
        if (FHandlerKind != hkZipFront) return;
        const std::string before = ArchiveComment();
        std::string text = before;
        if (!platform::editText("Comment", "Archive comment:", text)) return;
        if (text == before || text == plainLineEnds(before)) return; // nothing to write
        SaveArchiveComment(text);
    });
    bind(cmd::WriteZipSpan, [this] {
        if (FHandlerKind == hkZipFront && FUserSpanForm) FUserSpanForm->ShowModal(1);
    });

    // The list's hot tracking follows the fields the preferences set.
    auto* hot = new THotTrackDelegate(*this, FZipList);
    FZipList->setItemDelegate(hot);
    FZipList->setMouseTracking(true);
    connect(FZipList, &QAbstractItemView::entered, this, [this, hot](const QModelIndex& index) {
        if (index.column() == 0 && (hot->Underlined(true)))
            FZipList->viewport()->setCursor(Qt::PointingHandCursor);
        else
            FZipList->viewport()->unsetCursor();
    });
    if (FPrefsAction)
        connect(FPrefsAction, &QAction::triggered, this, [this] {
            TOptionsForm dlg(*this, this);
            dlg.OnApplied = [this] { ApplyOptions(); };
            dlg.FormShow();
            dlg.exec();
        });

    // The commands that only open a dialog.
    seam(cmd::Properties, &TDialogSeams::Properties);
    seam(cmd::Test, &TDialogSeams::TestOutput);
    seam(cmd::UUEncode, &TDialogSeams::UUEncode);
    seam(cmd::Checkout, &TDialogSeams::Checkout);
    seam(cmd::FindFiles, &TDialogSeams::FindFiles);
    bind(cmd::CopyArchive, [this] {
        if (auto& show = DialogSeams().CopyMove) show(*this, 0);
    });
    bind(cmd::MoveArchive, [this] {
        if (auto& show = DialogSeams().CopyMove) show(*this, 1);
    });
    if (FConvertAction)
        connect(FConvertAction, &QAction::triggered, this, [this] {
            if (auto& show = DialogSeams().Convert) show(*this);
        });
    bind(cmd::MailArchive, [this] {
        if (FInternalMail) {
            if (auto& show = DialogSeams().Mail) show(*this);
            return;
        }
        // The mail program road says when xdg-email failed, with its exit status.
        if (!FArchiveFile.empty()) mailcore::SendWithMailProgram(*this);
    });
}
