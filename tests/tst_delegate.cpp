// The row painter: rows of a real model painted into images, read pixel by pixel.
//
// Exact colours are expected wherever the painter fills whole pixels (the black
// row, the selection band, the untouched margins). Gradients, the antialiased
// outline of the code box and the 0.5-wide separator are compared with a small
// tolerance: their pixel values depend on where a pixel centre falls in the
// gradient and on antialiasing coverage, so only the colour they approach is
// meaningful.

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "list/vsdatadelegate.h"
#include "restrictions/vsrestrictions.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QtTest>

namespace {
constexpr int rowHeight = 70;
constexpr int rowWidth = 480;
const QRgb untouched = qRgb(255, 0, 255); // what the image holds before a row is painted

vsEntry entry(const QString &safety, const QString &code = QStringLiteral("E100"),
              const QString &names = QStringLiteral("Name"), const QString &functions = QString())
{
    vsEntry e{{QStringLiteral("type"), QStringLiteral("additive")},
              {QStringLiteral("code"), code},
              {QStringLiteral("names"), names},
              {QStringLiteral("safety"), safety}};
    if (!functions.isNull())
        e.insert(QStringLiteral("functions"), functions);
    return e;
}

vsEntry header(const QString &code)
{
    return vsEntry{{QStringLiteral("type"), QStringLiteral("header")}, {QStringLiteral("code"), code}};
}

// Paints row 0 of a one-entry model into a fresh image at rect.
QImage paintRow(const vsEntry &e, bool selected = false, QRect rect = QRect(0, 0, rowWidth, rowHeight),
                QSize imageSize = QSize(rowWidth, rowHeight), const QFont *painterFont = nullptr)
{
    vsDataModel model;
    model.appendEntries({e});
    vsDataDelegate delegate;
    QImage image(imageSize, QImage::Format_ARGB32);
    image.fill(untouched);
    QPainter painter(&image);
    if (painterFont)
        painter.setFont(*painterFont);
    QStyleOptionViewItem option;
    option.rect = rect;
    option.state = QStyle::State_Enabled;
    if (selected)
        option.state |= QStyle::State_Selected;
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

// A font as a painter on an image holds it: sized for the image's resolution,
// which need not be the screen's.
QFont imageFont(const QFont &font = QFont())
{
    static const QImage device(1, 1, QImage::Format_ARGB32);
    return QFont(font, &device);
}

// The width of the code column: "E9999" in a bold 20 pt copy of the painter's
// font, plus 30.
int codeColumnWidth(QFont font = imageFont())
{
    font.setFamily(QStringLiteral("Nokia Sans"));
    font.setPointSize(20);
    font.setWeight(QFont::Bold);
    return QFontMetrics(font).horizontalAdvance(QStringLiteral("E9999")) + 30;
}

bool near(QRgb actual, QRgb expected, int tolerance)
{
    return qAbs(qRed(actual) - qRed(expected)) <= tolerance &&
           qAbs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           qAbs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

QByteArray describe(QRgb c)
{
    return QByteArray("(") + QByteArray::number(qRed(c)) + ", " + QByteArray::number(qGreen(c)) + ", " +
           QByteArray::number(qBlue(c)) + ", a " + QByteArray::number(qAlpha(c)) + ")";
}

#define COMPARE_PIXEL(image, x, y, expected, tolerance)                                                      \
    do {                                                                                                     \
        const QRgb actual_ = (image).pixel((x), (y));                                                        \
        QVERIFY2(near(actual_, (expected), (tolerance)),                                                     \
                 QByteArray("pixel (" + QByteArray::number(x) + ", " + QByteArray::number(y) + ") is " +     \
                            describe(actual_) + ", expected " + describe(expected))                          \
                     .constData());                                                                          \
    } while (false)

// Every pixel of area (x, y inclusive ranges) holds exactly colour.
bool allPixels(const QImage &image, const QRect &area, QRgb colour, QByteArray *where)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != colour) {
                *where = "(" + QByteArray::number(x) + ", " + QByteArray::number(y) + ") is " +
                         describe(image.pixel(x, y)) + ", expected " + describe(colour);
                return false;
            }
    return true;
}

#define VERIFY_ALL(image, area, colour)                                                                      \
    do {                                                                                                     \
        QByteArray where_;                                                                                   \
        QVERIFY2(allPixels((image), (area), (colour), &where_), where_.constData());                         \
    } while (false)

// The bounding box of the pixels in area that differ from background.
QRect inkIn(const QImage &image, const QRect &area, QRgb background)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

// The largest difference of one colour channel between two images of one size.
int maxDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 256;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = qMax(most, qMax(qAbs(qRed(p) - qRed(q)),
                                   qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)))));
        }
    return most;
}

const QRgb black = qRgb(0, 0, 0);
const QRgb band = qRgb(50, 50, 50);
} // namespace

class tst_Delegate : public QObject
{
    Q_OBJECT

private slots:
    void sizeHint_isSeventyHighForEveryRow();
    void codeBox_colourFollowsSafetyLevel_data();
    void codeBox_colourFollowsSafetyLevel();
    void entryRow_blackOutsideTheBox();
    void selection_onlyRightOfTheCodeColumn();
    void texts_namePieceAndFunctionPiece();
    void header_greyBarWithCapitals();
    void separator_onTheBottomRowRightOfTheCodeColumn();
    void paint_followsTheOptionRectAndRestoresThePainter();
    void codeColumn_measuredFromThePaintersFontOnEveryCall();
    void codeBox_everyBundledCodeReadsWholeAndApart();
    void conflict_signAndWordOnlyWhereItConflicts();
};

void tst_Delegate::sizeHint_isSeventyHighForEveryRow()
{
    vsDataModel model;
    model.appendEntries({entry(QStringLiteral("0:x")), header(QStringLiteral("Colours"))});
    vsDataDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 1000, 10);
    QCOMPARE(delegate.sizeHint(option, model.index(0, 0)), QSize(-1, 70));
    QCOMPARE(delegate.sizeHint(option, model.index(1, 0)), QSize(-1, 70));
    QCOMPARE(delegate.sizeHint(option, QModelIndex()), QSize(-1, 70));
}

void tst_Delegate::codeBox_colourFollowsSafetyLevel_data()
{
    QTest::addColumn<QString>("safety");
    QTest::addColumn<QRgb>("middle"); // the gradient's middle stop
    QTest::addColumn<QRgb>("end");    // its last stop
    QTest::addColumn<QRgb>("outline");

    const QRgb green[] = {qRgb(6, 255, 6), qRgb(93, 255, 93), qRgb(6, 240, 6)};
    const QRgb yellow[] = {qRgb(255, 255, 6), qRgb(255, 255, 93), qRgb(240, 240, 6)};
    const QRgb red[] = {qRgb(255, 6, 6), qRgb(255, 93, 93), qRgb(240, 6, 6)};
    const QRgb cyan[] = {qRgb(100, 255, 255), qRgb(180, 255, 255), qRgb(6, 6, 240)};
    const auto row = [](const char *name, const char *safety, const QRgb *family) {
        QTest::newRow(name) << QString::fromUtf8(safety) << family[0] << family[1] << family[2];
    };
    row("0", "0:none", green);
    row("1", "1:note", yellow);
    row("2", "2:warning", red);
    row("3", "3:banned", cyan);
    row("7 clamped to 3", "7:x", cyan);
    row("-1 clamped to 0", "-1:x", green);
    row("empty", "", green);
    row("no number", "x:alpha", green);
    row("empty first piece", ":alpha", green);
    row("leading zero", "02:x", red);
    row("one piece", "2", red);
    row("large number", "99999999999:x", green); // out of int range converts to 0
}

void tst_Delegate::codeBox_colourFollowsSafetyLevel()
{
    QFETCH(QString, safety);
    QFETCH(QRgb, middle);
    QFETCH(QRgb, end);
    QFETCH(QRgb, outline);

    const int w = codeColumnWidth();
    const QImage image = paintRow(entry(safety));
    const int centre = w / 2;

    // The box spans rows 2..68; the middle stop falls at row 26.3 and row 66 is 96 % of
    // the way from it to the end. Columns 6 and centre stay clear of the code text.
    COMPARE_PIXEL(image, 6, 26, middle, 4);
    COMPARE_PIXEL(image, centre, 66, end, 6);
    // Just under the top edge the fill is still almost white.
    COMPARE_PIXEL(image, centre, 3, qRgb(250, 250, 250), 20);
    // Pixel column 1 holds the left half of the 1-wide outline centred on x = 2, on black.
    const QRgb halfOutline = qRgb(qRed(outline) / 2, qGreen(outline) / 2, qBlue(outline) / 2);
    COMPARE_PIXEL(image, 1, 35, halfOutline, 8);
    // And the right edge at x = w - 2 likewise.
    COMPARE_PIXEL(image, w - 2, 35, halfOutline, 8);
    // Top edge, row 1.
    COMPARE_PIXEL(image, centre, 1, halfOutline, 8);

    // A selected row keeps the same box.
    const QImage selected = paintRow(entry(safety), true);
    QCOMPARE(selected.copy(0, 0, w + 10, rowHeight), image.copy(0, 0, w + 10, rowHeight));
}

void tst_Delegate::entryRow_blackOutsideTheBox()
{
    const int w = codeColumnWidth();
    const QImage image = paintRow(entry(QStringLiteral("2:x"), QStringLiteral("E100"), QString()));

    // Left of the box.
    VERIFY_ALL(image, QRect(0, 14, 1, 42), black);
    // Outside the rounded corners.
    QCOMPARE(image.pixel(0, 0), black);
    QCOMPARE(image.pixel(2, 2), black);
    QCOMPARE(image.pixel(w - 3, 67), black);
    // Right of the box: without a name or function, black down to the separator row.
    VERIFY_ALL(image, QRect(w, 0, rowWidth - w, 68), black);
    // Nothing is left of what the image held before.
    for (int y = 0; y < rowHeight; ++y)
        for (int x = 0; x < rowWidth; ++x)
            QVERIFY(image.pixel(x, y) != untouched);
}

void tst_Delegate::selection_onlyRightOfTheCodeColumn()
{
    const int w = codeColumnWidth();
    const vsEntry e = entry(QStringLiteral("1:x"), QStringLiteral("E100"), QStringLiteral("Name"),
                            QStringLiteral("a:Function"));
    const QImage plain = paintRow(e);
    const QImage selected = paintRow(e, true);

    // The code column and its box are untouched by the selection.
    QCOMPARE(selected.copy(0, 0, w + 10, rowHeight), plain.copy(0, 0, w + 10, rowHeight));
    // The band starts exactly at w + 10 and runs to the right edge, top to the row above the
    // separator; the texts leave its first 5 and last 35 columns alone.
    VERIFY_ALL(selected, QRect(w + 10, 0, 5, 68), band);
    VERIFY_ALL(selected, QRect(rowWidth - 35, 0, 35, 68), band);
    VERIFY_ALL(selected, QRect(w + 9, 0, 1, 68), black);
    VERIFY_ALL(plain, QRect(w + 10, 0, 5, 68), black);
    VERIFY_ALL(plain, QRect(rowWidth - 35, 0, 35, 68), black);
    // Wherever the band shows, the row is black when not selected; most of it shows.
    int bandPixels = 0;
    for (int y = 0; y < 68; ++y)
        for (int x = w + 10; x < rowWidth; ++x)
            if (selected.pixel(x, y) == band) {
                QCOMPARE(plain.pixel(x, y), black);
                ++bandPixels;
            }
    QVERIFY(bandPixels > (rowWidth - w - 10) * 68 / 2);
}

void tst_Delegate::texts_namePieceAndFunctionPiece()
{
    const int w = codeColumnWidth();
    const auto row = [](const char *names, const char *functions) {
        return paintRow(entry(QStringLiteral("0:x"), QStringLiteral("E100"), QString::fromUtf8(names),
                              QString::fromUtf8(functions)));
    };
    const QRect textColumn(w + 10, 0, rowWidth - w - 10, 68); // above the separator
    const QRect upper(w + 10, 0, rowWidth - w - 10, 35);
    const QRect lower(w + 10, 35, rowWidth - w - 10, 33);

    // What the text column should hold: the name in white 16 pt on the upper half and
    // the function in pale blue 12 pt on the lower half, both regular weight, drawn
    // from x = w + 15 and ending 35 px before the right edge.
    QImage expected(rowWidth, rowHeight, QImage::Format_ARGB32);
    expected.fill(black);
    {
        QPainter painter(&expected);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        QFont font = painter.font();
        font.setFamily(QStringLiteral("Nokia Sans"));
        font.setWeight(QFont::Normal);
        font.setPointSize(16);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(QRect(w + 15, 0, rowWidth - w - 50, 35), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Alpha"));
        font.setPointSize(12);
        painter.setFont(font);
        painter.setPen(QColor(180, 180, 255));
        painter.drawText(QRect(w + 15, 35, rowWidth - w - 50, 35), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Beta"));
    }
    const QImage shown = row("Alpha", "a:Beta");
    QVERIFY(inkIn(shown, upper, black).left() >= w + 15);
    QVERIFY(inkIn(shown, lower, black).left() >= w + 15);
    QVERIFY(maxDifference(shown.copy(textColumn), expected.copy(textColumn)) <= 1);

    // The first piece of the names, the second of the functions, whatever follows.
    QCOMPARE(row("Alpha:Beta:Gamma", "x:Beta:Gamma"), shown);
    // Nothing for empty names or an empty first piece.
    QVERIFY(inkIn(row("", "a:Beta"), upper, black).isNull());
    QVERIFY(inkIn(row(":Alpha", "a:Beta"), upper, black).isNull());
    // Nothing for a function text without a second piece, or with an empty one.
    QVERIFY(inkIn(row("Alpha", "Beta"), lower, black).isNull());
    QVERIFY(inkIn(row("Alpha", "Beta:"), lower, black).isNull());
    QVERIFY(inkIn(row("Alpha", ""), lower, black).isNull());

    // The code: black, inside the box and left of its right edge.
    const QImage coded = row("", "");
    const QImage uncoded = paintRow(entry(QStringLiteral("0:x"), QString(), QString()));
    QRect diff;
    for (int y = 0; y < rowHeight; ++y)
        for (int x = 0; x < rowWidth; ++x)
            if (coded.pixel(x, y) != uncoded.pixel(x, y))
                diff |= QRect(x, y, 1, 1);
    QVERIFY(!diff.isNull());
    QVERIFY2(diff.left() >= 10 && diff.right() < w - 2 && diff.top() > 10 && diff.bottom() < 60,
             QByteArray::number(diff.left()) + "," + QByteArray::number(diff.right()));
    QRgb darkest = qRgb(255, 255, 255);
    for (int y = diff.top(); y <= diff.bottom(); ++y)
        for (int x = diff.left(); x <= diff.right(); ++x)
            if (qGray(coded.pixel(x, y)) < qGray(darkest))
                darkest = coded.pixel(x, y);
    QVERIFY2(near(darkest, black, 8), describe(darkest).constData());
}

void tst_Delegate::header_greyBarWithCapitals()
{
    const QImage image = paintRow(header(QStringLiteral("Colours")));

    // Black above and below the bar, except the separator on the bottom row.
    VERIFY_ALL(image, QRect(0, 0, rowWidth, 30), black);
    VERIFY_ALL(image, QRect(0, 60, rowWidth, 8), black);
    // Rounded corners: the outermost corner pixels of the bar stay black.
    QCOMPARE(image.pixel(0, 30), black);
    QCOMPARE(image.pixel(rowWidth - 1, 30), black);
    QCOMPARE(image.pixel(0, 59), black);
    QCOMPARE(image.pixel(rowWidth - 1, 59), black);
    // Radius 10: one pixel in from each corner is still outside the bar.
    QCOMPARE(image.pixel(1, 31), black);
    QCOMPARE(image.pixel(rowWidth - 2, 31), black);
    QCOMPARE(image.pixel(1, 58), black);
    QCOMPARE(image.pixel(rowWidth - 2, 58), black);
    COMPARE_PIXEL(image, 10, 30, qRgb(252, 252, 252), 4);
    // A grey gradient, white at the top, darkest at 0.368421 (row 41), lighter again below.
    // Column rowWidth - 30 stays clear of the text.
    const int x = rowWidth - 30;
    COMPARE_PIXEL(image, x, 30, qRgb(252, 252, 252), 4);
    COMPARE_PIXEL(image, x, 41, qRgb(200, 200, 200), 3);
    COMPARE_PIXEL(image, x, 59, qRgb(239, 239, 239), 3);
    // And the full width of the row, edge to edge.
    COMPARE_PIXEL(image, 0, 45, qRgb(205, 205, 205), 6);
    COMPARE_PIXEL(image, rowWidth - 1, 45, qRgb(205, 205, 205), 6);

    // Text: dark, inside the bar, from x = 10.
    // The bar is grey and so are its antialiased corners; only the text is tinted.
    QRect ink;
    for (int yy = 30; yy < 60; ++yy)
        for (int xx = 0; xx < rowWidth; ++xx)
            if (qBlue(image.pixel(xx, yy)) != qRed(image.pixel(xx, yy)))
                ink |= QRect(xx, yy, 1, 1);
    QVERIFY(!ink.isNull());
    QVERIFY2(ink.left() >= 10 && ink.left() < 14, QByteArray::number(ink.left()));
    QRgb darkest = qRgb(255, 255, 255);
    for (int yy = ink.top(); yy <= ink.bottom(); ++yy)
        for (int xx = ink.left(); xx <= ink.right(); ++xx)
            if (qGray(image.pixel(xx, yy)) < qGray(darkest))
                darkest = image.pixel(xx, yy);
    QVERIFY2(near(darkest, qRgb(0, 0, 20), 12) && qBlue(darkest) > qRed(darkest),
             describe(darkest).constData());
    // Shown in capitals: the same picture as the capitalised text.
    QCOMPARE(image, paintRow(header(QStringLiteral("COLOURS"))));
    QVERIFY(image != paintRow(header(QStringLiteral("Colourz"))));
    // Selection and the safety attribute change nothing.
    QCOMPARE(paintRow(header(QStringLiteral("Colours")), true), image);
    vsEntry red = header(QStringLiteral("Colours"));
    red.insert(QStringLiteral("safety"), QStringLiteral("2:x"));
    QCOMPARE(paintRow(red, true), image);
}

void tst_Delegate::separator_onTheBottomRowRightOfTheCodeColumn()
{
    const int w = codeColumnWidth();
    const QImage rows[] = {paintRow(entry(QStringLiteral("0:x"), QStringLiteral("E1"), QString())),
                           paintRow(header(QStringLiteral("Group")))};
    for (const QImage &image : rows) {
        // The 0.5-wide line is centred on the pixel edge y = 69, so with antialiasing
        // the bottom row gets a quarter of (150, 150, 150) on black; its square cap
        // reaches a quarter pixel past x = R, so the last pixel is fainter still.
        for (int x = w + 10; x < rowWidth - 1; ++x)
            COMPARE_PIXEL(image, x, 69, qRgb(37, 37, 37), 6);
        COMPARE_PIXEL(image, rowWidth - 1, 69, qRgb(19, 19, 19), 6);
        // Nothing left of it.
        VERIFY_ALL(image, QRect(0, 69, w + 9, 1), black);
    }
    // Over the band of a selected row it stays grey and brighter than the band.
    const QImage selected = paintRow(entry(QStringLiteral("0:x"), QStringLiteral("E1"), QString()), true);
    for (int x = w + 10; x < rowWidth; ++x) {
        const QRgb p = selected.pixel(x, 69);
        QVERIFY(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qRed(p) > 50);
    }
}

void tst_Delegate::paint_followsTheOptionRectAndRestoresThePainter()
{
    // A row painted lower and further right in a larger image is the same picture,
    // and nothing outside its rectangle is touched. Gradients are sampled at device
    // positions, so a moved row may differ by a rounding step.
    const QRect rect(13, 70, rowWidth, rowHeight);
    const QSize size(rowWidth + 40, 3 * rowHeight);
    const vsEntry e = entry(QStringLiteral("3:x"), QStringLiteral("E171"), QStringLiteral("Name"),
                            QStringLiteral("a:Function"));
    for (bool selected : {false, true}) {
        const QImage moved = paintRow(e, selected, rect, size);
        QVERIFY(maxDifference(moved.copy(rect), paintRow(e, selected)) <= 2);
        QCOMPARE(inkIn(moved, moved.rect(), untouched), rect);
    }
    const QImage movedHeader = paintRow(header(QStringLiteral("Group")), false, rect, size);
    QVERIFY(maxDifference(movedHeader.copy(rect), paintRow(header(QStringLiteral("Group")))) <= 2);
    QCOMPARE(inkIn(movedHeader, movedHeader.rect(), untouched), rect);

    // The painter comes back as it was given.
    vsDataModel model;
    model.appendEntries({e, header(QStringLiteral("Group"))});
    vsDataDelegate delegate;
    QImage image(rowWidth, rowHeight, QImage::Format_ARGB32);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Serif"), 7);
    painter.setFont(font);
    painter.setPen(QPen(Qt::red, 3));
    painter.setBrush(Qt::blue);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing, false);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, rowWidth, rowHeight);
    const QFont before = painter.font();
    for (int row : {0, 1}) {
        delegate.paint(&painter, option, model.index(row, 0));
        QCOMPARE(painter.font(), before);
        QCOMPARE(painter.pen(), QPen(Qt::red, 3));
        QCOMPARE(painter.brush(), QBrush(Qt::blue));
        QVERIFY(!painter.testRenderHint(QPainter::Antialiasing));
    }
}

void tst_Delegate::codeColumn_measuredFromThePaintersFontOnEveryCall()
{
    // The code font is a copy of the painter's font, so its letter spacing carries over and
    // widens "E9999": five letters, 12 px each.
    QFont spaced;
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 12);
    const int w = codeColumnWidth();
    const int wide = codeColumnWidth(imageFont(spaced));
    QCOMPARE(wide, w + 60);

    const vsEntry e = entry(QStringLiteral("0:x"));
    const QImage narrowRow = paintRow(e, true);
    const QImage wideRow =
        paintRow(e, true, QRect(0, 0, rowWidth, rowHeight), QSize(rowWidth, rowHeight), &spaced);
    const QImage narrowAgain = paintRow(e, true);
    QCOMPARE(narrowRow.pixel(w + 10, 5), band);
    QVERIFY(wideRow.pixel(w + 10, 5) != black && wideRow.pixel(w + 10, 5) != band); // inside the box
    QCOMPARE(wideRow.pixel(wide + 9, 5), black);
    QCOMPARE(wideRow.pixel(wide + 10, 5), band);
    QCOMPARE(narrowAgain, narrowRow);

    // The same delegate, the same painter, the font changed between two rows.
    vsDataModel model;
    model.appendEntries({e});
    vsDataDelegate delegate;
    QImage image(rowWidth, 2 * rowHeight, QImage::Format_ARGB32);
    image.fill(untouched);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.state = QStyle::State_Selected;
    option.rect = QRect(0, 0, rowWidth, rowHeight);
    delegate.paint(&painter, option, model.index(0, 0));
    painter.setFont(spaced);
    option.rect = QRect(0, rowHeight, rowWidth, rowHeight);
    delegate.paint(&painter, option, model.index(0, 0));
    painter.end();
    QCOMPARE(image.copy(0, 0, rowWidth, rowHeight), narrowRow);
    QCOMPARE(image.copy(0, rowHeight, rowWidth, rowHeight), wideRow);
}

void tst_Delegate::codeBox_everyBundledCodeReadsWholeAndApart()
{
    vsDataModel bundled;
    vsCatalogueLoader::loadFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"), &bundled);
    QVERIFY2(bundled.rowCount() > 400, "no packed catalogue in the build");

    // Every code on the same green box, so that only the code tells boxes apart.
    const int w = codeColumnWidth();
    QHash<QByteArray, QString> boxes;
    int longCodes = 0;
    for (int row = 0; row < bundled.rowCount(); ++row) {
        const QModelIndex index = bundled.index(row, 0);
        if (index.data(vsDataModel::TypeRole).toString() == QLatin1String("header"))
            continue;
        const QString code = index.data(vsDataModel::CodeRole).toString();
        if (code.size() > 5)
            ++longCodes;
        const QImage image = paintRow(entry(QStringLiteral("0:x"), code));
        const QImage box = image.copy(0, 0, w, rowHeight);
        const QByteArray pixels(reinterpret_cast<const char *>(box.constBits()), int(box.sizeInBytes()));
        QVERIFY2(!boxes.contains(pixels),
                 qPrintable(QStringLiteral("%1 looks like %2").arg(code, boxes.value(pixels))));
        boxes.insert(pixels, code);
        // The code ends inside the box, short of its right edge: no ink there.
        for (int x = w - 6; x < w - 3; ++x)
            for (int y = 12; y < rowHeight - 12; ++y)
                QVERIFY2(
                    qGray(image.pixel(x, y)) > 60,
                    qPrintable(
                        QStringLiteral("%1 reaches the box's edge at (%2, %3)").arg(code).arg(x).arg(y)));
    }
    QVERIFY(longCodes >= 80); // E160a(iii), E450(vii), ...

    // A code too long for any readable size shrinks no further than 10 pt: it
    // is drawn exactly as the painter draws it at 10 pt over an empty box.
    const QString tooLong = QStringLiteral("E160a(iii)(iii)(iii)(iii)");
    const QImage drawn = paintRow(entry(QStringLiteral("0:x"), tooLong));
    QImage expected = paintRow(entry(QStringLiteral("0:x"), QString()));
    QPainter painter(&expected);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    QFont smallest = painter.font();
    smallest.setFamily(QStringLiteral("Nokia Sans"));
    smallest.setPointSize(10);
    smallest.setWeight(QFont::Bold);
    painter.setFont(smallest);
    painter.setPen(QPen(QBrush(Qt::black), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawText(QRect(10, 0, w, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, tooLong);
    painter.end();
    QVERIFY2(QFontMetrics(smallest).horizontalAdvance(tooLong) > w, "the code fits at 10 pt");
    QVERIFY2(drawn == expected, "the code is not drawn at 10 pt");
}

void tst_Delegate::conflict_signAndWordOnlyWhereItConflicts()
{
    const int w = codeColumnWidth();
    vsRestrictions restrictions;
    restrictions.setDiet(vsRestrictions::Vegan);
    restrictions.setGroupAvoided(vsRestrictions::groupIndex(QStringLiteral("sulphites")), true);
    const auto additive = [](const char *code, const char *vegan) {
        vsEntry e =
            entry(QStringLiteral("1:x"), QLatin1String(code), QStringLiteral("Name"),
                  QStringLiteral("x:Antioxidant, preservative, acidity regulator, flour treatment agent"));
        e.insert(QStringLiteral("vegetarian"), QStringLiteral("yes"));
        e.insert(QStringLiteral("vegan"), QLatin1String(vegan));
        return e;
    };
    const auto paintRestricted = [&restrictions](const vsEntry &e) {
        vsDataModel model;
        model.appendEntries({e});
        model.setRestrictions(&restrictions);
        vsDataDelegate delegate;
        QImage image(rowWidth, rowHeight, QImage::Format_ARGB32);
        image.fill(untouched);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, rowWidth, rowHeight);
        option.state = QStyle::State_Enabled;
        delegate.paint(&painter, option, model.index(0, 0));
        return image;
    };

    // An entry that suits is painted exactly as with nothing set.
    const vsEntry suits = additive("E330", "yes");
    QCOMPARE(paintRestricted(suits), paintRow(suits));

    // The sign in the box's corner: a struck-through ring for a conflict, a
    // question mark for a doubt, both black on white; a word at the end of the
    // function line, which gives way to it. Nothing else changes.
    const QPoint centre(w - 14, 14);
    const QPoint onTheStroke = centre + QPoint(-4, 4);
    for (const char *vegan : {"no:milk", "maybe:egg"}) {
        const bool conflict = QByteArray(vegan).startsWith("no");
        const vsEntry marked = additive("E100", vegan);
        const QImage shown = paintRestricted(marked);
        const QImage plain = paintRow(marked);
        COMPARE_PIXEL(shown, centre.x(), centre.y() - 8, qRgb(255, 255, 255), 40);
        COMPARE_PIXEL(shown, onTheStroke.x(), onTheStroke.y(), conflict ? black : qRgb(255, 255, 255), 100);
        const QRgb wordColour = conflict ? qRgb(255, 150, 110) : qRgb(235, 215, 140);
        int wordLeft = rowWidth;
        for (int y = 35; y < rowHeight - 2; ++y)
            for (int x = w + 15; x < rowWidth; ++x)
                if (near(shown.pixel(x, y), wordColour, 10))
                    wordLeft = qMin(wordLeft, x);
        QVERIFY2(wordLeft > rowWidth / 2 && wordLeft < rowWidth - 35, QByteArray::number(wordLeft));
        for (int y = 0; y < rowHeight; ++y)
            for (int x = 0; x < rowWidth; ++x) {
                const QRgb p = shown.pixel(x, y);
                const bool inSign = qAbs(x - centre.x()) <= 11 && qAbs(y - centre.y()) <= 11;
                const bool onFunctionLine = y >= 35 && x >= w + 15;
                QVERIFY2(p == plain.pixel(x, y) || inSign || onFunctionLine,
                         QByteArray::number(x) + "," + QByteArray::number(y));
                // The function's pale blue stops short of the word.
                if (onFunctionLine && qBlue(p) > qRed(p) + 40)
                    QVERIFY2(x < wordLeft - 5, QByteArray::number(x) + "," + QByteArray::number(y));
            }
    }

    // A group to avoid marks the row as a conflict whatever the diet says.
    COMPARE_PIXEL(paintRestricted(additive("E223", "yes")), onTheStroke.x(), onTheStroke.y(), black, 100);
    // A group title is never marked.
    QCOMPARE(paintRestricted(header(QStringLiteral("E120"))), paintRow(header(QStringLiteral("E120"))));
}

QTEST_MAIN(tst_Delegate)
#include "tst_delegate.moc"
