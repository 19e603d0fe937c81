#ifndef VESTRION_LIST_VSDATADELEGATE_H
#define VESTRION_LIST_VSDATADELEGATE_H

#include <QLinearGradient>
#include <QStyledItemDelegate>

// Paints every list row itself: a code box coloured by safety level with the
// first name and a function beside it, or a grey bar for a group title. An
// entry that conflicts with the user's restrictions also carries a sign in
// the box's corner and a word at the end of the function line.
class vsDataDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit vsDataDelegate(QObject *parent = nullptr);
    ~vsDataDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void paintEntry(QPainter *painter, const QRect &rect, bool selected, int codeWidth,
                    const QModelIndex &index, QFont codeFont) const;
    void paintHeader(QPainter *painter, const QRect &rect, const QModelIndex &index) const;

    // Built once; painting a row only copies one.
    QLinearGradient greenGradient;
    QLinearGradient yellowGradient;
    QLinearGradient redGradient;
    QLinearGradient cyanGradient;
    QLinearGradient greyGradient;
};

#endif
