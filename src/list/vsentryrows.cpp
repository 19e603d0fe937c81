#include "list/vsentryrows.h"

vsEntryRows::vsEntryRows(QAbstractItemModel *source, QObject *parent)
    : QAbstractListModel(parent), source(source)
{}

void vsEntryRows::setRows(const QVector<int> &newRows)
{
    beginResetModel();
    rows = newRows;
    endResetModel();
}

QModelIndex vsEntryRows::sourceIndex(int row) const
{
    if (!source || row < 0 || row >= rows.size())
        return QModelIndex();
    return source->index(rows.at(row), 0);
}

int vsEntryRows::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

QVariant vsEntryRows::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    return sourceIndex(index.row()).data(role);
}
