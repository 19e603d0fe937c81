#ifndef VESTRION_LIST_VSENTRYVIEW_H
#define VESTRION_LIST_VSENTRYVIEW_H

#include <QModelIndex>
#include <QVector>
#include <QWidget>

class QAbstractItemDelegate;
class QAbstractItemModel;
class QBoxLayout;
class QLabel;
class QListView;
class QPalette;
class QVBoxLayout;
class vsEntryRows;

// A window over the main list that shows a field of its own above catalogue
// entries painted as the list paints them: a window of the stack, black; a
// tap or Return opens the chosen entry, Escape closes the window.
class vsEntryView : public QWidget
{
    Q_OBJECT

public:
    // The catalogue must outlive the window.
    explicit vsEntryView(QAbstractItemModel *catalogue, QWidget *parent = nullptr);

    // The model's rows with the row painter, uniform, on the palette, scrolled
    // by finger; the keyboard stays with the window's own widgets.
    static void setUpList(QListView *view, QAbstractItemModel *model, QAbstractItemDelegate *painter,
                          const QPalette &palette);

signals:
    // An entry to open, as an index of the catalogue model.
    void entryChosen(QModelIndex pIndex);

public slots:
    void onResultActivated(const QModelIndex &pIndex);

protected:
    // Shows these catalogue rows; selects the first when asked. A summary of
    // them, if given, follows their count in what a screen reader hears.
    void showRows(const QVector<int> &rows, bool selectFirst, const QString &summary = QString());
    // Tells a screen reader the count of the rows shown and the summary.
    void describeRows(const QString &summary);
    // A line over the rows saying why there are none; hidden when empty.
    void setEmptyText(const QString &text);
    // The keys that work the rows from the window's field: Return and Enter
    // open the selected entry, Up, Down, Page Up and Page Down choose one.
    // False for any other key.
    bool handleRowKey(int key);
    void chooseSelected();
    int selectedRow() const;
    void moveSelection(int step);
    // Escape: closes the window.
    virtual void leave();

    void keyPressEvent(QKeyEvent *event) override;
    // The rows, reached by Tab from the window's field: the keys that work
    // them there work here too, and the first row is selected on arrival.
    bool eventFilter(QObject *watched, QEvent *event) override;

    QBoxLayout *frame = nullptr;   // the window's: the column, and whatever goes beside it
    QVBoxLayout *layout = nullptr; // the column: the field goes above the rows
    vsEntryRows *results = nullptr;
    QListView *resultView = nullptr;
    QLabel *emptyLabel = nullptr;
};

#endif
