// The entry builder: whatever order it allocates in, the entries it hands out
// hold exactly what setting the attributes one by one would give.

#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsentrybuilder.h"

#include <QRandomGenerator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {
// The plain way: every attribute in tag order, a later one replacing an earlier.
vsEntryList plainEntries(const QByteArray &xml)
{
    vsEntryList entries;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
            continue;
        vsEntry entry;
        for (const QXmlStreamAttribute &attribute : reader.attributes())
            entry.insert(attribute.name().toString(), attribute.value().toString());
        entries.append(entry);
    }
    return entries;
}

vsEntryList builtEntries(const QByteArray &xml)
{
    vsEntryBuilder builder;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("item"))
            builder.add(reader.attributes());
    }
    return builder.take();
}

QByteArray namespaced(const QStringList &items)
{
    QByteArray xml = "<c xmlns:a='urn:a' xmlns:b='urn:b'>";
    for (const QString &item : items)
        xml += "<item " + item.toUtf8() + "/>";
    return xml + "</c>";
}
} // namespace

class tst_EntryBuilder : public QObject
{
    Q_OBJECT

private slots:
    void sameEntriesAsAttributeByAttribute_data();
    void sameEntriesAsAttributeByAttribute();
    void manyEntriesAcrossBatches();
    void takeEmptiesTheBuilderAndLeavesNoSharing();
    void namesAreSharedOnlyUpToABound();
};

void tst_EntryBuilder::sameEntriesAsAttributeByAttribute_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("ordinary") << vsTest::document(
        {R"(type="header" code="Group")", R"(code="E100" names="a:b" safety="1:x" status="ok")"});
    QTest::newRow("no attributes, only a code, no code")
        << vsTest::document({QString(), R"(code="E1")", R"(names="n" group="g")"});
    QTest::newRow("empty values") << vsTest::document({R"(code="" names="" extra="")"});
    // The same local name twice, through namespaces: the later one wins,
    // for the code as for any other attribute.
    QTest::newRow("code twice") << namespaced({R"(a:code="E1" names="n" b:code="E2")"});
    QTest::newRow("code before and after others")
        << namespaced({R"(b:code="E9" a:names="first" code="E3" b:names="second")"});
    QTest::newRow("entities and unknown names")
        << vsTest::document({R"(code="E&#49;0&amp;" weird-name="x &lt; y" names="&quot;q&quot;")"});
}

void tst_EntryBuilder::sameEntriesAsAttributeByAttribute()
{
    QFETCH(QByteArray, xml);
    const vsEntryList expected = plainEntries(xml);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(builtEntries(xml), expected);
    // And through the loader, which builds with it.
    QCOMPARE(vsCatalogueLoader::readDocument(xml), expected);
}

void tst_EntryBuilder::manyEntriesAcrossBatches()
{
    // Enough entries for several batches, a tag whose text alone fills one,
    // and random attribute sets, so batches end at every kind of entry.
    QRandomGenerator random(8);
    QStringList items;
    const QStringList names = {"type", "code", "group", "names", "functions", "extra"};
    for (int i = 0; i < 1500; ++i) {
        QString item;
        for (const QString &name : names) {
            if (random.bounded(4) != 0)
                item += QStringLiteral(" %1=\"%2-%3\"").arg(name).arg(i).arg(random.bounded(1000));
        }
        if (i == 700)
            item += QStringLiteral(" products=\"%1\"").arg(QString(1100 * 1024, QLatin1Char('p')));
        items << item;
    }
    const QByteArray xml = vsTest::document(items);
    const vsEntryList expected = plainEntries(xml);
    QCOMPARE(expected.size(), 1500);
    const vsEntryList built = builtEntries(xml);
    QCOMPARE(built.size(), expected.size());
    for (int i = 0; i < built.size(); ++i)
        QVERIFY2(built.at(i) == expected.at(i), qPrintable(QString::number(i)));
}

void tst_EntryBuilder::takeEmptiesTheBuilderAndLeavesNoSharing()
{
    const QByteArray xml = vsTest::document({R"(code="E1" names="one")", R"(code="E2" names="two")"});
    vsEntryBuilder builder;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("item"))
            builder.add(reader.attributes());
    }
    QCOMPARE(builder.size(), 2);
    vsEntryList first = builder.take();
    QCOMPARE(builder.size(), 0);
    QVERIFY(builder.take().isEmpty());
    QCOMPARE(first, plainEntries(xml));

    // Later entries go into a fresh list and leave the taken one alone.
    QXmlStreamReader again(vsTest::document({R"(code="E3" names="three")"}));
    while (!again.atEnd()) {
        if (again.readNext() == QXmlStreamReader::StartElement && again.name() == QLatin1String("item"))
            builder.add(again.attributes());
    }
    const vsEntryList second = builder.take();
    QCOMPARE(first.size(), 2);
    QCOMPARE(second.size(), 1);
    QCOMPARE(second.at(0).value(QStringLiteral("names")), QStringLiteral("three"));
}

void tst_EntryBuilder::namesAreSharedOnlyUpToABound()
{
    // Two entries with the same names: each name's text exists once.
    const vsEntryList entries =
        builtEntries(vsTest::document({R"(code="E1" names="a")", R"(code="E2" names="b")"}));
    QCOMPARE(entries.size(), 2);
    for (const QString &name : {QStringLiteral("code"), QStringLiteral("names")}) {
        const auto first = entries.at(0).find(name);
        const auto second = entries.at(1).find(name);
        QVERIFY(first != entries.at(0).end() && second != entries.at(1).end());
        QCOMPARE(first.key().constData(), second.key().constData());
    }

    // Thousands of distinct names are all kept, each entry with its own.
    QString item;
    for (int i = 0; i < 2000; ++i)
        item += QStringLiteral(" n%1=\"%1\"").arg(i);
    const QByteArray xml = vsTest::document({item, item});
    const vsEntryList many = builtEntries(xml);
    QCOMPARE(many, plainEntries(xml));
    QCOMPARE(many.at(1).size(), 2000);
    QCOMPARE(many.at(1).value(QStringLiteral("n1999")), QStringLiteral("1999"));
}

QTEST_GUILESS_MAIN(tst_EntryBuilder)
#include "tst_entrybuilder.moc"
