// The file list's rows as a Qt model: eight columns with the texts the row source gives,
// right-aligned sizes, the stored name as tool tip and user data, and one icon per image
// index. The model knows nothing of where the rows come from.
#pragma once
#include <QAbstractTableModel>
#include <QIcon>
#include <memory>
#include <string>
#include <vector>

// The rows the list shows. Column 0 is the name, 1..7 Size, Packed, Ratio, Date, Path,
// CRC, Attributes.
class TFileRowSource {
public:
    virtual ~TFileRowSource() = default;
    virtual int RowCount() const = 0;
    virtual std::string CellText(int row, int column) const = 0;
    // The entry's name as the archive stores it.
    virtual std::string StoredName(int row) const = 0;
    // The image of the row's name, -1 for none.
    virtual int ImageIndex(int row) const = 0;
};

class TFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TFileListModel(std::unique_ptr<TFileRowSource> rows, QObject* parent = nullptr);
    ~TFileListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setIcons(std::vector<QIcon> icons);
    void reset();         // rows were replaced
    void rowsReordered(); // rows were sorted

private:
    std::unique_ptr<TFileRowSource> FRows;
    std::vector<QIcon> FIcons;
};
