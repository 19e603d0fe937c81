// Hostile catalogue files: lying size headers, zip bombs, entity bombs, deep
// nesting, huge tags, bad encodings, odd files in the data folder, and rich
// text that names local files. None may crash, hang or swallow the entries of
// good files; what each yields is fixed here. Time and memory are measured
// outside the tests (fuzz/measure_hostile.py).

#include "testsupport.h"

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsvdbformat.h"
#include "detail/vsdatadisplay.h"
#include "detail/vsrichtextfilter.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QtTest>

#include <cstdlib>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {
using namespace vsCatalogueLoader;

using vsTest::codesOf;

// A data file around any payload, with zero blocks as the loader skips them.
QByteArray fileAround(const QByteArray &payload)
{
    return QByteArray(vsVdbFormat::leadingSize, '\0') + payload + QByteArray(vsVdbFormat::trailingSize, '\0');
}

QByteArray withHeader(quint32 size, const QByteArray &zlibStream)
{
    QByteArray payload(4, '\0');
    qToBigEndian(size, payload.data());
    return payload + zlibStream;
}

// A zlib stream made piece by piece, so that gigabytes of input never sit in memory.
class Deflater
{
public:
    explicit Deflater(int level)
    {
        if (deflateInit(&z, level) != Z_OK)
            qFatal("deflateInit failed");
    }
    ~Deflater() { deflateEnd(&z); }

    void add(const QByteArray &input, int flush = Z_NO_FLUSH)
    {
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
        z.avail_in = uInt(input.size());
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer.data());
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            out.append(buffer.constData(), buffer.size() - int(z.avail_out));
        } while (z.avail_out == 0);
    }

    QByteArray finish()
    {
        add(QByteArray(), Z_FINISH);
        return out;
    }

private:
    z_stream z{};
    QByteArray out;
    QByteArray buffer = QByteArray(256 * 1024, '\0');
};

// A zlib stream of head followed by count zero bytes.
QByteArray zlibWithZeros(const QByteArray &head, qint64 count)
{
    Deflater stream(Z_BEST_COMPRESSION);
    const QByteArray zeros(1024 * 1024, '\0');
    stream.add(head);
    for (qint64 left = count; left > 0; left -= zeros.size())
        stream.add(left >= zeros.size() ? zeros : zeros.left(int(left)));
    return stream.finish();
}

// 1 GiB of zeros after one item: were it inflated, the item would load.
const QByteArray &gibibyteBomb()
{
    static const QByteArray stream = zlibWithZeros("<c><item code=\"bomb\"/>", qint64(1) << 30);
    return stream;
}

// lol, lol1 ... lolN, each ten references to the one before: lolN is 3 * 10^N characters.
QByteArray laughs(int levels)
{
    QByteArray dtd = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int level = 1; level <= levels; ++level) {
        const QByteArray previous = level == 1 ? QByteArray("lol") : "lol" + QByteArray::number(level - 1);
        dtd += "<!ENTITY lol" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            dtd += "&" + previous + ";";
        dtd += "\">\n";
    }
    return dtd + "]>\n";
}

QByteArray repeated(const QByteArray &piece, int count)
{
    QByteArray out;
    out.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// 400 items, then a byte that is no UTF-8, then one more item.
QByteArray invalidUtf8Document()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><c>";
    for (int i = 0; i < 400; ++i)
        xml += "<item code=\"U" + QByteArray::number(i) + "\" names=\"Куркумин\"/>\n";
    return xml + "<item code=\"bad \xc3\x28\"/><item code=\"after\"/></c>";
}

QByteArray nulDocument()
{
    return QByteArray("<c><item code=\"before\"/><item code=\"a") + '\0' + "b\"/><item code=\"after\"/></c>";
}

// Every hostile document of the named cases, packed or raw as a file, by name.
QList<QPair<QString, QByteArray>> hostileFiles()
{
    const QByteArray tiny = qCompress(QByteArray("<c><item code=\"tiny\"/></c>")).mid(4);
    const QByteArray bomb = gibibyteBomb();
    QByteArray wide = "<c><item code=\"before\"/><item ";
    for (int i = 0; i < 100000; ++i)
        wide += "a" + QByteArray::number(i) + "=\"\" ";
    wide += "/><item code=\"after\"/></c>";

    return {
        {"header-ffffffff.vdb", fileAround(withHeader(0xFFFFFFFFu, tiny))},
        {"header-1gib.vdb", fileAround(withHeader(1u << 30, tiny))},
        {"header-64mib-plus-1.vdb", fileAround(withHeader((1u << 26) + 1, tiny))},
        {"bomb-honest.vdb", fileAround(withHeader(1u << 30, bomb))},
        {"bomb-header-0.vdb", fileAround(withHeader(0, bomb))},
        {"bomb-header-1000.vdb", fileAround(withHeader(1000, bomb))},
        {"laughs-classic.vdb",
         vsVdbFormat::pack(laughs(9) +
                           "<lolz><item code=\"before\"/><item code=\"bomb\" a=\"&lol9;\"/></lolz>")},
        {"laughs-20000-references.vdb",
         vsVdbFormat::pack(laughs(3) + "<lolz><item code=\"before\"/><item code=\"bomb\" a=\"" +
                           repeated("&lol3;", 20000) + "\"/></lolz>")},
        {"nested-1000000.vdb", vsVdbFormat::pack(repeated("<item>", 1000000))},
        {"attributes-100000.vdb", vsVdbFormat::pack(wide)},
        {"invalid-utf8.vdb", vsVdbFormat::pack(invalidUtf8Document())},
        {"unknown-encoding.vdb",
         vsVdbFormat::pack(
             "<?xml version=\"1.0\" encoding=\"x-vestrion-unknown\"?><c><item code=\"x\"/></c>")},
        {"nul-in-attribute.vdb", vsVdbFormat::pack(nulDocument())},
    };
}

// Loads folder/a.vdb (A), folder/m.vdb (the file under test) and folder/z.vdb (Z).
QStringList loadBetweenGoodFiles(const QByteArray &bytes)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    vsTest::writeCatalogue(dir.path(), QStringLiteral("a.vdb"), vsTest::document({R"(code="A")"}));
    vsTest::writeRaw(dir.path(), QStringLiteral("m.vdb"), bytes);
    vsTest::writeCatalogue(dir.path(), QStringLiteral("z.vdb"), vsTest::document({R"(code="Z")"}));
    vsDataModel model;
    loadFolder(dir.path(), &model);
    return codesOf(model);
}

// The files a process opens or reads in one folder, seen through inotify.
class FileWatch
{
public:
    explicit FileWatch(const QString &folder) : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (fd >= 0)
            inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS);
    }
    ~FileWatch()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileWatch(const FileWatch &) = delete;
    FileWatch &operator=(const FileWatch &) = delete;
    bool isValid() const { return fd >= 0; }

    QStringList touched()
    {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = ::read(fd, buffer, sizeof buffer);
            if (length <= 0)
                return names;
            for (ssize_t at = 0; at < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0)
                    names << QFile::decodeName(event->name);
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd;
};
} // namespace

class tst_Hostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void sizeHeaders_decideNoAllocation_data();
    void sizeHeaders_decideNoAllocation();
    void zipBombs_stopAtTheDocumentBound_data();
    void zipBombs_stopAtTheDocumentBound();
    void zipBombs_wellFormedPastTheBoundKeepsWhatCameBefore();

    void limits_realCataloguesLoadWhole_data();
    void limits_realCataloguesLoadWhole();

    void entities_billionLaughsStopAtTheReadersOwnLimit();
    void entities_manyReferencesStopAtTheTextBound();
    void entities_attributeDefaultsStopAtTheTextBound();
    void entities_ordinaryUseLoadsWhole();
    void entities_dtdOutsideThePrologStops();

    void nesting_millionItemsStopAtTheDepthBound();
    void attributes_hundredThousandInOneItemStopAtTheAttributeBound();
    void attributes_manyWideItemsStopAtTheCheckBound();
    void tokens_tinyElementsStopAtTheTokenCount();
    void items_theBoundIsKeptAndTheNextDropped();

    void encoding_invalidUtf8KeepsWhatCameBefore();
    void encoding_declarationsTheReaderKnowsOrNot();
    void encoding_nulByteInAnAttributeStops();

    void regression_fuzzFindings_data();
    void regression_fuzzFindings();

    void folder_tenThousandSmallFiles();
    void folder_everyHostileFileBesideOneGoodFile();

    void detail_valuesReadNoLocalFile();
    void detail_keepsLineBreaksAndSimpleFormatting();
};

void tst_Hostile::initTestCase()
{
    vsTest::isolateSettings();
    // qUncompress and the reader complain on stderr about every broken document here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &) {
        if (type == QtFatalMsg)
            std::abort();
    });
}

void tst_Hostile::sizeHeaders_decideNoAllocation_data()
{
    QTest::addColumn<quint32>("header");
    // The header is skipped unread: whatever it claims, the tiny document loads.
    QTest::newRow("0xFFFFFFFF") << 0xFFFFFFFFu;
    QTest::newRow("1 GiB") << (1u << 30);
    QTest::newRow("document bound + 1") << quint32(vsMaxDocumentSize + 1);
    QTest::newRow("0") << 0u;
}

void tst_Hostile::sizeHeaders_decideNoAllocation()
{
    QFETCH(quint32, header);
    const QByteArray stream = qCompress(QByteArray("<c><item code=\"tiny\"/></c>")).mid(4);
    QCOMPARE(loadBetweenGoodFiles(fileAround(withHeader(header, stream))), QStringList({"A", "tiny", "Z"}));
}

void tst_Hostile::zipBombs_stopAtTheDocumentBound_data()
{
    QTest::addColumn<quint32>("header");
    QTest::newRow("honest header") << (1u << 30);
    QTest::newRow("header 0") << 0u;
    QTest::newRow("header 1000") << 1000u;
}

void tst_Hostile::zipBombs_stopAtTheDocumentBound()
{
    QFETCH(quint32, header);
    const QByteArray payload = withHeader(header, gibibyteBomb());
    // About a megabyte that holds a gibibyte: inflated whole it is refused at
    // the bound; read as it inflates, the first zero byte ends the document.
    QVERIFY(payload.size() < 2 * 1024 * 1024);
    QVERIFY(vsBoundedUncompress(payload).isEmpty());
    QCOMPARE(loadBetweenGoodFiles(fileAround(payload)), QStringList({"A", "bomb", "Z"}));
}

void tst_Hostile::zipBombs_wellFormedPastTheBoundKeepsWhatCameBefore()
{
    // 200 items, each followed by a mebibyte of spaces: 200 MiB of good XML.
    Deflater deflater(1);
    const QByteArray spaces(1024 * 1024, ' ');
    deflater.add("<c>");
    for (int i = 0; i < 200; ++i) {
        deflater.add("<item code=\"" + QByteArray::number(i) + "\"/>");
        deflater.add(spaces);
    }
    deflater.add("</c>");
    const QByteArray stream = deflater.finish();

    const Reading reading = readFileContents(fileAround(withHeader(0, stream)));
    QCOMPARE(reading.limit, QStringLiteral("128 MiB decompressed"));
    QCOMPARE(reading.entries.size(), 128);
    QCOMPARE(reading.entries.last().value(QStringLiteral("code")), QStringLiteral("127"));
}

void tst_Hostile::limits_realCataloguesLoadWhole_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("items");
    QTest::addColumn<QString>("lastCode");
    QTest::addColumn<QString>("attribute"); // of the last item, and its length
    QTest::addColumn<int>("length");

    const auto items = [](int count, const QByteArray &attributes) {
        QByteArray xml = "<catalogue>\n";
        for (int i = 0; i < count; ++i)
            xml += "<item code=\"E" + QByteArray::number(i) + "\" " + attributes + "/>\n";
        return xml + "</catalogue>\n";
    };
    // Safety text from one entity: the text is three times the document.
    const QByteArray safety = QString(QStringLiteral("Разрешён в ЕС; ")).repeated(9).toUtf8();
    QTest::newRow("entity-shared text, 20,000 items")
        << "<!DOCTYPE catalogue [<!ENTITY s \"" + safety + "\">]>\n" + items(20000, "safety=\"1:&s;\"")
        << 20000 << "E19999"
        << "safety" << 2 + 135;
    QTest::newRow("an attribute default, 50,000 items")
        << "<!DOCTYPE catalogue [<!ATTLIST item status CDATA \"eu:" + safety + "\">]>\n" + items(50000, "")
        << 50000 << "E49999"
        << "status" << 3 + 135;
    QTest::newRow("a default naming a 300-character entity")
        << "<!DOCTYPE catalogue [<!ENTITY p \"" + QByteArray(300, 'p') +
               "\"><!ATTLIST item production CDATA \"x:&p;\">]>\n" + items(5000, "")
        << 5000 << "E4999"
        << "production" << 302;
    QTest::newRow("a default naming a 4000-character entity")
        << "<!DOCTYPE catalogue [<!ENTITY p \"" + QByteArray(4000, 'p') +
               "\"><!ATTLIST item production CDATA \"&p;\">]>\n" + items(500, "")
        << 500 << "E499"
        << "production" << 4000;
    const QByteArray mebibyte(1024 * 1024, 'm');
    QTest::newRow("a comment, a text and a value of 1 MiB")
        << "<c><item code=\"1\"/><!--" + mebibyte + "--><item code=\"2\"/>" + mebibyte +
               "<item code=\"3\" production=\"" + mebibyte + "\"/></c>"
        << 3 << "3"
        << "production" << mebibyte.size();
}

void tst_Hostile::limits_realCataloguesLoadWhole()
{
    QFETCH(QByteArray, document);
    QFETCH(int, items);
    QFETCH(QString, lastCode);
    QFETCH(QString, attribute);
    QFETCH(int, length);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = vsTest::writeCatalogue(dir.path(), QStringLiteral("real.vdb"), document);

    vsDataModel model;
    loadFolder(dir.path(), &model);
    QCOMPARE(model.rowCount(), items);
    const vsEntryList entries = readPath(path).entries;
    QCOMPARE(entries.last().value(QStringLiteral("code")), lastCode);
    QCOMPARE(entries.last().value(attribute).size(), length);

    // The tool agrees.
    const vsTest::CommandRun tool = vsTest::runCommand(QStringLiteral(VESTRION_BUILD_DIR "/vestrion-vdb"),
                                                       {QStringLiteral("verify"), path});
    QCOMPARE(tool.out, (path + QStringLiteral(": OK, %1 items\n").arg(items)).toUtf8());
    QCOMPARE(tool.exitCode, 0);
}

void tst_Hostile::entities_billionLaughsStopAtTheReadersOwnLimit()
{
    // The reader's own bound: one reference may add 4096 characters at most.
    QCOMPARE(QXmlStreamReader().entityExpansionLimit(), 4096);
    const QByteArray classic =
        laughs(9) +
        "<lolz><item code=\"before\"/><item code=\"bomb\" a=\"&lol9;\"/><item code=\"after\"/></lolz>";
    QCOMPARE(codesOf(readDocument(classic)), QStringList({"before"}));

    // lol3 (3000 characters) is within it, lol4 (30,000) is not.
    const vsEntryList three = readDocument(laughs(4) + "<lolz><item code=\"3\" a=\"&lol3;\"/>"
                                                       "<item code=\"4\" a=\"&lol4;\"/></lolz>");
    QCOMPARE(codesOf(three), QStringList({"3"}));
    QCOMPARE(three.first().value(QStringLiteral("a")).size(), 3000);
}

void tst_Hostile::entities_manyReferencesStopAtTheTextBound()
{
    // 20,000 references of 3000 characters each pass the per-reference limit:
    // 60 million characters from 120 KB, stopped by the document's text bound.
    const QByteArray oneAttribute = laughs(3) + "<lolz><item code=\"before\"/><item code=\"bomb\" a=\"" +
                                    repeated("&lol3;", 20000) + "\"/><item code=\"after\"/></lolz>";
    QVERIFY(oneAttribute.size() < 130 * 1000);
    QCOMPARE(codesOf(readDocument(oneAttribute)), QStringList({"before"}));

    // The same text in content, which no entry keeps but the reader builds.
    const QByteArray inText = laughs(3) + "<lolz><item code=\"before\"/>" + repeated("&lol3;", 20000) +
                              "<item code=\"after\"/></lolz>";
    QCOMPARE(codesOf(readDocument(inText)), QStringList({"before"}));

    // Spread over 20,000 items: those read before the bound stay, in order.
    QByteArray spread = laughs(3) + "<lolz>";
    for (int i = 0; i < 20000; ++i)
        spread += "<item code=\"" + QByteArray::number(i) + "\" a=\"&lol3;\"/>";
    spread += "</lolz>";
    const vsEntryList entries = readDocument(spread);
    QVERIFY(entries.size() > 100);
    QVERIFY(entries.size() < 20000);
    qint64 text = 0;
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries.at(i).value(QStringLiteral("code")), QString::number(i));
        text += entries.at(i).value(QStringLiteral("a")).size();
    }
    QVERIFY(text <= spread.size() * limits::textPerByte + limits::extraText);
}

void tst_Hostile::entities_attributeDefaultsStopAtTheTextBound()
{
    // A default declared once is given to every item: 100 KB each.
    const QByteArray defaults = "<!DOCTYPE c [<!ATTLIST item d CDATA \"" + QByteArray(50000, 'x') +
                                "\">]><c>" + repeated("<item/>", 1000) + "</c>";
    const vsEntryList entries = readDocument(defaults);
    QVERIFY(entries.size() > 0);
    QVERIFY(entries.size() * 50000 <= defaults.size() * limits::textPerByte + limits::extraText);
    QCOMPARE(entries.first().value(QStringLiteral("d")).size(), 50000);

    // References in a default are expanded while the DTD is read: 80 million
    // characters from 60 KB stop at the text bound before they are made.
    const QByteArray inDtd = "<!DOCTYPE c [<!ENTITY a \"" + QByteArray(4000, 'x') +
                             "\"><!ATTLIST item d CDATA \"" + repeated("&a;", 20000) + "\">]><c><item/></c>";
    QVERIFY(readDocument(inDtd).isEmpty());
}

void tst_Hostile::entities_ordinaryUseLoadsWhole()
{
    // Entities as a catalogue might use them, and the reader's full limit after the DTD.
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE catalogue [\n"
                     "<!ENTITY eu \"Разрешён в ЕС\"><!ENTITY long \"" +
                     QByteArray(4000, 'l') + "\">]>\n<catalogue>\n";
    for (int i = 0; i < 5000; ++i)
        xml += "<item code=\"E" + QByteArray::number(i) + "\" status=\"eu:&eu;\" safety=\"0:&eu;, &eu;\"/>\n";
    xml += "<item code=\"last\" production=\"&long;\"/></catalogue>\n";
    const vsEntryList entries = readDocument(xml);
    QCOMPARE(entries.size(), 5001);
    QCOMPARE(entries.at(4999).value(QStringLiteral("status")), QStringLiteral("eu:Разрешён в ЕС"));
    QCOMPARE(entries.last().value(QStringLiteral("production")).size(), 4000);
}

void tst_Hostile::entities_dtdOutsideThePrologStops()
{
    // Read whole, the reader refuses a DTD after the root's start; fed in
    // slices it lets one through, so the loader stops there itself.
    const QByteArray inBody = "<c><item code=\"1\"/><!DOCTYPE c [<!ENTITY e \"x\">]><item code=\"2\"/></c>";
    QCOMPARE(codesOf(readDocument(inBody)), QStringList({"1"}));
    QByteArray late = "<c><item code=\"1\"/>" + QByteArray(9000, ' ') + "<!DOCTYPE c [<!ENTITY a \"" +
                      QByteArray(4000, 'x') + "\"><!ATTLIST item d CDATA \"" + repeated("&a;", 10000) +
                      "\">]><item code=\"2\"/></c>";
    QCOMPARE(codesOf(readDocument(late)), QStringList({"1"}));
}

void tst_Hostile::nesting_millionItemsStopAtTheDepthBound()
{
    // The reader itself has no depth limit and keeps state for every open element.
    const vsEntryList entries = readDocument(repeated("<item>", 1000000));
    QCOMPARE(entries.size(), limits::depth);
    // A document nested no deeper than the bound is read to its end.
    const QByteArray deep = "<c>" + repeated("<x>", limits::depth - 2) + "<item code=\"deepest\"/>" +
                            repeated("</x>", limits::depth - 2) + "<item code=\"after\"/></c>";
    QCOMPARE(codesOf(readDocument(deep)), QStringList({"deepest", "after"}));
}

void tst_Hostile::attributes_hundredThousandInOneItemStopAtTheAttributeBound()
{
    // The reader compares every attribute with every other one: 100,000 would
    // take it some twenty seconds. Reading stops before the tag is complete.
    QByteArray wide = "<c><item code=\"before\"/><item ";
    for (int i = 0; i < 100000; ++i)
        wide += "a" + QByteArray::number(i) + "=\"\" ";
    wide += "/><item code=\"after\"/></c>";
    const Reading reading = read(wide);
    QCOMPARE(codesOf(reading.entries), QStringList({"before"}));
    QCOMPARE(reading.limit, QStringLiteral("10,000 attributes in one tag"));

    // A wide tag within the bound is read whole.
    QByteArray fits = "<c><item code=\"wide\" ";
    for (int i = 0; i < 5000; ++i)
        fits += "a" + QByteArray::number(i) + "=\"" + QByteArray::number(i) + "\" ";
    fits += "/></c>";
    const vsEntryList entries = readDocument(fits);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().size(), 5001);
    QCOMPARE(entries.first().value(QStringLiteral("a4999")), QStringLiteral("4999"));
}

void tst_Hostile::attributes_manyWideItemsStopAtTheCheckBound()
{
    // Each tag of 1000 attributes costs the reader 499,500 comparisons.
    QByteArray tag = "<item ";
    for (int i = 0; i < 1000; ++i)
        tag += "a" + QByteArray::number(i) + "=\"\" ";
    tag += "/>";
    const vsEntryList entries = readDocument("<c>" + repeated(tag, 300) + "</c>");
    QCOMPARE(entries.size(), int(limits::attributeChecks / 499500));
}

void tst_Hostile::tokens_tinyElementsStopAtTheTokenCount()
{
    // Each empty element is a start and an end: a million of them pass the bound.
    const QByteArray xml =
        "<c><item code=\"before\"/>" + repeated("<x/>", limits::tokens / 2) + "<item code=\"after\"/></c>";
    QCOMPARE(codesOf(readDocument(xml)), QStringList({"before"}));
    const QByteArray fewer = "<c><item code=\"before\"/>" + repeated("<x/>", limits::tokens / 2 - 10) +
                             "<item code=\"after\"/></c>";
    QCOMPARE(codesOf(readDocument(fewer)), QStringList({"before", "after"}));
}

void tst_Hostile::items_theBoundIsKeptAndTheNextDropped()
{
    const Reading reading = read("<c>" + repeated("<item/>", limits::entries - 1) +
                                 "<item code=\"last\"/><item code=\"over\"/></c>");
    QCOMPARE(reading.entries.size(), limits::entries);
    QCOMPARE(reading.entries.last().value(QStringLiteral("code")), QStringLiteral("last"));
    QCOMPARE(reading.limit, QStringLiteral("200,000 items"));
}

void tst_Hostile::encoding_invalidUtf8KeepsWhatCameBefore()
{
    // Read whole, the reader fails such a document at its very start; the
    // loader stops at the slice holding the bad byte and keeps what came before.
    QStringList before;
    for (int i = 0; i < 400; ++i)
        before << QStringLiteral("U%1").arg(i);
    const QStringList codes = codesOf(readDocument(invalidUtf8Document()));
    QVERIFY2(codes.size() >= 100, qPrintable(QString::number(codes.size())));
    QCOMPARE(codes, before.mid(0, codes.size()));

    // A lone continuation byte and a truncated sequence at the end.
    QCOMPARE(codesOf(readDocument("<c><item code=\"a\"/><item code=\"\x80\"/></c>")), QStringList());
    QVERIFY(readDocument("<c><item code=\"a\"/>\xe2\x82").size() <= 1);
}

void tst_Hostile::encoding_declarationsTheReaderKnowsOrNot()
{
    QVERIFY(readDocument("<?xml version=\"1.0\" encoding=\"x-vestrion-unknown\"?><c><item code=\"x\"/></c>")
                .isEmpty());
    // A known encoding other than UTF-8 is decoded as declared: "Куркумин" in KOI8-R.
    const QByteArray xml = "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><c><item code=\"E1\" names=\""
                           "\xeb\xd5\xd2\xcb\xd5\xcd\xc9\xce\"/></c>";
    const vsEntryList entries = readDocument(xml);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().value(QStringLiteral("names")), QStringLiteral("Куркумин"));
}

void tst_Hostile::encoding_nulByteInAnAttributeStops()
{
    QCOMPARE(nulDocument().count('\0'), 1);
    QCOMPARE(codesOf(readDocument(nulDocument())), QStringList({"before"}));
}

void tst_Hostile::regression_fuzzFindings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("entries");
    // A mutated starter catalogue: bad UTF-8 late in the document after a
    // repeated attribute; the reading stops at the repeated attribute.
    QTest::newRow("bad encoding after items") << "bad-encoding-after-items.vdb" << 9;
    // A DOCTYPE in the root, which slice-fed reading once let through.
    QTest::newRow("dtd in the body") << "dtd-in-body.vdb" << 0;
}

void tst_Hostile::regression_fuzzFindings()
{
    QFETCH(QString, name);
    QFETCH(int, entries);
    QFile file(QStringLiteral(VESTRION_TEST_DATA_DIR "/hostile/") + name);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QCOMPARE(readFile(file.readAll()).size(), entries);
}

void tst_Hostile::folder_tenThousandSmallFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList expected;
    for (int i = 0; i < 10000; ++i) {
        const QString code = QStringLiteral("E%1").arg(i, 5, 10, QLatin1Char('0'));
        expected << code;
        vsTest::writeCatalogue(dir.path(), code + QStringLiteral(".vdb"),
                               vsTest::document({QStringLiteral("code=\"%1\"").arg(code)}));
    }
    vsDataModel model;
    loadFolder(dir.path(), &model);
    QCOMPARE(codesOf(model), expected);
}

void tst_Hostile::folder_everyHostileFileBesideOneGoodFile()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString data = home.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(data));
    for (const auto &file : hostileFiles())
        vsTest::writeRaw(data, file.first, file.second);
    for (int i = 0; i < 10000; ++i)
        vsTest::writeCatalogue(data, QStringLiteral("small-%1.vdb").arg(i, 5, 10, QLatin1Char('0')),
                               vsTest::document({QStringLiteral("code=\"S%1\"").arg(i)}));
    // A FIFO nobody writes to, and a file nobody may read (unless run as root).
    QCOMPARE(::mkfifo(QFile::encodeName(data + QStringLiteral("/fifo.vdb")).constData(), 0600), 0);
    const QString locked =
        vsTest::writeCatalogue(data, QStringLiteral("locked.vdb"), vsTest::document({R"(code="locked")"}));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    vsTest::writeCatalogue(data, QStringLiteral("good.vdb"), vsTest::starterDocument());

    vsDataModel model;
    loadFolder(data, &model);
    const QStringList codes = codesOf(model);
    const QStringList good = codesOf(readDocument(vsTest::starterDocument()));
    QCOMPARE(good.size(), 21);
    const int at = codes.indexOf(good.first());
    QVERIFY(at >= 0);
    QCOMPARE(codes.mid(at, good.size()), good);
    // Each document that breaks after its first item keeps it.
    QCOMPARE(codes.count(QStringLiteral("before")), 4);
    QVERIFY(codes.contains(QStringLiteral("U99")));
    QCOMPARE(codes.count(QStringLiteral("tiny")), 3);
    QCOMPARE(codes.count(QStringLiteral("bomb")), 3); // the zip bombs', not the entity bombs'

    QVERIFY(!codes.contains(QStringLiteral("after")));

    // The real program starts on that folder, paints and quits.
    const QString program = vsTest::copyProgram(home.path());
    QVERIFY(!program.isEmpty());
    const vsTest::ProgramRun run = vsTest::runToFirstPaint(QStringList(), program);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.errors.contains("vestrion-first-paint "));
}

void tst_Hostile::detail_valuesReadNoLocalFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString picture = dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(image.save(picture));
    vsTest::writeRaw(dir.path(), QStringLiteral("sheet.css"), "p { color: red }");
    const QString sheet = dir.filePath(QStringLiteral("sheet.css"));

    FileWatch watch(dir.path());
    QVERIFY(watch.isValid());
    QFile probe(picture);
    QVERIFY(probe.open(QIODevice::ReadOnly));
    probe.close();
    QVERIFY(!watch.touched().isEmpty()); // the watch sees a plain read

    const QString url = QUrl::fromLocalFile(picture).toString();
    const QStringList ways = {
        QStringLiteral("<img src=\"%1\">").arg(picture),
        QStringLiteral("<IMG SRC='%1' width=10>").arg(url),
        QStringLiteral("<img/src=%1>").arg(picture),
        QStringLiteral("<link rel=\"stylesheet\" href=\"%1\">").arg(sheet),
        QStringLiteral("<style>@import url(%1);</style>").arg(sheet),
        QStringLiteral("<span style=\"background-image: url(%1)\">x</span>").arg(picture),
        QStringLiteral("<table background=\"%1\"><tr><td>x</td></tr></table>").arg(picture),
        QStringLiteral("<p style=\"background-image:url('%1')\">x</p>").arg(url),
        QStringLiteral("<font color=\"red\" style=\"background-image:url(%1)\">x</font>").arg(picture),
    };
    const QString all = ways.join(QString());
    vsDataModel model;
    model.appendEntries({vsEntry{{QStringLiteral("code"), QStringLiteral("E1") + all},
                                 {QStringLiteral("group"), all},
                                 {QStringLiteral("names"), all + QLatin1Char(':') + all},
                                 {QStringLiteral("safety"), QStringLiteral("2:") + all},
                                 {QStringLiteral("status"), QStringLiteral("x:") + all},
                                 {QStringLiteral("sources"), QStringLiteral("x:") + all},
                                 {QStringLiteral("production"), QStringLiteral("x:") + all},
                                 {QStringLiteral("functions"), QStringLiteral("x:") + all},
                                 {QStringLiteral("products"), QStringLiteral("x:") + all}}});
    vsDataDisplay view;
    QVERIFY(view.createWidgets());
    view.resize(800, 480);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.showData(model.index(0, 0));
    view.grab();
    QCoreApplication::processEvents();
    QCOMPARE(watch.touched(), QStringList());

    // The image goes, the formatting around it stays.
    vsDataModel plain;
    plain.appendEntries(
        {vsEntry{{QStringLiteral("sources"), QStringLiteral("x:<b>a</b><img src=\"%1\">").arg(picture)}}});
    view.showData(plain.index(0, 0));
    view.grab();
    const auto *sources = view.findChild<QLabel *>(QStringLiteral("sourcesTextLabel"));
    QVERIFY(sources);
    QCOMPARE(sources->text(), QStringLiteral("<b>a</b>"));
    QCOMPARE(watch.touched(), QStringList());
}

void tst_Hostile::detail_keepsLineBreaksAndSimpleFormatting()
{
    vsDataModel model;
    model.appendEntries({vsEntry{
        {QStringLiteral("code"), QStringLiteral("E1<br>00")},
        {QStringLiteral("names"),
         QStringLiteral("<B>first</B>:second<br/>line:<font color='#ff0000' size=+1 face='x'>red</font>")},
        {QStringLiteral("safety"), QStringLiteral("1:<i>a</i> &amp; <u>b</u> < c")},
        {QStringLiteral("sources"), QStringLiteral("x:plain <text> & more")}}});
    vsDataDisplay view;
    QVERIFY(view.createWidgets());
    view.showData(model.index(0, 0));

    const auto label = [&view](const char *name) { return view.findChild<QLabel *>(QLatin1String(name)); };
    QVERIFY(label("codeLabel")->text().contains(QLatin1String("E1<br>00</span>")));
    QVERIFY(label("nameLabel")->text().contains(QLatin1String("<b>first</b></span>")));
    QCOMPARE(label("namesTextLabel")->text(),
             QStringLiteral("second<br />line<br><font color=\"#ff0000\" size=\"+1\" face=\"x\">red</font>"));
    QCOMPARE(label("safetyTextLabel")->text(), QStringLiteral("<i>a</i> &amp; <u>b</u> &lt; c"));
    // Text that the label shows as plain text stays as it is.
    QCOMPARE(label("sourcesTextLabel")->text(), QStringLiteral("plain <text> & more"));

    // Malformed markup is read once: a million end tags left open are text.
    QCOMPARE(vsRichTextFilter::filtered(QStringLiteral("</a").repeated(1000000)),
             QStringLiteral("&lt;/a").repeated(1000000));

    // A break still breaks the line.
    QLabel oneLine(QStringLiteral("second line"));
    QVERIFY(label("namesTextLabel")->sizeHint().height() > oneLine.sizeHint().height());
}

QTEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"
