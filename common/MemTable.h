#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

// A small in-memory table owned by its caller: declared columns, rows of
// QVariant values, and the dataset moves the operations use (append, post,
// first, next). Operations fill it by column position.
class TMemTable
{
public:
    struct TColumn
    {
        QString Name;
        QMetaType::Type Type = QMetaType::QString;
        int Size = 0; // characters kept for text columns; 0: no limit
    };

    void AddColumn(const QString &aName, QMetaType::Type aType = QMetaType::QString, int aSize = 0);
    const QList<TColumn> &Columns() const { return FColumns; }
    int ColumnCount() const { return int(FColumns.size()); }
    int ColumnIndex(const QString &aName) const; // -1 when absent, case ignored

    // Close drops the rows; Open makes the table usable again, empty.
    void Close();
    void Open();
    bool Active() const { return FActive; }

    // Append starts a new row at the end; SetValue fills it; Post keeps it.
    void Append();
    void SetValue(int aColumn, const QVariant &aValue);
    void SetValue(const QString &aColumn, const QVariant &aValue);
    void Post();
    void Cancel();
    bool Appending() const { return FAppending; }

    int RecordCount() const { return int(FRows.size()); }
    void First();
    void Next();
    bool Eof() const { return FEof; }
    int RecNo() const { return FCurrent; }

    QVariant Value(int aColumn) const; // of the current row
    QVariant Value(const QString &aColumn) const;
    QVariant Value(int aRow, int aColumn) const;
    QString Text(int aRow, int aColumn) const;

private:
    int CheckedIndex(const QString &aName) const;

    QList<TColumn> FColumns;
    QList<QVariantList> FRows;
    QVariantList FPending;
    bool FActive = true;
    bool FAppending = false;
    int FCurrent = 0;
    bool FEof = true;
};
