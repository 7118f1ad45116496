#include "platform/qt/MimeIcons.h"

#include <QMimeDatabase>
#include <QMimeType>

namespace {

QMimeType typeOf(const std::string& fileName) {
    static const QMimeDatabase db; // loads the shared MIME info once
    return db.mimeTypeForFile(QString::fromStdString(fileName), QMimeDatabase::MatchExtension);
}

} // namespace

std::string pvMimeIconName(const std::string& fileName) {
    QMimeType t = typeOf(fileName);
    if (!t.isValid() || t.isDefault()) return {};
    return t.iconName().toStdString();
}

std::string pvMimeTypeName(const std::string& fileName) {
    QMimeType t = typeOf(fileName);
    if (!t.isValid() || t.isDefault()) return {};
    return t.comment().toStdString();
}
