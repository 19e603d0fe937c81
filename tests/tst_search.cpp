// Code search on the real main window: keypad taps build the code, the list
// jumps to the first match, the banner shows the code, the timer forgets it,
// and opening a row ends the search.

#include "testsupport.h"

#include "detail/vsdatadisplay.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsinformationbox.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
QString entry(const QString &code)
{
    return vsTest::entryItem(code, QStringLiteral(R"(functions="f:Function")"));
}

// Rows: 0 header, 1 E100, 2 E101, 3 E102, 4 E110, 5 E120, 6 header "E2 …",
// 7 e150, 8 E1510, 9 (E200), 10 E200, 11 E1000, 12..41 E300..E329. Enough rows
// follow every match for it to reach the top of the list.
QStringList searchCatalogue()
{
    QStringList items{vsTest::headerItem(QStringLiteral("Colours")),
                      entry(QStringLiteral("E100")),
                      entry(QStringLiteral("E101")),
                      entry(QStringLiteral("E102")),
                      entry(QStringLiteral("E110")),
                      entry(QStringLiteral("E120")),
                      vsTest::headerItem(QStringLiteral("E2 Preservatives")),
                      entry(QStringLiteral("e150")),
                      entry(QStringLiteral("E1510")),
                      entry(QStringLiteral("(E200)")),
                      entry(QStringLiteral("E200")),
                      entry(QStringLiteral("E1000"))};
    for (int i = 0; i < 30; ++i)
        items << entry(QStringLiteral("E3%1").arg(i, 2, 10, QLatin1Char('0')));
    return items;
}

int topRow(const QListView *list)
{
    return list->indexAt(QPoint(10, 1)).row();
}

// Notes every single-shot timer of two seconds or more that fires, with the
// time since the watch began: the search timer is a member held by value and
// cannot be found any other way than by watching it fire once.
class TimerWatch : public QObject
{
public:
    TimerWatch() { qApp->installEventFilter(this); }
    ~TimerWatch() override { qApp->removeEventFilter(this); }

    void start() { clock.start(); }
    QPointer<QTimer> fired;
    qint64 firedAfter = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer && !fired) {
            auto *timer = qobject_cast<QTimer *>(watched);
            if (timer && timer->isSingleShot() && timer->interval() >= 1500) {
                fired = timer;
                firedAfter = clock.elapsed();
            }
        }
        return false;
    }

private:
    QElapsedTimer clock;
};
} // namespace

class tst_Search : public QObject, vsTest::WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void typing_followsCodeAndSelectsFirstMatch_data();
    void typing_followsCodeAndSelectsFirstMatch();
    void typing_ignoresAnythingButOneDigit();
    void remove_followsStateTable();
    void timer_expiryForgetsOnlyTheCode();
    void timer_restartRules();
    void open_nonHeaderRowEndsSearch();
    void open_headerRowChangesNothing();
    void informationBox_staysFullTimeoutAfterLastChange();

private:
    bool open(const QStringList &items);
    vsInformationBox *box() const { return window->findChild<vsInformationBox *>(); }

    // Kept from the expiry test for the restart rules, with its window.
    std::unique_ptr<vsMainWindow> timerWindow;
    QPointer<QTimer> searchTimer;
};

void tst_Search::initTestCase()
{
    vsTest::isolateWindowTests();
}

void tst_Search::cleanup()
{
    closeWindow();
}

bool tst_Search::open(const QStringList &items)
{
    if (!vsTest::openWindow(items, folder, window))
        return false;
    return QTest::qWaitForWindowExposed(window.get());
}

void tst_Search::typing_followsCodeAndSelectsFirstMatch_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expectedLabel");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("top");

    const auto row = [](const char *name, const char *keys, const char *label, int selected, int top) {
        QTest::newRow(name) << QString::fromLatin1(keys) << QString::fromLatin1(label) << selected << top;
    };
    row("first digit", "1", "Search [1]", 1, 1);
    row("zero after a digit", "10", "Search [10]", 1, 1);
    row("four digits with zeros", "1000", "Search [1000]", 11, 11);
    row("fifth digit ignored", "10009", "Search [1000]", 11, 11);
    row("small e never matches", "15", "Search [15]", 8, 8);
    row("titles are searched too", "2", "Search [2]", 6, 6);
    row("match anywhere in the code", "20", "Search [20]", 9, 9);
    row("match below the screen goes to the top", "32", "Search [32]", 32, 32);
    row("visible match still goes to the top", "101", "Search [101]", 2, 2);
    row("zero first is ignored", "0", "Search []", 0, 0);
    row("zero first then a digit", "01", "Search [1]", 1, 1);
    row("no match keeps the earlier one", "17", "Search [17]", 1, 1);
    row("no match at all keeps the start", "9", "Search [9]", 0, 0);
    row("first of many matches", "3", "Search [3]", 12, 12);
}

void tst_Search::typing_followsCodeAndSelectsFirstMatch()
{
    QFETCH(QString, keys);
    QFETCH(QString, expectedLabel);
    QFETCH(int, selected);
    QFETCH(int, top);

    QVERIFY(open(searchCatalogue()));
    QCOMPARE(selectedRows(list()), QList<int>{0});
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(!box()->isVisible());

    tap(keys);
    QCOMPARE(label(), expectedLabel);
    QCOMPARE(selectedRows(list()), QList<int>{selected});
    QCOMPARE(topRow(list()), top);
    // The banner is up exactly when a digit was taken.
    QCOMPARE(box()->isVisible(), expectedLabel != QLatin1String("Search []"));
    QCOMPARE(box()->widget(), window->findChild<QLabel *>(QStringLiteral("searchLabel")));
    // The search moves the selection only, never the view's current row.
    QVERIFY(!list()->currentIndex().isValid());
    QVERIFY(!detail()->isVisible());
}

void tst_Search::typing_ignoresAnythingButOneDigit()
{
    QVERIFY(open(searchCatalogue()));
    const QStringList junk{QString(),           QStringLiteral("12"),
                           QStringLiteral("x"), QStringLiteral("E"),
                           QStringLiteral(" "), QString(QChar(0x0661))}; // an Arabic-Indic one
    for (const QString &text : junk)
        window->onNumberClicked(text);
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(!box()->isVisible());
    QCOMPARE(selectedRows(list()), QList<int>{0});

    tap(QStringLiteral("1"));
    for (const QString &text : junk)
        window->onNumberClicked(text);
    QCOMPARE(label(), QStringLiteral("Search [1]"));
    // The code keeps room for three more digits.
    tap(QStringLiteral("000"));
    QCOMPARE(label(), QStringLiteral("Search [1000]"));
    QCOMPARE(selectedRows(list()), QList<int>{11});
}

void tst_Search::remove_followsStateTable()
{
    QVERIFY(open(searchCatalogue()));
    QScrollBar *scroll = list()->verticalScrollBar();

    // Idle: only the label is set to its empty form.
    tap(QStringLiteral("<"));
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(!box()->isVisible());
    QCOMPARE(selectedRows(list()), QList<int>{0});
    QCOMPARE(scroll->value(), 0);

    // Two digits: the last one goes and the shorter code is searched again.
    tap(QStringLiteral("15"));
    QCOMPARE(selectedRows(list()), QList<int>{8});
    box()->setVisible(false);
    tap(QStringLiteral("<"));
    QCOMPARE(label(), QStringLiteral("Search [1]"));
    QCOMPARE(selectedRows(list()), QList<int>{1});
    QCOMPARE(topRow(list()), 1);
    QVERIFY(box()->isVisible());

    // One digit: back to idle without a search; banner, selection and scroll stay.
    list()->scrollToBottom();
    const int scrolled = scroll->value();
    QVERIFY(scrolled > 0);
    tap(QStringLiteral("<"));
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(box()->isVisible());
    QCOMPARE(selectedRows(list()), QList<int>{1});
    QCOMPARE(scroll->value(), scrolled);

    // Idle for sure: a leading zero is ignored again.
    tap(QStringLiteral("0"));
    QCOMPARE(label(), QStringLiteral("Search []"));
    QCOMPARE(scroll->value(), scrolled);

    // Removing the only digit while the banner is down does not bring it up.
    tap(QStringLiteral("2"));
    QCOMPARE(selectedRows(list()), QList<int>{6});
    box()->setVisible(false);
    tap(QStringLiteral("<"));
    QVERIFY(!box()->isVisible());
    QCOMPARE(label(), QStringLiteral("Search []"));
    QCOMPARE(selectedRows(list()), QList<int>{6});

    // Removing down from four digits searches at every step.
    tap(QStringLiteral("1510"));
    QCOMPARE(selectedRows(list()), QList<int>{8});
    tap(QStringLiteral("<<"));
    QCOMPARE(label(), QStringLiteral("Search [15]"));
    QCOMPARE(selectedRows(list()), QList<int>{8});
    tap(QStringLiteral("<"));
    QCOMPARE(selectedRows(list()), QList<int>{1});
}

void tst_Search::timer_expiryForgetsOnlyTheCode()
{
    QVERIFY(open(searchCatalogue()));
    TimerWatch watch;
    // Started before the digits, which start the timer, so that a slow tap on
    // a busy machine cannot make the timer look early.
    watch.start();
    tap(QStringLiteral("15"));
    QCOMPARE(selectedRows(list()), QList<int>{8});

    // The one real wait of this program: two seconds after the last digit.
    VS_TRY_VERIFY(watch.fired, 10000);
    searchTimer = watch.fired;
    QCOMPARE(searchTimer->interval(), 2000);
    QVERIFY(searchTimer->isSingleShot());
    QVERIFY(!searchTimer->isActive());
    // Coarse timers may fire up to 5 % early.
    QVERIFY2(watch.firedAfter >= 1900, qPrintable(QString::number(watch.firedAfter)));

    // Only the code is gone: the label keeps its text and the row its selection.
    QCOMPARE(label(), QStringLiteral("Search [15]"));
    QCOMPARE(selectedRows(list()), QList<int>{8});
    QCOMPARE(topRow(list()), 8);
    // The banner went long before, on its own.
    QVERIFY(!box()->isVisible());

    // The next digit starts a new code.
    tap(QStringLiteral("2"));
    QCOMPARE(label(), QStringLiteral("Search [2]"));
    QCOMPARE(selectedRows(list()), QList<int>{6});
    QVERIFY(searchTimer->isActive());

    timerWindow = std::move(window);
}

void tst_Search::timer_restartRules()
{
    QVERIFY2(searchTimer && timerWindow, "the expiry test found no search timer");
    window = std::move(timerWindow);
    QTimer *timer = searchTimer.data();
    // Stopping it by hand shows whether the next event starts it again.
    const auto stopped = [timer] {
        timer->stop();
        return !timer->isActive();
    };

    // Code "2" from the expiry test.
    QVERIFY(stopped());
    tap(QStringLiteral("1"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 2000);
    QCOMPARE(label(), QStringLiteral("Search [21]"));

    QVERIFY(stopped());
    tap(QStringLiteral("<"));
    QVERIFY(timer->isActive());
    QCOMPARE(label(), QStringLiteral("Search [2]"));

    // The last digit removed: stopped.
    tap(QStringLiteral("<"));
    QVERIFY(!timer->isActive());
    // Idle: neither a zero nor a remove starts it.
    tap(QStringLiteral("0<"));
    QVERIFY(!timer->isActive());

    tap(QStringLiteral("1234"));
    QVERIFY(timer->isActive());
    QVERIFY(stopped());
    tap(QStringLiteral("5"));
    QVERIFY2(!timer->isActive(), "a fifth digit restarted the timer");
    QCOMPARE(label(), QStringLiteral("Search [1234]"));

    // Its expiry forgets the code; calling the slot is what the timer does.
    window->onTimeOut();
    tap(QStringLiteral("3"));
    QCOMPARE(label(), QStringLiteral("Search [3]"));
    QVERIFY(timer->isActive());

    // A header row leaves a running search alone; opening a row stops it.
    const QModelIndex headerRow = list()->model()->index(0, 0);
    window->onShowData(headerRow);
    QVERIFY(timer->isActive());
    window->onShowData(list()->model()->index(1, 0));
    QVERIFY(!timer->isActive());
    QVERIFY(detail()->isVisible());
}

void tst_Search::open_nonHeaderRowEndsSearch()
{
    QVERIFY(open(searchCatalogue()));
    tap(QStringLiteral("10"));
    QCOMPARE(selectedRows(list()), QList<int>{1});
    QVERIFY(box()->isVisible());

    const QModelIndex row = list()->model()->index(3, 0);
    QVERIFY(list()->viewport()->rect().contains(list()->visualRect(row)));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(row).center());
    QTRY_VERIFY(detail()->isVisible());
    auto *code = detail()->findChild<QLabel *>(QStringLiteral("codeLabel"));
    QVERIFY(code->text().contains(QLatin1String("E102")));
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(!box()->isVisible());
    const QRect shownAt = detail()->geometry();

    // A tap may also activate the row: the second run ends in the same state.
    QMetaObject::invokeMethod(list(), "activated", Q_ARG(QModelIndex, row));
    QVERIFY(detail()->isVisible());
    QCOMPARE(detail()->geometry(), shownAt);
    QVERIFY(code->text().contains(QLatin1String("E102")));
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(!box()->isVisible());

    // The search is over: a zero is a leading zero again.
    window->onNumber0Clicked();
    QCOMPARE(label(), QStringLiteral("Search []"));
    QVERIFY(!box()->isVisible());
    window->onNumber5Clicked();
    QCOMPARE(label(), QStringLiteral("Search [5]"));
}

void tst_Search::open_headerRowChangesNothing()
{
    QVERIFY(open(searchCatalogue()));
    // A code with no match keeps the list at its top, where the header is.
    tap(QStringLiteral("9"));
    QCOMPARE(topRow(list()), 0);
    const QModelIndex headerRow = list()->model()->index(0, 0);
    QSignalSpy clicked(list(), SIGNAL(clicked(QModelIndex)));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(headerRow).center());
    QCOMPARE(clicked.count(), 1);
    QMetaObject::invokeMethod(list(), "activated", Q_ARG(QModelIndex, headerRow));
    QVERIFY(!detail()->isVisible());
    QCOMPARE(label(), QStringLiteral("Search [9]"));
    QVERIFY(box()->isVisible());

    // The code is still there to be extended.
    tap(QStringLiteral("5"));
    QCOMPARE(label(), QStringLiteral("Search [95]"));
}

void tst_Search::informationBox_staysFullTimeoutAfterLastChange()
{
    QWidget window;
    window.resize(800, 480);
    vsInformationBox box(&window);
    QPointer<QLabel> content = new QLabel(QStringLiteral("Search [1]"));
    box.setWidget(content);
    box.setTimeout(1000);

    // A count from the first show would end 400 ms after the change, a new
    // count 1000 ms after it. A machine so busy that the banner is gone before
    // the change is made gets another try.
    qint64 shownAfterChange = -1;
    for (int attempt = 0; attempt < 3 && shownAfterChange < 0; ++attempt) {
        QElapsedTimer clock;
        box.setVisible(true);
        clock.start();
        QTest::qWait(600);
        if (!box.isVisible())
            continue;
        // What the search does on each further digit while the banner is up.
        box.setTimeout(1000);
        const qint64 changedAt = clock.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(!box.isVisible(), 5000);
        shownAfterChange = clock.elapsed() - changedAt;
    }
    if (shownAfterChange < 0)
        QSKIP("the machine is too busy to change the timeout within the first 1000 ms");
    // Coarse timers may fire up to 5 % early.
    QVERIFY2(shownAfterChange >= 900, qPrintable(QString::number(shownAfterChange)));
    QVERIFY(!content.isNull());

    // Hiding is immediate and a stopped count does not come back.
    box.setVisible(true);
    box.setVisible(false);
    QVERIFY(!box.isVisible());
    box.setTimeout(1000);
    QVERIFY(!box.isVisible());
}

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
