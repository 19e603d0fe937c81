#ifndef VESTRION_LIST_VSENTRYROWS_H
#define VESTRION_LIST_VSENTRYROWS_H

#include <QAbstractListModel>
#include <QVector>

// Some rows of the catalogue model, in the order given, with every role of
// the row they stand for; the row painter draws them as it draws the list.
class vsEntryRows : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit vsEntryRows(QAbstractItemModel *source, QObject *parent = nullptr);

    void setRows(const QVector<int> &rows);
    QModelIndex sourceIndex(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QAbstractItemModel *source = nullptr;
    QVector<int> rows;
};

#endif
