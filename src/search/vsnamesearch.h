#ifndef VESTRION_SEARCH_VSNAMESEARCH_H
#define VESTRION_SEARCH_VSNAMESEARCH_H

#include "list/vsentryview.h"
#include "search/vsnameindex.h"

class QLineEdit;

// The name search: a field for the words on a label and, under it, the
// entries they name, updated on every character typed. A stacked window
// over the main window, like the detail view.
class vsNameSearch : public vsEntryView
{
    Q_OBJECT

public:
    // The catalogue must outlive the search; it is read on the first search.
    explicit vsNameSearch(QAbstractItemModel *catalogue, QWidget *parent = nullptr);
    ~vsNameSearch() override;

public slots:
    // Shows the search with the keyboard in its field; the last query stays,
    // selected, so that typing replaces it.
    void onOpen();
    void onQueryChanged(const QString &pQuery);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    vsNameIndex index;
    QLineEdit *queryEdit = nullptr;
};

#endif
