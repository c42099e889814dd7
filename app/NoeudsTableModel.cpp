#include "app/NoeudsTableModel.h"

#include "common/DateTime.h"
#include "common/MemTable.h"

TNoeudsTableModel::TNoeudsTableModel(TMemTable *aTable, QObject *aParent) : QAbstractTableModel(aParent), FTable(aTable)
{
}

int TNoeudsTableModel::rowCount(const QModelIndex &aParent) const
{
    return aParent.isValid() ? 0 : FTable->RecordCount();
}

int TNoeudsTableModel::columnCount(const QModelIndex &aParent) const
{
    return aParent.isValid() ? 0 : FTable->ColumnCount();
}

QVariant TNoeudsTableModel::data(const QModelIndex &aIndex, int aRole) const
{
    if (!aIndex.isValid() || (aRole != Qt::DisplayRole && aRole != Qt::ToolTipRole))
        return {};
    // Text as the table keeps it: text columns cut to their size, date-times
    // in French form. Day 0 is a node without heartbeat: an empty cell.
    const QVariant v = FTable->Value(aIndex.row(), aIndex.column());
    if (v.userType() == qMetaTypeId<TDateTime>() && v.value<TDateTime>().IsZero())
        return QString();
    return FTable->Text(aIndex.row(), aIndex.column());
}

QVariant TNoeudsTableModel::headerData(int aSection, Qt::Orientation aOrientation, int aRole) const
{
    if (aRole != Qt::DisplayRole)
        return {};
    if (aOrientation == Qt::Horizontal)
        return aSection >= 0 && aSection < FTable->ColumnCount() ? FTable->Columns()[aSection].Name : QString();
    return aSection == FCurrentRow ? QStringLiteral("\u25B6") : QString();
}

Qt::ItemFlags TNoeudsTableModel::flags(const QModelIndex &aIndex) const
{
    // Selectable but never editable.
    return aIndex.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TNoeudsTableModel::Refresh()
{
    beginResetModel();
    FCurrentRow = FTable->RecordCount() > 0 ? 0 : -1;
    endResetModel();
}

void TNoeudsTableModel::SetCurrentRow(int aRow)
{
    if (aRow == FCurrentRow)
        return;
    const int previous = FCurrentRow;
    FCurrentRow = aRow;
    if (previous >= 0)
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (aRow >= 0)
        emit headerDataChanged(Qt::Vertical, aRow, aRow);
}
