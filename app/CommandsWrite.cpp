// The window's commands that write the archive: their dialogs, then the core's routines.
#include <QAction>
#include <QFileDialog>
#include <QKeySequence>
#include <QShortcut>

#include "app/DelUnit.h"
#include "app/ExeOpt.h"
#include "app/MainUnit.h"
#include "app/UserSpanUnit.h"
#include "platform/ui_hooks.h"

#include <QCheckBox>
#include <QLineEdit>

void TMainForm::BindWriteCommands() {
    auto bind = [this](const char* item, auto handler) {
        for (QAction* a : ActionsFor(item)) connect(a, &QAction::triggered, this, handler);
    };
    bind(cmd::Add, [this] {
        if (!FArchiveOpen) {
            platform::messageBox("Error", "Error - open ZIP file first", platform::MsgType::Error,
                                 platform::mbOK);
            return;
        }
        const QStringList picked = QFileDialog::getOpenFileNames(this, "Add files");
        TAddChoice c;
        for (const QString& f : picked) c.files.push_back(f.toStdString());
        if (c.files.empty()) return;
        AddChosen(c);
    });
    auto deleteCommand = [this] {
        if (!FArchiveOpen || Rows.empty()) return;
        std::string mask = "*.*";
        {
            TDelForm dlg(*this, this);
            dlg.exec();
            mask = dlg.oeByExt->text().toStdString();
        }
        DeleteCore(false, mask);
    };
    bind(cmd::Delete, deleteCommand);
    auto* del = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    connect(del, &QShortcut::activated, this, deleteCommand);
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
        std::string name;
        if (platform::askText("Rename", "New name:", name, false)) RenameEntryCore(name);
    });
    bind(cmd::RenameArchive, [this] {
        std::string name;
        if (platform::askText("Rename Archive", "New name:", name, false)) RenameArchiveCore(name);
    });
    bind(cmd::DeleteArchive, [this] { DeleteArchiveCore(); });
    bind(cmd::Comment, [this] {
        if (FHandlerKind != hkZipFront) return;
        std::string text = ArchiveComment();
        if (platform::askText("Comment", "Archive comment:", text, false)) SaveArchiveComment(text);
    });
    bind(cmd::WriteZipSpan, [this] {
        if (FHandlerKind == hkZipFront && FUserSpanForm) FUserSpanForm->ShowModal(1);
    });
}
