// vestrion-vdb, run as the build runs it: packing, unpacking, verifying and
// listing catalogue files, and refusing what it must not write.

#include "testsupport.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsvdbformat.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
using Run = vsTest::CommandRun;

Run runTool(const QStringList &arguments)
{
    return vsTest::runCommand(QStringLiteral(VESTRION_BUILD_DIR "/vestrion-vdb"), arguments);
}

QByteArray readFile(const QString &path)
{
    return vsTest::fileContents(path);
}
} // namespace

class tst_VdbTool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void packUnpackRoundTrip();
    void packedFileLayout();
    void listPrintsOneLinePerItem();
    void packRefusesBadSources_data();
    void packRefusesBadSources();
    void boundsAreReportedLikeTheProgramReads_data();
    void boundsAreReportedLikeTheProgramReads();
    void verifyReportsEachFile();
    void usageErrors();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }
};

void tst_VdbTool::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void tst_VdbTool::packUnpackRoundTrip()
{
    // Odd bytes on purpose: a BOM-less UTF-8 document with CRLF line ends and no final newline.
    QByteArray source = vsTest::starterDocument();
    source.replace("\n", "\r\n");
    source.chop(2);
    vsTest::writeRaw(dir->path(), "source.xml", source);

    QCOMPARE(runTool({"pack", path("source.xml"), path("out.vdb")}).exitCode, 0);
    const Run toStdout = runTool({"unpack", path("out.vdb")});
    QCOMPARE(toStdout.exitCode, 0);
    QVERIFY(toStdout.out == source);
    QCOMPARE(runTool({"unpack", path("out.vdb"), path("back.xml")}).exitCode, 0);
    QVERIFY(readFile(path("back.xml")) == source);

    // The program's own reader takes the packed file as it is.
    QCOMPARE(vsCatalogueLoader::readFile(readFile(path("out.vdb"))).size(), 21);
}

void tst_VdbTool::packedFileLayout()
{
    vsTest::writeRaw(dir->path(), "source.xml", "<c><item code='E1'/></c>");
    QCOMPARE(runTool({"pack", path("source.xml"), path("out.vdb")}).exitCode, 0);
    const QByteArray file = readFile(path("out.vdb"));
    QVERIFY(file.startsWith("VESTRION CATALOGUE\x01"));
    QCOMPARE(file.mid(19, 4), QByteArray(4, '\0'));
    const QByteArray payload = file.mid(23, file.size() - 43);
    QCOMPARE(qUncompress(payload), QByteArray("<c><item code='E1'/></c>"));
    QCOMPARE(file.right(20), QCryptographicHash::hash(payload, QCryptographicHash::Sha1));
}

void tst_VdbTool::listPrintsOneLinePerItem()
{
    vsTest::writeRaw(dir->path(), "source.xml", vsTest::starterDocument());
    QCOMPARE(runTool({"pack", path("source.xml"), path("out.vdb")}).exitCode, 0);
    const Run run = runTool({"list", path("out.vdb")});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines.at(0), QStringLiteral("Красители\theader\t"));
    QCOMPARE(lines.at(2), QStringLiteral("E102\tadditive\tТартразин"));
}

void tst_VdbTool::packRefusesBadSources_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("where");
    QTest::newRow("unclosed element")
        << QByteArray("<c>\n  <item code='E1'>\n</c>\n") << QStringLiteral(":3:");
    QTest::newRow("bad attribute") << QByteArray("<c><item code=E1/></c>") << QStringLiteral(":1:");
    QTest::newRow("text after the root") << QByteArray("<c/>\n<d/>") << QStringLiteral(":2:");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral(":1:");
    // Diet facts the program would read as unknown, or that contradict themselves.
    QTest::newRow("diet: unknown answer")
        << QByteArray("<c><item code='E1' vegetarian='yes' vegan='yse'/></c>")
        << QStringLiteral("item 1 (E1): vegan: \"yse\" is not yes, no or maybe");
    QTest::newRow("diet: no without a reason")
        << QByteArray("<c><item code='E1'/><item code='E2' vegetarian='yes' vegan='no'/></c>")
        << QStringLiteral("item 2 (E2): vegan: \"no\" needs one reason");
    QTest::newRow("diet: a reason with yes")
        << QByteArray("<c><item code='E1' vegetarian='yes:x' vegan='no:x'/></c>")
        << QStringLiteral("vegetarian: \"yes\" takes no reason");
    QTest::newRow("diet: one without the other")
        << QByteArray("<c><item code='E1' vegan='no:milk'/></c>") << QStringLiteral("together or not at all");
    QTest::newRow("diet: vegan better than vegetarian")
        << QByteArray("<c><item code='E1' vegetarian='maybe:fat' vegan='yes'/></c>")
        << QStringLiteral("vegan: better than vegetarian");
}

void tst_VdbTool::packRefusesBadSources()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, where);
    vsTest::writeRaw(dir->path(), "source.xml", source);
    const Run run = runTool({"pack", path("source.xml"), path("out.vdb")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(QString::fromUtf8(run.err).contains(where), run.err.constData());
    QVERIFY(!QFile::exists(path("out.vdb")));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList("source.xml"));

    // A missing source is refused the same way.
    QCOMPARE(runTool({"pack", path("missing.xml"), path("out.vdb")}).exitCode, 1);
    QVERIFY(!QFile::exists(path("out.vdb")));
}

void tst_VdbTool::boundsAreReportedLikeTheProgramReads_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QStringList>("kept");

    QByteArray wide = "<c><item code=\"E1\"/><item code=\"E2\"/><item code=\"wide\"";
    for (int i = 0; i < 20000; ++i)
        wide += " a" + QByteArray::number(i) + "=\"\"";
    wide += "/><item code=\"E3\"/></c>";
    QTest::newRow("attributes in one tag")
        << wide << "10,000 attributes in one tag" << QStringList({"E1", "E2"});
    // Twenty 1000-character references per item: 20 KB of text from 300 bytes.
    QByteArray shared = "<!DOCTYPE c [<!ENTITY t \"" + QByteArray(1000, 't') + "\">]><c>";
    for (int i = 0; i < 400; ++i)
        shared += "<item code=\"S" + QByteArray::number(i) + "\" safety=\"" + QByteArray("&t;").repeated(20) +
                  "\"/>";
    shared += "</c>";
    QStringList first;
    for (int i = 0; i < 210; ++i)
        first << QStringLiteral("S%1").arg(i);
    QTest::newRow("expanded text") << shared << "text of 16 characters per document byte and 4,194,304 more"
                                   << first;
}

void tst_VdbTool::boundsAreReportedLikeTheProgramReads()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, limit);
    QFETCH(QStringList, kept);
    const QByteArray packed = vsVdbFormat::pack(source);
    const vsCatalogueLoader::Reading reading = vsCatalogueLoader::readFileContents(packed);
    const QStringList codes = vsTest::codesOf(reading.entries);
    QCOMPARE(codes.mid(0, kept.size()), kept);
    QCOMPARE(reading.limit, limit);
    const QByteArray counts = QStringLiteral("the program would keep %1 of %2 items")
                                  .arg(codes.size())
                                  .arg(source.count("<item "))
                                  .toUtf8();

    vsTest::writeRaw(dir->path(), "source.xml", source);
    const Run packing = runTool({"pack", path("source.xml"), path("out.vdb")});
    QCOMPARE(packing.exitCode, 1);
    QVERIFY2(packing.err.contains(limit.toUtf8()) && packing.err.contains(counts), packing.err.constData());
    QVERIFY(!QFile::exists(path("out.vdb")));

    vsTest::writeRaw(dir->path(), "packed.vdb", packed);
    const Run verifying = runTool({"verify", path("packed.vdb")});
    QCOMPARE(verifying.exitCode, 1);
    QVERIFY2(verifying.out.contains("FAILED: exceeds the limit of " + limit.toUtf8()) &&
                 verifying.out.contains(counts),
             verifying.out.constData());

    // list shows what the program shows, and says where it stopped.
    const Run listing = runTool({"list", path("packed.vdb")});
    QCOMPARE(listing.exitCode, 0);
    QCOMPARE(listing.out.count('\n'), codes.size());
    QVERIFY(listing.out.startsWith((kept.first() + QLatin1Char('\t')).toUtf8()));
    QVERIFY(listing.err.contains(limit.toUtf8()));
}

void tst_VdbTool::verifyReportsEachFile()
{
    vsTest::writeRaw(dir->path(), "source.xml", vsTest::starterDocument());
    QCOMPARE(runTool({"pack", path("source.xml"), path("good.vdb")}).exitCode, 0);
    const QByteArray good = readFile(path("good.vdb"));

    QByteArray badSum = good;
    badSum[good.size() - 1] = char(badSum[good.size() - 1] ^ 1);
    vsTest::writeRaw(dir->path(), "badsum.vdb", badSum);
    QByteArray badMagic = good;
    badMagic[0] = 'X';
    vsTest::writeRaw(dir->path(), "badmagic.vdb", badMagic);
    vsTest::writeRaw(dir->path(), "short.vdb", good.left(30));
    // Checksum right, payload not a zlib stream.
    const QByteArray junk(64, '\x42');
    vsTest::writeRaw(dir->path(), "junk.vdb",
                     good.left(23) + junk + QCryptographicHash::hash(junk, QCryptographicHash::Sha1));
    // Sound container, broken document inside (packed by hand, as the tool would refuse it).
    vsTest::writeRaw(dir->path(), "badxml.vdb", vsVdbFormat::pack("<c><item code='E1'>"));
    vsTest::writeRaw(dir->path(), "baddiet.vdb",
                     vsVdbFormat::pack("<c><item code='E1' vegetarian='x' vegan='x'/></c>"));

    const Run allGood = runTool({"verify", path("good.vdb")});
    QCOMPARE(allGood.exitCode, 0);
    QVERIFY2(allGood.out.contains("good.vdb: OK, 21 items"), allGood.out.constData());

    const QStringList names = {"good.vdb", "badsum.vdb", "badmagic.vdb", "short.vdb",
                               "junk.vdb", "badxml.vdb", "baddiet.vdb"};
    QStringList arguments("verify");
    for (const QString &name : names)
        arguments << path(name);
    const Run mixed = runTool(arguments);
    QCOMPARE(mixed.exitCode, 1);
    const QStringList lines = QString::fromUtf8(mixed.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), names.size());
    QVERIFY(lines.at(0).endsWith(QStringLiteral("OK, 21 items")));
    QVERIFY(lines.at(1).contains(QStringLiteral("FAILED: checksum mismatch")));
    QVERIFY(lines.at(2).contains(QStringLiteral("FAILED: not a catalogue file")));
    QVERIFY(lines.at(3).contains(QStringLiteral("FAILED: file too short")));
    QVERIFY(lines.at(4).contains(QStringLiteral("FAILED: payload does not decompress")));
    QVERIFY(lines.at(5).contains(QStringLiteral("FAILED: 1:")));
    QVERIFY(lines.at(6).contains(QStringLiteral("FAILED: item 1 (E1): vegetarian: \"x\"")));
}

void tst_VdbTool::usageErrors()
{
    QCOMPARE(runTool({}).exitCode, 2);
    QCOMPARE(runTool({"pack", path("only-one.xml")}).exitCode, 2);
    QCOMPARE(runTool({"frobnicate", "x"}).exitCode, 2);
    QVERIFY(runTool({"verify"}).err.contains("usage:"));
    QCOMPARE(runTool({"unpack", path("missing.vdb")}).exitCode, 1);
    QCOMPARE(runTool({"list", path("missing.vdb")}).exitCode, 1);
}

QTEST_GUILESS_MAIN(tst_VdbTool)
#include "tst_vdbtool.moc"
