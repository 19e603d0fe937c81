#include "search/vsnamesearch.h"

#include "list/vsentryview.h"
#include "platform/vsplatform.h"
#include "search/vsnameresults.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QVBoxLayout>

vsNameSearch::vsNameSearch(QAbstractItemModel *catalogue, QWidget *parent)
    : QWidget(parent), index(catalogue), results(new vsNameResults(catalogue, this)),
      queryEdit(new QLineEdit(this)), resultView(new QListView(this))
{
    setObjectName(QStringLiteral("nameSearch"));
    vsEntryView::makeStackedWindow(this);

    queryEdit->setObjectName(QStringLiteral("queryEdit"));
    queryEdit->setPlaceholderText(tr("Name or code, as on the label"));
    queryEdit->setAccessibleName(tr("Find by name"));
    queryEdit->setFont(QFont(QString::fromLatin1(vsPlatform::systemFontFamily), 18));
    queryEdit->setMaxLength(vsNameIndex::maxQueryLength);
    // The toolkit's field, not the black window's: typed text stays readable.
    queryEdit->setPalette(vsPlatform::toolkitPalette(queryEdit));
    queryEdit->installEventFilter(this);

    resultView->setObjectName(QStringLiteral("resultView"));
    vsEntryView::setUpList(resultView, results);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setSpacing(5);
    layout->addWidget(queryEdit, 0);
    layout->addWidget(resultView, 1);

    connect(queryEdit, &QLineEdit::textChanged, this, &vsNameSearch::onQueryChanged);
    connect(resultView, &QListView::clicked, this, &vsNameSearch::onResultActivated);
}

vsNameSearch::~vsNameSearch() = default;

void vsNameSearch::onOpen()
{
    show();
    raise();
    activateWindow();
    queryEdit->setFocus(Qt::OtherFocusReason);
    queryEdit->selectAll();
}

void vsNameSearch::onQueryChanged(const QString &pQuery)
{
    results->setRows(index.match(pQuery));
    vsEntryView::announceCount(resultView);
    if (results->rowCount() > 0) {
        const QModelIndex first = results->index(0);
        vsPlatform::stopKineticScrolling(resultView);
        resultView->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect);
        resultView->scrollTo(first, QAbstractItemView::PositionAtTop);
    }
}

void vsNameSearch::onResultActivated(const QModelIndex &pIndex)
{
    const QModelIndex entry = results->sourceIndex(pIndex.row());
    if (entry.isValid())
        emit entryChosen(entry);
}

int vsNameSearch::selectedRow() const
{
    const QModelIndexList selected = resultView->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void vsNameSearch::chooseSelected()
{
    const int row = selectedRow();
    if (row >= 0)
        onResultActivated(results->index(row));
}

void vsNameSearch::moveSelection(int step)
{
    const int count = results->rowCount();
    if (count == 0)
        return;
    const int row = qBound(0, selectedRow() + step, count - 1);
    const QModelIndex target = results->index(row);
    vsPlatform::stopKineticScrolling(resultView);
    resultView->selectionModel()->select(target, QItemSelectionModel::ClearAndSelect);
    resultView->scrollTo(target, QAbstractItemView::EnsureVisible);
}

bool vsNameSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == queryEdit && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            chooseSelected();
            return true;
        case Qt::Key_Down:
            moveSelection(1);
            return true;
        case Qt::Key_Up:
            moveSelection(-1);
            return true;
        case Qt::Key_PageDown:
            moveSelection(5);
            return true;
        case Qt::Key_PageUp:
            moveSelection(-5);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void vsNameSearch::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
