#include "search/vsnameresults.h"

vsNameResults::vsNameResults(QAbstractItemModel *source, QObject *parent)
    : QAbstractListModel(parent), source(source)
{}

void vsNameResults::setRows(const QVector<int> &newRows)
{
    beginResetModel();
    rows = newRows;
    endResetModel();
}

QModelIndex vsNameResults::sourceIndex(int row) const
{
    if (!source || row < 0 || row >= rows.size())
        return QModelIndex();
    return source->index(rows.at(row), 0);
}

int vsNameResults::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

QVariant vsNameResults::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    return sourceIndex(index.row()).data(role);
}
