// The file list's rows as a Qt model over the core's `Rows`: eight columns, texts exactly
// as the core formatted them, right-aligned sizes and the extension's icon.
#pragma once
#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

class TMainCore;

class TFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TFileListModel(TMainCore& core, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setIcons(std::vector<QIcon> icons);
    void reset();         // rows were replaced
    void rowsReordered(); // rows were sorted

private:
    TMainCore& FCore;
    std::vector<QIcon> FIcons;
};
