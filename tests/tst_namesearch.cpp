// The name search: which entries a query finds, in the bundled catalogue and
// at the edges, and the search window driven as a user drives it.

#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "mainwindow/vsmainwindow.h"
#include "search/vsnameindex.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QString entry(const QString &code, const QString &names)
{
    return QStringLiteral(R"(type="additive" code="%1" names="%2" functions="f:Function")").arg(code, names);
}

// Rows: 0 header, 1 E100, 2 E102, 3 E110, 4 E951, 5 E9510, 6 E200, then filler.
QStringList nameCatalogue()
{
    QStringList items{QStringLiteral(R"(type="header" code="Тартразины" names="Тартразин")"),
                      entry(QStringLiteral("E100"), QStringLiteral("Куркумин:Curcumin:Турмерик")),
                      entry(QStringLiteral("E102"), QStringLiteral("Тартразин:Tartrazine")),
                      entry(QStringLiteral("E110"), QStringLiteral("Жёлтый «солнечный закат»:Sunset Yellow")),
                      entry(QStringLiteral("E951"), QStringLiteral("Аспартам:Aspartame")),
                      entry(QStringLiteral("E9510"), QStringLiteral("Ab:cd")),
                      QStringLiteral(R"(type="additive" code="E200")")};
    for (int i = 0; i < 20; ++i)
        items << entry(QStringLiteral("E3%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Наполнитель"));
    return items;
}

QStringList codesOf(const vsDataModel &model, const QVector<int> &rows)
{
    QStringList codes;
    for (const int row : rows)
        codes << model.index(row, 0).data(vsDataModel::CodeRole).toString();
    return codes;
}

vsDataModel *modelOf(const QStringList &items, QObject *parent)
{
    auto *model = new vsDataModel(parent);
    model->appendEntries(vsCatalogueLoader::readDocument(vsTest::document(items)));
    return model;
}
} // namespace

class tst_NameSearch : public QObject, vsTest::WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void match_bundledCatalogue_data();
    void match_bundledCatalogue();
    void match_rules_data();
    void match_rules();
    void match_badInputHasDefinedResults();
    void window_typeOpenReturnAndClose();
};

void tst_NameSearch::initTestCase()
{
    vsTest::isolateWindowTests();
}

void tst_NameSearch::cleanup()
{
    closeWindow();
}

void tst_NameSearch::match_bundledCatalogue_data()
{
    // The first result, the one Enter opens; none for a query that finds nothing.
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("first");
    QTest::newRow("name") << QStringLiteral("тартразин") << QStringLiteral("E102");
    QTest::newRow("two words, е for ё") << QStringLiteral("желтый солнечный") << QStringLiteral("E110");
    QTest::newRow("English, capitals") << QStringLiteral("ASPARTAME") << QStringLiteral("E951");
    QTest::newRow("Cyrillic е code") << QStringLiteral("е330") << QStringLiteral("E330");
    QTest::newRow("nothing") << QStringLiteral("щщщ") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void tst_NameSearch::match_bundledCatalogue()
{
    QFETCH(QString, query);
    QFETCH(QString, first);
    vsDataModel model;
    vsCatalogueLoader::loadFolder(QStringLiteral(VESTRION_BUILD_DIR "/data"), &model);
    QVERIFY(model.rowCount() > 400);
    const vsNameIndex index(&model);
    const QStringList found = codesOf(model, index.match(query));
    QCOMPARE(found.value(0), first);
    QCOMPARE(found.isEmpty(), first.isEmpty());
}

void tst_NameSearch::match_rules_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("codes");
    const QString e100 = QStringLiteral("E100");
    const QString e110 = QStringLiteral("E110");
    QTest::newRow("words in two pieces of one entry")
        << QStringLiteral("турмерик  куркумин") << QStringList{e100};
    QTest::newRow("words of two entries") << QStringLiteral("curcumin aspartame") << QStringList();
    QTest::newRow("no word across pieces") << QStringLiteral("bc") << QStringList();
    QTest::newRow("ё typed, capitals") << QStringLiteral("ЖЁЛТЫЙ") << QStringList{e110};
    QTest::newRow("inside a word, after «") << QStringLiteral("олнеч") << QStringList{e110};
    QTest::newRow("header rows never") << QStringLiteral("тартразин") << QStringList{QStringLiteral("E102")};
    QTest::newRow("code part, catalogue order")
        << QStringLiteral("e95") << QStringList{QStringLiteral("E951"), QStringLiteral("E9510")};
    QTest::newRow("Cyrillic capital Е code")
        << QStringLiteral("Е951") << QStringList{QStringLiteral("E951"), QStringLiteral("E9510")};
    QTest::newRow("digits alone") << QStringLiteral("10")
                                  << QStringList{e100, QStringLiteral("E102"), e110, QStringLiteral("E9510"),
                                                 QStringLiteral("E310")};
    QTest::newRow("code word and name word")
        << QStringLiteral("е9 ab") << QStringList{QStringLiteral("E9510")};
    QTest::newRow("entry without names, by code")
        << QStringLiteral("e200") << QStringList{QStringLiteral("E200")};
}

void tst_NameSearch::match_rules()
{
    QFETCH(QString, query);
    QFETCH(QStringList, codes);
    QObject owner;
    vsDataModel *model = modelOf(nameCatalogue(), &owner);
    const vsNameIndex index(model);
    QCOMPARE(codesOf(*model, index.match(query)), codes);
}

void tst_NameSearch::match_badInputHasDefinedResults()
{
    QObject owner;
    vsDataModel *model = modelOf({entry(QStringLiteral("E102"), QStringLiteral("Тартразин:Tartrazine")),
                                  QStringLiteral(R"(type="additive")")},
                                 &owner);
    // Made here rather than read: a name of this size is the reader's business.
    model->appendEntries(
        {{{QStringLiteral("code"), QStringLiteral("E999")},
          {QStringLiteral("names"), QString(1024 * 1024, QLatin1Char('x')) + QStringLiteral(":Огромный")}}});
    const vsNameIndex index(model);
    const QStringList e102{QStringLiteral("E102")};

    // A query is read as its first 256 characters: a word after them is not seen.
    const QString padded =
        QStringLiteral("тартразин") + QString(300, QLatin1Char(' ')) + QStringLiteral("щщщ");
    QCOMPARE(codesOf(*model, index.match(padded)), e102);
    // 10,000 characters pasted as one word find nothing and come back.
    QCOMPARE(index.match(QString(10000, QChar(0x0442))), QVector<int>());
    // Control characters part words like spaces do.
    QCOMPARE(codesOf(*model, index.match(QStringLiteral("тарт\tр\x01"
                                                        "азин\n"))),
             e102);
    QCOMPARE(index.match(QStringLiteral("\x01\x02\x7f")), QVector<int>());
    QCOMPARE(index.match(QStringLiteral("   ")), QVector<int>());
    // An enormous name is searched whole; an entry with nothing matches nothing.
    QCOMPARE(codesOf(*model, index.match(QStringLiteral("огромный xxx"))),
             QStringList{QStringLiteral("E999")});
    QCOMPARE(codesOf(*model, index.match(QStringLiteral("e"))),
             (QStringList{QStringLiteral("E102"), QStringLiteral("E999")}));
}

void tst_NameSearch::window_typeOpenReturnAndClose()
{
    QVERIFY(vsTest::openWindow(nameCatalogue(), folder, window));
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *list = window->findChild<QListView *>(QStringLiteral("listView"));
    auto *detail = window->findChild<QWidget *>(QStringLiteral("dataDisplay"));
    QVERIFY(list && detail);
    // Nothing of the search is made before it is first opened.
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("nameSearch")));
    list->scrollToBottom();
    const int listScroll = list->verticalScrollBar()->value();
    const QModelIndexList listSelection = list->selectionModel()->selectedIndexes();

    // Ctrl+F opens the search with the keyboard in its field.
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    auto *search = window->findChild<QWidget *>(QStringLiteral("nameSearch"));
    auto *field = window->findChild<QLineEdit *>(QStringLiteral("queryEdit"));
    auto *results = window->findChild<QListView *>(QStringLiteral("resultView"));
    QVERIFY(search && field && results);
    QTRY_VERIFY(search->isVisible());
    QTRY_VERIFY(field->hasFocus());
    QCOMPARE(results->model()->rowCount(), 0);
    // Nothing said before a query; "Nothing found" after one that finds nothing.
    auto *empty = search->findChild<QLabel *>(QStringLiteral("emptyLabel"));
    QVERIFY(empty && !empty->isVisible());
    QTest::keyClicks(field, QStringLiteral("zzzq"));
    QCOMPARE(results->model()->rowCount(), 0);
    QVERIFY(empty->isVisible());
    QCOMPARE(empty->text(), QStringLiteral("Nothing found"));
    field->clear();
    QVERIFY(!empty->isVisible());

    QTest::keyClicks(field, QStringLiteral("e9"));
    QCOMPARE(results->model()->rowCount(), 2);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, QStringLiteral("1"));
    QCOMPARE(results->model()->rowCount(), 3); // E100, E102, E110
    QVERIFY(!empty->isVisible());
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Up);
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_VERIFY(detail->isVisible());
    QCOMPARE(detail->findChild<QLabel *>(QStringLiteral("codeLabel"))->text().contains(QLatin1String("E102")),
             true);

    // Back from the entry: the results, with the query kept.
    QTest::keyClick(detail, Qt::Key_Backspace);
    QVERIFY(!detail->isVisible());
    QVERIFY(search->isVisible());
    QCOMPARE(field->text(), QStringLiteral("e1"));

    // A tap on a result opens that one.
    field->setText(QStringLiteral("аспартам"));
    QCOMPARE(results->model()->rowCount(), 1);
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {},
                      results->visualRect(results->model()->index(0, 0)).center());
    QTRY_VERIFY(detail->isVisible());
    QVERIFY(detail->findChild<QLabel *>(QStringLiteral("codeLabel"))->text().contains(QLatin1String("E951")));
    detail->hide();

    // Escape closes the search; the list is where it was.
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!search->isVisible());
    QCOMPARE(list->verticalScrollBar()->value(), listScroll);
    QCOMPARE(list->selectionModel()->selectedIndexes(), listSelection);

    // The menu entry opens it again, the last query selected for replacing.
    window->findChild<QAction *>(QStringLiteral("findByNameAction"))->trigger();
    QTRY_VERIFY(search->isVisible());
    QCOMPARE(field->selectedText(), QStringLiteral("аспартам"));
}

QTEST_MAIN(tst_NameSearch)
#include "tst_namesearch.moc"
