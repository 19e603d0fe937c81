// The catalogue: the list model's roles, the loader's choice and order of
// files, and how it treats short, corrupt, oversized and broken-off data.

#include "testsupport.h"

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsdietfacts.h"
#include "catalogue/vsvdbformat.h"
#include "restrictions/vsrestrictions.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>

namespace {
using vsTest::codesOf;

QByteArray withHeader(quint32 size, const QByteArray &zlibStream)
{
    QByteArray payload(4, '\0');
    qToBigEndian(size, payload.data());
    return payload + zlibStream;
}

// qCompress output without its size header: a plain zlib stream.
QByteArray zlibOf(const QByteArray &data)
{
    return qCompress(data).mid(4);
}
} // namespace

class tst_Catalogue : public QObject
{
    Q_OBJECT

private slots:
    void model_rolesReadTheirAttribute();
    void model_rejectsOtherRolesAndIndexes();
    void model_headerData();
    void model_appendKeepsCallOrderAndPassesTester();
    void model_conflictsWithTheRestrictions_data();
    void model_conflictsWithTheRestrictions();

    void reader_takesEveryItemAtAnyDepth();
    void reader_keepsItemsBeforeABreak();
    void reader_lastDuplicateAttributeWins();

    void folder_selectsAndOrdersFiles();
    void folder_badFilesAddNothingAndDoNotStopOthers_data();
    void folder_badFilesAddNothingAndDoNotStopOthers();
    void folder_missingFolderIsEmpty();
    void folder_skipsFifoAndUnreadable();

    void inflate_matchesQUncompress_data();
    void inflate_matchesQUncompress();
    void inflate_refusesWhatExceedsTheBound();
    void inflate_randomCorruptionMatchesQUncompress();
};

void tst_Catalogue::model_rolesReadTheirAttribute()
{
    vsDataModel model;
    vsEntry entry;
    const QStringList attributes = {QStringLiteral("type"),      QStringLiteral("code"),
                                    QStringLiteral("group"),     QStringLiteral("names"),
                                    QStringLiteral("sources"),   QStringLiteral("production"),
                                    QStringLiteral("functions"), QStringLiteral("products"),
                                    QStringLiteral("safety"),    QStringLiteral("status")};
    for (const QString &attribute : attributes)
        entry.insert(attribute, attribute + QStringLiteral("-value"));
    entry.insert(QStringLiteral("extra"), QStringLiteral("kept"));
    model.appendEntries({entry, vsEntry()});

    const QModelIndex row0 = model.index(0, 0);
    for (int i = 0; i < attributes.size(); ++i) {
        const QVariant value = row0.data(100 + i);
        QCOMPARE(value.userType(), int(QMetaType::QString));
        QCOMPARE(value.toString(), attributes.at(i) + QStringLiteral("-value"));
    }
    QCOMPARE(row0.data(Qt::DisplayRole).toString(), row0.data(vsDataModel::CodeRole).toString());

    // An entry without attributes: every role a (null) string, so an ordinary row with an empty code.
    const QModelIndex row1 = model.index(1, 0);
    for (int role = 100; role <= 109; ++role) {
        QVERIFY(row1.data(role).isValid());
        QVERIFY(row1.data(role).toString().isEmpty());
    }
    QVERIFY(row1.data(vsDataModel::TypeRole).toString() != QLatin1String("header"));
}

void tst_Catalogue::model_rejectsOtherRolesAndIndexes()
{
    vsDataModel model;
    model.appendEntries({vsEntry{{QStringLiteral("code"), QStringLiteral("E1")}}});
    const QModelIndex row0 = model.index(0, 0);
    for (int role : {int(Qt::EditRole), int(Qt::ToolTipRole), 1, 32, 99, 110, 255, -1})
        QVERIFY2(!row0.data(role).isValid(), qPrintable(QString::number(role)));
    QVERIFY(!model.data(QModelIndex(), vsDataModel::CodeRole).isValid());
    QVERIFY(!model.index(1, 0).isValid());
    QVERIFY(!model.index(0, 1).isValid());
    QCOMPARE(model.rowCount(row0), 0);
    QCOMPARE(model.flags(row0), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);

    vsDataModel empty;
    QCOMPARE(empty.rowCount(), 0);
    QVERIFY(!empty.data(empty.index(0, 0), vsDataModel::CodeRole).isValid());
}

void tst_Catalogue::model_headerData()
{
    vsDataModel model;
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Column 0"));
    QCOMPARE(model.headerData(4, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("Row 4"));
    QCOMPARE(model.headerData(123, Qt::Vertical).toString(), QStringLiteral("Row 123"));
    QCOMPARE(model.headerData(-3, Qt::Horizontal).toString(), QStringLiteral("Column -3"));
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::EditRole).isValid());
    QVERIFY(!model.headerData(4, Qt::Vertical, vsDataModel::CodeRole).isValid());
}

void tst_Catalogue::model_appendKeepsCallOrderAndPassesTester()
{
    vsDataModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    const auto entry = [](const char *code) {
        return vsEntry{{QStringLiteral("code"), QLatin1String(code)}};
    };
    model.appendEntries({entry("E1"), entry("E2")});
    model.appendEntries({});
    model.appendEntries({entry("E3"), entry("E1")});
    QCOMPARE(codesOf(model), QStringList({"E1", "E2", "E3", "E1"}));
    // Filled before any view is attached, so silently.
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(reset.count(), 0);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_Catalogue::model_conflictsWithTheRestrictions_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("vegetarian"); // null: no attribute
    QTest::addColumn<QString>("vegan");
    QTest::addColumn<int>("diet");
    QTest::addColumn<QStringList>("avoid"); // group ids and codes
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("reasons");
    const int vegan = vsRestrictions::Vegan;
    const int vegetarian = vsRestrictions::Vegetarian;
    const QString none;
    QTest::newRow("nothing set") << "E120"
                                 << "no:insects"
                                 << "no:insects" << int(vsRestrictions::NoDiet) << QStringList()
                                 << int(vsConflict::None) << QStringList();
    QTest::newRow("vegan yes") << "E330"
                               << "yes"
                               << "yes" << vegan << QStringList() << int(vsConflict::None) << QStringList();
    QTest::newRow("not vegan") << "E966"
                               << "yes"
                               << "no:milk" << vegan << QStringList() << int(vsConflict::Conflict)
                               << QStringList("Not vegan: milk");
    QTest::newRow("vegetarian may eat it")
        << "E966"
        << "yes"
        << "no:milk" << vegetarian << QStringList() << int(vsConflict::None) << QStringList();
    QTest::newRow("not vegetarian") << "E120"
                                    << "no:insects"
                                    << "no:insects" << vegetarian << QStringList()
                                    << int(vsConflict::Conflict) << QStringList("Not vegetarian: insects");
    QTest::newRow("maybe") << "E322"
                           << "yes"
                           << "maybe:egg" << vegan << QStringList() << int(vsConflict::Doubt)
                           << QStringList("Maybe not vegan: egg");
    QTest::newRow("no without a reason")
        << "E1"
        << "yes"
        << "no" << vegan << QStringList() << int(vsConflict::Conflict) << QStringList("Not vegan");
    // A catalogue of its own may contradict itself; a vegan never hears yes then.
    QTest::newRow("vegan yes, vegetarian no")
        << "E1"
        << "no:insects"
        << "yes" << vegan << QStringList() << int(vsConflict::Conflict) << QStringList("Not vegan: insects");
    QTest::newRow("vegan yes, vegetarian maybe")
        << "E1"
        << "maybe:fat"
        << "yes" << vegan << QStringList() << int(vsConflict::Doubt) << QStringList("Maybe not vegan: fat");
    QTest::newRow("vegan yes, no vegetarian fact")
        << "E1" << none << "yes" << vegan << QStringList() << int(vsConflict::Doubt)
        << QStringList("Not known whether vegans may eat it");
    QTest::newRow("no facts") << "E1" << none << none << vegetarian << QStringList() << int(vsConflict::Doubt)
                              << QStringList("Not known whether vegetarians may eat it");
    QTest::newRow("an answer the program does not know")
        << "E1"
        << "yes"
        << "Yes" << vegan << QStringList() << int(vsConflict::Doubt)
        << QStringList("Not known whether vegans may eat it");
    QTest::newRow("group") << "E223"
                           << "yes"
                           << "yes" << vegan << QStringList("sulphites") << int(vsConflict::Conflict)
                           << QStringList("On your list: sulphites");
    QTest::newRow("group member with a letter")
        << "E960c"
        << "yes"
        << "yes" << vegan << QStringList({"sulphites", "sweeteners"}) << int(vsConflict::Conflict)
        << QStringList("On your list: sweeteners");
    QTest::newRow("longer number than the group's")
        << "E2201"
        << "yes"
        << "yes" << vegan << QStringList("sulphites") << int(vsConflict::None) << QStringList();
    QTest::newRow("a family avoided")
        << "E160a(ii)" << none << none << int(vsRestrictions::NoDiet) << QStringList("E160a")
        << int(vsConflict::Conflict) << QStringList("On your list");
    QTest::newRow("a member avoided, not its family")
        << "E160a" << none << none << int(vsRestrictions::NoDiet) << QStringList("E160a(ii)")
        << int(vsConflict::None) << QStringList();
    QTest::newRow("a longer code, not a member")
        << "E1600" << none << none << int(vsRestrictions::NoDiet) << QStringList("E160")
        << int(vsConflict::None) << QStringList();
    QTest::newRow("everything at once")
        << "E250"
        << "maybe:meat"
        << "no:meat" << vegan << QStringList({"E250", "nitrites"}) << int(vsConflict::Conflict)
        << QStringList({"Not vegan: meat", "On your list: nitrites and nitrates", "On your list"});
}

void tst_Catalogue::model_conflictsWithTheRestrictions()
{
    QFETCH(QString, code);
    QFETCH(QString, vegetarian);
    QFETCH(QString, vegan);
    QFETCH(int, diet);
    QFETCH(QStringList, avoid);
    QFETCH(int, level);
    QFETCH(QStringList, reasons);

    vsEntry entry{{QStringLiteral("code"), code}, {QStringLiteral("names"), QStringLiteral("Name")}};
    if (!vegetarian.isNull())
        entry.insert(QStringLiteral("vegetarian"), vegetarian);
    if (!vegan.isNull())
        entry.insert(QStringLiteral("vegan"), vegan);
    vsDataModel model;
    model.appendEntries({entry, vsEntry{{QStringLiteral("type"), QStringLiteral("header")},
                                        {QStringLiteral("code"), QStringLiteral("Group")}}});
    vsRestrictions restrictions;
    model.setRestrictions(&restrictions);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    restrictions.setDiet(vsRestrictions::Diet(diet));
    for (const QString &item : avoid) {
        const int group = vsRestrictions::groupIndex(item);
        if (group >= 0)
            restrictions.setGroupAvoided(group, true);
        else
            restrictions.setAdditiveAvoided(item, true);
    }
    // Every change reaches the views, over every row.
    QCOMPARE(changed.count(), int(diet != vsRestrictions::NoDiet) + avoid.size());
    for (const QList<QVariant> &signal : qAsConst(changed))
        QCOMPARE(signal.at(1).toModelIndex().row(), 1);

    const vsConflict conflict = model.conflict(0);
    QCOMPARE(int(conflict.level), level);
    QCOMPARE(conflict.reasons, reasons);
    QCOMPARE(conflict.words.size(), reasons.size());
    // A screen reader hears the reasons after what it heard before.
    QCOMPARE(model.index(0).data(Qt::AccessibleTextRole).toString(),
             QStringList(QStringList{code, QStringLiteral("Name")} + reasons).join(QStringLiteral(", ")));
    // The roles are as they were: the facts are read through their own accessor.
    for (int role : {int(Qt::EditRole), int(Qt::ToolTipRole), 99, 110, int(Qt::UserRole)})
        QVERIFY(!model.index(0).data(role).isValid());
    QVERIFY(model.dietFacts(0).vegan.answer <= model.dietFacts(0).vegetarian.answer);
    // A group title never conflicts, nor does a row out of range.
    QCOMPARE(int(model.conflict(1).level), int(vsConflict::None));
    QCOMPARE(int(model.conflict(2).level), int(vsConflict::None));
}

void tst_Catalogue::reader_takesEveryItemAtAnyDepth()
{
    const QByteArray xml =
        "<?xml version=\"1.0\"?>\n"
        "<whatever xmlns:x=\"urn:x\">"
        "<item code=\"A\" custom=\"c\"><item code=\"A.1\"><item code=\"A.1.1\"/></item></item>"
        "<Item code=\"no\"/><items code=\"no\"/><itemx code=\"no\"/>"
        "<deep><deeper><item code=\"B\" x:names=\"ns\"/></deeper></deep>"
        "<!-- <item code=\"comment\"/> --><![CDATA[<item code=\"cdata\"/>]]>"
        "<x:item code=\"C\"/>"
        "</whatever>";
    const vsEntryList entries = vsCatalogueLoader::readDocument(xml);
    QCOMPARE(codesOf(entries), QStringList({"A", "A.1", "A.1.1", "B", "C"}));
    // Unknown attributes are kept; names are local names.
    QCOMPARE(entries.at(0).value(QStringLiteral("custom")), QStringLiteral("c"));
    QCOMPARE(entries.at(3).value(QStringLiteral("names")), QStringLiteral("ns"));
}

void tst_Catalogue::reader_keepsItemsBeforeABreak()
{
    // Broken off right after the third start tag.
    QByteArray xml = vsTest::document({R"(code="E1")", R"(code="E2")", R"(code="E3")"});
    xml.truncate(xml.indexOf("E3") + 3);
    xml += ">";
    QCOMPARE(codesOf(vsCatalogueLoader::readDocument(xml)), QStringList({"E1", "E2", "E3"}));

    // Not well-formed in the middle: what came before stays, nothing after.
    const QByteArray broken = "<c><item code='E1'/><item code='E2' code2=/><item code='E3'/></c>";
    QCOMPARE(codesOf(vsCatalogueLoader::readDocument(broken)), QStringList({"E1"}));

    // Entities resolved, single quotes allowed.
    const QByteArray entities = "<c><item code='E&#49;00' names='a &amp; b'/></c>";
    const vsEntryList entries = vsCatalogueLoader::readDocument(entities);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().value(QStringLiteral("code")), QStringLiteral("E100"));
    QCOMPARE(entries.first().value(QStringLiteral("names")), QStringLiteral("a & b"));

    QVERIFY(vsCatalogueLoader::readDocument(QByteArray()).isEmpty());
    QVERIFY(vsCatalogueLoader::readDocument("not xml at all").isEmpty());
}

void tst_Catalogue::reader_lastDuplicateAttributeWins()
{
    // Two attributes with one local name in different namespaces: the later one stays.
    const QByteArray xml = "<c xmlns:a='urn:a'><item a:code='first' code='second'/></c>";
    const vsEntryList entries = vsCatalogueLoader::readDocument(xml);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().value(QStringLiteral("code")), QStringLiteral("second"));
    QCOMPARE(entries.first().size(), 1);
}

void tst_Catalogue::folder_selectsAndOrdersFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path();
    vsTest::writeCatalogue(path, "b.vdb", vsTest::document({R"(code="b")"}));
    vsTest::writeCatalogue(path, "a.vdb", vsTest::document({R"(code="a1")", R"(code="a2")"}));
    vsTest::writeCatalogue(path, "B.vdb", vsTest::document({R"(code="B")"}));
    vsTest::writeCatalogue(path, "X.VDB", vsTest::document({R"(code="X")"}));
    vsTest::writeCatalogue(path, ".hidden.vdb", vsTest::document({R"(code="hidden")"}));
    vsTest::writeCatalogue(path, "notes.xml", vsTest::document({R"(code="xml")"}));
    vsTest::writeCatalogue(path, "c.vdb.bak", vsTest::document({R"(code="bak")"}));
    QVERIFY(QDir(path).mkdir("x.vdb"));
    vsTest::writeCatalogue(path + "/x.vdb", "inner.vdb", vsTest::document({R"(code="inner")"}));

    QCOMPARE(vsCatalogueLoader::dataFileNames(QDir(path)), QStringList({"B.vdb", "X.VDB", "a.vdb", "b.vdb"}));
    vsDataModel model;
    vsCatalogueLoader::loadFolder(path, &model);
    QCOMPARE(codesOf(model), QStringList({"B", "X", "a1", "a2", "b"}));
}

void tst_Catalogue::folder_badFilesAddNothingAndDoNotStopOthers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("entries");

    const QByteArray good = vsVdbFormat::pack(vsTest::document({R"(code="M1")", R"(code="M2")"}));
    const QByteArray payload = qCompress(vsTest::document({R"(code="M1")"}));
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("23 bytes") << QByteArray(23, 'x') << 0;
    QTest::newRow("exactly 43 bytes") << QByteArray(43, '\0') << 0;
    // Shorter than both blocks: the payload is everything after the leading block.
    QTest::newRow("short file, payload without trailer")
        << QByteArray(23, '\0') + qCompress(QByteArray("<c><item code='S'/></c>")).left(20) << 0;
    QTest::newRow("no trailing block") << QByteArray(23, '\0') + payload << 0;
    QTest::newRow("garbage payload") << QByteArray(23, '\0') + QByteArray(500, '\x7f') + QByteArray(20, '\0')
                                     << 0;
    QByteArray flipped = good;
    flipped[40] = char(flipped[40] ^ 0x55);
    QTest::newRow("corrupt stream") << flipped << 0;
    // Inflated as it is read, a stream that breaks off keeps the entries before the break.
    QTest::newRow("truncated stream") << good.left(good.size() - 30) + QByteArray(20, '\0') << 1;
    QTest::newRow("size header lies low")
        << QByteArray(23, '\0') + withHeader(3, zlibOf(vsTest::document({R"(code="L")"}))) +
               QByteArray(20, '\0')
        << 1;
    // The size header is never believed: the stream decides.
    QTest::newRow("size header over the bound")
        << QByteArray(23, '\0') +
               withHeader(quint32(vsMaxDocumentSize + 1), zlibOf("<c><item code='H'/></c>")) +
               QByteArray(20, '\0')
        << 1;
    QTest::newRow("size header 0xFFFFFFFF")
        << QByteArray(23, '\0') + withHeader(0xFFFFFFFFu, zlibOf("<c><item code='H'/></c>")) +
               QByteArray(20, '\0')
        << 1;
    QTest::newRow("not a document") << vsVdbFormat::pack("just text") << 0;
    QTest::newRow("good file") << good << 2;
}

void tst_Catalogue::folder_badFilesAddNothingAndDoNotStopOthers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, entries);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    vsTest::writeCatalogue(dir.path(), "a-first.vdb", vsTest::document({R"(code="A")"}));
    vsTest::writeRaw(dir.path(), "m-middle.vdb", bytes);
    vsTest::writeCatalogue(dir.path(), "z-last.vdb", vsTest::document({R"(code="Z")"}));

    vsDataModel model;
    vsCatalogueLoader::loadFolder(dir.path(), &model);
    QCOMPARE(model.rowCount(), entries + 2);
    QCOMPARE(model.index(0, 0).data(vsDataModel::CodeRole).toString(), QStringLiteral("A"));
    QCOMPARE(model.index(model.rowCount() - 1, 0).data(vsDataModel::CodeRole).toString(),
             QStringLiteral("Z"));
}

void tst_Catalogue::folder_missingFolderIsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    vsDataModel model;
    vsCatalogueLoader::loadFolder(dir.path() + "/does-not-exist", &model);
    QCOMPARE(model.rowCount(), 0);
    vsCatalogueLoader::loadFolder(dir.path(), &model);
    QCOMPARE(model.rowCount(), 0);
}

void tst_Catalogue::folder_skipsFifoAndUnreadable()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    vsTest::writeCatalogue(dir.path(), "a.vdb", vsTest::document({R"(code="A")"}));
    // A FIFO nobody writes to would block a plain read forever.
    QCOMPARE(::mkfifo(QFile::encodeName(dir.path() + "/b.vdb").constData(), 0600), 0);
    const QString locked = vsTest::writeCatalogue(dir.path(), "c.vdb", vsTest::document({R"(code="C")"}));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    vsTest::writeCatalogue(dir.path(), "d.vdb", vsTest::document({R"(code="D")"}));
    // A link to a folder of the same pattern is no file either.
    QVERIFY(QFile::link(dir.path(), dir.path() + "/e.vdb"));

    vsDataModel model;
    vsCatalogueLoader::loadFolder(dir.path(), &model);
    QStringList expected = {"A", "D"};
    if (QFile(locked).open(QIODevice::ReadOnly))
        expected = QStringList({"A", "C", "D"}); // running as root: permissions do not stop reading
    QCOMPARE(codesOf(model), expected);
}

void tst_Catalogue::inflate_matchesQUncompress_data()
{
    QTest::addColumn<QByteArray>("payload");
    const QByteArray text = vsTest::starterDocument();
    QTest::newRow("document") << qCompress(text);
    QTest::newRow("empty document") << qCompress(QByteArray());
    QTest::newRow("one byte") << qCompress(QByteArray("x"));
    QTest::newRow("header too low") << withHeader(1, zlibOf(text));
    QTest::newRow("header zero") << withHeader(0, zlibOf(text));
    QTest::newRow("header too high") << withHeader(1 << 20, zlibOf(text));
    QTest::newRow("trailing bytes after the stream") << qCompress(text) + "trailing";
    QTest::newRow("truncated") << qCompress(text).left(40);
    QTest::newRow("only header") << QByteArray(4, '\0');
    QTest::newRow("header and a byte") << QByteArray(4, '\0') + "x";
    QTest::newRow("three bytes") << QByteArray(3, '\0');
    QTest::newRow("raw deflate, no zlib header") << withHeader(10, QByteArray::fromHex("cb48cdc9c90700"));
    QByteArray big(3 * 1024 * 1024 + 17, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char((qint64(i) * 7919) % 251);
    QTest::newRow("3 MiB, many doublings") << qCompress(big, 1);
}

void tst_Catalogue::inflate_matchesQUncompress()
{
    QFETCH(QByteArray, payload);
    const QByteArray expected = qUncompress(payload);
    const QByteArray actual = vsBoundedUncompress(payload);
    QCOMPARE(actual.size(), expected.size());
    QVERIFY(actual == expected);
}

void tst_Catalogue::inflate_refusesWhatExceedsTheBound()
{
    const QByteArray data(10000, 'a');
    const QByteArray packed = qCompress(data);
    QCOMPARE(vsBoundedUncompress(packed, 10000), data);   // an exact fit is within the bound
    QVERIFY(vsBoundedUncompress(packed, 9999).isEmpty()); // honest header over the bound
    QVERIFY(vsBoundedUncompress(withHeader(10, zlibOf(data)), 9999).isEmpty()); // lying header, output over
    QCOMPARE(vsBoundedUncompress(withHeader(10, zlibOf(data)), 10000), data);
    // Read piece by piece, to the byte as well: all of it when it fits, else the
    // bound's worth and no more.
    for (const qint64 bound : {qint64(10000), qint64(9999)}) {
        vsBoundedInflater inflater(packed, bound);
        QByteArray pieces;
        while (inflater.status() == vsBoundedInflater::Reading)
            pieces += inflater.read(4096);
        QCOMPARE(pieces, data.left(int(bound)));
        QCOMPARE(inflater.status(),
                 bound == 10000 ? vsBoundedInflater::Finished : vsBoundedInflater::AtTheBound);
    }

    // Default bound: 128 MiB + 1 of zeros compresses to about 130 KB.
    const QByteArray zeros(int(vsMaxDocumentSize) + 1, '\0');
    const QByteArray bomb = zlibOf(zeros);
    QVERIFY(vsBoundedUncompress(withHeader(0, bomb)).isEmpty());
    QVERIFY(vsBoundedUncompress(withHeader(1000, bomb)).isEmpty());
    QVERIFY(vsBoundedUncompress(withHeader(quint32(zeros.size()), bomb)).isEmpty());
    QCOMPARE(vsBoundedUncompress(withHeader(0, zlibOf(zeros.left(int(vsMaxDocumentSize))))).size(),
             int(vsMaxDocumentSize));
}

void tst_Catalogue::inflate_randomCorruptionMatchesQUncompress()
{
    // Flipped and cut payloads, with a fixed seed so a failure can be replayed.
    QRandomGenerator random(20261207);
    const QByteArray good = qCompress(vsTest::starterDocument());
    for (int round = 0; round < 400; ++round) {
        QByteArray payload = good;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i) {
            const int at = 4 + int(random.bounded(payload.size() - 4));
            payload[at] = char(payload[at] ^ (1 << random.bounded(8)));
        }
        if (round % 3 == 0)
            payload.truncate(4 + int(random.bounded(payload.size() - 4)));
        const QByteArray expected = qUncompress(payload);
        const QByteArray actual = vsBoundedUncompress(payload);
        if (actual != expected)
            QFAIL(qPrintable(QStringLiteral("round %1 differs: %2 vs %3 bytes")
                                 .arg(round)
                                 .arg(actual.size())
                                 .arg(expected.size())));
    }
}

QTEST_GUILESS_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
