#include "list/vsentryview.h"

#include "list/vsdatadelegate.h"
#include "platform/vsplatform.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QListView>
#include <QPalette>

namespace {
// Black behind the rows and under the last of them, light text.
QPalette blackPalette()
{
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(0, 0, 0)));
    palette.setBrush(QPalette::All, QPalette::Base, QBrush(QColor(0, 0, 0)));
    palette.setBrush(QPalette::All, QPalette::WindowText, QBrush(QColor(255, 255, 255)));
    return palette;
}
} // namespace

namespace vsEntryView {

void makeStackedWindow(QWidget *window)
{
    window->setWindowTitle(QStringLiteral("Vestrion"));
    window->setAutoFillBackground(true);
    window->setPalette(blackPalette());
    // The flag follows the attribute, as it does for the detail view.
    vsPlatform::setWindowAttribute(window, vsPlatform::StackedWindow, true);
    window->setWindowFlags(window->windowFlags() | Qt::Window);
}

void setUpList(QListView *view, QAbstractItemModel *model)
{
    view->setModel(model);
    view->setItemDelegate(new vsDataDelegate(view));
    view->setUniformItemSizes(true);
    view->setResizeMode(QListView::Adjust);
    view->setFocusPolicy(Qt::NoFocus);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setPalette(blackPalette());
    vsPlatform::enableKineticScrolling(view);
}

void announceCount(QListView *view)
{
    const int count = view->model() ? view->model()->rowCount() : 0;
    view->setAccessibleDescription(QCoreApplication::translate("vsEntryView", "Found: %1").arg(count));
    // Said even when the number stays: the rows may not.
    QAccessibleEvent changed(view, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

} // namespace vsEntryView
