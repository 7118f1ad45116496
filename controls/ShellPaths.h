// Small path and text helpers the explorer widgets share: paths are bytes, shown
// through the file-name codec.
#pragma once
#include <QFile>
#include <QString>
#include <string>

namespace shellpaths {

inline QString qpath(const std::string& p) {
    return QFile::decodeName(QByteArray::fromStdString(p));
}

inline std::string spath(const QString& p) {
    return QFile::encodeName(p).toStdString();
}

inline std::string trimSlash(const std::string& path) {
    return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

// The last component of a path (a trailing '/' ignored).
inline std::string nameOf(const std::string& path) {
    const std::string p = trimSlash(path);
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The folder of a path, with its trailing '/'; "" for a bare name.
inline std::string folderOf(const std::string& path) {
    const std::string p = trimSlash(path);
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

} // namespace shellpaths
