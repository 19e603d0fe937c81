#include "list/vsentryview.h"

#include "list/vsdatadelegate.h"
#include "list/vsentryrows.h"
#include "platform/vslook.h"
#include "platform/vsscrolling.h"
#include "platform/vswindowstack.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

vsEntryView::vsEntryView(QAbstractItemModel *catalogue, QWidget *parent)
    : QWidget(parent), frame(new QHBoxLayout(this)), layout(new QVBoxLayout),
      results(new vsEntryRows(catalogue, this)), resultView(new QListView(this)), emptyLabel(new QLabel(this))
{
    // Black behind the rows and under the last of them, light text.
    QPalette black = vsPlatform::blackPalette();
    black.setBrush(QPalette::All, QPalette::Base, QBrush(QColor(0, 0, 0)));
    black.setBrush(QPalette::All, QPalette::WindowText, QBrush(QColor(255, 255, 255)));

    setWindowTitle(QStringLiteral("Vestrion"));
    setAutoFillBackground(true);
    setPalette(black);
    // The flag follows the attribute, as it does for the detail view.
    vsPlatform::setWindowAttribute(this, vsPlatform::StackedWindow, true);
    setWindowFlags(windowFlags() | Qt::Window);

    setUpList(resultView, results, new vsDataDelegate(resultView), black);
    // Tab leads from the field to the rows, Shift+Tab back; the field's
    // keys work there as well.
    resultView->setFocusPolicy(Qt::TabFocus);
    resultView->installEventFilter(this);
    emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    emptyLabel->setFont(QFont(QString::fromLatin1(vsPlatform::systemFontFamily), 16));
    emptyLabel->setAlignment(Qt::AlignCenter);
    emptyLabel->setMargin(20);
    emptyLabel->hide();
    frame->setContentsMargins(5, 5, 5, 5);
    frame->setSpacing(5);
    frame->addLayout(layout, 1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(emptyLabel, 0);
    layout->addWidget(resultView, 1);

    connect(resultView, &QListView::clicked, this, &vsEntryView::onResultActivated);
}

void vsEntryView::setUpList(QListView *view, QAbstractItemModel *model, QAbstractItemDelegate *painter,
                            const QPalette &palette)
{
    view->setModel(model);
    view->setItemDelegate(painter);
    view->setResizeMode(QListView::Adjust);
    view->setUniformItemSizes(true);
    view->setFocusPolicy(Qt::NoFocus);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setPalette(palette);
    vsPlatform::enableKineticScrolling(view);
}

void vsEntryView::onResultActivated(const QModelIndex &pIndex)
{
    const QModelIndex entry = results->sourceIndex(pIndex.row());
    if (entry.isValid())
        emit entryChosen(entry);
}

void vsEntryView::showRows(const QVector<int> &rows, bool selectFirst, const QString &summary)
{
    results->setRows(rows);
    describeRows(summary);
    if (selectFirst && results->rowCount() > 0) {
        const QModelIndex first = results->index(0);
        vsPlatform::stopKineticScrolling(resultView);
        resultView->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect);
        resultView->scrollTo(first, QAbstractItemView::PositionAtTop);
    }
}

void vsEntryView::describeRows(const QString &summary)
{
    // The number in words as the list's description, so a screen reader hears
    // that the results changed and how many there are. The toolkit announces a
    // new description; the same number over new rows is announced here.
    QString found = tr("Found: %1").arg(results->rowCount());
    if (!summary.isEmpty())
        found += QLatin1String(". ") + summary;
    if (resultView->accessibleDescription() != found) {
        resultView->setAccessibleDescription(found);
    } else {
        QAccessibleEvent changed(resultView, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void vsEntryView::setEmptyText(const QString &text)
{
    emptyLabel->setText(text);
    emptyLabel->setVisible(!text.isEmpty());
}

int vsEntryView::selectedRow() const
{
    const QModelIndexList selected = resultView->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void vsEntryView::chooseSelected()
{
    const int row = selectedRow();
    if (row >= 0)
        onResultActivated(results->index(row));
}

void vsEntryView::moveSelection(int step)
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

bool vsEntryView::handleRowKey(int key)
{
    switch (key) {
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
        return false;
    }
}

void vsEntryView::leave()
{
    close();
}

bool vsEntryView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == resultView) {
        if (event->type() == QEvent::FocusIn) {
            // No rows: no stop for Tab here, where the focus would not show.
            if (results->rowCount() == 0) {
                focusNextPrevChild(static_cast<QFocusEvent *>(event)->reason() != Qt::BacktabFocusReason);
                return false;
            }
            // Arriving by Tab, the keyboard has a row to work on, in view.
            if (selectedRow() < 0)
                moveSelection(1);
            else
                resultView->scrollTo(results->index(selectedRow()), QAbstractItemView::EnsureVisible);
        } else if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
                if (handleRowKey(key->key()))
                    return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void vsEntryView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        leave();
        return;
    }
    QWidget::keyPressEvent(event);
}
