// What a screen reader hears: rows in words, names for the keypad's sign and
// the fields, result counts and the end of a picture's reading announced.
// In process through the toolkit's interfaces (offscreen has no bridge, so
// no events there), then the real program read and listened to over AT-SPI
// on a private X server, as Orca does.

#include "labelset.h"
#include "testsupport.h"

#include "catalogue/vsdatamodel.h"
#include "detail/vsdatadisplay.h"
#include "label/vslabelreader.h"
#include "label/vsocr.h"
#include "mainwindow/vsmainwindow.h"
#include "restrictions/vsrestrictions.h"
#include "restrictions/vsrestrictionswindow.h"
#include "search/vsnamesearch.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include <algorithm>

namespace {
// E102 as the bundled catalogue has it, with the row a reader should hear.
const QString tartrazine = QStringLiteral(
    R"(type="additive" code="E102" group="Красители" names="Тартразин:Tartrazine" functions="colour:Краситель" )"
    R"(sources="synthetic:Синтетический азокраситель" status="eu:Разрешён в ЕС" )"
    R"(safety="2:Обязательное предупреждение в ЕС — может отрицательно влиять на активность и внимание у детей")");
const QString tartrazineRow = QStringLiteral("E102, Тартразин, Краситель, Обязательное предупреждение в ЕС — "
                                             "может отрицательно влиять на активность и внимание у детей");
const QString citricAcid = QStringLiteral(R"(type="additive" code="E330" group="Антиоксиданты" )"
                                          R"(names="Лимонная кислота:Citric acid" safety="0:Разрешён в ЕС")");
// With diet facts, as the bundled catalogue has them.
const QStringList restrictedItems = {
    QStringLiteral(R"(type="additive" code="E120" names="Кармин:Carmine" vegetarian="no:из насекомых" )"
                   R"(vegan="no:из насекомых")"),
    QStringLiteral(R"(type="additive" code="E330" names="Лимонная кислота:Citric acid" vegetarian="yes" )"
                   R"(vegan="yes")"),
    QStringLiteral(R"(type="additive" code="E223" names="Пиросульфит натрия" vegetarian="yes" vegan="yes")"),
    QStringLiteral(
        R"(type="additive" code="E471" names="Моно- и диглицериды" )"
        R"(vegetarian="maybe:может быть из животного жира" vegan="maybe:может быть из животного жира")")};

QListView *list(const vsMainWindow &window)
{
    return window.findChild<QListView *>(QStringLiteral("listView"));
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<none>");
}

// One object of the tree the AT-SPI reader prints.
struct Node
{
    QString role;
    QString name;
    QString description;
    bool invisible = false;
};
} // namespace

class tst_Accessibility : public QObject, vsTest::XSession
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void rowsSayWhatTheyShow();
    void namesAndAnnouncementsInTheWindows();
    void restrictionsSaidWithTheAdditives();
    void screenReaderReadsTheRunningProgram();
    void screenReaderHearsTheRestrictions();

private:
    // Starts the private X server and desktop bus once; empty when they run,
    // or why they cannot.
    QString desktopReady();
    QProcessEnvironment readerEnvironment() const;
    QList<Node> readTree();
    // Starts the listener for what the program announces; true once it listens.
    bool listen(QByteArray *heard);
    QTranslator translator;
    QProcess server;
    QProcess listener; // stopped after each test
};

void tst_Accessibility::initTestCase()
{
    vsTest::isolateSettings();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(translator.load(QStringLiteral(":/languages/Vestrion_ru"), QString(), QString(), QString()));
    QCoreApplication::installTranslator(&translator);
}

void tst_Accessibility::cleanupTestCase()
{
    stopProgram();
    stopDesktopBus();
    stopServer(server);
}

void tst_Accessibility::cleanup()
{
    listener.kill();
    listener.waitForFinished(5000);
}

void tst_Accessibility::rowsSayWhatTheyShow()
{
    const auto entry = [](std::initializer_list<std::pair<const char *, const char *>> attributes) {
        vsEntry made;
        for (const auto &attribute : attributes)
            made.insert(QString::fromUtf8(attribute.first), QString::fromUtf8(attribute.second));
        return made;
    };
    vsDataModel model;
    model.appendEntries({entry({{"type", "header"}, {"code", "Красители"}}),
                         entry({{"code", "E102"},
                                {"names", "Тартразин:Tartrazine"},
                                {"functions", "colour:Краситель:dye"},
                                {"safety", "2:Обязательное предупреждение:more"}}),
                         // Missing pieces leave no empty gaps between commas.
                         entry({{"code", "E999"}, {"functions", "colour"}, {"safety", "1:Предупреждение"}}),
                         entry({})});
    const auto spoken = [&](int row) { return model.index(row).data(Qt::AccessibleTextRole).toString(); };
    QCOMPARE(spoken(0), QStringLiteral("Группа: Красители"));
    QCOMPARE(spoken(1), QStringLiteral("E102, Тартразин, Краситель, Обязательное предупреждение"));
    QCOMPARE(spoken(2), QStringLiteral("E999, Предупреждение"));
    QCOMPARE(spoken(3), QString());
    // The roles the row painter and the windows read are as they were.
    QCOMPARE(model.index(1).data(Qt::DisplayRole).toString(), QStringLiteral("E102"));
    QVERIFY(!model.index(1).data(Qt::ToolTipRole).isValid());
    QVERIFY(!model.index(4).data(Qt::AccessibleTextRole).isValid());

    // A list view hands the text to a reader as the row's name.
    QListView view;
    view.setModel(&model);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&view);
    QVERIFY(list && list->tableInterface());
    QCOMPARE(list->tableInterface()->cellAt(1, 0)->text(QAccessible::Name), spoken(1));
}

void tst_Accessibility::namesAndAnnouncementsInTheWindows()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    QVERIFY(!vsTest::writeCatalogue(data.path(), QStringLiteral("test.vdb"),
                                    vsTest::document({QStringLiteral(R"(type="header" code="Красители")"),
                                                      tartrazine, citricAcid}))
                 .isEmpty());
    vsMainWindow window;
    window.setDataFolder(data.path());
    QVERIFY(window.setup());
    window.resize(800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The main list's row, and the keypad's sign in words.
    auto *list = window.findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(list);
    QCOMPARE(
        QAccessible::queryAccessibleInterface(list)->tableInterface()->cellAt(1, 0)->text(QAccessible::Name),
        tartrazineRow);
    auto *erase = window.findChild<QToolButton *>(QStringLiteral("keypadButton_<"));
    QVERIFY(erase);
    QCOMPARE(erase->text(), QStringLiteral("<"));
    QCOMPARE(accessibleName(erase), QStringLiteral("Стереть"));

    // The detail window: one text for the heading, the name cell not heard
    // twice, each section's icon named by its title.
    auto *detail = window.findChild<vsDataDisplay *>(QStringLiteral("dataDisplay"));
    QVERIFY(detail);
    detail->showData(list->model()->index(1, 0));
    QCOMPARE(accessibleName(detail->findChild<QLabel *>(QStringLiteral("codeLabel"))),
             QStringLiteral("E102, Тартразин, Красители"));
    QAccessibleInterface *nameCell =
        QAccessible::queryAccessibleInterface(detail->findChild<QLabel *>(QStringLiteral("nameLabel")));
    QVERIFY(nameCell->state().invisible && nameCell->text(QAccessible::Name).isEmpty());
    const QPair<const char *, const char *> icons[] = {{"safetyIconLabel", "Безопасность"},
                                                       {"statusIconLabel", "Статус"},
                                                       {"productsIconLabel", "Использование"}};
    for (const auto &icon : icons)
        QCOMPARE(accessibleName(detail->findChild<QLabel *>(QLatin1String(icon.first))),
                 QString::fromUtf8(icon.second));
    detail->showData(list->model()->index(2, 0));
    QCOMPARE(accessibleName(detail->findChild<QLabel *>(QStringLiteral("codeLabel"))),
             QStringLiteral("E330, Лимонная кислота, Антиоксиданты"));

    // Name search: the field has a name, and each change of the results is
    // told in words.
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    auto *search = window.findChild<vsNameSearch *>(QStringLiteral("nameSearch"));
    QVERIFY(search);
    auto *query = search->findChild<QLineEdit *>(QStringLiteral("queryEdit"));
    auto *found = search->findChild<QListView *>(QStringLiteral("resultView"));
    QVERIFY(query && found);
    QCOMPARE(accessibleName(query), QStringLiteral("Поиск по названию"));
    QTest::keyClicks(query, QStringLiteral("tartr"));
    QCOMPARE(found->accessibleDescription(), QStringLiteral("Найдено: 1"));
    QCOMPARE(
        QAccessible::queryAccessibleInterface(found)->tableInterface()->cellAt(0, 0)->text(QAccessible::Name),
        tartrazineRow);
    query->clear();
    QCOMPARE(found->accessibleDescription(), QStringLiteral("Найдено: 0"));
    search->close();

    // The label reader likewise, and the end of a picture's reading is said
    // in the field, which has the keyboard again.
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    auto *reader = window.findChild<vsLabelReader *>(QStringLiteral("labelReader"));
    QVERIFY(reader);
    auto *edit = reader->findChild<QPlainTextEdit *>(QStringLiteral("labelEdit"));
    auto *additives = reader->findChild<QListView *>(QStringLiteral("additiveView"));
    QVERIFY(edit && additives);
    QCOMPARE(accessibleName(edit), QStringLiteral("Состав продукта"));
    edit->setPlainText(QStringLiteral("Сахар, лимонная кислота, краситель E102."));
    QCOMPARE(additives->accessibleDescription(), QStringLiteral("Найдено: 2"));

#ifndef VESTRION_SANITIZE
    // A picture read: said once it is, and its additives counted.
    vsOcr::setModulePath(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"));
    reader->onReadImage(vsLabelSet::render(QStringLiteral("Состав: вода, кислота лимонная."), 1300, 0, 0));
    QVERIFY(edit->accessibleDescription().isEmpty());
    VS_TRY_VERIFY(!edit->accessibleDescription().isEmpty(), 15000);
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Снимок прочитан"));
    QCOMPARE(additives->accessibleDescription(), QStringLiteral("Найдено: 1"));
#else
    // The OCR engine is not run under the sanitizers; without its module the
    // reading ends at once, in words.
    vsOcr::setModulePath(QStringLiteral("/nonexistent/libvestrion-ocr.so"));
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::white);
    reader->onReadImage(picture);
    QVERIFY(edit->accessibleDescription().isEmpty());
    VS_TRY_VERIFY(!edit->accessibleDescription().isEmpty(), 10000);
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Снимки здесь не читаются"));
#endif
    reader->close();
}

void tst_Accessibility::restrictionsSaidWithTheAdditives()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    QVERIFY(
        !vsTest::writeCatalogue(data.path(), QStringLiteral("test.vdb"), vsTest::document(restrictedItems))
             .isEmpty());
    QSettings().setValue(QStringLiteral("restrictions/diet"), QStringLiteral("vegan"));
    QSettings().setValue(QStringLiteral("restrictions/groups"), QStringLiteral("sulphites"));
    const auto forget = qScopeGuard([] { QSettings().remove(QStringLiteral("restrictions")); });
    vsMainWindow window;
    window.setDataFolder(data.path());
    QVERIFY(window.setup());
    window.resize(800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The reader's line over the additives, and the list's description, name
    // what conflicts and why, in the order read; a row says its reason.
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    auto *reader = window.findChild<vsLabelReader *>(QStringLiteral("labelReader"));
    QVERIFY(reader);
    auto *edit = reader->findChild<QPlainTextEdit *>(QStringLiteral("labelEdit"));
    auto *additives = reader->findChild<QListView *>(QStringLiteral("additiveView"));
    auto *summary = reader->findChild<QLabel *>(QStringLiteral("restrictionSummary"));
    QVERIFY(edit && additives && summary);
    edit->setPlainText(QStringLiteral("Кармин, лимонная кислота, E223, E471."));
    const QString both = QStringLiteral("Не подходят 2 из 4: E120 — не для веганов, E223 — сульфиты. "
                                        "Под вопросом: E471 — возможно, не для веганов");
    QCOMPARE(summary->text(), both);
    QVERIFY(summary->isVisible());
    QCOMPARE(additives->accessibleDescription(), QStringLiteral("Найдено: 4. ") + both);
    QAccessibleTableInterface *rows = QAccessible::queryAccessibleInterface(additives)->tableInterface();
    QCOMPARE(rows->cellAt(0, 0)->text(QAccessible::Name),
             QStringLiteral("E120, Кармин, Не для веганов: из насекомых"));
    QCOMPARE(rows->cellAt(2, 0)->text(QAccessible::Name),
             QStringLiteral("E223, Пиросульфит натрия, В вашем списке: сульфиты"));

    // Changed in "My restrictions", the reader follows at once.
    window.findChild<QAction *>(QStringLiteral("restrictionsAction"))->trigger();
    auto *restrictionsWindow = window.findChild<vsRestrictionsWindow *>(QStringLiteral("restrictionsWindow"));
    QVERIFY(restrictionsWindow && restrictionsWindow->isVisible());
    auto *noDiet = restrictionsWindow->findChild<QRadioButton *>(QStringLiteral("diet0"));
    auto *sulphites = restrictionsWindow->findChild<QCheckBox *>(QStringLiteral("group_sulphites"));
    QVERIFY(noDiet && sulphites && sulphites->isChecked());
    QCOMPARE(noDiet->text(), QStringLiteral("Без ограничений"));
    QTest::mouseClick(noDiet, Qt::LeftButton);
    QCOMPARE(summary->text(), QStringLiteral("Не подходит 1 из 4: E223 — сульфиты"));
    QCOMPARE(additives->accessibleDescription(),
             QStringLiteral("Найдено: 4. Не подходит 1 из 4: E223 — сульфиты"));
    sulphites->click();
    QCOMPARE(summary->text(), QString());
    QVERIFY(summary->isHidden());
    QCOMPARE(additives->accessibleDescription(), QStringLiteral("Найдено: 4"));
    QCOMPARE(rows->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("E120, Кармин"));
    restrictionsWindow->findChild<QRadioButton *>(QStringLiteral("diet2"))->click();
    edit->setPlainText(QStringLiteral("Лимонная кислота"));
    QCOMPARE(summary->text(), QStringLiteral("Всё подходит"));

    // An additive added in its detail window is listed in the open window by
    // code and name; taken off there, it stays, unchecked, until it opens again.
    auto *none = restrictionsWindow->findChild<QLabel *>(QStringLiteral("noAdditives"));
    QVERIFY(none && none->isVisible());
    window.onShowData(list(window)->model()->index(0, 0));
    window.findChild<vsDataDisplay *>()->findChild<QPushButton *>(QStringLiteral("avoidButton"))->click();
    auto *carmine = restrictionsWindow->findChild<QCheckBox *>(QStringLiteral("additive_E120"));
    QVERIFY(carmine && carmine->isChecked() && none->isHidden());
    QCOMPARE(carmine->text(), QStringLiteral("E120 Кармин"));
    edit->setPlainText(QStringLiteral("Кармин"));
    QCOMPARE(summary->text(), QStringLiteral("Не подходит 1 из 1: E120 — не для веганов и в вашем списке"));
    carmine->click();
    QVERIFY(window.findChild<vsRestrictions *>()->additives().isEmpty());
    QVERIFY(!carmine->isChecked());
    QTRY_VERIFY(carmine->isVisible());
    window.findChild<QAction *>(QStringLiteral("restrictionsAction"))->trigger();
    QVERIFY(!restrictionsWindow->findChild<QCheckBox *>(QStringLiteral("additive_E120")));
    QVERIFY(none->isVisible());
}

QProcessEnvironment tst_Accessibility::readerEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress);
    return environment;
}

bool tst_Accessibility::listen(QByteArray *heard)
{
    listener.setProcessEnvironment(readerEnvironment());
    listener.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(VESTRION_TEST_DATA_DIR "/../helpers/atspi-tree.py"),
                    QStringLiteral("--listen"), QStringLiteral("Vestrion")});
    return QTest::qWaitFor([&] { return (*heard += listener.readAllStandardOutput()).contains("ready\n"); },
                           10000);
}

QList<Node> tst_Accessibility::readTree()
{
    QProcess reader;
    reader.setProcessEnvironment(readerEnvironment());
    reader.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(VESTRION_TEST_DATA_DIR "/../helpers/atspi-tree.py"), QStringLiteral("Vestrion")});
    QList<Node> nodes;
    // The reader gives up after 4 s itself; it is read again if need be.
    if (!reader.waitForFinished(5000)) {
        reader.kill();
        reader.waitForFinished(5000);
        return nodes;
    }
    const QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 5)
            nodes << Node{fields.at(1), fields.at(2), fields.at(3),
                          fields.at(4) == QLatin1String("invisible")};
    }
    return nodes;
}

QString tst_Accessibility::desktopReady()
{
    if (!sessionBusAddress.isEmpty())
        return QString();
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return QStringLiteral("Xvfb is not installed (Debian package xvfb)");
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import pyatspi")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return QStringLiteral("pyatspi is missing (Debian package python3-pyatspi)");
    if (xdotool.isEmpty())
        return QStringLiteral("xdotool is missing (Debian package xdotool)");
    QString why;
    if (display.isEmpty())
        display = startServer(server, QStringLiteral("1024x768x24"), &why);
    if (display.isEmpty() || !startDesktopBus(&why))
        return why;
    return QString();
}

void tst_Accessibility::screenReaderReadsTheRunningProgram()
{
    const QString why = desktopReady();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));

    QTemporaryDir home;
    QVERIFY(prepareHome(home, {QStringLiteral(R"(type="header" code="Красители")"), tartrazine, citricAcid}));
    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());

    QList<Node> tree;
    const auto shows = [&](const QString &role, const QString &name, const QString &description = QString()) {
        for (const Node &node : qAsConst(tree)) {
            if ((role.isEmpty() || node.role == role) && (name.isEmpty() || node.name == name) &&
                (description.isEmpty() || node.description == description))
                return true;
        }
        return false;
    };
    const auto dump = [&] {
        QStringList lines;
        for (const Node &node : qAsConst(tree))
            lines << node.role + QLatin1Char('|') + node.name + QLatin1Char('|') + node.description;
        return lines.join(QLatin1Char('\n')).toUtf8();
    };

    // The main list's rows in words, the keypad's sign by what it does. A
    // read takes under 2 s with the sanitizers on a busy machine; each wait
    // for the tree reads it for 10 s, the last read 5 s at most.
    VS_TRY_VERIFY2((tree = readTree(), shows(QStringLiteral("list item"), tartrazineRow)), dump(), 10000);
    QVERIFY2(shows(QStringLiteral("list item"), QStringLiteral("Группа: Красители")), dump());
    QVERIFY2(shows(QStringLiteral("push button"), QStringLiteral("Стереть")), dump());

    // The detail window of the typed code: the heading as one text, the
    // Safety section's icon, title and text.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("2"),
                      QStringLiteral("KP_Enter")});
    VS_TRY_VERIFY2((tree = readTree(), shows(QString(), QStringLiteral("E102, Тартразин, Красители"))),
                   dump(), 10000);
    QVERIFY2(shows(QStringLiteral("image"), QStringLiteral("Безопасность")), dump());
    QVERIFY2(
        shows(QStringLiteral("label"), QStringLiteral("Обязательное предупреждение в ЕС — может отрицательно "
                                                      "влиять на активность и внимание у детей")),
        dump());
    QStringList windows;
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    VS_TRY_VERIFY(focusOn(windows.first()), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("BackSpace")});
    VS_TRY_COMPARE(visibleWindows().size(), 1, 10000);

    // From here a listener hears what the program announces, as Orca would.
    QByteArray heard;
    QVERIFY2(listen(&heard), "the listener did not start within 10 s");

    // Name search: the named field, and the count of what it found, announced.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+f")});
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    VS_TRY_VERIFY(focusOn(windows.first()), 10000);
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"),
                      QStringLiteral("TARTR")});
    VS_TRY_VERIFY2(
        (tree = readTree(), shows(QStringLiteral("list"), QString(), QStringLiteral("Найдено: 1"))), dump(),
        10000);
    QVERIFY2(shows(QString(), QStringLiteral("Поиск по названию")), dump());
    // "TA" to "TARTR" each find the one entry: every keystroke is told,
    // also when the number stays.
    VS_TRY_VERIFY2((heard += listener.readAllStandardOutput()).count("list\t\tНайдено: 1\n") >= 4,
                   heard.constData(), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Escape")});
    VS_TRY_COMPARE(visibleWindows().size(), 1, 10000);

    // The label reader: its named field, and the additives counted.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+l")});
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    VS_TRY_VERIFY(focusOn(windows.first()), 10000);
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                      QStringLiteral("sugar, e330, e-102.")});
    VS_TRY_VERIFY2(
        (tree = readTree(), shows(QStringLiteral("list"), QString(), QStringLiteral("Найдено: 2"))), dump(),
        10000);
    QVERIFY2(shows(QString(), QStringLiteral("Состав продукта")), dump());
    VS_TRY_VERIFY2((heard += listener.readAllStandardOutput()).contains("list\t\tНайдено: 2\n"),
                   heard.constData(), 10000);
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_Accessibility::screenReaderHearsTheRestrictions()
{
    const QString why = desktopReady();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    stopProgram();
    QTemporaryDir home;
    QVERIFY(prepareHome(home, restrictedItems));
    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    const auto helper = [this](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(readerEnvironment());
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList(QStringLiteral(VESTRION_TEST_DATA_DIR "/../helpers/atspi-tree.py")) +
                          arguments);
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    };
    QList<Node> tree;
    const auto dump = [&] {
        QStringList lines;
        for (const Node &node : qAsConst(tree))
            lines << node.role + QLatin1Char('|') + node.name + QLatin1Char('|') + node.description;
        return lines.join(QLatin1Char('\n')).toUtf8();
    };

    // "My restrictions" from the menu, as a screen reader user reaches it;
    // Down, Down: vegan; Escape closes the window.
    VS_TRY_VERIFY(
        helper({QStringLiteral("--press"), QStringLiteral("Vestrion"), QStringLiteral("Мои ограничения")}),
        60000);
    QStringList windows;
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    VS_TRY_VERIFY(focusOn(windows.first()), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100"),
                      QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Escape")});
    VS_TRY_COMPARE(visibleWindows(), QStringList{mainWindow}, 10000);

    QByteArray heard;
    QVERIFY2(listen(&heard), "the listener did not start within 10 s");

    // A list with carmine and citric acid: the line over the additives names
    // E120, its row says why, and the count announced says so too.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+l")});
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    const QString reader = windows.first();
    VS_TRY_VERIFY(focusOn(reader), 10000);
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                      QStringLiteral("carmine, citric acid")});
    const QString summary = QStringLiteral("Не подходит 1 из 2: E120 — не для веганов");
    VS_TRY_VERIFY2((tree = readTree(), std::any_of(tree.cbegin(), tree.cend(),
                                                   [&](const Node &node) { return node.name == summary; })),
                   dump(), 15000);
    QVERIFY2(std::any_of(tree.cbegin(), tree.cend(),
                         [](const Node &node) {
                             return node.role == QLatin1String("list item") &&
                                    node.name == QStringLiteral("E120, Кармин, Не для веганов: из насекомых");
                         }),
             dump());
    VS_TRY_VERIFY2((heard += listener.readAllStandardOutput())
                       .contains(("list\t\tНайдено: 2. " + summary + "\n").toUtf8()),
                   heard.constData(), 10000);

    // The row is marked in words, not by colour alone: the word's own colour
    // is on the screen, on one row.
    const QImage shot = grabWindow(reader);
    QVERIFY(!shot.isNull());
    QRect word;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y);
            if (qAbs(qRed(p) - 255) < 8 && qAbs(qGreen(p) - 150) < 8 && qAbs(qBlue(p) - 110) < 8)
                word |= QRect(x, y, 1, 1);
        }
    QVERIFY2(!word.isNull() && word.height() < 35,
             qPrintable(QStringLiteral("%1 px high").arg(word.height())));

    // Quit; the choice made in the window is in the store for the next run.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+q")});
    QVERIFY(program.waitForFinished(10000));
    QSettings stored(home.filePath(QStringLiteral("config/Morvane/Vestrion.conf")), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("restrictions/diet")).toString(), QStringLiteral("vegan"));
}

// A GUI application: windows are built in process.
QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
