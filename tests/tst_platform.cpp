// The desktop stand-ins for the handheld's window services: the information
// banner, the window-stack and orientation attributes, the slide file path.

#include "platform/vsdevice.h"
#include "platform/vsinformationbox.h"
#include "platform/vslook.h"
#include "platform/vswindowstack.h"

#include <QLabel>
#include <QPointer>
#include <QResizeEvent>
#include <QTranslator>
#include <QtTest>

#include <algorithm>

namespace {
class ResizeCounter : public QWidget
{
public:
    int resizes = 0;
    QSize lastSize;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        ++resizes;
        lastSize = event->size();
        QWidget::resizeEvent(event);
    }
};
} // namespace

class tst_Platform : public QObject
{
    Q_OBJECT

private slots:
    void informationBox_showsOverTheTopOfItsWindow();
    void informationBox_hidesAfterItsTimeout();
    void informationBox_hideAtOnceKeepsContent();
    void attributes_areOurOwnNotQtOnes();
    void stackedWindow_coversItsParent();
    void orientationLock_turnsTheWindow();
    void slideStatePath_defaultAndOverride();
    void toolkitTranslation_dialogsMenusAndButtonsInRussian();
};

void tst_Platform::informationBox_showsOverTheTopOfItsWindow()
{
    QWidget window;
    window.setGeometry(100, 50, 800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    vsInformationBox box(&window);
    auto *label = new QLabel(QStringLiteral("Search [12]"));
    box.setWidget(label);
    QCOMPARE(label->parentWidget(), &box);
    QCOMPARE(box.widget(), label);
    QVERIFY(!box.isVisible());

    box.setTimeout(5000);
    box.setVisible(true);
    QVERIFY(box.isVisible());
    QVERIFY(label->isVisible());
    QCOMPARE(box.geometry().topLeft(), window.geometry().topLeft());
    QCOMPARE(box.width(), window.width());
    QVERIFY(box.height() < window.height());
    // The banner never takes the keyboard from the window.
    QVERIFY(box.testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(box.focusPolicy(), Qt::NoFocus);
}

void tst_Platform::informationBox_hidesAfterItsTimeout()
{
    QWidget window;
    window.resize(800, 480);
    vsInformationBox box(&window);
    box.setWidget(new QLabel(QStringLiteral("x")));

    box.setTimeout(100);
    QCOMPARE(box.timeout(), 100);
    box.setVisible(true);
    QVERIFY(box.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!box.isVisible(), 3000);

    // A timeout set while shown restarts the count with the new value.
    box.setTimeout(60000);
    box.setVisible(true);
    QTest::qWait(50);
    QVERIFY(box.isVisible());
    box.setTimeout(10);
    QTRY_VERIFY_WITH_TIMEOUT(!box.isVisible(), 1000);

    // Showing again restarts the count.
    box.setTimeout(200);
    box.setVisible(true);
    QVERIFY(box.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!box.isVisible(), 3000);
}

void tst_Platform::informationBox_hideAtOnceKeepsContent()
{
    QWidget window;
    QPointer<QLabel> label = new QLabel(QStringLiteral("x"));
    {
        vsInformationBox box(&window);
        box.setWidget(label);
        box.setTimeout(60000);
        box.setVisible(true);
        box.setVisible(false);
        QVERIFY(!box.isVisible());
        QVERIFY(!label.isNull());
        // A stopped timer must not bring it back or hide it later: show, wait, still shown.
        box.setTimeout(300);
        box.setVisible(true);
        QVERIFY(box.isVisible());
        box.setVisible(false);
        QTest::qWait(400);
        QVERIFY(!box.isVisible());
        QVERIFY(!label.isNull());
    }
    // The box owned the label as its content; it goes with the box.
    QVERIFY(label.isNull());
}

void tst_Platform::attributes_areOurOwnNotQtOnes()
{
    QWidget window;
    const vsPlatform::WindowAttribute all[] = {vsPlatform::StackedWindow, vsPlatform::PortraitOrientation,
                                               vsPlatform::LandscapeOrientation};
    for (vsPlatform::WindowAttribute attribute : all) {
        QVERIFY(!vsPlatform::testWindowAttribute(&window, attribute));
        vsPlatform::setWindowAttribute(&window, attribute, true);
        QVERIFY(vsPlatform::testWindowAttribute(&window, attribute));
        // 127-129 are WA_MacNoShadow, WA_AlwaysStackOnTop and WA_TabletTracking in Qt 5.
        QVERIFY(!window.testAttribute(Qt::WidgetAttribute(int(attribute))));
        vsPlatform::setWindowAttribute(&window, attribute, false);
        QVERIFY(!vsPlatform::testWindowAttribute(&window, attribute));
    }
    QCOMPARE(int(vsPlatform::StackedWindow), 127);
    QCOMPARE(int(vsPlatform::PortraitOrientation), 128);
    QCOMPARE(int(vsPlatform::LandscapeOrientation), 129);
    QVERIFY(!vsPlatform::testWindowAttribute(nullptr, vsPlatform::StackedWindow));
    vsPlatform::setWindowAttribute(nullptr, vsPlatform::StackedWindow, true); // no crash
}

void tst_Platform::stackedWindow_coversItsParent()
{
    QWidget window;
    window.setGeometry(40, 30, 800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *stacked = new QWidget(&window);
    vsPlatform::setWindowAttribute(stacked, vsPlatform::StackedWindow, true);
    stacked->setWindowFlags(stacked->windowFlags() | Qt::Window);
    stacked->resize(200, 100);
    stacked->show();
    QTRY_COMPARE(stacked->geometry(), window.geometry());
    // Shrinking it, as adjustSize does, does not uncover the stack.
    stacked->resize(300, 200);
    QTRY_COMPARE(stacked->geometry(), window.geometry());
    stacked->hide();

    // A window without the attribute keeps its own geometry.
    auto *plain = new QWidget(&window, Qt::Window);
    plain->resize(200, 100);
    plain->show();
    QVERIFY(QTest::qWaitForWindowExposed(plain));
    QCOMPARE(plain->size(), QSize(200, 100));
}

void tst_Platform::orientationLock_turnsTheWindow()
{
    ResizeCounter window;
    window.resize(800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int before = window.resizes;

    vsPlatform::setWindowAttribute(&window, vsPlatform::PortraitOrientation, true);
    QTRY_COMPARE(window.size(), QSize(480, 800));
    QTRY_VERIFY(window.resizes > before);
    QCOMPARE(window.lastSize, QSize(480, 800));

    // Locking to the shape it already has changes nothing.
    const int portraitResizes = window.resizes;
    vsPlatform::setWindowAttribute(&window, vsPlatform::PortraitOrientation, true);
    QTest::qWait(20);
    QCOMPARE(window.resizes, portraitResizes);

    vsPlatform::setWindowAttribute(&window, vsPlatform::PortraitOrientation, false);
    vsPlatform::setWindowAttribute(&window, vsPlatform::LandscapeOrientation, true);
    QTRY_COMPARE(window.size(), QSize(800, 480));
    QCOMPARE(window.lastSize, QSize(800, 480));
}

void tst_Platform::slideStatePath_defaultAndOverride()
{
    QCOMPARE(vsPlatform::slideStateFilePath(),
             QStringLiteral("/sys/devices/platform/gpio-switch/slide/state"));
    vsPlatform::setSlideStateFilePath(QStringLiteral("/tmp/slide"));
    QCOMPARE(vsPlatform::slideStateFilePath(), QStringLiteral("/tmp/slide"));
    vsPlatform::setSlideStateFilePath(QString());
    QCOMPARE(vsPlatform::slideStateFilePath(),
             QStringLiteral("/sys/devices/platform/gpio-switch/slide/state"));
    QCOMPARE(QString::fromLatin1(vsPlatform::systemFontFamily), QStringLiteral("Nokia Sans"));
}

void tst_Platform::toolkitTranslation_dialogsMenusAndButtonsInRussian()
{
    QTranslator translator;
    QVERIFY2(vsPlatform::loadToolkitTranslation(&translator),
             "qtbase_ru is missing from the toolkit's translations (Debian package qttranslations5-l10n)");
    QVERIFY(QCoreApplication::installTranslator(&translator));
    const auto cyrillic = [](const char *context, const char *text) {
        const QString shown = QCoreApplication::translate(context, text);
        return std::any_of(shown.begin(), shown.end(),
                           [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
    };
    // The picture dialog, the fields' context menus, the standard buttons.
    QVERIFY(cyrillic("QFileDialog", "Look in:"));
    QVERIFY(cyrillic("QFileDialog", "File &name:"));
    QVERIFY(cyrillic("QLineEdit", "&Undo"));
    QVERIFY(cyrillic("QWidgetTextControl", "&Paste"));
    QVERIFY(cyrillic("QPlatformTheme", "Cancel"));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(tst_Platform)
#include "tst_platform.moc"
