#include "controls/FileListModel.h"

static const char* const kColumnCaptions[8] = {"Name", "Size", "Packed", "Ratio",
                                               "Date", "Path", "CRC",    "Attributs"};

TFileListModel::TFileListModel(std::unique_ptr<TFileRowSource> rows, QObject* parent)
    : QAbstractTableModel(parent), FRows(std::move(rows)) {}

TFileListModel::~TFileListModel() = default;

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows->RowCount();
}

int TFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 8;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FRows->RowCount()) return {};
    const int row = index.row();
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(FRows->CellText(row, col));
    case Qt::ToolTipRole:
        return col == 0 ? QVariant(QString::fromStdString(FRows->StoredName(row))) : QVariant();
    case Qt::DecorationRole:
        if (col == 0) {
            const int image = FRows->ImageIndex(row);
            if (image >= 0 && image < int(FIcons.size())) return FIcons[size_t(image)];
        }
        return {};
    case Qt::TextAlignmentRole:
        if (col >= 1 && col <= 3) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::UserRole:
        return QString::fromStdString(FRows->StoredName(row));
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
    if (FRows->RowCount() > 0)
        emit dataChanged(index(0, 0), index(FRows->RowCount() - 1, 0), {Qt::DecorationRole});
}

void TFileListModel::reset() {
    beginResetModel();
    endResetModel();
}

void TFileListModel::rowsReordered() {
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}
