#include "list/vsentryrows.h"

vsEntryRows::vsEntryRows(QAbstractItemModel *source, QObject *parent)
    : QAbstractListModel(parent), source(source)
{
    if (source)
        connect(source, &QAbstractItemModel::dataChanged, this, [this] {
            if (!rows.isEmpty())
                emit dataChanged(index(0), index(int(rows.size()) - 1));
        });
}

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

QModelIndex vsEntryRows::catalogueIndex(const QModelIndex &index)
{
    const auto *rows = qobject_cast<const vsEntryRows *>(index.model());
    return rows ? rows->sourceIndex(index.row()) : index;
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
