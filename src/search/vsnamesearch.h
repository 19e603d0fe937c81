#ifndef VESTRION_SEARCH_VSNAMESEARCH_H
#define VESTRION_SEARCH_VSNAMESEARCH_H

#include "search/vsnameindex.h"

#include <QModelIndex>
#include <QWidget>

class QAbstractItemModel;
class QLineEdit;
class QListView;
class vsNameResults;

// The name search: a field for the words on a label and, under it, the
// entries they name, updated on every character typed. A stacked window
// over the main window, like the detail view.
class vsNameSearch : public QWidget
{
    Q_OBJECT

public:
    // The catalogue must outlive the search; it is read on the first search.
    explicit vsNameSearch(QAbstractItemModel *catalogue, QWidget *parent = nullptr);
    ~vsNameSearch() override;

signals:
    // An entry to open, as an index of the catalogue model.
    void entryChosen(QModelIndex pIndex);

public slots:
    // Shows the search with the keyboard in its field; the last query stays,
    // selected, so that typing replaces it.
    void onOpen();
    void onQueryChanged(const QString &pQuery);
    void onResultActivated(const QModelIndex &pIndex);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void chooseSelected();
    void moveSelection(int step);
    int selectedRow() const;

    vsNameIndex index;
    vsNameResults *results = nullptr;
    QLineEdit *queryEdit = nullptr;
    QListView *resultView = nullptr;
};

#endif
