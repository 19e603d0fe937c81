#ifndef VESTRION_LIST_VSENTRYVIEW_H
#define VESTRION_LIST_VSENTRYVIEW_H

class QAbstractItemModel;
class QListView;
class QWidget;

// What the windows over the main list share: a stacked window of their own,
// black, and rows painted as the main list paints them.
namespace vsEntryView {

// A top-level window of the stack over its parent, filled black.
void makeStackedWindow(QWidget *window);

// The model's rows with the row painter, uniform, black, scrolled by finger;
// the keyboard stays with the window's own field.
void setUpList(QListView *view, QAbstractItemModel *model);

// The number of rows in words as the list's accessible description, so a
// screen reader hears that the results changed and how many there are.
void announceCount(QListView *view);

} // namespace vsEntryView

#endif
