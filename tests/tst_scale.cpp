// Catalogue scale: the bounds the loader sets for hostile files must still
// let through the largest catalogue the program is meant for, 100,000 entries
// in one file, written the way the bundled catalogue is.

#include "testsupport.h"

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vscatalogueloader.h"

#include <QtTest>

class tst_Scale : public QObject
{
    Q_OBJECT

private slots:
    void documentBoundHoldsAHundredThousandBundledEntries();
};

void tst_Scale::documentBoundHoldsAHundredThousandBundledEntries()
{
    const QByteArray document = vsTest::document(vsTest::generatedItems(100000, QStringLiteral("E99999")));
    // 64 MiB, the first bound, lost such a catalogue whole: about 70 MB.
    QVERIFY2(document.size() < vsMaxDocumentSize,
             qPrintable(QStringLiteral("%1 bytes for 100,000 entries").arg(document.size())));
    // No other bound stops it either.
    const vsCatalogueLoader::Reading reading = vsCatalogueLoader::read(document);
    QCOMPARE(reading.limit, QString());
    QCOMPARE(reading.entries.size(), 100000);
    QCOMPARE(reading.entries.last().value(QStringLiteral("code")), QStringLiteral("E99999"));
}

QTEST_GUILESS_MAIN(tst_Scale)
#include "tst_scale.moc"
