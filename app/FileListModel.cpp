#include "app/FileListModel.h"

#include "app/MainCore.h"

static const char* const kColumnCaptions[8] = {"Name", "Size", "Packed", "Ratio",
                                               "Date", "Path", "CRC",    "Attributs"};

TFileListModel::TFileListModel(TMainCore& core, QObject* parent) : QAbstractTableModel(parent), FCore(core) {}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FCore.Rows.size());
}

int TFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 8;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(FCore.Rows.size())) return {};
    const TListRow& r = FCore.Rows[size_t(index.row())];
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(col == 0 ? r.Caption : r.SubItems[size_t(col - 1)]);
    case Qt::ToolTipRole:
        return col == 0 ? QVariant(QString::fromStdString(r.StoredName)) : QVariant();
    case Qt::DecorationRole:
        if (col == 0 && r.ImageIndex >= 0 && r.ImageIndex < int(FIcons.size()))
            return FIcons[size_t(r.ImageIndex)];
        return {};
    case Qt::TextAlignmentRole:
        if (col >= 1 && col <= 3) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::UserRole:
        return QString::fromStdString(r.StoredName);
    default:
        return {};
    }
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= 8) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnCaptions[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant((section >= 1 && section <= 3 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

void TFileListModel::setIcons(std::vector<QIcon> icons) {
    FIcons = std::move(icons);
    if (!FCore.Rows.empty())
        emit dataChanged(index(0, 0), index(int(FCore.Rows.size()) - 1, 0), {Qt::DecorationRole});
}

void TFileListModel::reset() {
    beginResetModel();
    endResetModel();
}

void TFileListModel::rowsReordered() {
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}
