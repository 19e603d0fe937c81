// The detail window: the page it builds, what it shows of an entry, the colours
// it takes from the safety level, its keys and how the main window holds it.

#include "testsupport.h"

#include "catalogue/vsdatamodel.h"
#include "detail/vsdatadisplay.h"
#include "detail/vsrichtextfilter.h"
#include "mainwindow/vsmainwindow.h"
#include "platform/vswindowstack.h"
#include "restrictions/vsrestrictions.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTranslator>
#include <QtTest>

namespace {
// In the order the sections are built; the page shows Safety above Status.
const char *const sectionNames[] = {"status",     "safety",    "names",   "sources",
                                    "production", "functions", "products"};

const QString titleStyle = QStringLiteral("font: 400 11pt Nokia Sans; color: rgb(255,255,255);");
const QString bodyStyle = QStringLiteral("font: 16pt Nokia Sans;\n color: rgb(255, 255, 255);");

QString codeHtml(const QString &code, const QString &group)
{
    return QStringLiteral(
               R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0//EN" "http://www.w3.org/TR/REC-html40/strict.dtd">)"
               R"(<html><head><meta name="qrichtext" content="1" /></head>)"
               R"(<body style="font-family:'Nokia Sans'; font-size:12pt; font-weight:400; color:#000000;">)"
               R"(<p><span style="font-size:30pt; font-weight:600;">)") +
           code + QStringLiteral("</span><br>") + group + QStringLiteral("</p></body></html>");
}

QString nameHtml(const QString &name)
{
    return QStringLiteral(
               R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0//EN" "http://www.w3.org/TR/REC-html40/strict.dtd">)"
               R"(<html><head><meta name="qrichtext" content="1" /></head>)"
               R"(<body  style="font-family:'Nokia Sans'; font-size:14pt; font-weight:600; color:#000000;">)"
               R"(<p><span>)") +
           name + QStringLiteral("</span></p></body></html>");
}

vsEntry makeEntry(std::initializer_list<std::pair<const char *, const char *>> attributes)
{
    vsEntry entry;
    for (const auto &attribute : attributes)
        entry.insert(QString::fromUtf8(attribute.first), QString::fromUtf8(attribute.second));
    return entry;
}

// A model and a built detail view over it.
struct Fixture
{
    vsDataModel model;
    vsDataDisplay view;

    explicit Fixture(const vsEntryList &entries = {})
    {
        model.appendEntries(entries);
        // As the main window prepares it.
        view.setAutoFillBackground(true);
        if (!view.createWidgets())
            qFatal("createWidgets failed");
    }
    QLabel *label(const char *name) const { return view.findChild<QLabel *>(QString::fromLatin1(name)); }
    QLabel *label(const char *section, const char *part) const
    {
        return label((QByteArray(section) + part).constData());
    }
    QWidget *content() const { return view.findChild<QWidget *>(QStringLiteral("contentWidget")); }
    void show(int row) { view.showData(model.index(row, 0)); }
};

QSize pixmapSize(const QLabel *label)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    return label->pixmap(Qt::ReturnByValue).size();
#else
    return label->pixmap().size();
#endif
}

QTranslator *installRussian()
{
    auto *translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral(":/languages/Vestrion_ru"), QString(), QString(), QString()))
        qFatal("no Russian catalogue in the bundle");
    QCoreApplication::installTranslator(translator);
    return translator;
}
// A document that records every resource it is asked for instead of loading it.
class RecordingDocument : public QTextDocument
{
public:
    explicit RecordingDocument(const QString &html)
    {
        setHtml(html);
        QImage image(400, 300, QImage::Format_ARGB32);
        QPainter painter(&image);
        drawContents(&painter); // lays out and paints: images and backgrounds are asked for
    }
    QStringList asked;

protected:
    QVariant loadResource(int, const QUrl &name) override
    {
        asked << name.toString();
        return QVariant();
    }
};

} // namespace

class tst_Detail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void createWidgets_buildsTheWidgets();
    void createWidgets_laysOutThePage();
    void titles_translatedUnderAnEnglishLocale();

    void showData_sectionsAndHeading_data();
    void showData_sectionsAndHeading();
    void showData_colourFamilies_data();
    void showData_colourFamilies();
    void showData_indexWithoutModel();
    void showData_secondEntryResetsEverything();

    void showData_sisterCodesReadWholeInTheHeading();
    void keys_backspaceAndDeleteHideOnly();
    void metaObject_methodZeroIsShowData();
    void richTextFilter_keepsOnlyOrdinaryMarkup_data();
    void richTextFilter_keepsOnlyOrdinaryMarkup();
    void mainWindow_holdsTheViewAsAStackedWindow();
    void restrictions_noteSaysWhyAndTheButtonKeepsTheList();
};

void tst_Detail::initTestCase()
{
    // The tests run under an English locale (LANG=en_US.UTF-8); make sure of it when run by hand.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_Detail::createWidgets_buildsTheWidgets()
{
    // Not a widget before createWidgets.
    vsDataDisplay bare;
    QVERIFY(bare.findChildren<QLabel *>().isEmpty());
    QVERIFY(!bare.widget());

    Fixture f;
    QCOMPARE(f.view.findChildren<QLabel *>().size(), 23);
    QWidget *content = f.content();
    QVERIFY(content);
    QCOMPARE(f.view.widget(), content);
    QVERIFY(f.view.widgetResizable());
    QCOMPARE(f.view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(f.view.verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(f.view.contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(f.view.windowTitle(), QStringLiteral("Vestrion"));
    QVERIFY(f.view.isHidden());
    QVERIFY(content->styleSheet().isEmpty());

    QLabel *code = f.label("codeLabel");
    QCOMPARE(code->minimumWidth(), 150);
    QCOMPARE(code->maximumWidth(), 150);
    QCOMPARE(code->minimumHeight(), 80);
    QCOMPARE(code->textFormat(), Qt::RichText);
    QCOMPARE(code->alignment(), Qt::AlignCenter);
    QCOMPARE(code->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
    QVERIFY(code->wordWrap());
    QVERIFY(code->text().isEmpty() && code->styleSheet().isEmpty());

    QLabel *name = f.label("nameLabel");
    QCOMPARE(name->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(name->textFormat(), Qt::RichText);
    QCOMPARE(name->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
    QVERIFY(name->wordWrap());
    QCOMPARE(name->minimumWidth(), 0);
    QVERIFY(name->text().isEmpty() && name->styleSheet().isEmpty());

    for (const char *section : sectionNames) {
        const bool rich = qstrcmp(section, "status") == 0 || qstrcmp(section, "safety") == 0;
        QLabel *icon = f.label(section, "IconLabel");
        QLabel *title = f.label(section, "TitleLabel");
        QLabel *text = f.label(section, "TextLabel");
        QVERIFY2(icon && title && text, section);
        QCOMPARE(icon->parentWidget(), content);

        QCOMPARE(icon->alignment(), Qt::AlignCenter);
        QCOMPARE(icon->minimumWidth(), 120);
        QCOMPARE(icon->maximumWidth(), 120);
        QCOMPARE(icon->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
        QCOMPARE(pixmapSize(icon), QSize(64, 64));

        QCOMPARE(title->alignment(), Qt::AlignCenter);
        QCOMPARE(title->styleSheet(), titleStyle);
        QCOMPARE(title->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));

        QCOMPARE(text->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QCOMPARE(text->indent(), 10);
        QCOMPARE(text->textFormat(), rich ? Qt::RichText : Qt::AutoText);
        QCOMPARE(text->styleSheet(), bodyStyle);
        QCOMPARE(text->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
        QVERIFY(text->wordWrap());
        QVERIFY(text->text().isEmpty());

        QVERIFY(!icon->isHidden() && !title->isHidden() && !text->isHidden());
    }
}

void tst_Detail::createWidgets_laysOutThePage()
{
    Fixture f({makeEntry({{"code", "E100"},
                          {"group", "Colours"},
                          {"names", "Curcumin:Turmeric"},
                          {"status", "eu:Allowed"},
                          {"safety", "0:None"},
                          {"sources", "plant:Root"},
                          {"production", "x:Extraction"},
                          {"functions", "x:Colour"},
                          {"products", "x:Curry, mustard, sauces, soups, cheese, butter, margarine, "
                                       "confectionery, ice cream, yoghurt, drinks and many more products "
                                       "that make this text wrap over several lines. "
                                       "Curry, mustard, sauces, soups, cheese, butter, margarine, "
                                       "confectionery, ice cream, yoghurt, drinks and many more products "
                                       "that make this text wrap over several lines. "
                                       "Curry, mustard, sauces, soups, cheese, butter, margarine, "
                                       "confectionery, ice cream, yoghurt, drinks and many more products "
                                       "that make this text wrap over several lines."}})});
    f.view.resize(800, 1400); // room for the whole page
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.show(0);
    QWidget *content = f.content();
    QTRY_COMPARE(content->width(), f.view.viewport()->width());
    content->layout()->activate();

    const auto geometry = [&](const char *name) { return f.label(name)->geometry(); };
    // The heading: 2 px page margin, code cell 150 wide, name cell to the margin on the right.
    QCOMPARE(geometry("codeLabel").topLeft(), QPoint(2, 2));
    QCOMPARE(geometry("codeLabel").width(), 150);
    QCOMPARE(geometry("nameLabel").left(), 152);
    QCOMPARE(geometry("nameLabel").right(), content->width() - 3);
    QCOMPARE(geometry("nameLabel").top(), 2);

    // Safety, then Status, then the rest in build order, 20 px apart.
    const char *pageOrder[] = {"safety", "status", "names", "sources", "production", "functions", "products"};
    int previousBottom = geometry("codeLabel").bottom();
    for (const char *section : pageOrder) {
        const QRect icon = f.label(section, "IconLabel")->geometry();
        const QRect title = f.label(section, "TitleLabel")->geometry();
        const QRect text = f.label(section, "TextLabel")->geometry();
        QCOMPARE(icon.top(), previousBottom + 1 + 20);
        QCOMPARE(text.top(), icon.top());
        // Icon over title at the top of a 120-wide column, 5 px apart; the text beside it.
        QCOMPARE(icon.left(), 2);
        QCOMPARE(icon.width(), 120);
        QCOMPARE(title.top(), icon.bottom() + 1 + 5);
        QCOMPARE(text.left(), 2 + 120 + 5);
        QCOMPARE(text.right(), content->width() - 3);
        previousBottom = qMax(title.bottom(), text.bottom());
    }
    // In a row taller than its column, icon and title stay at the top at their own height.
    const QRect productsIcon = f.label("productsIconLabel")->geometry();
    const QRect productsText = f.label("productsTextLabel")->geometry();
    QVERIFY(productsText.height() > 200);
    QCOMPARE(productsIcon.height(), f.label("productsIconLabel")->sizeHint().height());
    // A short page is packed at the top: the rest of the page stays empty below.
    QVERIFY(previousBottom < content->height() - 200);
    QVERIFY(geometry("codeLabel").height() < 200);
    QVERIFY(!f.view.horizontalScrollBar()->isVisible());
}

void tst_Detail::titles_translatedUnderAnEnglishLocale()
{
    const char *english[] = {"Status", "Safety", "Names", "Source", "Production", "Functions", "Products"};
    const char *russian[] = {"Статус",    "Безопасность", "Синонимы",     "Источник",
                             "Получение", "Функции",      "Использование"};
    {
        Fixture untranslated;
        for (int i = 0; i < 7; ++i)
            QCOMPARE(untranslated.label(sectionNames[i], "TitleLabel")->text(),
                     QString::fromUtf8(english[i]));
    }
    QTranslator *translator = installRussian();
    {
        Fixture translated;
        for (int i = 0; i < 7; ++i)
            QCOMPARE(translated.label(sectionNames[i], "TitleLabel")->text(), QString::fromUtf8(russian[i]));
        QCOMPARE(translated.view.windowTitle(), QStringLiteral("Vestrion"));
    }
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

void tst_Detail::showData_sectionsAndHeading_data()
{
    QTest::addColumn<vsEntry>("entry");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    // Section texts in build order; an empty text means a hidden section.
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("every section") << makeEntry({{"code", "E102"},
                                                 {"group", "Colours:Dyes"},
                                                 {"names", "Tartrazine:Yellow 5:FD&C Yellow"},
                                                 {"status", "eu:Allowed:since 1970"},
                                                 {"safety", "2:Hyperactivity:more"},
                                                 {"sources", "synthetic:Azo dye:x"},
                                                 {"production", "synthesis:Chemical"},
                                                 {"functions", "colour:Colouring:y"},
                                                 {"products", "drinks:Soft drinks"}})
                                   << "E102"
                                   << "Colours"
                                   << "Tartrazine"
                                   << QStringList{"Allowed",    "Hyperactivity", "Yellow 5<br>FD&C Yellow",
                                                  "Azo dye",    "Chemical",      "Colouring",
                                                  "Soft drinks"};
    QTest::newRow("one piece or empty second piece") << makeEntry({{"code", "E1"},
                                                                   {"group", "G"},
                                                                   {"names", "Only"},
                                                                   {"status", "eu"},
                                                                   {"safety", "1:"},
                                                                   {"sources", "1:"},
                                                                   {"production", ""},
                                                                   {"products", ":"}})
                                                     << "E1"
                                                     << "G"
                                                     << "Only" << QStringList{"", "", "", "", "", "", ""};
    QTest::newRow("safety without status") << makeEntry({{"safety", "1:alpha"}, {"status", ""}}) << ""
                                           << ""
                                           << "" << QStringList{"", "alpha", "", "", "", "", ""};
    QTest::newRow("status without safety")
        << makeEntry({{"status", "Never shown:beta"}, {"safety", "2"}}) << ""
        << ""
        << "" << QStringList{"beta", "", "", "", "", "", ""};
    QTest::newRow("names with empty first piece") << makeEntry({{"names", ":Y"}}) << ""
                                                  << ""
                                                  << "" << QStringList{"", "", "Y", "", "", "", ""};
    QTest::newRow("names with a leading empty other name") << makeEntry({{"names", "X::Z"}}) << ""
                                                           << ""
                                                           << "X" << QStringList{"", "", "Z", "", "", "", ""};
    QTest::newRow("names with an inner empty other name")
        << makeEntry({{"names", "X:Y::Z"}}) << ""
        << ""
        << "X" << QStringList{"", "", "Y<br><br>Z", "", "", "", ""};
    QTest::newRow("names with only empty other names") << makeEntry({{"names", "X::"}}) << ""
                                                       << ""
                                                       << "X" << QStringList{"", "", "", "", "", "", ""};
    QTest::newRow("markup and blanks kept as they are")
        << makeEntry({{"code", "E1<br>00"},
                      {"group", "A<br>B:C"},
                      {"names", "<b>N</b>:<i>y</i>"},
                      {"sources", "x: spaced "},
                      {"status", "a:<b>bold</b> & more"}})
        << "E1<br>00"
        << "A<br>B"
        << "<b>N</b>" << QStringList{"<b>bold</b> & more", "", "<i>y</i>", " spaced ", "", "", ""};
}

void tst_Detail::showData_sectionsAndHeading()
{
    QFETCH(vsEntry, entry);
    QFETCH(QString, code);
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(QStringList, texts);

    Fixture f({entry});
    f.view.resize(800, 480);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.show(0);

    QCOMPARE(f.label("codeLabel")->text(), codeHtml(code, group));
    QCOMPARE(f.label("nameLabel")->text(), nameHtml(name));
    QVERIFY(f.label("codeLabel")->isVisible() && f.label("nameLabel")->isVisible());
    for (int i = 0; i < 7; ++i) {
        const char *section = sectionNames[i];
        const bool shown = !texts.at(i).isEmpty();
        QCOMPARE(f.label(section, "TextLabel")->text(), texts.at(i));
        QVERIFY2(f.label(section, "IconLabel")->isVisible() == shown, section);
        QVERIFY2(f.label(section, "TitleLabel")->isVisible() == shown, section);
        QVERIFY2(f.label(section, "TextLabel")->isVisible() == shown, section);
    }
}

void tst_Detail::showData_colourFamilies_data()
{
    QTest::addColumn<QString>("safety");
    QTest::addColumn<QString>("codeStyle");
    QTest::addColumn<QString>("nameStyle");
    QTest::addColumn<QString>("pageStyle");
    QTest::addColumn<QColor>("window");

    const QString red[] = {
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(255, 6, 6, 255), stop:1 rgba(255, 93, 93, "
            "255));\nborder-style: inset;\nborder-width: 1px;\nborder-bottom-left-radius: "
            "5px;\nborder-color: rgba(240, 6, 6, 255);"),
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(255, 6, 6, 255), stop:1 rgba(255, 93, 93, "
            "255));\npadding-left: 10px;\npadding-right: 10px;\nborder-style: inset;\nborder-width: "
            "1px;\nborder-bottom-right-radius: 5px;\nborder-color: rgba(240, 6, 6, 255);"),
        QStringLiteral("background-color: rgb(50, 0, 0);")};
    const QString cyan[] = {
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(100, 255, 255, 255), stop:1 rgba(180, 255, 255, "
            "255));\nborder-style: inset;\nborder-width: 1px;\nborder-bottom-left-radius: "
            "5px;\nborder-color: rgba(170, 240, 240, 255);"),
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(100, 255, 255, 255), stop:1 rgba(180, 255, 255, "
            "255));\npadding-left: 10px;\npadding-right: 10px;\nborder-style: inset;\nborder-width: "
            "1px;\nborder-bottom-right-radius: 5px;\nborder-color: rgba(170, 240, 240, 255);"),
        QStringLiteral("background-color: rgb(25, 50, 50);")};
    const QString yellow[] = {
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(255, 255, 6, 255), stop:1 rgba(255, 255, 93, "
            "255));\nborder-style: inset;\nborder-width: 1px;\nborder-bottom-left-radius: "
            "5px;\nborder-color: rgba(240, 240, 6, 255);"),
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(255, 255, 6, 255), stop:1 rgba(255, 255, 93, "
            "255));\npadding-left: 10px;\npadding-right: 10px;\nborder-style: inset;\nborder-width: "
            "1px;\nborder-bottom-right-radius: 5px;\nborder-color: rgba(240, 240, 6, 255);"),
        QStringLiteral("background-color: rgb(50, 50, 0);")};
    const QString green[] = {
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(6, 255, 6, 255), stop:1 rgba(93, 255, 93, "
            "255));\nborder-style: inset;\nborder-width: 1px;\nborder-bottom-left-radius: "
            "5px;\nborder-color: rgba(6, 240, 6, 255);"),
        QStringLiteral(
            "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:1, y2:1, stop:0 rgba(255, "
            "255, 255, 255), stop:0.368421 rgba(6, 255, 6, 255), stop:1 rgba(93, 255, 93, "
            "255));\npadding-left: 10px;\npadding-right: 10px;\nborder-style: inset;\nborder-width: "
            "1px;\nborder-bottom-right-radius: 5px;\nborder-color: rgba(6, 240, 6, 255);"),
        QStringLiteral("background-color: rgb(0, 50, 0);")};

    const auto row = [](const char *tag, const char *safety, const QString *family, const QColor &window) {
        QTest::newRow(tag) << QString::fromUtf8(safety) << family[0] << family[1] << family[2] << window;
    };
    const QColor redWindow(50, 0, 0), cyanWindow(25, 50, 50), yellowWindow(50, 50, 0), greenWindow(0, 50, 0);
    row("2 red", "2:alpha", red, redWindow);
    row("02 red", "02:alpha", red, redWindow);
    row("2 alone red", "2", red, redWindow);
    row("3 cyan", "3:alpha", cyan, cyanWindow);
    row("1 yellow", "1:alpha", yellow, yellowWindow);
    row("0 green", "0:alpha", green, greenWindow);
    row("4 green, not clamped", "4:alpha", green, greenWindow);
    row("7 green, not clamped", "7:alpha", green, greenWindow);
    row("-1 green", "-1:alpha", green, greenWindow);
    row("empty first piece green", ":alpha", green, greenWindow);
    row("no number green", "x:alpha", green, greenWindow);
    row("empty green", "", green, greenWindow);
}

void tst_Detail::showData_colourFamilies()
{
    QFETCH(QString, safety);
    QFETCH(QString, codeStyle);
    QFETCH(QString, nameStyle);
    QFETCH(QString, pageStyle);
    QFETCH(QColor, window);

    Fixture f({vsEntry{{QStringLiteral("code"), QStringLiteral("E1")}, {QStringLiteral("safety"), safety}}});
    f.view.resize(800, 480);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.show(0);

    QCOMPARE(f.label("codeLabel")->styleSheet(), codeStyle);
    QCOMPARE(f.label("nameLabel")->styleSheet(), nameStyle);
    QCOMPARE(f.content()->styleSheet(), pageStyle);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QBrush brush = f.view.palette().brush(group, QPalette::Window);
        QCOMPARE(brush.style(), Qt::SolidPattern);
        QCOMPARE(brush.color(), window);
        QCOMPARE(brush.color().alpha(), 255);
    }
    // The rest of the palette is the application's.
    QCOMPARE(f.view.palette().color(QPalette::WindowText),
             QApplication::palette().color(QPalette::WindowText));

    // And the page really shows it: the empty space below the heading.
    const QImage shot = f.view.grab().toImage();
    QCOMPARE(QColor(shot.pixel(400, 470)), window);
}

void tst_Detail::showData_indexWithoutModel()
{
    Fixture f({makeEntry({{"code", "E2"}, {"safety", "2:x"}, {"status", "a:b"}})});
    f.show(0);
    f.view.showData(QModelIndex());
    QCOMPARE(f.label("codeLabel")->text(), codeHtml(QString(), QString()));
    QCOMPARE(f.label("nameLabel")->text(), nameHtml(QString()));
    for (const char *section : sectionNames) {
        QVERIFY(f.label(section, "TextLabel")->text().isEmpty());
        QVERIFY(f.label(section, "IconLabel")->isHidden());
        QVERIFY(f.label(section, "TitleLabel")->isHidden());
        QVERIFY(f.label(section, "TextLabel")->isHidden());
    }
    QCOMPARE(f.content()->styleSheet(), QStringLiteral("background-color: rgb(0, 50, 0);"));
    QCOMPARE(f.view.palette().color(QPalette::Window), QColor(0, 50, 0));

    // Before createWidgets there is nothing to fill, and nothing breaks.
    vsDataDisplay bare;
    bare.showData(f.model.index(0, 0));
    QVERIFY(!bare.widget());
}

void tst_Detail::showData_secondEntryResetsEverything()
{
    const QString longText = QStringLiteral("A long text that wraps over many lines. ").repeated(40);
    const QByteArray longUtf8 = longText.toUtf8();
    Fixture f({makeEntry({{"code", "E102"},
                          {"safety", "2:Red"},
                          {"names", "First"},
                          {"sources", ("x:" + longUtf8).constData()},
                          {"production", ("x:" + longUtf8).constData()},
                          {"functions", ("x:" + longUtf8).constData()}}),
               makeEntry({{"code", "E171"},
                          {"safety", "3:Cyan"},
                          {"status", "x:Banned"},
                          {"names", "Second:Other"},
                          {"products", "x:Sweets"}})});
    f.view.resize(800, 480);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.show(0);
    QScrollBar *bar = f.view.verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 200);
    // Long texts wrap; the page never scrolls sideways.
    QVERIFY(!f.view.horizontalScrollBar()->isVisible());
    QCOMPARE(f.content()->width(), f.view.viewport()->width());
    bar->setValue(bar->maximum());
    QVERIFY(bar->value() > 200);
    QVERIFY(f.label("statusIconLabel")->isHidden());
    QVERIFY(f.label("productsTextLabel")->isHidden());

    f.show(1);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(f.label("codeLabel")->text(), codeHtml(QStringLiteral("E171"), QString()));
    QCOMPARE(f.label("nameLabel")->text(), nameHtml(QStringLiteral("Second")));
    // Sections hidden for the first entry are back; those it had and this one lacks are gone.
    const char *shown[] = {"status", "safety", "names", "products"};
    const char *hidden[] = {"sources", "production", "functions"};
    for (const char *section : shown) {
        QVERIFY2(f.label(section, "IconLabel")->isVisible(), section);
        QVERIFY2(f.label(section, "TitleLabel")->isVisible(), section);
        QVERIFY2(f.label(section, "TextLabel")->isVisible(), section);
    }
    for (const char *section : hidden) {
        QVERIFY2(f.label(section, "IconLabel")->isHidden(), section);
        QVERIFY2(f.label(section, "TextLabel")->isHidden(), section);
        QVERIFY2(f.label(section, "TextLabel")->text().isEmpty(), section);
    }
    QCOMPARE(f.label("statusTextLabel")->text(), QStringLiteral("Banned"));
    QCOMPARE(f.label("namesTextLabel")->text(), QStringLiteral("Other"));
    QVERIFY(f.label("codeLabel")->styleSheet().contains(QLatin1String("rgba(170, 240, 240, 255)")));
    QCOMPARE(f.content()->styleSheet(), QStringLiteral("background-color: rgb(25, 50, 50);"));
    QCOMPARE(f.view.palette().color(QPalette::Window), QColor(25, 50, 50));

    // Scrolled down again, the same entry shown again comes back to the top.
    f.show(0);
    QTRY_VERIFY(bar->maximum() > 200);
    bar->setValue(bar->maximum());
    f.show(0);
    QCOMPARE(bar->value(), 0);
}

void tst_Detail::showData_sisterCodesReadWholeInTheHeading()
{
    // The longest sister codes of the bundled catalogue, and a short one.
    const char *codes[] = {"E160a(i)", "E160a(ii)", "E160a(iii)", "E160a(iv)",
                           "E450(vi)", "E450(vii)", "E100"};
    vsEntryList entries;
    for (const char *code : codes)
        entries << makeEntry({{"code", code}, {"group", "Group"}});
    Fixture f(entries);
    f.view.resize(800, 480);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    QLabel *code = f.label("codeLabel");
    QList<QImage> shots;
    for (int row = 0; row < int(std::size(codes)); ++row) {
        f.show(row);
        // Nothing cut off: the code box's text fits its 150 px, and no two look alike.
        QTextDocument document;
        document.setHtml(code->text());
        QVERIFY2(document.idealWidth() <= code->contentsRect().width(), codes[row]);
        const QImage shot = code->grab().toImage();
        QVERIFY2(!shots.contains(shot), codes[row]);
        shots << shot;
    }
    // A code the box takes keeps its full 30 pt.
    QVERIFY(code->text().contains(QLatin1String("font-size:30pt")));
}

void tst_Detail::keys_backspaceAndDeleteHideOnly()
{
    const QByteArray longText = "x:" + QByteArray("Words that fill the page. ").repeated(200);
    Fixture f({makeEntry({{"code", "E100"}, {"names", "Name"}, {"sources", longText.constData()}})});
    f.view.resize(800, 480);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.show(0);
    QScrollBar *bar = f.view.verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);

    // Other keys leave the window open; the scrolling keys scroll the page.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_1, Qt::Key_0, Qt::Key_Space})
        QTest::keyClick(&f.view, key);
    QVERIFY(f.view.isVisible());
    QCOMPARE(bar->value(), 0);
    QTest::keyClick(&f.view, Qt::Key_PageDown);
    QVERIFY(bar->value() > 0);
    QTest::keyClick(&f.view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&f.view, Qt::Key_Down);
    QVERIFY(f.view.isVisible());

    const QString shownCode = f.label("codeLabel")->text();
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Escape}) {
        f.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        QTest::keyClick(&f.view, key);
        QVERIFY(!f.view.isVisible());
        // Hiding keeps the content for the next time.
        QCOMPARE(f.label("codeLabel")->text(), shownCode);
    }
}

void tst_Detail::metaObject_methodZeroIsShowData()
{
    Fixture f({makeEntry({{"code", "E300"}, {"safety", "1:x"}}), makeEntry({{"code", "E301"}})});
    const QMetaObject *meta = f.view.metaObject();
    QCOMPARE(meta->className(), "vsDataDisplay");
    QCOMPARE(meta->superClass(), &QScrollArea::staticMetaObject);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod method = meta->method(meta->methodOffset());
    QCOMPARE(method.methodSignature(), QByteArray("showData(QModelIndex)"));
    QCOMPARE(method.access(), QMetaMethod::Public);
    QCOMPARE(method.methodType(), QMetaMethod::Slot);
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());

    QVERIFY(method.invoke(&f.view, Qt::DirectConnection, Q_ARG(QModelIndex, f.model.index(0, 0))));
    QCOMPARE(f.label("codeLabel")->text(), codeHtml(QStringLiteral("E300"), QString()));
    QCOMPARE(f.view.palette().color(QPalette::Window), QColor(50, 50, 0));
    QVERIFY(QMetaObject::invokeMethod(&f.view, "showData", Q_ARG(QModelIndex, f.model.index(1, 0))));
    QCOMPARE(f.label("codeLabel")->text(), codeHtml(QStringLiteral("E301"), QString()));

    // The cast answers to its own name and to its bases.
    QCOMPARE(f.view.qt_metacast("vsDataDisplay"), static_cast<void *>(&f.view));
    QCOMPARE(f.view.qt_metacast("QScrollArea"), static_cast<void *>(static_cast<QScrollArea *>(&f.view)));
    QCOMPARE(f.view.qt_metacast(nullptr), nullptr);
    QCOMPARE(f.view.qt_metacast("vsDataDelegate"), nullptr);
}

void tst_Detail::mainWindow_holdsTheViewAsAStackedWindow()
{
    vsTest::isolateSettings();
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    vsTest::writeCatalogue(folder.path(), QStringLiteral("starter.vdb"), vsTest::starterDocument());

    vsMainWindow window;
    window.setDataFolder(folder.path());
    QVERIFY(window.setup());
    auto *view = window.findChild<vsDataDisplay *>(QStringLiteral("dataDisplay"));
    QVERIFY(view);
    QCOMPARE(view->parentWidget(), &window);
    QVERIFY(view->isWindow());
    QVERIFY(view->autoFillBackground());
    QVERIFY(vsPlatform::testWindowAttribute(view, vsPlatform::StackedWindow));
    QVERIFY(!vsPlatform::testWindowAttribute(view, vsPlatform::PortraitOrientation));
    QVERIFY(!vsPlatform::testWindowAttribute(view, vsPlatform::LandscapeOrientation));
    QVERIFY(view->findChild<QLabel *>(QStringLiteral("codeLabel")));
    QVERIFY(view->isHidden());

    window.resize(800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *list = window.findChild<QListView *>(QStringLiteral("listView"));
    QModelIndex e102;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        if (list->model()->index(row, 0).data(vsDataModel::CodeRole).toString() == QLatin1String("E102"))
            e102 = list->model()->index(row, 0);
    QVERIFY(e102.isValid());
    window.onShowData(e102);
    QVERIFY(view->isVisible());
    QVERIFY(view->findChild<QLabel *>(QStringLiteral("codeLabel"))->text().contains(QLatin1String("E102")));
    QCOMPARE(view->palette().color(QPalette::Window), QColor(50, 0, 0));

    // Backspace in the detail window hides it; the main window stays.
    QTest::keyClick(view, Qt::Key_Backspace);
    QVERIFY(!view->isVisible());
    QVERIFY(window.isVisible());
}

void tst_Detail::richTextFilter_keepsOnlyOrdinaryMarkup_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("loadsUnfiltered"); // else the toolkit renders both alike,
    QTest::addColumn<QString>("plain");        // or, where given, shows this text

    const auto same = [](const char *name, const QString &markup) {
        QTest::newRow(name) << markup << markup << false << QString();
    };
    same("list", "<ul><li>one</li><li>two</li></ul>");
    same("table, bgcolor, align", "<table bgcolor=\"#ff0000\" align=\"center\"><tr><td>x</td></tr></table>");
    same("anchor in the text", "<a href=\"#e102\">E102</a>");
    same("heading, centre, rule", "<h3>t</h3><center>c</center><hr>");
    same(
        "font face, span style",
        "<font face=\"Serif\" color=\"red\">f</font><span style=\"font-weight:600; color:#00ff00\">s</span>");
    same("whole document", "<html><head><meta name=\"qrichtext\" content=\"1\" /></head>"
                           "<body style=\"color:#ffffff\"><p>x</p></body></html>");
    QTest::newRow("comment and doctype")
        << "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\">a<!-- <img src=x> -->b"
        << "ab" << false << QString();
    QTest::newRow("upper case, unquoted") << "<B>b</B><P ALIGN=right>p</P>"
                                          << "<b>b</b><p align=\"right\">p</p>" << false << QString();
    // A tag left open shows as text to the end, markup after it included.
    QTest::newRow("bare < and &") << "1 < 2 & 3 <3 &amp; <font color=\"red>x <b>y</b>"
                                  << "1 &lt; 2 & 3 &lt;3 &amp; &lt;font color=\"red>x &lt;b>y&lt;/b>" << false
                                  << "1 < 2 & 3 <3 & <font color=\"red>x <b>y</b>";
    QTest::newRow("link to the network") << "<a href=\"http://example.org/\">x</a>"
                                         << "<a>x</a>" << false << "x";
    QTest::newRow("links of any other scheme, any case")
        << "<a href=\"file:///etc/passwd\">f</a><a href=\"data:text/html,x\">d</a>"
           "<a href=\"HTTPS://example.org/\">h</a><a href=\"x.html\">r</a>"
        << "<a>f</a><a>d</a><a>h</a><a>r</a>" << false << "fdhr";

    QTest::newRow("img") << "a<img src=\"/tmp/x.png\" width=\"10\">"
                         << "a" << true << QString();
    QTest::newRow("img, upper case, unquoted") << "<IMG SRC=file:///x.png>b"
                                               << "b" << true << QString();
    QTest::newRow("background attribute") << "<table background=\"x.png\"><tr><td>x</td></tr></table>"
                                          << "<table><tr><td>x</td></tr></table>" << true << QString();
    QTest::newRow("url() in a style") << "<p style=\"color:red; background-image: url(x.png)\">p</p>"
                                      << "<p style=\"color:red\">p</p>" << true << QString();
    // No property kept here loads a url() today; the filter drops it all the same.
    QTest::newRow("url() in a style, any case")
        << "<span style=\"background-color: URL(x.png)\">p</span><span style=\"font-size: uRl(x)\">s</span>"
        << "<span>p</span><span>s</span>" << false << "ps";
    QTest::newRow("url() spelt with an entity") << "<p style=\"background-image: &#117;rl(x.png)\">p</p>"
                                                << "<p>p</p>" << true << QString();
    QTest::newRow("link element") << "<link rel=\"stylesheet\" type=\"text/css\" href=\"x.css\">t"
                                  << "t" << true << QString();
    QTest::newRow("style element") << "<style>@import url(x.css); p { color: red }</style>t"
                                   << "t" << true << QString();
    QTest::newRow("CSS escape in a style") << "<p style=\"color:red; background-image: u\\rl(x.png)\">p</p>"
                                           << "<p style=\"color:red\">p</p>" << true << QString();

    // Only what ordinary markup needs stays: any other tag goes, its text shown.
    QTest::newRow("unknown tags") << "<svg><text>s</text></svg><object data=\"x.swf\">o</object>"
                                     "<iframe src=\"x.html\">i</iframe><video src=\"x.mp4\">v</video>"
                                     "<math><mi>m</mi></math><vs-note kind=\"x\">n</vs-note>"
                                  << "soivmn" << false << "soivmn";
    QTest::newRow("unknown tags inside known ones") << "<p>a<marquee>b</marquee><b>c<blink>d</blink></b></p>"
                                                    << "<p>ab<b>cd</b></p>" << false << QString();
    QTest::newRow("attributes outside the list")
        << "<body background=\"x.png\" onload=\"go()\"><p id=\"i\" class=\"c\" align=\"right\">x</p></body>"
        << "<body><p align=\"right\">x</p></body>" << true << QString();
    QTest::newRow("style properties outside the list")
        << "<span style=\"font-weight:600; background: url(x.png); margin-left:9px; color: rgb(1, 2, "
           "3)\">s</span>"
        << "<span style=\"font-weight:600; color: rgb(1, 2, 3)\">s</span>" << true << QString();
}

void tst_Detail::richTextFilter_keepsOnlyOrdinaryMarkup()
{
    QFETCH(QString, markup);
    QFETCH(QString, shown);
    QFETCH(bool, loadsUnfiltered);
    QFETCH(QString, plain);
    QCOMPARE(vsRichTextFilter::filtered(markup), shown);
    QCOMPARE(vsRichTextFilter::filtered(shown), shown);

    const RecordingDocument unfiltered(markup);
    const RecordingDocument filtered(shown);
    QCOMPARE(filtered.asked, QStringList());
    if (loadsUnfiltered)
        QVERIFY(!unfiltered.asked.isEmpty());
    else if (!plain.isNull())
        QCOMPARE(filtered.toPlainText(), plain);
    else
        QCOMPARE(filtered.toHtml(), unfiltered.toHtml());
}

void tst_Detail::restrictions_noteSaysWhyAndTheButtonKeepsTheList()
{
    Fixture f(
        {makeEntry({{"code", "E120"},
                    {"names", "Carmine"},
                    {"safety", "0:Allowed"},
                    {"sources", "animal:Insects"},
                    {"vegetarian", "no:из насекомых"},
                    {"vegan", "no:из насекомых"}}),
         makeEntry({{"code", "E330"}, {"names", "Citric acid"}, {"vegetarian", "yes"}, {"vegan", "yes"}}),
         makeEntry({{"code", "<b>E1</b>"}})});
    // As the main window sets them: the model checks, the view changes them.
    vsRestrictions restrictions;
    f.model.setRestrictions(&restrictions);
    f.view.setRestrictions(&restrictions);
    f.view.resize(800, 1000);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    auto *note = f.view.findChild<QLabel *>(QStringLiteral("conflictNote"));
    auto *button = f.view.findChild<QPushButton *>(QStringLiteral("avoidButton"));
    QVERIFY(note && button);

    // Nothing set: no note, and the page as it was, sections and all.
    f.show(0);
    f.content()->layout()->activate();
    QVERIFY(note->isHidden());
    QCOMPARE(f.label("safetyIconLabel")->geometry().top(), f.label("codeLabel")->geometry().bottom() + 21);
    QCOMPARE(f.label("sourcesTextLabel")->text(), QStringLiteral("Insects"));
    QVERIFY(button->isVisible());
    QCOMPARE(button->text(), QStringLiteral("Add to my list"));
    QVERIFY(button->geometry().top() > f.label("sourcesTextLabel")->geometry().bottom());

    // Vegan: the reason above the sections, which stay as they were; it
    // follows a change made while the entry is shown.
    restrictions.setDiet(vsRestrictions::Vegan);
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(), QStringLiteral("Not vegan: из насекомых"));
    f.content()->layout()->activate();
    QVERIFY(note->geometry().top() > f.label("codeLabel")->geometry().bottom());
    QVERIFY(note->geometry().bottom() < f.label("safetyIconLabel")->geometry().top());
    QCOMPARE(f.label("sourcesTextLabel")->text(), QStringLiteral("Insects"));
    QCOMPARE(f.label("safetyTextLabel")->text(), QStringLiteral("Allowed"));

    // The button puts the entry on the list and takes it off again.
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(restrictions.additives(), QStringList("E120"));
    QCOMPARE(note->text(), QStringLiteral("Not vegan: из насекомых\nOn your list"));
    QCOMPARE(button->text(), QStringLiteral("Remove from my list"));
    f.show(1);
    QVERIFY(note->isHidden());
    QCOMPARE(button->text(), QStringLiteral("Add to my list"));
    f.show(0);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(restrictions.additives().isEmpty());
    QCOMPARE(note->text(), QStringLiteral("Not vegan: из насекомых"));

    // Reached by Tab; the page's keys still close the window from there.
    QVERIFY(!button->hasFocus());
    QTest::keyClick(&f.view, Qt::Key_Tab);
    QTRY_VERIFY(button->hasFocus());
    QTest::keyClick(button, Qt::Key_Space);
    QCOMPARE(restrictions.additives(), QStringList("E120"));
    QTest::keyClick(button, Qt::Key_Backspace);
    QVERIFY(!f.view.isVisible());

    // What is no code is never put on the list.
    f.view.show();
    f.show(2);
    QVERIFY(button->isHidden());
}

QTEST_MAIN(tst_Detail)
#include "tst_detail.moc"
