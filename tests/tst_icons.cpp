// The seven section icons: in the bundle exactly as committed, 64 x 64 RGBA
// PNGs, not interlaced, white on a fully transparent background.

#include <QFile>
#include <QImage>
#include <QResource>
#include <QSet>
#include <QtEndian>
#include <QtTest>

namespace {
const char *const iconNames[] = {"status",     "safety",    "sinonimes", "sources",
                                 "production", "functions", "products"};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class tst_Icons : public QObject
{
    Q_OBJECT

private slots:
    void icon_data();
    void icon();
    void icons_areDistinct();
};

void tst_Icons::icon_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : iconNames)
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_Icons::icon()
{
    QFETCH(QString, name);
    const QString resourcePath = QStringLiteral(":/images/") + name + QStringLiteral(".png");
    const QString filePath =
        QStringLiteral(VESTRION_TEST_DATA_DIR "/../../resources/images/") + name + QStringLiteral(".png");

    const QByteArray bundled = readAll(resourcePath);
    const QByteArray committed = readAll(filePath);
    QVERIFY2(!bundled.isEmpty(), qPrintable(resourcePath));
    QVERIFY2(!committed.isEmpty(), qPrintable(filePath));
    QCOMPARE(bundled, committed);
    // Stored in the bundle as it is.
    QCOMPARE(QResource(resourcePath).compressionAlgorithm(), QResource::NoCompression);

    for (const QByteArray &png : {bundled, committed}) {
        // Signature, then the IHDR chunk: length 13, type, width, height, bit depth,
        // colour type, compression, filter, interlace.
        QVERIFY(png.size() > 33);
        QCOMPARE(png.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        const auto *header = reinterpret_cast<const uchar *>(png.constData()) + 8;
        QCOMPARE(qFromBigEndian<quint32>(header), 13u);
        QCOMPARE(QByteArray(png.constData() + 12, 4), QByteArray("IHDR"));
        QCOMPARE(qFromBigEndian<quint32>(header + 8), 64u);
        QCOMPARE(qFromBigEndian<quint32>(header + 12), 64u);
        QCOMPARE(int(header[16]), 8); // bits per channel
        QCOMPARE(int(header[17]), 6); // truecolour with alpha
        QCOMPARE(int(header[18]), 0);
        QCOMPARE(int(header[19]), 0);
        QCOMPARE(int(header[20]), 0); // not interlaced
    }

    QImage image;
    QVERIFY(image.load(resourcePath));
    QCOMPARE(image.size(), QSize(64, 64));
    QVERIFY(image.hasAlphaChannel());
    image = image.convertToFormat(QImage::Format_ARGB32);

    // The corners, 2 x 2 pixels each, are fully transparent.
    for (int y : {0, 1, 62, 63})
        for (int x : {0, 1, 62, 63})
            QVERIFY2(qAlpha(image.pixel(x, y)) == 0, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));

    // White only: an opaque pictogram and a translucent glow, nothing else.
    int opaque = 0, glow = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            QVERIFY2(qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255,
                     qPrintable(QStringLiteral("(%1, %2) is not white").arg(x).arg(y)));
            if (qAlpha(p) == 255)
                ++opaque;
            else
                ++glow;
        }
    // A pictogram, not a dot nor a filled square.
    QVERIFY2(opaque > 200 && opaque < 64 * 64 / 2, qPrintable(QString::number(opaque)));
    QVERIFY2(glow > 100, qPrintable(QString::number(glow)));
}

void tst_Icons::icons_areDistinct()
{
    QSet<QByteArray> seen;
    for (const char *name : iconNames)
        seen.insert(readAll(QStringLiteral(":/images/%1.png").arg(QLatin1String(name))));
    QCOMPARE(seen.size(), 7);
}

QTEST_GUILESS_MAIN(tst_Icons)
#include "tst_icons.moc"
