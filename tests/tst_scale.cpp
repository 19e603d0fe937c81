// Catalogue scale: the bounds the loader sets for hostile files must still
// let through the largest catalogue the program is meant for, 100,000 entries
// in one file, written the way the bundled catalogue is.

#include "catalogue/vsboundedinflate.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>

class tst_Scale : public QObject
{
    Q_OBJECT

private slots:
    void documentBoundHoldsAHundredThousandBundledEntries();
};

void tst_Scale::documentBoundHoldsAHundredThousandBundledEntries()
{
    const QDir sources(QStringLiteral(VESTRION_TEST_DATA_DIR "/../../data"));
    const QStringList names = sources.entryList(QStringList(QStringLiteral("*.xml")), QDir::Files);
    QVERIFY2(!names.isEmpty(), qPrintable(sources.absolutePath()));
    qint64 bytes = 0;
    qint64 items = 0;
    for (const QString &name : names) {
        QFile file(sources.absoluteFilePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray xml = file.readAll();
        bytes += xml.size();
        QXmlStreamReader reader(xml);
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("item"))
                ++items;
        }
        QVERIFY2(!reader.hasError(), qPrintable(name));
    }
    QVERIFY(items > 0);
    // 64 MiB, the first bound, lost such a catalogue whole: about 70 MB.
    const qint64 hundredThousand = bytes * 100000 / items;
    QVERIFY2(hundredThousand < vsMaxDocumentSize,
             qPrintable(QStringLiteral("%1 bytes for 100,000 entries").arg(hundredThousand)));
}

QTEST_GUILESS_MAIN(tst_Scale)
#include "tst_scale.moc"
