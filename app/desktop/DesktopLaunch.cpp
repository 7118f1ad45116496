// The desktop behind the launch hooks: QDesktopServices, the freedesktop defaults and the
// MIME database.
#include "app/desktop/DesktopLaunch.h"

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

#include "controls/ShellExplorer.h"
#include "platform/qt/MimeIcons.h"

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

bool desktopOpenUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(qs(url), QUrl::StrictMode));
}

} // namespace

TLaunchHooks DesktopLaunchHooks() {
    TLaunchHooks h;
    h.openFile = desktopOpenFile;
    h.openAs = desktopOpenAs;
    h.startProgram = desktopStartProgram;
    h.hasDefaultApp = desktopHasDefaultApp;
    h.iconName = pvMimeIconName;
    h.openUrl = desktopOpenUrl;
    return h;
}

void InstallDesktopLaunchHooks() {
    TLaunchHooks desktop = DesktopLaunchHooks();
    TLaunchHooks& h = launchHooks();
    if (!h.openFile) h.openFile = desktop.openFile;
    if (!h.openAs) h.openAs = desktop.openAs;
    if (!h.startProgram) h.startProgram = desktop.startProgram;
    if (!h.hasDefaultApp) h.hasDefaultApp = desktop.hasDefaultApp;
    if (!h.iconName) h.iconName = desktop.iconName;
    if (!h.openUrl) h.openUrl = desktop.openUrl;
}

void InstallShellLaunch() {
    ShellLaunchHook() = [](const std::string& operation, const std::string& file, const std::string& params,
                           const std::string& folder) {
        // View may name the type to open the file as; a program is started with its
        // parameters; anything else opens with its application.
        if (operation == "view") return params.empty() ? LaunchOpenFile(file) : LaunchOpenAs(file, params);
        if (operation == "run" || !params.empty()) {
            const QStringList args = QProcess::splitCommand(QString::fromStdString(params));
            std::vector<std::string> list;
            for (const QString& a : args) list.push_back(a.toStdString());
            return LaunchProgram(file, list, folder);
        }
        return LaunchOpenFile(file);
    };
    ShellStartHook() = [](const std::string& program, const std::vector<std::string>& args,
                          const std::string& folder) { return LaunchProgram(program, args, folder); };
}
