// The bundled catalogue, read from the build's packed files through the real
// loader: its own consistency, as a reader of a label relies on it.

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsdietfacts.h"
#include "labelset.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {
struct Group
{
    QString title;
    int first;
    int last;
};

const QVector<Group> groups = {
    {QStringLiteral("Красители"), 100, 199},
    {QStringLiteral("Консерванты"), 200, 299},
    {QStringLiteral("Антиоксиданты и регуляторы кислотности"), 300, 399},
    {QStringLiteral("Загустители, стабилизаторы и эмульгаторы"), 400, 499},
    {QStringLiteral("Регуляторы кислотности и антислёживающие вещества"), 500, 599},
    {QStringLiteral("Усилители вкуса и аромата"), 600, 699},
    {QStringLiteral("Антибиотики"), 700, 799},
    {QStringLiteral("Глазирующие агенты, газы и подсластители"), 900, 999},
    {QStringLiteral("Прочие добавки"), 1000, 1599},
};

// "E160a(ii)" sorts by number, then letters, then the roman numeral's value.
struct CodeKey
{
    int number = -1;
    QString letters;
    int roman = 0;
    bool operator<(const CodeKey &other) const
    {
        if (number != other.number)
            return number < other.number;
        if (letters != other.letters)
            return letters < other.letters;
        return roman < other.roman;
    }
};

bool parseCode(const QString &code, CodeKey *key)
{
    static const QRegularExpression pattern(
        QStringLiteral("^E(\\d{3,4})([a-z]?)(?:\\((i|ii|iii|iv|v|vi|vii|viii|ix|x)\\))?$"));
    const QRegularExpressionMatch match = pattern.match(code);
    if (!match.hasMatch())
        return false;
    static const QStringList numerals = {"", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix", "x"};
    key->number = match.captured(1).toInt();
    key->letters = match.captured(2);
    key->roman = int(numerals.indexOf(match.captured(3)));
    return true;
}

bool isRussian(const QString &text)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return text.contains(cyrillic);
}

QStringList pieces(const vsDataModel &model, int row, int role)
{
    return model.index(row, 0).data(role).toString().split(QLatin1Char(':'), Qt::KeepEmptyParts);
}

int rowOf(const vsDataModel &model, const QString &code)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, 0).data(vsDataModel::CodeRole).toString() == code)
            return row;
    }
    return -1;
}
} // namespace

class tst_CatalogueData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void groupsComeInOrderWithTheirEntries();
    void entriesAreComplete();
    void safetyLevelsFollowTheRule();
    void noMarkupOrStraySpace();
    void amendedEntriesSayWhatTheLawSays();
    void whatLabelsPrintIsHere();
    void dietFactsOfWellKnownAdditives_data();
    void dietFactsOfWellKnownAdditives();
    void dietFactsForEveryAdditive();

private:
    vsDataModel model;
};

void tst_CatalogueData::initTestCase()
{
    const QDir data(QStringLiteral(VESTRION_BUILD_DIR "/data"));
    QVERIFY2(!vsCatalogueLoader::dataFileNames(data).isEmpty(), "no packed catalogue in the build");
    vsCatalogueLoader::loadFolder(data.path(), &model);
    QVERIFY(model.rowCount() > 400);
}

void tst_CatalogueData::groupsComeInOrderWithTheirEntries()
{
    int groupIndex = -1;
    CodeKey previous;
    QSet<QString> codes;
    QMap<QString, int> perGroup;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        const QString code = index.data(vsDataModel::CodeRole).toString();
        if (index.data(vsDataModel::TypeRole).toString() == QLatin1String("header")) {
            ++groupIndex;
            QVERIFY2(groupIndex < groups.size(), qPrintable(code));
            QCOMPARE(code, groups.at(groupIndex).title);
            QCOMPARE(index.data(vsDataModel::GroupRole).toString(), code);
            previous = CodeKey();
            continue;
        }
        QVERIFY2(groupIndex >= 0, qPrintable(QStringLiteral("entry %1 before any group").arg(code)));
        const Group &group = groups.at(groupIndex);
        CodeKey key;
        QVERIFY2(parseCode(code, &key), qPrintable(QStringLiteral("malformed code %1").arg(code)));
        QVERIFY2(key.number >= group.first && key.number <= group.last,
                 qPrintable(QStringLiteral("%1 outside %2").arg(code, group.title)));
        QVERIFY2(previous < key, qPrintable(QStringLiteral("%1 out of order").arg(code)));
        QVERIFY2(!codes.contains(code), qPrintable(QStringLiteral("%1 twice").arg(code)));
        QCOMPARE(index.data(vsDataModel::GroupRole).toString(), group.title);
        codes.insert(code);
        previous = key;
        ++perGroup[group.title];
    }
    QCOMPARE(groupIndex, groups.size() - 1);
    for (const Group &group : groups) {
        QVERIFY2(perGroup.value(group.title) > 0, qPrintable(group.title));
        qInfo("%-55s %3d", qPrintable(group.title), perGroup.value(group.title));
    }
    qInfo("entries: %d", int(codes.size()));
}

void tst_CatalogueData::entriesAreComplete()
{
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        if (index.data(vsDataModel::TypeRole).toString() == QLatin1String("header"))
            continue;
        const QString code = index.data(vsDataModel::CodeRole).toString();
        QCOMPARE(index.data(vsDataModel::TypeRole).toString(), QStringLiteral("additive"));
        const QStringList names = pieces(model, row, vsDataModel::NamesRole);
        QVERIFY2(isRussian(names.first()), qPrintable(code + QStringLiteral(": first name not Russian")));
        QVERIFY2(names.size() >= 2, qPrintable(code + QStringLiteral(": no English name")));
        const QStringList functions = pieces(model, row, vsDataModel::FunctionsRole);
        QVERIFY2(functions.size() == 2 && isRussian(functions.at(1)),
                 qPrintable(code + QStringLiteral(": function missing")));
        // Section attributes, where present, are a tag and one text.
        for (int role : {int(vsDataModel::SourcesRole), int(vsDataModel::ProductionRole),
                         int(vsDataModel::ProductsRole), int(vsDataModel::StatusRole)}) {
            const QString value = index.data(role).toString();
            if (value.isEmpty() && role != vsDataModel::StatusRole)
                continue;
            const QStringList parts = value.split(QLatin1Char(':'), Qt::KeepEmptyParts);
            QVERIFY2(parts.size() == 2 && !parts.at(0).isEmpty() && isRussian(parts.at(1)),
                     qPrintable(QStringLiteral("%1: attribute %2 is \"%3\"").arg(code).arg(role).arg(value)));
        }
        const QString source = pieces(model, row, vsDataModel::SourcesRole).first();
        if (!source.isEmpty()) {
            static const QStringList sourceTags = {"plant",   "animal",    "mixed",
                                                   "mineral", "microbial", "synthetic"};
            QVERIFY2(sourceTags.contains(source),
                     qPrintable(code + QStringLiteral(": source tag ") + source));
            // Fats "vegetable or animal" must not pass for plant-only to a reader of the tag.
            const QString text = pieces(model, row, vsDataModel::SourcesRole).value(1);
            if (text.contains(QStringLiteral("растительн")) && text.contains(QStringLiteral("животн")))
                QVERIFY2(source == QLatin1String("mixed"),
                         qPrintable(code + QStringLiteral(": source tag ") + source));
        }
    }
}

void tst_CatalogueData::safetyLevelsFollowTheRule()
{
    QMap<int, int> perLevel;
    QStringList levelTwo;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        if (index.data(vsDataModel::TypeRole).toString() == QLatin1String("header"))
            continue;
        const QString code = index.data(vsDataModel::CodeRole).toString();
        const QStringList safety = pieces(model, row, vsDataModel::SafetyRole);
        QVERIFY2(safety.size() == 2 && isRussian(safety.at(1)),
                 qPrintable(code + QStringLiteral(": safety")));
        bool number = false;
        const int level = safety.first().toInt(&number);
        QVERIFY2(number && level >= 0 && level <= 3,
                 qPrintable(code + QStringLiteral(": level ") + safety.first()));
        // Level 3 is exactly "not authorised in the EU".
        const bool authorised = pieces(model, row, vsDataModel::StatusRole).first() == QLatin1String("eu");
        QVERIFY2((level == 3) == !authorised,
                 qPrintable(code + QStringLiteral(": level does not match status")));
        if (level == 2)
            levelTwo << code;
        ++perLevel[level];
    }
    QCOMPARE(levelTwo, QStringList({"E102", "E104", "E110", "E122", "E124", "E129"}));
    for (auto it = perLevel.cbegin(); it != perLevel.cend(); ++it)
        qInfo("level %d: %d", it.key(), it.value());
}

void tst_CatalogueData::noMarkupOrStraySpace()
{
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        for (int role = vsDataModel::TypeRole; role <= vsDataModel::StatusRole; ++role) {
            const QString value = index.data(role).toString();
            QVERIFY2(!value.contains(QLatin1Char('<')) && !value.contains(QLatin1Char('>')) &&
                         !value.contains(QLatin1Char('&')),
                     qPrintable(QStringLiteral("markup in row %1: %2").arg(row).arg(value)));
            for (const QString &piece : value.split(QLatin1Char(':'), Qt::KeepEmptyParts))
                QVERIFY2(piece == piece.trimmed(),
                         qPrintable(QStringLiteral("stray space in \"%1\"").arg(value)));
        }
    }
}

void tst_CatalogueData::amendedEntriesSayWhatTheLawSays()
{
    // Authorised since 2015, each with every section filled.
    for (const QString &code :
         QStringList{"E463a", "E534", "E960b", "E960c", "E960d", "E160b(i)", "E160b(ii)"}) {
        const int row = rowOf(model, code);
        QVERIFY2(row >= 0, qPrintable(code + QStringLiteral(" missing")));
        QCOMPARE(pieces(model, row, vsDataModel::SafetyRole).first(), QStringLiteral("0"));
        QCOMPARE(pieces(model, row, vsDataModel::StatusRole).first(), QStringLiteral("eu"));
        for (int role : {int(vsDataModel::SourcesRole), int(vsDataModel::ProductionRole),
                         int(vsDataModel::ProductsRole)})
            QVERIFY2(!pieces(model, row, role).value(1).isEmpty(),
                     qPrintable(code + QStringLiteral(": empty section")));
    }
    // The combined annatto code was retired when it was split.
    QCOMPARE(rowOf(model, QStringLiteral("E160b")), -1);
    QCOMPARE(pieces(model, rowOf(model, QStringLiteral("E160b(i)")), vsDataModel::NamesRole).value(1),
             QStringLiteral("Annatto bixin"));
    QCOMPARE(pieces(model, rowOf(model, QStringLiteral("E160b(ii)")), vsDataModel::NamesRole).value(1),
             QStringLiteral("Annatto norbixin"));

    // Food enzymes fall under their own regulation, not the additive list nor "ingredients".
    for (const QString &code : QStringList{"E1100", "E1101", "E1102", "E1104"}) {
        const int row = rowOf(model, code);
        QVERIFY2(row >= 0, qPrintable(code + QStringLiteral(" missing")));
        QCOMPARE(pieces(model, row, vsDataModel::SafetyRole).first(), QStringLiteral("3"));
        const QString status = pieces(model, row, vsDataModel::StatusRole).value(1);
        QVERIFY2(status.contains(QStringLiteral("фермент")) && status.contains(QStringLiteral("1332/2008")) &&
                     !status.contains(QStringLiteral("ингредиент")),
                 qPrintable(code + QStringLiteral(": ") + status));
    }

    // No use of the aluminium silicates E556 and E559 outlived the transition.
    for (const QString &code : QStringList{"E556", "E559"}) {
        const int row = rowOf(model, code);
        QCOMPARE(pieces(model, row, vsDataModel::SafetyRole).first(), QStringLiteral("3"));
        QVERIFY2(pieces(model, row, vsDataModel::StatusRole).value(1).contains(QStringLiteral("380/2012")),
                 qPrintable(code));
    }

    // Acetic anhydride esterifies, adipic anhydride cross-links; rowan holds parasorbic acid.
    const QString e1422 =
        pieces(model, rowOf(model, QStringLiteral("E1422")), vsDataModel::ProductionRole).value(1);
    QVERIFY2(e1422.contains(QStringLiteral("этерификацией крахмала уксусным ангидридом")) &&
                 e1422.contains(QStringLiteral("сшиванием ангидридом адипиновой кислоты")),
             qPrintable(e1422));
    QVERIFY(pieces(model, rowOf(model, QStringLiteral("E200")), vsDataModel::SourcesRole)
                .value(1)
                .contains(QStringLiteral("парасорбиновая кислота")));
}

void tst_CatalogueData::whatLabelsPrintIsHere()
{
    // Every code the written label set expects is one the reader can give.
    QSet<QString> codes;
    for (int row = 0; row < model.rowCount(); ++row)
        codes.insert(model.index(row, 0).data(vsDataModel::CodeRole).toString());
    const QVector<vsLabelSet::Label> labels =
        vsLabelSet::load(QStringLiteral(VESTRION_TEST_DATA_DIR "/labels"));
    QVERIFY(labels.size() >= 50);
    for (const vsLabelSet::Label &label : labels)
        for (const QString &code : label.codes)
            QVERIFY2(codes.contains(code), qPrintable(label.name + QStringLiteral(": ") + code));

    // Iodates: printed on iodised salt and US bread, no EU additives; every section filled.
    for (const QString &code : QStringList{"E916", "E917"}) {
        const int row = rowOf(model, code);
        QVERIFY2(row >= 0, qPrintable(code + QStringLiteral(" missing")));
        QCOMPARE(pieces(model, row, vsDataModel::SafetyRole).first(), QStringLiteral("3"));
        QVERIFY(pieces(model, row, vsDataModel::StatusRole).first() != QLatin1String("eu"));
        for (int role : {int(vsDataModel::SourcesRole), int(vsDataModel::ProductionRole),
                         int(vsDataModel::ProductsRole)})
            QVERIFY2(!pieces(model, row, role).value(1).isEmpty(),
                     qPrintable(code + QStringLiteral(": empty section")));
    }
    QVERIFY(pieces(model, rowOf(model, QStringLiteral("E917")), vsDataModel::NamesRole)
                .contains(QStringLiteral("Калий йодноватокислый")));

    // US colour names, each held by its one entry only.
    const QMap<QString, QString> usNames = {
        {"Yellow No. 5", "E102"}, {"Yellow 5 Lake", "E102"},
        {"Yellow 6", "E110"},     {"Yellow No. 6 Lake", "E110"},
        {"Red 40", "E129"},       {"Red 40 Lake", "E129"},
        {"Red 3", "E127"},        {"Blue 1", "E133"},
        {"Blue 1 Lake", "E133"},  {"Blue No. 2", "E132"},
        {"Green 3", "E143"},      {"Citrus Red No. 2", "E121"},
    };
    for (auto name = usNames.cbegin(); name != usNames.cend(); ++name) {
        QStringList holders;
        for (int row = 0; row < model.rowCount(); ++row)
            if (pieces(model, row, vsDataModel::NamesRole).contains(name.key()))
                holders << model.index(row, 0).data(vsDataModel::CodeRole).toString();
        QCOMPARE(holders, QStringList{name.value()});
    }
}

void tst_CatalogueData::dietFactsOfWellKnownAdditives_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("vegetarian");
    QTest::addColumn<int>("vegan");
    // From animals.
    QTest::newRow("E120 cochineal, insects") << "E120" << int(vsDietFacts::No) << int(vsDietFacts::No);
    QTest::newRow("E901 beeswax") << "E901" << int(vsDietFacts::Yes) << int(vsDietFacts::No);
    QTest::newRow("E904 shellac, insects") << "E904" << int(vsDietFacts::Maybe) << int(vsDietFacts::No);
    QTest::newRow("E966 lactitol, milk") << "E966" << int(vsDietFacts::Yes) << int(vsDietFacts::No);
    QTest::newRow("E1105 lysozyme, egg") << "E1105" << int(vsDietFacts::Yes) << int(vsDietFacts::No);
    // The maker decides.
    QTest::newRow("E322 lecithins, soy or egg") << "E322" << int(vsDietFacts::Yes) << int(vsDietFacts::Maybe);
    QTest::newRow("E471 plant or animal fat") << "E471" << int(vsDietFacts::Maybe) << int(vsDietFacts::Maybe);
    QTest::newRow("E631 microbes, fish or meat")
        << "E631" << int(vsDietFacts::Maybe) << int(vsDietFacts::Maybe);
    QTest::newRow("E635 the same") << "E635" << int(vsDietFacts::Maybe) << int(vsDietFacts::Maybe);
    QTest::newRow("E920 feathers or microbes")
        << "E920" << int(vsDietFacts::Maybe) << int(vsDietFacts::Maybe);
    // Plainly vegan.
    QTest::newRow("E330 citric acid") << "E330" << int(vsDietFacts::Yes) << int(vsDietFacts::Yes);
    QTest::newRow("E300 ascorbic acid") << "E300" << int(vsDietFacts::Yes) << int(vsDietFacts::Yes);
    QTest::newRow("E440 pectins") << "E440" << int(vsDietFacts::Yes) << int(vsDietFacts::Yes);
}

void tst_CatalogueData::dietFactsOfWellKnownAdditives()
{
    QFETCH(QString, code);
    QFETCH(int, vegetarian);
    QFETCH(int, vegan);
    const int row = rowOf(model, code);
    QVERIFY(row >= 0);
    const vsDietFacts facts = model.dietFacts(row);
    QCOMPARE(int(facts.vegetarian.answer), vegetarian);
    QCOMPARE(int(facts.vegan.answer), vegan);
}

void tst_CatalogueData::dietFactsForEveryAdditive()
{
    QMap<int, int> vegetarian;
    QMap<int, int> vegan;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        if (index.data(vsDataModel::TypeRole).toString() == QLatin1String("header"))
            continue;
        const QString code = index.data(vsDataModel::CodeRole).toString();
        const vsDietFacts facts = model.dietFacts(row);
        for (const vsDietFacts::Fact &fact : {facts.vegetarian, facts.vegan}) {
            QVERIFY2(fact.answer != vsDietFacts::Unknown,
                     qPrintable(code + QStringLiteral(": no diet fact")));
            QVERIFY2((fact.answer == vsDietFacts::Yes) == fact.reason.isEmpty() &&
                         (fact.reason.isEmpty() || isRussian(fact.reason)),
                     qPrintable(code + QStringLiteral(": reason ") + fact.reason));
        }
        // What its origin says may come from animals is never passed as vegan.
        const QString origin = pieces(model, row, vsDataModel::SourcesRole).first();
        if (origin == QLatin1String("animal") || origin == QLatin1String("mixed"))
            QVERIFY2(facts.vegan.answer != vsDietFacts::Yes, qPrintable(code));
        ++vegetarian[facts.vegetarian.answer];
        ++vegan[facts.vegan.answer];
    }
    qInfo("vegetarian yes/no/maybe: %d/%d/%d; vegan yes/no/maybe: %d/%d/%d",
          vegetarian.value(vsDietFacts::Yes), vegetarian.value(vsDietFacts::No),
          vegetarian.value(vsDietFacts::Maybe), vegan.value(vsDietFacts::Yes), vegan.value(vsDietFacts::No),
          vegan.value(vsDietFacts::Maybe));
}

QTEST_GUILESS_MAIN(tst_CatalogueData)
#include "tst_catalogue_data.moc"
