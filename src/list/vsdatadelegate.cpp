#include "list/vsdatadelegate.h"

#include "catalogue/vsdatamodel.h"
#include "list/vsentryrows.h"
#include "platform/vslook.h"
#include "restrictions/vsrestrictions.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int rowHeight = 70;

QLinearGradient makeGradient(const QColor &middle, const QColor &end)
{
    // Top to bottom over whatever shape it fills.
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor(255, 255, 255));
    gradient.setColorAt(0.368421, middle);
    gradient.setColorAt(1, end);
    return gradient;
}

QPen makePen(const QColor &colour, qreal width = 1.0)
{
    return QPen(QBrush(colour), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

constexpr Qt::Alignment textAlignment = Qt::AlignLeft | Qt::AlignVCenter;

// Sister codes such as E160a(ii) and E160a(iii) are wider than the box, which
// is sized for "E9999"; cut off, they would read alike. Such a code gets a
// smaller font, down to one still easily read; every code the box takes is
// drawn exactly as before.
constexpr int smallestCodePointSize = 10;
// From the code's left edge to 4 px short of the box's right edge.
constexpr int codeRoomMargin = 16;

QFont fittedCodeFont(QFont font, const QString &code, int room)
{
    while (font.pointSize() > smallestCodePointSize && QFontMetrics(font).horizontalAdvance(code) > room)
        font.setPointSize(font.pointSize() - 1);
    return font;
}

// The safety level a row is painted with: the first piece of the safety text as a
// decimal number, 0 when it is none, clamped into the four colours.
int rowSafetyLevel(const QString &safety)
{
    const QStringList pieces = safety.split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (pieces.isEmpty())
        return 0;
    return qBound(0, pieces.first().toInt(nullptr, 10), 3);
}
// How the row's entry stands against the user's restrictions, through the
// catalogue model whatever model shows the row.
vsConflict conflictOf(const QModelIndex &index)
{
    const QModelIndex entry = vsEntryRows::catalogueIndex(index);
    const auto *catalogue = qobject_cast<const vsDataModel *>(entry.model());
    return catalogue ? catalogue->conflict(entry.row()) : vsConflict();
}

// A white disc in the box's top right corner, black on every box colour: a
// struck-through circle for a conflict, a question mark for a doubt.
void paintConflictSign(QPainter *painter, const QRectF &box, vsConflict::Level level, const QFont &font)
{
    constexpr qreal radius = 9;
    const QPointF centre(box.right() - radius - 3, box.top() + radius + 3);
    painter->setPen(makePen(QColor(0, 0, 0), 1.5));
    painter->setBrush(QColor(255, 255, 255));
    painter->drawEllipse(centre, radius, radius);
    painter->setBrush(Qt::NoBrush);
    if (level == vsConflict::Conflict) {
        constexpr qreal ring = radius - 3;
        painter->drawEllipse(centre, ring, ring);
        const qreal end = ring * 0.7071;
        painter->drawLine(centre + QPointF(-end, end), centre + QPointF(end, -end));
        return;
    }
    QFont sign = font;
    sign.setPixelSize(int(radius * 1.6));
    sign.setWeight(QFont::Bold);
    painter->setFont(sign);
    painter->drawText(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                      Qt::AlignCenter, QStringLiteral("?"));
}
} // namespace

vsDataDelegate::vsDataDelegate(QObject *parent)
    : QStyledItemDelegate(parent), greenGradient(makeGradient(QColor(6, 255, 6), QColor(93, 255, 93))),
      yellowGradient(makeGradient(QColor(255, 255, 6), QColor(255, 255, 93))),
      redGradient(makeGradient(QColor(255, 6, 6), QColor(255, 93, 93))),
      cyanGradient(makeGradient(QColor(100, 255, 255), QColor(180, 255, 255))),
      greyGradient(makeGradient(QColor(200, 200, 200), QColor(240, 240, 240)))
{}

vsDataDelegate::~vsDataDelegate() = default;

QSize vsDataDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(-1, rowHeight);
}

void vsDataDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    QFont codeFont = painter->font();
    codeFont.setFamily(QString::fromLatin1(vsPlatform::systemFontFamily));
    codeFont.setPointSize(20);
    codeFont.setWeight(QFont::Bold);
    const int codeWidth = QFontMetrics(codeFont).horizontalAdvance(QStringLiteral("E9999")) + 30;

    const QRect &rect = option.rect;
    if (index.data(vsDataModel::TypeRole).toString() == QLatin1String("header"))
        paintHeader(painter, rect, index);
    else
        paintEntry(painter, rect, option.state & QStyle::State_Selected, codeWidth, index, codeFont);

    painter->setPen(makePen(QColor(150, 150, 150), 0.5));
    painter->drawLine(QPointF(rect.left() + codeWidth + 10, rect.bottom()),
                      QPointF(rect.right(), rect.bottom()));
    painter->restore();
}

void vsDataDelegate::paintEntry(QPainter *painter, const QRect &rect, bool selected, int codeWidth,
                                const QModelIndex &index, QFont codeFont) const
{
    const int left = rect.left();
    const int top = rect.top();
    const int width = rect.width();
    const int height = rect.height();

    const QLinearGradient *fill = &greenGradient;
    QColor outline(6, 240, 6);
    switch (rowSafetyLevel(index.data(vsDataModel::SafetyRole).toString())) {
    case 1:
        fill = &yellowGradient;
        outline = QColor(240, 240, 6);
        break;
    case 2:
        fill = &redGradient;
        outline = QColor(240, 6, 6);
        break;
    case 3:
        fill = &cyanGradient;
        outline = QColor(6, 6, 240);
        break;
    default:
        break;
    }

    painter->fillRect(rect, QColor(0, 0, 0));
    if (selected)
        painter->fillRect(QRect(left + codeWidth + 10, top, width - codeWidth - 10, height),
                          QColor(50, 50, 50));

    const QRectF box(left + 2, top + 2, codeWidth - 4, height - 4);
    QPainterPath boxPath;
    boxPath.addRoundedRect(box, 10, 10, Qt::AbsoluteSize);
    painter->fillPath(boxPath, QBrush(*fill));
    painter->setPen(makePen(outline));
    painter->drawRoundedRect(box, 10, 10, Qt::AbsoluteSize);

    const QString code = index.data(vsDataModel::CodeRole).toString();
    painter->setFont(fittedCodeFont(codeFont, code, codeWidth - codeRoomMargin));
    painter->setPen(makePen(QColor(0, 0, 0)));
    painter->drawText(QRect(left + 10, top, codeWidth, height), textAlignment, code);

    const QStringList names = index.data(vsDataModel::NamesRole)
                                  .toString()
                                  .split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    painter->setPen(makePen(QColor(255, 255, 255)));
    codeFont.setWeight(QFont::Normal);
    codeFont.setPointSize(16);
    painter->setFont(codeFont);
    painter->drawText(QRect(left + codeWidth + 15, top, width - codeWidth - 50, height / 2), textAlignment,
                      names.isEmpty() ? QString() : names.first());

    const QStringList functions = index.data(vsDataModel::FunctionsRole)
                                      .toString()
                                      .split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    codeFont.setPointSize(12);
    QRect functionRect(left + codeWidth + 15, top + height / 2, width - codeWidth - 50, height / 2);
    QString function = functions.size() >= 2 ? functions.at(1) : QString();
    const vsConflict conflict = conflictOf(index);
    if (conflict.level != vsConflict::None) {
        paintConflictSign(painter, box, conflict.level, codeFont);
        // The word at the end of the line; the function gives way to it.
        QFont wordFont = codeFont;
        wordFont.setWeight(QFont::Bold);
        const QFontMetrics wordMetrics(wordFont);
        const QString word = wordMetrics.elidedText(conflict.words.join(QLatin1String(", ")), Qt::ElideRight,
                                                    functionRect.width() * 2 / 3);
        painter->setFont(wordFont);
        painter->setPen(
            makePen(conflict.level == vsConflict::Conflict ? QColor(255, 150, 110) : QColor(235, 215, 140)));
        painter->drawText(functionRect, Qt::AlignRight | Qt::AlignVCenter, word);
        functionRect.setRight(functionRect.right() - wordMetrics.horizontalAdvance(word) - 15);
        function = QFontMetrics(codeFont).elidedText(function, Qt::ElideRight, qMax(0, functionRect.width()));
    }
    painter->setPen(makePen(QColor(180, 180, 255)));
    painter->setFont(codeFont);
    painter->drawText(functionRect, textAlignment, function);
}

void vsDataDelegate::paintHeader(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    painter->fillRect(rect, QColor(0, 0, 0));

    QPainterPath bar;
    bar.addRoundedRect(QRectF(rect.left(), rect.top() + 30, rect.width(), 30), 10, 10, Qt::AbsoluteSize);
    painter->fillPath(bar, QBrush(greyGradient));

    QFont font = painter->font();
    font.setFamily(QString::fromLatin1(vsPlatform::systemFontFamily));
    font.setPointSize(11);
    font.setWeight(QFont::Bold);
    painter->setFont(font);
    painter->setPen(makePen(QColor(0, 0, 20)));
    painter->drawText(QRect(rect.left() + 10, rect.top() + 30, rect.width() - 20, 30), textAlignment,
                      index.data(vsDataModel::CodeRole).toString().toUpper());
}
