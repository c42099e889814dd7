#pragma once

#include <QAbstractTableModel>

class TMemTable;

// Read-only view of an in-memory table for a grid: one grid column per
// table column, titled with the column's name. The vertical header is the
// row indicator: it marks the current row.
class TNoeudsTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TNoeudsTableModel(TMemTable *aTable, QObject *aParent = nullptr);

    int rowCount(const QModelIndex &aParent = {}) const override;
    int columnCount(const QModelIndex &aParent = {}) const override;
    QVariant data(const QModelIndex &aIndex, int aRole = Qt::DisplayRole) const override;
    QVariant headerData(int aSection, Qt::Orientation aOrientation, int aRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &aIndex) const override;

    // The table's rows changed (closed, reopened, appended): show them again.
    void Refresh();
    void SetCurrentRow(int aRow);

private:
    TMemTable *FTable;
    int FCurrentRow = -1;
};
