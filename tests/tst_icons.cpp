// The seven section icons: in the bundle exactly as committed, 64 x 64 RGBA
// PNGs, not interlaced, white on a fully transparent background; each also at
// 128 x 128 for dense screens, where the program picks it by itself.

#include "testsupport.h"

#include "platform/vslook.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QResource>
#include <QSet>
#include <QtEndian>
#include <QtTest>

namespace {
const char *const iconNames[] = {"status",     "safety",    "sinonimes", "sources",
                                 "production", "functions", "products"};

} // namespace

class tst_Icons : public QObject
{
    Q_OBJECT

private slots:
    void icon_data();
    void icon();
    void icons_areDistinct();
    void denseScreen_takesTheDoubleIcon();
};

void tst_Icons::icon_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    for (const char *name : iconNames) {
        QTest::newRow(name) << QString::fromLatin1(name) << 64;
        QTest::newRow(qPrintable(QStringLiteral("%1@2x").arg(QLatin1String(name))))
            << QString::fromLatin1(name) + QStringLiteral("@2x") << 128;
    }
}

void tst_Icons::icon()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    const int last = size - 1;
    const QString resourcePath = QStringLiteral(":/images/") + name + QStringLiteral(".png");
    const QString filePath =
        QStringLiteral(VESTRION_TEST_DATA_DIR "/../../resources/images/") + name + QStringLiteral(".png");

    const QByteArray bundled = vsTest::fileContents(resourcePath);
    const QByteArray committed = vsTest::fileContents(filePath);
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
        QCOMPARE(qFromBigEndian<quint32>(header + 8), quint32(size));
        QCOMPARE(qFromBigEndian<quint32>(header + 12), quint32(size));
        QCOMPARE(int(header[16]), 8); // bits per channel
        QCOMPARE(int(header[17]), 6); // truecolour with alpha
        QCOMPARE(int(header[18]), 0);
        QCOMPARE(int(header[19]), 0);
        QCOMPARE(int(header[20]), 0); // not interlaced
    }

    QImage image;
    QVERIFY(image.load(resourcePath));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    image = image.convertToFormat(QImage::Format_ARGB32);

    // The corners, 2 x 2 pixels each, are fully transparent.
    for (int y : {0, 1, last - 1, last})
        for (int x : {0, 1, last - 1, last})
            QVERIFY2(qAlpha(image.pixel(x, y)) == 0, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));

    // White only: an opaque pictogram and a translucent glow, nothing else.
    int opaque = 0, glow = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
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
    const int scale = size / 64;
    QVERIFY2(opaque > 200 * scale * scale && opaque < size * size / 2, qPrintable(QString::number(opaque)));
    QVERIFY2(glow > 100 * scale * scale, qPrintable(QString::number(glow)));
}

void tst_Icons::icons_areDistinct()
{
    QSet<QByteArray> seen;
    for (const char *name : iconNames)
        seen.insert(vsTest::fileContents(QStringLiteral(":/images/%1.png").arg(QLatin1String(name))));
    QCOMPARE(seen.size(), 7);
}

void tst_Icons::denseScreen_takesTheDoubleIcon()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    // Loaded by path, as the detail view loads it.
    const QPixmap pixmap = vsPlatform::iconPixmap(QStringLiteral(":/images/status.png"));
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.size(), QSize(128, 128));
    QCOMPARE(pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
             QImage(QStringLiteral(":/images/status@2x.png"))
                 .convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

int main(int argc, char *argv[])
{
    // A screen of twice the handheld's density, with the program's own set-up.
    qputenv("QT_SCALE_FACTOR", "2");
    vsPlatform::prepareApplication();
    QApplication app(argc, argv);
    tst_Icons test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_icons.moc"
