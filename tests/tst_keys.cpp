// Hardware keys on the real main window: digits and the top letter row type
// the code, Backspace and Delete remove, Enter opens the selected row, the
// arrows move the selection over group titles, and every key is traced.

#include "testsupport.h"

#include "detail/vsdatadisplay.h"
#include "mainwindow/vsmainwindow.h"

#include <QFile>
#include <QLabel>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

Q_DECLARE_METATYPE(Qt::Key)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

namespace {
// Builds a catalogue from a pattern: 'H' a header row, 'E' an entry (E100, E101, ...).
QStringList catalogue(const QString &pattern)
{
    QStringList items;
    int code = 100;
    for (const QChar kind : pattern)
        items << (kind == QLatin1Char('H') ? vsTest::headerItem(QStringLiteral("Group %1").arg(items.size()))
                                           : vsTest::entryItem(QStringLiteral("E%1").arg(code++)));
    return items;
}

// Rows 0 H, 1-2 E, 3 H, 4-9 E, 10 H, 11 E, 12 H: titles first, in between and last.
const QString arrowPattern = QStringLiteral("HEEHEEEEEEHEH");

// Sends standard output to a file while it lives; the key handler must flush
// each line itself, so nothing here flushes after a key. The test library
// prints warnings on standard output too: they go to standard error meanwhile.
class StdoutCapture
{
public:
    explicit StdoutCapture(const QString &path) : file(path)
    {
        previousHandler =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
                std::fprintf(stderr, "%s\n", qPrintable(text));
            });
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ok = saved >= 0 && fd >= 0 && ::dup2(fd, STDOUT_FILENO) >= 0;
        if (fd >= 0)
            ::close(fd);
    }
    ~StdoutCapture()
    {
        std::fflush(stdout);
        if (saved >= 0) {
            ::dup2(saved, STDOUT_FILENO);
            ::close(saved);
        }
        qInstallMessageHandler(previousHandler);
    }
    QByteArray written()
    {
        QFile reader(file);
        return reader.open(QIODevice::ReadOnly) ? reader.readAll() : QByteArray("<unreadable>");
    }
    bool ok = false;

private:
    QString file;
    int saved = -1;
    QtMessageHandler previousHandler = nullptr;
};
} // namespace

class tst_Keys : public QObject, vsTest::WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void letterRow_typesDigitsWhateverModifier_data();
    void letterRow_typesDigitsWhateverModifier();
    void backspaceAndDelete_removeLastDigit();
    void enter_opensSelectedNonHeaderOnly();
    void arrows_moveWithinBounds_data();
    void arrows_moveWithinBounds();
    void arrows_stepOverOneHeaderOnly();
    void arrows_singleRowAndEmptyLists();
    void trace_printsEveryKeyCodeAtOnce();

private:
    bool open(const QStringList &items);
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void select(int row);
};

void tst_Keys::initTestCase()
{
    vsTest::isolateWindowTests();
}

void tst_Keys::cleanup()
{
    closeWindow();
}

bool tst_Keys::open(const QStringList &items)
{
    if (!vsTest::openWindow(items, folder, window))
        return false;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get());
}

// Through the window system, so the key finds its way as a real one would:
// no widget of the window takes the focus, so the window itself gets it.
void tst_Keys::press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(window->windowHandle(), key, modifiers);
}

// Selects one row the way the window does, leaving the current index alone.
void tst_Keys::select(int row)
{
    list()->clearSelection();
    if (row >= 0)
        list()->selectionModel()->select(list()->model()->index(row, 0), QItemSelectionModel::Select);
}

void tst_Keys::letterRow_typesDigitsWhateverModifier_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("digit");

    const Qt::Key letters[] = {Qt::Key_Q, Qt::Key_W, Qt::Key_E, Qt::Key_R, Qt::Key_T,
                               Qt::Key_Y, Qt::Key_U, Qt::Key_I, Qt::Key_O, Qt::Key_P};
    const Qt::Key digits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5,
                              Qt::Key_6, Qt::Key_7, Qt::Key_8, Qt::Key_9, Qt::Key_0};
    const struct
    {
        const char *name;
        Qt::KeyboardModifiers modifiers;
    } held[] = {{"", Qt::NoModifier},
                {"shift+", Qt::ShiftModifier},
                {"ctrl+", Qt::ControlModifier},
                {"alt+", Qt::AltModifier},
                {"ctrl+shift+", Qt::ControlModifier | Qt::ShiftModifier}};
    for (int i = 0; i < 10; ++i) {
        const QString digit = QString::number((i + 1) % 10);
        for (const auto &modifier : held) {
            // Ctrl+Q quits instead (tested end to end).
            if (letters[i] == Qt::Key_Q && modifier.modifiers == Qt::ControlModifier)
                continue;
            const QByteArray letter = QKeySequence(letters[i]).toString().toLatin1();
            QTest::addRow("%s%s", modifier.name, letter.constData())
                << letters[i] << modifier.modifiers << digit;
        }
        // The digit keys themselves, also from the numeric keypad.
        QTest::addRow("%s", digit.toLatin1().constData()) << digits[i] << Qt::KeyboardModifiers() << digit;
        QTest::addRow("keypad %s", digit.toLatin1().constData())
            << digits[i] << Qt::KeyboardModifiers(Qt::KeypadModifier) << digit;
    }
}

void tst_Keys::letterRow_typesDigitsWhateverModifier()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, digit);

    QVERIFY(open(catalogue(QStringLiteral("HEEEEEEEEEEE"))));
    // Alone: a zero is ignored while the code is empty, any other digit starts it.
    press(key, modifiers);
    QCOMPARE(label(), digit == QLatin1String("0") ? QStringLiteral("Search []")
                                                  : QStringLiteral("Search [%1]").arg(digit));
    // After a 1 it is appended like a keypad tap.
    window->onTimeOut();
    press(Qt::Key_1);
    press(key, modifiers);
    QCOMPARE(label(), QStringLiteral("Search [1%1]").arg(digit));
    // Rows 1 … 11 hold E100 … E110: E10 is found in row 1, E11 in row 11, and
    // for any other code the row found for E1 stays selected.
    QCOMPARE(selectedRows(list()), QList<int>{digit == QLatin1String("1") ? 11 : 1});
    QVERIFY(!detail()->isVisible());
}

void tst_Keys::backspaceAndDelete_removeLastDigit()
{
    QVERIFY(open(catalogue(QStringLiteral("HEEEEEEEEEEEEEEEEEEEEEE"))));
    // E100 … E121: "12" finds E120 in row 21.
    press(Qt::Key_1);
    press(Qt::Key_2);
    QCOMPARE(selectedRows(list()), QList<int>{21});
    press(Qt::Key_Backspace);
    QCOMPARE(label(), QStringLiteral("Search [1]"));
    QCOMPARE(selectedRows(list()), QList<int>{1}); // searched again
    press(Qt::Key_Delete);
    QCOMPARE(label(), QStringLiteral("Search []"));
    QCOMPARE(selectedRows(list()), QList<int>{1});
    // Idle now: P is a leading zero and ignored.
    press(Qt::Key_P);
    QCOMPARE(label(), QStringLiteral("Search []"));
    // Delete and Backspace with nothing typed change nothing else.
    press(Qt::Key_Delete);
    press(Qt::Key_Backspace);
    QCOMPARE(label(), QStringLiteral("Search []"));
    QCOMPARE(selectedRows(list()), QList<int>{1});
    QVERIFY(!detail()->isVisible());
}

void tst_Keys::enter_opensSelectedNonHeaderOnly()
{
    QVERIFY(open(catalogue(QStringLiteral("HEEEHEEE"))));
    auto *code = detail()->findChild<QLabel *>(QStringLiteral("codeLabel"));

    // Enter opens the selected row and ends the search; Return, which a
    // laptop has in its place, does the same.
    for (const auto &key : {std::make_pair(Qt::Key_Enter, Qt::KeypadModifier),
                            std::make_pair(Qt::Key_Return, Qt::NoModifier)}) {
        press(Qt::Key_1);
        press(Qt::Key_0);
        press(Qt::Key_2);
        QCOMPARE(selectedRows(list()), QList<int>{3});
        QCOMPARE(label(), QStringLiteral("Search [102]"));
        press(key.first, key.second);
        QTRY_VERIFY(detail()->isVisible());
        QVERIFY(code->text().contains(QLatin1String("E102")));
        QCOMPARE(label(), QStringLiteral("Search []"));
        detail()->hide();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    // Enter with nothing selected does nothing, not even open the row under the
    // point the arrow keys start from.
    select(-1);
    press(Qt::Key_Enter);
    QVERIFY(!detail()->isVisible());

    // Enter on a group title does nothing and keeps a running search.
    press(Qt::Key_9);
    select(4);
    press(Qt::Key_Enter);
    QVERIFY(!detail()->isVisible());
    QCOMPARE(label(), QStringLiteral("Search [9]"));
    press(Qt::Key_5);
    QCOMPARE(label(), QStringLiteral("Search [95]"));

    // Another entry opens with its own content.
    select(6);
    press(Qt::Key_Enter);
    QTRY_VERIFY(detail()->isVisible());
    QVERIFY(code->text().contains(QLatin1String("E104")));
}

void tst_Keys::arrows_moveWithinBounds_data()
{
    QTest::addColumn<int>("from"); // -1: nothing selected, list at its top
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<int>("to"); // -1: nothing selected afterwards

    // Rows: 0 H, 1-2 E, 3 H, 4-9 E, 10 H, 11 E, 12 H (the last row).
    QTest::newRow("down") << 1 << Qt::Key_Down << 2;
    QTest::newRow("down over a title") << 2 << Qt::Key_Down << 4;
    QTest::newRow("down before the final title stays") << 11 << Qt::Key_Down << 11;
    QTest::newRow("down on the last row stays") << 12 << Qt::Key_Down << 12;
    QTest::newRow("up") << 5 << Qt::Key_Up << 4;
    QTest::newRow("up over a title") << 4 << Qt::Key_Up << 2;
    QTest::newRow("up to row 1") << 2 << Qt::Key_Up << 1;
    QTest::newRow("up on row 1 stays") << 1 << Qt::Key_Up << 1;
    QTest::newRow("right") << 1 << Qt::Key_Right << 6;
    QTest::newRow("right over a title") << 5 << Qt::Key_Right << 11;
    QTest::newRow("right onto the final title") << 7 << Qt::Key_Right << 12;
    QTest::newRow("right past the end clamps") << 9 << Qt::Key_Right << 12;
    QTest::newRow("right on the last row stays") << 12 << Qt::Key_Right << 12;
    QTest::newRow("left") << 11 << Qt::Key_Left << 6;
    QTest::newRow("left over a title") << 8 << Qt::Key_Left << 2;
    QTest::newRow("left past the start clamps to row 1") << 4 << Qt::Key_Left << 1;
    QTest::newRow("left over row 0's title clamps to row 1") << 5 << Qt::Key_Left << 1;
    QTest::newRow("left onto row 1") << 6 << Qt::Key_Left << 1;
    QTest::newRow("left on row 1 stays") << 1 << Qt::Key_Left << 1;
    // Nothing selected: the row under the point (10, 35) is the start, row 0 here.
    QTest::newRow("nothing selected, down") << -1 << Qt::Key_Down << 1;
    QTest::newRow("nothing selected, up") << -1 << Qt::Key_Up << -1;
    QTest::newRow("nothing selected, right") << -1 << Qt::Key_Right << 5;
    QTest::newRow("nothing selected, left") << -1 << Qt::Key_Left << 1;
}

void tst_Keys::arrows_moveWithinBounds()
{
    QFETCH(int, from);
    QFETCH(Qt::Key, key);
    QFETCH(int, to);

    QVERIFY(open(catalogue(arrowPattern)));
    select(from);
    press(key);

    QCOMPARE(selectedRows(list()), to < 0 ? QList<int>{} : QList<int>{to});
    if (to >= 0 && to != from) {
        const QRect row = list()->visualRect(list()->model()->index(to, 0));
        QVERIFY(list()->viewport()->rect().contains(row));
    }
    // The arrows move the selection, never the view's current row.
    QVERIFY(!list()->currentIndex().isValid());
    QVERIFY(!detail()->isVisible());
    QCOMPARE(label(), QStringLiteral("Search []"));
}

void tst_Keys::arrows_stepOverOneHeaderOnly()
{
    // Rows 0 E, 1-2 H, 3-20 E.
    QVERIFY(open(catalogue(QStringLiteral("EHHEEEEEEEEEEEEEEEEE"))));
    select(0);
    press(Qt::Key_Down);
    QCOMPARE(selectedRows(list()), QList<int>{2});
    select(3);
    press(Qt::Key_Up);
    QCOMPARE(selectedRows(list()), QList<int>{1});
    // From the second title Enter does nothing.
    press(Qt::Key_Enter);
    QVERIFY(!detail()->isVisible());

    // Nothing selected with the list scrolled: the start is the row at the top.
    list()->scrollTo(list()->model()->index(10, 0), QAbstractItemView::PositionAtTop);
    QCOMPARE(list()->indexAt(QPoint(10, 35)).row(), 10);
    select(-1);
    press(Qt::Key_Down);
    QCOMPARE(selectedRows(list()), QList<int>{11});
    // A long way down is brought into view, no further.
    select(3);
    list()->scrollToTop();
    press(Qt::Key_Right);
    const QModelIndex target = list()->model()->index(8, 0);
    QCOMPARE(selectedRows(list()), QList<int>{8});
    QVERIFY(list()->viewport()->rect().contains(list()->visualRect(target)));

    // Up on row 2 under a title at row 1 would land on row 0: no move.
    QVERIFY(open(catalogue(QStringLiteral("EHEE"))));
    select(2);
    press(Qt::Key_Up);
    QCOMPARE(selectedRows(list()), QList<int>{2});
}

void tst_Keys::arrows_singleRowAndEmptyLists()
{
    QVERIFY(open(catalogue(QStringLiteral("E"))));
    QCOMPARE(selectedRows(list()), QList<int>{0});
    press(Qt::Key_Down);
    press(Qt::Key_Up);
    QCOMPARE(selectedRows(list()), QList<int>{0});
    press(Qt::Key_Right);
    QCOMPARE(selectedRows(list()), QList<int>{0});
    // Left clamps to row 1, which is not there: the selection is gone.
    press(Qt::Key_Left);
    QCOMPARE(selectedRows(list()), QList<int>{});
    // From the row under the point there is nowhere further down.
    press(Qt::Key_Down);
    QCOMPARE(selectedRows(list()), QList<int>{});
    press(Qt::Key_Enter);
    QVERIFY(!detail()->isVisible());
    press(Qt::Key_Right);
    QCOMPARE(selectedRows(list()), QList<int>{0});

    // No rows: no row under the point either, and every key is harmless.
    QVERIFY(open(QStringList()));
    QCOMPARE(list()->model()->rowCount(), 0);
    const Qt::Key keys[] = {Qt::Key_Down,  Qt::Key_Up, Qt::Key_Right, Qt::Key_Left,
                            Qt::Key_Enter, Qt::Key_1,  Qt::Key_Q,     Qt::Key_Backspace};
    for (const Qt::Key key : keys)
        press(key);
    QCOMPARE(selectedRows(list()), QList<int>{});
    QVERIFY(!detail()->isVisible());
    press(Qt::Key_5);
    QCOMPARE(label(), QStringLiteral("Search [15]"));
}

void tst_Keys::trace_printsEveryKeyCodeAtOnce()
{
    QVERIFY(open(catalogue(QStringLiteral("HEEHEE"))));
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());

    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QByteArray line;
    } presses[] = {
        {Qt::Key_1, Qt::NoModifier, "49\n"},
        {Qt::Key_Q, Qt::ShiftModifier, "16777248\n81\n"}, // Shift is a key press of its own
        {Qt::Key_Down, Qt::NoModifier, "16777237\n"},
        {Qt::Key_Return, Qt::NoModifier, "16777220\n"},            // opens the row, traced first
        {Qt::Key_A, Qt::NoModifier, "65\n"},                       // not handled, still traced
        {Qt::Key_Escape, Qt::NoModifier, "16777216\n"},            // not handled, still traced
        {Qt::Key_F1, Qt::ControlModifier, "16777249\n16777264\n"}, // not handled, still traced
        {Qt::Key_Backspace, Qt::NoModifier, "16777219\n"},
        {Qt::Key_Enter, Qt::KeypadModifier, "16777221\n"},
    };

    QByteArray expected;
    QByteArray seen;
    {
        StdoutCapture capture(scratch.filePath(QStringLiteral("stdout")));
        QVERIFY(capture.ok);
        for (const auto &p : presses) {
            press(p.key, p.modifiers);
            expected += p.line;
            // Read back before anything else flushes: each line is out at once.
            seen = capture.written();
            if (seen != expected)
                break;
        }
    }
    QCOMPARE(seen, expected);
    // The keys did their work as well: the last one opened the selected row.
    QTRY_VERIFY(detail()->isVisible());
}

QTEST_MAIN(tst_Keys)
#include "tst_keys.moc"
