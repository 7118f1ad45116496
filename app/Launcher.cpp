#include "app/Launcher.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTextStream>
#include <QUrl>

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The desktop file id of the default application of a MIME type ("" when none), as the
// freedesktop tools report it.
QString defaultAppFor(const QString& mimeType) {
    if (mimeType.isEmpty()) return {};
    QProcess p;
    p.start("xdg-mime", {"query", "default", mimeType});
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The Exec line of a desktop entry, with the file put in place of its field codes.
bool startDesktopEntry(const QString& desktopId, const QString& file) {
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QTextStream in(&f);
    bool inEntry = false;
    QString exec;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.startsWith("Exec=")) {
            exec = line.mid(5);
            break;
        }
    }
    QStringList words = QProcess::splitCommand(exec);
    if (words.isEmpty()) return false;
    QStringList args;
    bool placed = false;
    for (int i = 1; i < words.size(); ++i) {
        QString w = words[i];
        if (w == "%f" || w == "%F" || w == "%u" || w == "%U") {
            args << (w.endsWith('u', Qt::CaseInsensitive) ? QUrl::fromLocalFile(file).toString() : file);
            placed = true;
            continue;
        }
        w.remove(QRegularExpression("%[a-zA-Z]"));
        if (!w.isEmpty()) args << w;
    }
    if (!placed) args << file;
    return QProcess::startDetached(words[0], args, QFileInfo(file).absolutePath());
}

bool desktopOpenFile(const std::string& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(qs(file)));
}

bool desktopOpenAs(const std::string& file, const std::string& mimeType) {
    const QString id = defaultAppFor(qs(mimeType));
    if (!id.isEmpty() && startDesktopEntry(id, qs(file))) return true;
    return false;
}

bool desktopStartProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir) {
    QStringList a;
    for (const std::string& s : args) a << qs(s);
    return QProcess::startDetached(qs(program), a, qs(workDir));
}

bool desktopHasDefaultApp(const std::string& fileName) {
    QMimeDatabase db;
    const QMimeType t = db.mimeTypeForFile(qs(fileName), QMimeDatabase::MatchExtension);
    if (!t.isValid() || t.isDefault()) return false;
    return !defaultAppFor(t.name()).isEmpty();
}

} // namespace

TLaunchHooks& launchHooks() {
    static TLaunchHooks hooks;
    return hooks;
}

bool LaunchOpenFile(const std::string& file) {
    auto h = launchHooks().openFile;
    return h ? h(file) : desktopOpenFile(file);
}

bool LaunchOpenAs(const std::string& file, const std::string& mimeType) {
    auto h = launchHooks().openAs;
    return h ? h(file, mimeType) : desktopOpenAs(file, mimeType);
}

bool LaunchProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir) {
    auto h = launchHooks().startProgram;
    return h ? h(program, args, workDir) : desktopStartProgram(program, args, workDir);
}

bool LaunchHasDefaultApp(const std::string& fileName) {
    auto h = launchHooks().hasDefaultApp;
    return h ? h(fileName) : desktopHasDefaultApp(fileName);
}
