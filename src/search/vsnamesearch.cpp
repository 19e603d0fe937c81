#include "search/vsnamesearch.h"

#include "platform/vslook.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QVBoxLayout>

vsNameSearch::vsNameSearch(QAbstractItemModel *catalogue, QWidget *parent)
    : vsEntryView(catalogue, parent), index(catalogue), queryEdit(new QLineEdit(this))
{
    setObjectName(QStringLiteral("nameSearch"));
    resultView->setObjectName(QStringLiteral("resultView"));

    queryEdit->setObjectName(QStringLiteral("queryEdit"));
    queryEdit->setPlaceholderText(tr("Name or code, as on the label"));
    queryEdit->setAccessibleName(tr("Find by name"));
    queryEdit->setFont(QFont(QString::fromLatin1(vsPlatform::systemFontFamily), 18));
    queryEdit->setMaxLength(vsNameIndex::maxQueryLength);
    // The toolkit's field, not the black window's: typed text stays readable.
    queryEdit->setPalette(vsPlatform::toolkitPalette(queryEdit));
    queryEdit->installEventFilter(this);
    layout->insertWidget(0, queryEdit, 0);
    setTabOrder(queryEdit, resultView);

    connect(queryEdit, &QLineEdit::textChanged, this, &vsNameSearch::onQueryChanged);
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
    const QVector<int> rows = index.match(pQuery);
    showRows(rows, true);
    // Before any query the window stays empty; after one, it says so.
    setEmptyText(rows.isEmpty() && !pQuery.trimmed().isEmpty() ? tr("Nothing found") : QString());
}

bool vsNameSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == queryEdit && event->type() == QEvent::KeyPress &&
        handleRowKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return vsEntryView::eventFilter(watched, event);
}
