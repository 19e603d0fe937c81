// The main window as setup builds it: widget tree, sizes, texts in Russian
// under an English locale, menu, the empty catalogue, and safe destruction.

#include "testsupport.h"

#include "catalogue/vsdatamodel.h"
#include "detail/vsdatadisplay.h"
#include "list/vsdatadelegate.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vsinformationbox.h"
#include "platform/vslook.h"
#include "platform/vswindowstack.h"

#include <QActionGroup>
#include <QBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScrollBar>
#include <QScroller>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

namespace {
bool hasBlackWindowBrush(const QWidget *widget)
{
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        if (widget->palette().brush(group, QPalette::Window).color() != QColor(0, 0, 0, 255))
            return false;
    }
    return true;
}

// Written out as it must stand, character for character.
const QString keypadStyle =
    QStringLiteral("QToolButton::active\n"
                   "{\n"
                   "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(50, "
                   "50, 50, 255), stop:0.368421 rgba(0, 0, 0, 255), stop:1 rgba(15, 15, 15, 255));\n"
                   "\tcolor: rgb(255, 255, 255);\n"
                   "\tborder-color: rgb(100, 100, 100);\n"
                   "\tborder-style:inset;\n"
                   "border-radius: 5px;\n"
                   "border-width:1px;\n"
                   "}\n"
                   "\n"
                   "QToolButton::pressed\n"
                   "{\n"
                   "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
                   "255, 255, 255), stop:0.368421 rgba(255, 128, 6, 255), stop:1 rgba(255, 128, 93, 255));\n"
                   "font: bold;\n"
                   "color: rgb(0, 0, 0);\n"
                   "\tborder-color: rgb(128, 128, 128);\n"
                   "\tborder-style:inset;\n"
                   "border-radius: 5px;\n"
                   "\tborder-width:1px;\n"
                   "}");

int meanLightness(const QImage &image)
{
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += QColor(image.pixel(x, y)).lightness();
    return image.isNull() ? -1 : int(sum / (qint64(image.width()) * image.height()));
}

void checkMargins(const QLayout *layout, const QMargins &margins, int spacing)
{
    QVERIFY(layout);
    QCOMPARE(layout->contentsMargins(), margins);
    QCOMPARE(layout->spacing(), spacing);
}
} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void setup_buildsTheWidgetTree();
    void setup_keypad();
    void setup_listSelectsFirstRowWithoutScrolling();
    void setup_menuAndRussianTexts();
    void setup_detailViewAndInformationBox();
    void setup_keypadFollowsTheSetting();
    void emptyCatalogue_isNoFailure();
    void destructionWithoutSetupIsSafe();
    void aboutBox_showsThreeLines();
    void darkLook_leavesNoLightArea();
    void kineticScrolling_searchJumpStopsAFlick();

private:
    vsMainWindow *makeWindow(const QByteArray &catalogue);
    QTranslator translator;
    QScopedPointer<QTemporaryDir> dataDir;
    QScopedPointer<vsMainWindow> window;
};

void tst_MainWindow::initTestCase()
{
    vsTest::isolateSettings();
    // An English system locale: the texts must still come out in Russian.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(translator.load(QStringLiteral(":/languages/Vestrion_ru"), QString(), QString(), QString()));
    QCoreApplication::installTranslator(&translator);
}

void tst_MainWindow::init()
{
    window.reset();
    QSettings().remove(QStringLiteral("keyboard-status"));
}

vsMainWindow *tst_MainWindow::makeWindow(const QByteArray &catalogue)
{
    dataDir.reset(new QTemporaryDir);
    if (!catalogue.isNull())
        vsTest::writeCatalogue(dataDir->path(), QStringLiteral("starter.vdb"), catalogue);
    window.reset(new vsMainWindow);
    window->setDataFolder(dataDir->path());
    return window->setup() ? window.data() : nullptr;
}

void tst_MainWindow::setup_buildsTheWidgetTree()
{
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Vestrion"));
    QVERIFY(hasBlackWindowBrush(w));

    QWidget *central = w->centralWidget();
    QVERIFY(central);
    QVERIFY(hasBlackWindowBrush(central));
    auto *mainLayout = qobject_cast<QVBoxLayout *>(central->layout());
    checkMargins(mainLayout, QMargins(5, 5, 5, 5), 5);
    auto *listView = w->findChild<QListView *>(QStringLiteral("listView"));
    auto *keypad = w->findChild<QWidget *>(QStringLiteral("keypadWidget"));
    QVERIFY(listView && keypad);
    QCOMPARE(mainLayout->count(), 2);
    QCOMPARE(mainLayout->itemAt(0)->widget(), listView);
    QCOMPARE(mainLayout->itemAt(1)->widget(), keypad);
    QCOMPARE(mainLayout->stretch(0), 1);
    QCOMPARE(mainLayout->stretch(1), 0);
    QCOMPARE(listView->parentWidget(), central);
    QCOMPARE(keypad->parentWidget(), central);
    QCOMPARE(keypad->contentsMargins(), QMargins(0, 0, 0, 0));

    // The list.
    QCOMPARE(listView->model()->rowCount(), 21);
    QVERIFY(qobject_cast<vsDataDelegate *>(listView->itemDelegate()));
    QCOMPARE(listView->resizeMode(), QListView::Adjust);
    QVERIFY(listView->uniformItemSizes());
    QCOMPARE(listView->focusPolicy(), Qt::NoFocus);
    QCOMPARE(listView->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(listView->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(hasBlackWindowBrush(listView));
    // The model is the window's child and goes with it.
    QCOMPARE(qobject_cast<vsDataModel *>(listView->model())->parent(), w);
}

void tst_MainWindow::setup_keypad()
{
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    auto *keypad = w->findChild<QWidget *>(QStringLiteral("keypadWidget"));
    auto *keypadLayout = qobject_cast<QVBoxLayout *>(keypad->layout());
    checkMargins(keypadLayout, QMargins(1, 0, 1, 0), 5);
    QCOMPARE(keypadLayout->count(), 2);
    auto *row1 = qobject_cast<QHBoxLayout *>(keypadLayout->itemAt(0)->layout());
    auto *row2 = qobject_cast<QHBoxLayout *>(keypadLayout->itemAt(1)->layout());
    checkMargins(row1, QMargins(0, 0, 0, 0), 2);
    checkMargins(row2, QMargins(0, 0, 0, 0), 2);

    const QStringList texts = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "<"};
    const QList<QToolButton *> buttons =
        keypad->findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(buttons.size(), 11);
    // Before any resize all eleven stand in the first row, in order.
    QCOMPARE(row1->count(), 11);
    QCOMPARE(row2->count(), 0);
    for (int i = 0; i < 11; ++i) {
        auto *button = qobject_cast<QToolButton *>(row1->itemAt(i)->widget());
        QVERIFY(button);
        QCOMPARE(button->text(), texts.at(i));
        QCOMPARE(button->minimumHeight(), 60);
        QCOMPARE(button->maximumHeight(), 60);
        QCOMPARE(button->minimumWidth(), 70);
        QCOMPARE(button->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(button->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QCOMPARE(button->styleSheet(), keypadStyle);
    }
}

void tst_MainWindow::setup_listSelectsFirstRowWithoutScrolling()
{
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    auto *listView = w->findChild<QListView *>(QStringLiteral("listView"));
    const QModelIndexList selected = listView->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 0);
    QVERIFY(!listView->currentIndex().isValid());
    w->resize(800, 480);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(listView->verticalScrollBar()->value(), 0);
    QVERIFY(!listView->hasFocus());
    QCOMPARE(listView->indexAt(QPoint(10, 35)).row(), 0);
}

void tst_MainWindow::setup_menuAndRussianTexts()
{
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    const QList<QAction *> actions = w->menuBar()->actions();
    QCOMPARE(actions.size(), 6);
    QCOMPARE(actions.at(0)->text(), QStringLiteral("Клавиатура вкл"));
    QCOMPARE(actions.at(1)->text(), QStringLiteral("Клавиатура выкл"));
    QCOMPARE(actions.at(2)->text(), QStringLiteral("Поиск по названию"));
    QCOMPARE(actions.at(3)->text(), QStringLiteral("Прочитать состав"));
    QCOMPARE(actions.at(4)->text(), QStringLiteral("Мои ограничения"));
    QCOMPARE(actions.at(5)->text(), QStringLiteral("О программе"));
    QVERIFY(actions.at(0)->isCheckable() && actions.at(1)->isCheckable());
    for (int i = 2; i < 6; ++i) {
        QVERIFY(!actions.at(i)->isCheckable());
        QCOMPARE(actions.at(i)->parent(), w);
    }
    QActionGroup *group = actions.at(0)->actionGroup();
    QVERIFY(group && group->isExclusive());
    QCOMPARE(actions.at(1)->actionGroup(), group);

    auto *label = w->findChild<QLabel *>(QStringLiteral("searchLabel"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Поиск []"));
    QCOMPARE(label->font().family(), QStringLiteral("Nokia Sans"));
    QCOMPARE(label->font().pointSize(), 14);
    QVERIFY(!label->font().italic());
    QCOMPARE(label->font().weight(), int(QFont::Normal));

    // Choosing the checked entry again leaves it checked.
    QVERIFY(actions.at(1)->isChecked());
    actions.at(1)->trigger();
    QVERIFY(actions.at(1)->isChecked());
    QVERIFY(!actions.at(0)->isChecked());
    actions.at(0)->trigger();
    QVERIFY(actions.at(0)->isChecked());
    QVERIFY(!actions.at(1)->isChecked());
}

void tst_MainWindow::setup_detailViewAndInformationBox()
{
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    auto *display = w->findChild<vsDataDisplay *>(QStringLiteral("dataDisplay"));
    QVERIFY(display);
    QCOMPARE(display->parentWidget(), w);
    QVERIFY(display->isWindow());
    QVERIFY(display->autoFillBackground());
    QVERIFY(vsPlatform::testWindowAttribute(display, vsPlatform::StackedWindow));
    QVERIFY(!vsPlatform::testWindowAttribute(display, vsPlatform::PortraitOrientation));
    QVERIFY(display->isHidden());
    QCOMPARE(display->windowTitle(), QStringLiteral("Vestrion"));
    // createWidgets ran: the page is there.
    QVERIFY(display->findChild<QWidget *>(QStringLiteral("contentWidget")));

    auto *box = w->findChild<vsInformationBox *>();
    QVERIFY(box);
    QCOMPARE(box->parentWidget(), w);
    QCOMPARE(box->timeout(), 1000);
    QCOMPARE(box->widget(), w->findChild<QLabel *>(QStringLiteral("searchLabel")));
    QVERIFY(!box->isVisible());
}

void tst_MainWindow::setup_keypadFollowsTheSetting()
{
    QSettings().setValue(QStringLiteral("keyboard-status"), QStringLiteral("on"));
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    auto *keypad = w->findChild<QWidget *>(QStringLiteral("keypadWidget"));
    QVERIFY(w->findChild<QAction *>(QStringLiteral("keyboardOnAction"))->isChecked());
    QVERIFY(!keypad->isHidden());

    window.reset();
    QCOMPARE(QSettings().value(QStringLiteral("keyboard-status")).toString(), QStringLiteral("on"));
    QSettings().setValue(QStringLiteral("keyboard-status"), QStringLiteral("On"));
    w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    QVERIFY(w->findChild<QAction *>(QStringLiteral("keyboardOffAction"))->isChecked());
    QVERIFY(w->findChild<QWidget *>(QStringLiteral("keypadWidget"))->isHidden());
}

void tst_MainWindow::emptyCatalogue_isNoFailure()
{
    vsMainWindow *w = makeWindow(QByteArray());
    QVERIFY(w);
    auto *listView = w->findChild<QListView *>(QStringLiteral("listView"));
    QCOMPARE(listView->model()->rowCount(), 0);
    QVERIFY(listView->selectionModel()->selectedIndexes().isEmpty());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Keys and digits on an empty list change nothing and do not crash.
    QTest::keyClick(w, Qt::Key_1);
    QTest::keyClick(w, Qt::Key_Down);
    QTest::keyClick(w, Qt::Key_Enter);
    QVERIFY(listView->selectionModel()->selectedIndexes().isEmpty());
}

void tst_MainWindow::destructionWithoutSetupIsSafe()
{
    QSettings().setValue(QStringLiteral("keyboard-status"), QStringLiteral("on"));
    {
        vsMainWindow unbuilt;
        unbuilt.resize(480, 800); // a resize before setup must not touch the missing keypad
    }
    // The stored choice is written back, not lost.
    QCOMPARE(QSettings().value(QStringLiteral("keyboard-status")).toString(), QStringLiteral("on"));
}

void tst_MainWindow::aboutBox_showsThreeLines()
{
    vsMainWindow *w = makeWindow(vsTest::starterDocument());
    QVERIFY(w);
    QString title;
    QString text;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    w->findChild<QAction *>(QStringLiteral("aboutAction"))->trigger();
    QCOMPARE(title, QStringLiteral("О программе Vestrion"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith(QLatin1String("Vestrion ")));
    QVERIFY(lines.at(2).contains(QLatin1String("Morvane")));
}

void tst_MainWindow::darkLook_leavesNoLightArea()
{
    const QPalette original = QApplication::palette();
    vsPlatform::applyDarkLook();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(original); });

    // One entry: most of the list is empty.
    vsMainWindow *w =
        makeWindow(vsTest::document({QStringLiteral(R"(type="additive" code="E100" names="A")")}));
    QVERIFY(w);
    w->resize(800, 480);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto *list = w->findChild<QListView *>(QStringLiteral("listView"));
    const QImage listImage = list->viewport()->grab().toImage();
    const QRect empty(0, listImage.height() - 40, listImage.width(), 40);
    QCOMPARE(meanLightness(listImage.copy(empty)), 0);

    // The menu bar: dark, with light text.
    QMenuBar *menu = w->menuBar();
    QVERIFY(meanLightness(menu->grab().toImage()) < 64);
    QVERIFY(menu->palette().color(QPalette::ButtonText).lightness() > 192);
    // The keypad's buttons outside the style sheet's states.
    QToolButton *button = w->findChild<QToolButton *>(QStringLiteral("keypadButton_1"));
    QPalette inactive = button->palette();
    inactive.setCurrentColorGroup(QPalette::Inactive);
    QVERIFY(inactive.color(QPalette::Button).lightness() < 64);

    // The detail page's scroll bar, shown by a long entry.
    auto *detail = w->findChild<vsDataDisplay *>(QStringLiteral("dataDisplay"));
    QScrollBar *bar = detail->verticalScrollBar();
    bar->resize(16, 400);
    QVERIFY(meanLightness(bar->grab().toImage()) < 80);

    // The About box.
    int aboutLightness = -1;
    QTimer::singleShot(0, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            aboutLightness = meanLightness(box->grab().toImage());
            box->accept();
        }
    });
    w->findChild<QAction *>(QStringLiteral("aboutAction"))->trigger();
    QVERIFY(aboutLightness >= 0 && aboutLightness < 64);
}

void tst_MainWindow::kineticScrolling_searchJumpStopsAFlick()
{
    QStringList items;
    for (int code = 100; code < 200; ++code)
        items << QStringLiteral(R"(type="additive" code="E%1" names="N")").arg(code);
    vsMainWindow *w = makeWindow(vsTest::document(items));
    QVERIFY(w);
    w->resize(800, 480);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto *list = w->findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(QScroller::hasScroller(list->viewport()));
    QScroller *scroller = QScroller::scroller(list->viewport());

    // A slow flick towards the end, then a code: the list stays at the match.
    scroller->scrollTo(QPointF(0, list->verticalScrollBar()->maximum()), 5000);
    QTRY_COMPARE(scroller->state(), QScroller::Scrolling);
    w->onNumberClicked(QStringLiteral("1"));
    w->onNumberClicked(QStringLiteral("2"));
    w->onNumberClicked(QStringLiteral("0"));
    QCOMPARE(scroller->state(), QScroller::Inactive);
    const int top = list->indexAt(QPoint(10, 1)).row();
    QTest::qWait(200);
    QCOMPARE(list->indexAt(QPoint(10, 1)).row(), top);
    QCOMPARE(list->indexAt(QPoint(10, 1)).data(vsDataModel::CodeRole).toString(), QStringLiteral("E120"));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
