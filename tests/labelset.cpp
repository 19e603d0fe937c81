#include "labelset.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace vsLabelSet {

QVector<Label> load(const QString &folder)
{
    QVector<Label> labels;
    const QDir dir(folder);
    for (const QString &file : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile in(dir.filePath(file));
        if (!in.open(QIODevice::ReadOnly))
            return {};
        const QString contents = QString::fromUtf8(in.readAll());
        const int blank = contents.indexOf(QLatin1String("\n\n"));
        const QString header = contents.left(blank);
        if (blank < 0 || !header.startsWith(QLatin1String("codes:")))
            return {};
        Label label;
        label.name = file.chopped(4);
        label.codes = header.mid(6).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        label.text = contents.mid(blank + 2);
        labels.append(label);
    }
    return labels;
}

QImage render(const QString &text, int width, double degrees, int noisePercent)
{
    const QStringList lines = text.trimmed().split(QLatin1Char('\n'));
    const int margin = width / 20;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(width / 30);
    // The widest line fills the card between its margins.
    int widest = 1;
    for (const QString &line : lines)
        widest = std::max(widest, QFontMetrics(font).horizontalAdvance(line));
    font.setPixelSize(std::max(8, font.pixelSize() * (width - 2 * margin) / widest));
    const int lineHeight = font.pixelSize() * 3 / 2;
    QImage image(width, lines.size() * lineHeight + 2 * margin, QImage::Format_RGB32);
    image.fill(QColor(242, 238, 228));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(image.width() / 2.0, image.height() / 2.0);
        painter.rotate(degrees);
        painter.translate(-image.width() / 2.0, -image.height() / 2.0);
        painter.setFont(font);
        painter.setPen(QColor(30, 30, 30));
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(margin, margin + (i + 1) * lineHeight - lineHeight / 4, lines.at(i));
    }
    QRandomGenerator random(1600);
    const int specks = image.width() * image.height() / 100 * noisePercent / 100;
    for (int i = 0; i < specks; ++i) {
        const int grey = random.bounded(256);
        image.setPixel(random.bounded(image.width()), random.bounded(image.height()), qRgb(grey, grey, grey));
    }
    return image;
}

namespace {
bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}
} // namespace

QByteArray photograph(const QString &text, const Shot &shot)
{
    QTemporaryDir folder;
    const QString card = folder.filePath(QStringLiteral("card.png"));
    const QString photo = folder.filePath(QStringLiteral("photo.jpg"));
    const int cardWidth = shot.height > 0 ? shot.width * 4 / 5 : shot.width;
    const QImage printed = render(text, cardWidth, 0, 0);
    if (!folder.isValid() || !printed.save(card))
        return QByteArray();
    // The card on a table, a little of it around.
    const int border = cardWidth * 3 / 100;
    const QSize frame =
        shot.height > 0 ? QSize(shot.width, shot.height) : printed.size() + QSize(2 * border, 2 * border);
    const QString table = QStringLiteral("#5b544a");
    // The same noise every time: a figure that moves is no figure.
    QStringList args{QStringLiteral("-seed"), QStringLiteral("1600"), card};
    if (shot.tight)
        args << QStringLiteral("-trim") << QStringLiteral("+repage") << QStringLiteral("-bordercolor")
             << QStringLiteral("#f2eee4") << QStringLiteral("-border") << QStringLiteral("3");
    else
        args << QStringLiteral("-background") << table << QStringLiteral("-gravity")
             << QStringLiteral("center") << QStringLiteral("-extent")
             << QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height());
    args << QStringLiteral("-background") << table << QStringLiteral("-virtual-pixel")
         << QStringLiteral("background");
    // A wave makes the frame taller by twice its height.
    const int wave = shot.distortions & Wave ? cardWidth / 150 : 0;
    if (wave > 0)
        args << QStringLiteral("-wave") << QStringLiteral("%1x%2").arg(wave).arg(cardWidth * 3 / 2);
    if (shot.distortions & Perspective)
        // The top edge farther away: narrower and a little lower on one side.
        // Interpolated lookup instead of the default area filter: many times
        // quicker on a 12-megapixel frame, and the frame is not minified.
        args << QStringLiteral("-filter") << QStringLiteral("Point") << QStringLiteral("-interpolate")
             << QStringLiteral("Bilinear") << QStringLiteral("-distort") << QStringLiteral("Perspective")
             << QStringLiteral("0,0 %[fx:w/16],%[fx:w/60]  %w,0 %[fx:w*0.95],0  0,%h 0,%h  %w,%h %w,%h");
    if (shot.distortions & Gradient)
        args << QStringLiteral("(") << QStringLiteral("+clone") << QStringLiteral("-sparse-color")
             << QStringLiteral("Barycentric") << QStringLiteral("0,0 gray(100%) %w,%h gray(60%)")
             << QStringLiteral(")") << QStringLiteral("-compose") << QStringLiteral("Multiply")
             << QStringLiteral("-composite");
    // Darker towards the corners, as a phone's lens makes it.
    if ((shot.distortions & Vignette) && !shot.tight)
        args << QStringLiteral("(") << QStringLiteral("-size")
             << QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height() + 2 * wave)
             << QStringLiteral("radial-gradient:white-gray60") << QStringLiteral(")")
             << QStringLiteral("-compose") << QStringLiteral("Multiply") << QStringLiteral("-composite")
             << QStringLiteral("-compose") << QStringLiteral("Over");
    if (shot.distortions & MotionBlur)
        args << QStringLiteral("-motion-blur")
             << QStringLiteral("0x%1+20").arg(std::max(1.5, cardWidth / 900.0));
    if (shot.distortions & Noise)
        args << QStringLiteral("-attenuate") << QStringLiteral("0.6") << QStringLiteral("+noise")
             << QStringLiteral("Gaussian");
    if (shot.turn % 360 != 0)
        args << QStringLiteral("-rotate") << QString::number(shot.turn);
    args << QStringLiteral("-quality") << QStringLiteral("58") << photo;
    if (!runTool(QStringLiteral("convert"), args))
        return QByteArray();
    // ImageMagick's -orient writes no tag into a JPEG that has none.
    if (shot.tagged && shot.turn % 360 != 0) {
        const int tag = shot.turn == 90 ? 8 : shot.turn == 180 ? 3 : 6;
        if (!runTool(QStringLiteral("exiftool"),
                     {QStringLiteral("-q"), QStringLiteral("-overwrite_original"), QStringLiteral("-n"),
                      QStringLiteral("-Orientation=%1").arg(tag), photo}))
            return QByteArray();
    }
    QFile file(photo);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QVector<PhotoKind> &photoKinds()
{
    static const QVector<PhotoKind> kinds{
        {"phone", {}},
        {"uneven light", {Gradient | Noise, 0, false, false, 1300, 0}},
        {"vignette", {Vignette | Noise, 0, false, false, 1300, 0}},
        {"tagged 90", {Phone, 90, true, false, 1300, 0}},
        {"tagged 270", {Phone, 270, true, false, 1300, 0}},
        {"untagged 90", {Phone, 90, false, false, 1300, 0}},
        {"untagged 180", {Phone, 180, false, false, 1300, 0}},
        {"untagged 270", {Phone, 270, false, false, 1300, 0}},
        {"one line", {Gradient | MotionBlur | Noise, 0, false, true, 900, 0}},
    };
    return kinds;
}

QString photoText(const QString &text, const Shot &shot)
{
    if (!shot.tight)
        return text;
    QString longest;
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (line.size() > longest.size())
            longest = line;
    return longest;
}

void Score::add(const QStringList &expectedCodes, const QStringList &foundCodes)
{
    const QSet<QString> want(expectedCodes.begin(), expectedCodes.end());
    const QSet<QString> got(foundCodes.begin(), foundCodes.end());
    expected += want.size();
    found += got.size();
    correct += QSet<QString>(want).intersect(got).size();
}

} // namespace vsLabelSet
