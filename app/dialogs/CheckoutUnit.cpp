#include "app/dialogs/CheckoutUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <dirent.h>

#include "app/desktop/DesktopEntry.h"
#include "app/dialogs/DirSelUnit.h"
#include "app/desktop/Links.h"
#include "app/core/MainCore.h"
#include "common/PathParts.h"
#include "common/SafePath.h"
#include "controls/DirTree.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

using namespace pvcommon;

namespace checkoutcore {
namespace {

std::string xmlText(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The file names of the entries in one folder, sorted.
std::vector<std::string> desktopFilesIn(const std::string& folder) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 8 && n.compare(n.size() - 8, 8, ".desktop") == 0) out.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

std::string LinkName(const std::string& caption) {
    const size_t dot = caption.find('.');
    const std::string stem = dot == std::string::npos ? caption : caption.substr(0, dot);
    return (stem.empty() ? caption : stem) + ".lnk";
}

bool IsAppOrDocument(const std::string& caption) {
    const std::string ext = LowerAscii(ExtensionOf(caption));
    for (const char* t : {".exe", ".com", ".hlp", ".txt", ".doc"})
        if (ext == t) return true;
    return false;
}

bool ValidGroupName(const std::string& name) {
    if (!pvcommon::IsSingleName(name)) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

std::string DirectoryFile(const std::string& group) {
    return platform::xdgDataHome() + "/desktop-directories/parvex-" + group + ".directory";
}

std::string MergedMenuFile(const std::string& group) {
    return platform::xdgConfigHome() + "/menus/applications-merged/parvex-" + group + ".menu";
}

bool WriteMenuGroup(const std::string& group) {
    std::string programs;
    GetSpecialFolderPath(CSIDL_PROGRAMS, programs);
    const std::string dirFile = DirectoryFile(group);
    const std::string menuFile = MergedMenuFile(group);
    if (!platform::makeDirs(FolderPart(dirFile)) || !platform::makeDirs(FolderPart(menuFile))) return false;
    const std::string directory = "[Desktop Entry]\nType=Directory\nName=" + DesktopString(group) + "\n";
    // Entries in a subfolder of the applications folder are known by "<folder>-<file>".
    std::string includes;
    for (const std::string& f : desktopFilesIn(programs + group))
        includes += "      <Filename>" + xmlText(group + "-" + f) + "</Filename>\n";
    // Plain XML: the desktops' menu readers need no document type to merge it.
    const std::string menu = "<Menu>\n"
                             "  <Name>Applications</Name>\n"
                             "  <Menu>\n"
                             "    <Name>" +
                             xmlText(group) +
                             "</Name>\n"
                             "    <Directory>" +
                             xmlText(FileNamePart(dirFile)) +
                             "</Directory>\n"
                             "    <Include>\n" +
                             includes +
                             "    </Include>\n"
                             "  </Menu>\n"
                             "</Menu>\n";
    return WriteFileReplacing(dirFile, directory) && WriteFileReplacing(menuFile, menu);
}

} // namespace checkoutcore

// ---------------------------------------------------------------- the state

void TCheckoutState::FormShow(const TMainCore& main) {
    GroupName = WithoutExtension(FileNamePart(main.FArchiveFile));
    Folder = JoinFolder(platform::homeDir(), GroupName);
}

void TCheckoutState::FolderPicked(const std::string& folder) {
    std::string current = Folder;
    while (current.size() > 1 && current.back() == '/') current.pop_back();
    Folder = JoinFolder(folder, FileNamePart(current));
}

bool TCheckoutState::OkClick(TMainCore& main) {
    using checkoutcore::LinkName;
    Written.clear();
    auto error = [](const std::string& text) {
        platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
    };
    if (!checkoutcore::ValidGroupName(GroupName)) {
        error("The group name \"" + GroupName + "\" cannot be used.");
        return false;
    }
    if (Folder.empty() || !platform::makeDirs(Folder)) {
        error("The folder " + Folder + " could not be created.");
        return false;
    }
    if (!main.ExtractCore(false, true, Folder, false, true)) return false;

    std::string programs;
    GetSpecialFolderPath(CSIDL_PROGRAMS, programs);
    const std::string group = programs + GroupName;
    if (!platform::makeDirs(programs) || !CreateFolder(group)) {
        error("The group " + GroupName + " could not be created.");
        return false;
    }
    int maxCount = 0;
    try {
        size_t used = 0;
        maxCount = std::stoi(IconCount, &used);
        if (used != IconCount.size()) throw std::invalid_argument("trailing");
    } catch (const std::exception&) {
        maxCount = 0;
        error("You entered a wrong char!");
    }
    int made = 0;
    for (const TListRow& row : main.Rows) {
        if (made >= maxCount) break;
        if (OnlyApps && !checkoutcore::IsAppOrDocument(row.Caption)) continue;
        const auto rel = SafeRelativePath(row.StoredName);
        if (!rel || rel->empty()) continue;
        const std::string link = group + "/" + LinkName(row.Caption);
        ++made; // a shortcut that cannot be made still counts
        if (CreateShortcut(JoinFolder(Folder, *rel), link, row.Caption))
            Written.push_back(ShortcutFileName(link));
    }
    checkoutcore::WriteMenuGroup(GroupName);
    return true;
}

// ---------------------------------------------------------------- the dialog

TCheckoutForm::TCheckoutForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Checkout archive");
    lDescription = new QLabel("All files of this archive will be extracted to the folder you specified and a "
                              "program group will be built within the Startmenu.",
                              this);
    lDescription->setWordWrap(true);
    lFolder = new QLabel("Folder:", this);
    oeTargetFolder = new QLineEdit(this);
    btnGetSource = new QPushButton("...", this);
    btnGetSource->setFixedWidth(28);
    lGroupName = new QLabel("Group name:", this);
    oeGroupName = new QLineEdit(this);
    lIconCount = new QLabel("Max. number of icons:", this);
    oeIconCount = new QLineEdit("40", this);
    cbOnlyApps = new QCheckBox("Create shortcuts for applications and documents only", this);
    cbOnlyApps->setChecked(true);
    btnOk = new QPushButton("&OK", this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);

    auto* grid = new QGridLayout;
    grid->addWidget(lFolder, 0, 0);
    grid->addWidget(oeTargetFolder, 0, 1);
    grid->addWidget(btnGetSource, 0, 2);
    grid->addWidget(lGroupName, 1, 0);
    grid->addWidget(oeGroupName, 1, 1, 1, 2);
    grid->addWidget(lIconCount, 2, 0);
    grid->addWidget(oeIconCount, 2, 1, Qt::AlignLeft);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lDescription);
    layout->addLayout(grid);
    layout->addWidget(cbOnlyApps);
    layout->addLayout(buttons);
    resize(420, 200);

    connect(btnGetSource, &QPushButton::clicked, this, [this] {
        std::string folder;
        {
            TDirSelForm picker(FMain, this);
            picker.exec();
            if (!FMain.FCancelled) folder = picker.DirTree1->GetSelectedPath();
        }
        if (FMain.FCancelled) return;
        ToState();
        State.FolderPicked(folder);
        FromState();
    });
    connect(btnOk, &QPushButton::clicked, this, &TCheckoutForm::OkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TCheckoutForm::showEvent(QShowEvent* e) {
    State.FormShow(FMain);
    FromState();
    QDialog::showEvent(e);
}

void TCheckoutForm::ToState() {
    State.Folder = oeTargetFolder->text().toStdString();
    State.GroupName = oeGroupName->text().toStdString();
    State.IconCount = oeIconCount->text().toStdString();
    State.OnlyApps = cbOnlyApps->isChecked();
}

void TCheckoutForm::FromState() {
    oeTargetFolder->setText(QString::fromStdString(State.Folder));
    oeGroupName->setText(QString::fromStdString(State.GroupName));
    oeIconCount->setText(QString::fromStdString(State.IconCount));
    cbOnlyApps->setChecked(State.OnlyApps);
}

void TCheckoutForm::OkClick() {
    ToState();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = State.OkClick(FMain);
    QApplication::restoreOverrideCursor();
    if (done) accept();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.Checkout = [](TDialogHost& host) {
        if (!host.Core().FArchiveOpen) return;
        TCheckoutForm dlg(host.Core(), host.Window());
        dlg.exec();
    };
});
