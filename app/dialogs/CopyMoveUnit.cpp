#include "app/dialogs/CopyMoveUnit.h"
#include "app/dialogs/DialogSeams.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/dialogs/SourceTargetUnit.h"
#include "app/dialogs/DirSelUnit.h"
#include "app/core/MainCore.h"
#include "app/dialogs/NewFldrUnit.h"
#include "common/PathParts.h"
#include "controls/DirTree.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

namespace copymovecore {
namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

std::string sysError(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}

} // namespace

std::string ToLabelText(int mode, const std::string& archiveName) {
    return std::string(mode == 1 ? "Move Archive " : "Copy Archive ") + archiveName + " to:";
}

std::string CopyNoReplace(const std::string& from, const std::string& to) {
    Fd in, out;
    in.fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) return sysError("Cannot read " + from, errno);
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) return sysError("Cannot read " + from, errno);
    out.fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 07777);
    if (out.fd < 0) return sysError("Cannot create " + to, errno);
    auto fail = [&](const std::string& what, int err) {
        ::unlink(to.c_str());
        return sysError(what, err);
    };
    std::vector<char> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in.fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("Cannot read " + from, errno);
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out.fd, buf.data() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return fail("Cannot write " + to, errno);
            }
            done += w;
        }
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.fd, times);
    if (::fsync(out.fd) != 0) return fail("Cannot write " + to, errno);
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) return fail("Cannot write " + to, errno);
    return {};
}

std::string MoveNoReplace(const std::string& from, const std::string& to) {
    // A new name for the same file: link() never replaces what is there.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return {};
        const int err = errno;
        ::unlink(to.c_str());
        return sysError("Cannot remove " + from, err);
    }
    if (errno == EEXIST) return "A file named " + to + " already exists.";
    // Another file system (or one without links): copy, then remove the original.
    if (std::string why = CopyNoReplace(from, to); !why.empty()) return why;
    if (::unlink(from.c_str()) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return sysError("Cannot remove " + from, err);
    }
    return {};
}

bool Run(TMainCore& main, int mode, const std::string& folder) {
    if (main.FArchiveFile.empty()) return false;
    const std::string source = main.FArchiveFile;
    const std::string name = pvcommon::FileNamePart(source);
    struct stat st {};
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        errorBox("The folder " + folder + " does not exist.");
        return false;
    }
    const std::string target = JoinFolder(folder, name);
    if (SameArchiveFile(source, target)) {
        errorBox("The archive is already in the folder " + folder + ".");
        return false;
    }
    if (platform::pathExists(target)) {
        errorBox("A file named " + name + " already exists in " + folder + ".");
        return false;
    }
    if (mode != 1) {
        const std::string why = CopyNoReplace(source, target);
        if (!why.empty()) errorBox("The archive could not be copied.\n" + why);
        return why.empty();
    }
    main.CloseArchive();
    if (const std::string why = MoveNoReplace(source, target); !why.empty()) {
        errorBox("The archive could not be moved.\n" + why);
        main.OpenArchive(source);
        return false;
    }
    for (int i = 1; i <= 5; ++i)
        if (main.FOpenHistory[size_t(i)] == source) main.FOpenHistory[size_t(i)] = target;
    main.OpenMenuUpdate();
    main.WriteEDir();
    main.OpenArchive(target);
    return true;
}

} // namespace copymovecore

TCopyMoveForm::TCopyMoveForm(TMainCore& main, QWidget* parent) : QDialog(parent), FMain(main) {
    setWindowTitle("Copy & Move Archive");
    ToLabel = new QLabel(this);
    Dirs = new TDirTree(this);
    Dirs->SetDirTypes(dtNormal | dtAll);
    Dirs->SetDriveTypes(kAllDriveTypes);
    Dirs->SetInitialDirectory(platform::homeDir());
    MoveTo = new QLineEdit(this);
    Funktion = new QGroupBox("Function", this);
    rbCopy = new QRadioButton("Copy", Funktion);
    rbMove = new QRadioButton("Move", Funktion);
    auto* fl = new QVBoxLayout(Funktion);
    fl->addWidget(rbCopy);
    fl->addWidget(rbMove);
    OK = new QPushButton("Copy", this);
    OK->setDefault(true);
    Cancel = new QPushButton("&Cancel", this);
    NewFolder = new QPushButton("New folder...", this);
    auto* side = new QVBoxLayout;
    side->addWidget(Funktion);
    side->addStretch();
    side->addWidget(NewFolder);
    side->addWidget(OK);
    side->addWidget(Cancel);
    auto* left = new QVBoxLayout;
    left->addWidget(ToLabel);
    left->addWidget(Dirs, 1);
    left->addWidget(MoveTo);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(side);
    resize(460, 360);

    connect(rbCopy, &QRadioButton::clicked, this, [this] { SetMode(0); });
    connect(rbMove, &QRadioButton::clicked, this, [this] { SetMode(1); });
    connect(Dirs, &QTreeWidget::currentItemChanged, this, [this] {
        const std::string p = Dirs->GetSelectedPath();
        if (p != "?") MoveTo->setText(QString::fromStdString(p));
    });
    connect(NewFolder, &QPushButton::clicked, this, [this] {
        TNewFolderForm dlg(this);
        dlg.BaseFolder = MoveTo->text().toStdString();
        dlg.exec();
        if (dlg.Cancelled == 0 && platform::dirExists(dlg.NewFolderPath)) {
            Dirs->Reload();
            Dirs->OpenPath(dlg.NewFolderPath);
            MoveTo->setText(QString::fromStdString(dlg.NewFolderPath));
        }
    });
    connect(OK, &QPushButton::clicked, this, &TCopyMoveForm::OKClick);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TCopyMoveForm::SetMode(int mode) {
    Mode = mode == 1 ? 1 : 0;
    ToLabel->setText(QString::fromStdString(copymovecore::ToLabelText(Mode, FMain.FArchiveName)));
    (Mode == 1 ? rbMove : rbCopy)->setChecked(true);
    OK->setText(Mode == 1 ? "Move" : "Copy");
}

void TCopyMoveForm::showEvent(QShowEvent* e) {
    SetMode(Mode);
    QDialog::showEvent(e);
}

void TCopyMoveForm::OKClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = copymovecore::Run(FMain, Mode, MoveTo->text().toStdString());
    QApplication::restoreOverrideCursor();
    if (done) accept();
}

// The window opens this dialog through its seam.
static const bool registered = FillDialogSeam([](TDialogSeams& s) {
    s.CopyMove = [](TDialogHost& host, int mode) {
        if (host.Core().FArchiveFile.empty()) return;
        TCopyMoveForm dlg(host.Core(), host.Window());
        dlg.Mode = mode;
        dlg.exec();
    };
});
