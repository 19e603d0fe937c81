#ifndef VESTRION_LIST_VSENTRYROWS_H
#define VESTRION_LIST_VSENTRYROWS_H

#include <QAbstractListModel>
#include <QVector>

// Some rows of the catalogue model, in the order given, with every role of
// the row they stand for; the row painter draws them as it draws the list.
// A change of the catalogue's rows (the user's restrictions) is passed on.
class vsEntryRows : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit vsEntryRows(QAbstractItemModel *source, QObject *parent = nullptr);

    void setRows(const QVector<int> &rows);
    QModelIndex sourceIndex(int row) const;
    // The catalogue's own index of a row of this or of the catalogue model.
    static QModelIndex catalogueIndex(const QModelIndex &index);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QAbstractItemModel *source = nullptr;
    QVector<int> rows;
};

#endif
