// The main window meets the desktop: a shortcut to the open archive on the desktop, the zip
// association check at start, the update check and the web links of the Help menu.
#include <QAction>
#include <QMenu>
#include <filesystem>

#include "app/dialogs/DialogSeams.h"
#include "app/core/IniFile.h"
#include "app/core/Launcher.h"
#include "app/desktop/Links.h"
#include "app/window/MainUnit.h"
#include "app/desktop/Ras.h"
#include "app/desktop/UpdateCheck.h"
#include "app/desktop/ftReg.h"
#include "app/desktop/pvHttp.h"
#include "common/PathParts.h"
#include "platform/ui_hooks.h"

using platform::MsgType;

void TMainForm::BindShellCommands(QMenu* help) {
    pvHttp = new TPvHttp(this);
    pvHttp->OnSuccess = [this](TPvHttp&, const std::string& body) { pvHttpSuccess(body); };
    pvHttp->OnFailure = [this](TPvHttp&, const std::string& error) {
        // The check at start stays quiet; one asked for says what went wrong.
        if (FManualUpdateCheck)
            platform::messageBox("Error", "The update information could not be fetched.\n" + error,
                                 MsgType::Error, platform::mbOK);
    };
    for (QAction* a : ActionsFor(cmd::CreateShortcut))
        connect(a, &QAction::triggered, this, [this] { mmiShortcutClick(); });
    connect(help->addAction("Check for Update..."), &QAction::triggered, this,
            [this] { mmiCheckUpdateClick(); });
    connect(help->addAction("Parvex Forum"), &QAction::triggered, this, [this] { mmiForumClick(); });
    connect(help->addAction("Email Author"), &QAction::triggered, this, [this] { mmiEmailClick(); });
}

void TMainForm::mmiShortcutClick() {
    if (FArchiveFile.empty()) return;
    const std::string link = DesktopLinkPath(FArchiveName);
    std::error_code ec;
    // Our own shortcut to this archive is simply written again; any other file of that
    // name belongs to someone else and is replaced only when the user says so.
    if (std::filesystem::exists(std::filesystem::symlink_status(link, ec)) && !IsLinkTo(link, FArchiveFile)) {
        if (platform::messageBox("Question",
                                 "The Desktop already holds a file named \"" + pvcommon::FileNamePart(link) +
                                     "\". Do you want to replace it with the shortcut to this archive?",
                                 MsgType::Confirmation,
                                 platform::mbYes | platform::mbNo) != platform::ModalResult::Yes)
            return;
    }
    if (!CreateDesktopLink(FArchiveFile, link, FArchiveName)) {
        platform::messageBox("Error", "The shortcut could not be created on the Desktop.", MsgType::Error,
                             platform::mbOK);
        return;
    }
    platform::messageBox("Information",
                         "A shortcut has been created on the Desktop pointing to this archive.",
                         MsgType::Information, platform::mbOK);
}

void TMainForm::CheckZipAssociation() {
    ftreg::RegisterProgId();
    const std::string flag = Settings() ? Settings()->ReadString("ZipAsso", "ZipAsso", "0") : "0";
    if (flag == "1" && ftreg::IsAssociated(".zip")) return;
    if (auto& show = DialogSeams().Association) show(*this);
}

void TMainForm::mmiCheckUpdateClick() {
    if (!IsOnline()) {
        platform::messageBox(
            "Error", "You are currently not connected with the Internet.\n\rPlease connect and then retry.",
            MsgType::Error, platform::mbOK);
        return;
    }
    StartUpdateCheck(true);
}

void TMainForm::StartUpdateCheck(bool manual) {
    // A request already on its way answers this one too.
    if (pvHttp->Busy()) {
        FManualUpdateCheck = FManualUpdateCheck || manual;
        return;
    }
    FManualUpdateCheck = manual;
    const updatecheck::TLinks links =
        Settings() ? updatecheck::ReadLinks(*Settings()) : updatecheck::DefaultLinks();
    pvHttp->TimeOut = 5000;
    pvHttp->Get(links.update);
}

void TMainForm::pvHttpSuccess(const std::string& body) {
    const updatecheck::TUpdateText text = updatecheck::ParseUpdateText(body);
    if (!text.ok) {
        platform::messageBox("Error", "The update information is not valid.", MsgType::Error, platform::mbOK);
        return;
    }
    if (text.version <= updatecheck::kRunningVersion) {
        platform::messageBox("Information",
                             "You're running the latest version o Parvex, so no upate is needed.",
                             MsgType::Information, platform::mbOK);
        return;
    }
    if (platform::messageBox(
            "Question",
            "New version of Parvex 2000 availibe. Do you want togo to the Parvex homepage and download it?",
            MsgType::Confirmation, platform::mbYes | platform::mbNo) == platform::ModalResult::Yes)
        mmiHomepage1Click();
    if (!updatecheck::SaveNotes(text.version, text.notes)) {
        platform::messageBox("Error", "The release notes could not be saved.", MsgType::Error,
                             platform::mbOK);
        return;
    }
    LaunchOpenFile(updatecheck::NotesFile(text.version));
}

namespace {

std::string link(TIniFile* ini, std::string updatecheck::TLinks::*member) {
    const updatecheck::TLinks links = ini ? updatecheck::ReadLinks(*ini) : updatecheck::DefaultLinks();
    return links.*member;
}

} // namespace

void TMainForm::mmiHomepage1Click() {
    LaunchOpenUrl(link(Settings(), &updatecheck::TLinks::homepage1));
}

void TMainForm::mmiHomepage2Click() {
    LaunchOpenUrl(link(Settings(), &updatecheck::TLinks::homepage2));
}

void TMainForm::mmiForumClick() {
    LaunchOpenUrl(link(Settings(), &updatecheck::TLinks::forum));
}

void TMainForm::mmiEmailClick() {
    LaunchOpenUrl(link(Settings(), &updatecheck::TLinks::email));
}
