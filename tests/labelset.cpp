#include "labelset.h"

#include "catalogue/vsdatamodel.h"
#include "label/vslabelanalyser.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

namespace {
struct Card
{
    QColor paper;
    QColor ink;
    QString family = QStringLiteral("DejaVu Sans");
    bool bold = false;
};

Card cardOf(Print print)
{
    switch (print) {
    case LightOnDark:
        return {QColor(58, 58, 62), QColor(232, 232, 222)};
    case WhiteOnRed:
        return {QColor(196, 28, 40), QColor(250, 247, 244), QStringLiteral("DejaVu Sans"), true};
    case RedOnRed:
        return {QColor(222, 52, 70), QColor(122, 4, 24)};
    case WhiteOnBlue:
        return {QColor(28, 78, 168), QColor(244, 244, 244)};
    case WhiteOnYellow:
        return {QColor(242, 204, 24), QColor(255, 255, 250), QStringLiteral("DejaVu Sans"), true};
    case SmallCapitals:
        return {QColor(214, 168, 58), QColor(40, 28, 18), QStringLiteral("DejaVu Sans Condensed")};
    case ThinOnYellow:
        return {QColor(236, 222, 60), QColor(48, 40, 30), QStringLiteral("DejaVu Sans Light")};
    default:
        return {QColor(242, 238, 228), QColor(30, 30, 30)};
    }
}
} // namespace

QImage render(const QString &text, int width, double degrees, int noisePercent, Print print)
{
    const Card card = cardOf(print);
    const QStringList lines =
        (print == SmallCapitals ? text.toUpper() : text).trimmed().split(QLatin1Char('\n'));
    QFont font(card.family);
    font.setBold(card.bold);
    int margin = width / 20;
    if (print == SmallCapitals) {
        // Capitals 6-7 px high, the card as wide as its longest line.
        font.setPixelSize(9);
        margin = 6;
        width = 0;
        for (const QString &line : lines)
            width = std::max(width, QFontMetrics(font).horizontalAdvance(line) + 2 * margin);
    } else {
        font.setPixelSize(width / 30);
        // The widest line fills the card between its margins.
        int widest = 1;
        for (const QString &line : lines)
            widest = std::max(widest, QFontMetrics(font).horizontalAdvance(line));
        font.setPixelSize(std::max(8, font.pixelSize() * (width - 2 * margin) / widest));
    }
    const int lineHeight = font.pixelSize() * 3 / 2;
    QImage image(width, lines.size() * lineHeight + 2 * margin, QImage::Format_RGB32);
    image.fill(card.paper);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(image.width() / 2.0, image.height() / 2.0);
        painter.rotate(degrees);
        painter.translate(-image.width() / 2.0, -image.height() / 2.0);
        painter.setFont(font);
        painter.setPen(card.ink);
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

QImage renderStacked(const QStringList &texts, int width, QVector<QRect> *parts)
{
    QVector<QImage> cards;
    int height = 0;
    for (const QString &text : texts) {
        cards << render(text, width, 0, 0);
        height += 2 * cards.last().height();
    }
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(cards.isEmpty() ? Qt::white : QColor(cards.first().pixel(0, 0)));
    QPainter painter(&image);
    int top = 0;
    for (const QImage &card : qAsConst(cards)) {
        painter.drawImage(0, top, card);
        *parts << QRect(QPoint(0, top), card.size());
        top += 2 * card.height();
    }
    return image;
}

namespace {
// The card held in a hand on a blanket, beside a barcode and a price tag.
QImage clutter(const QImage &card, const QSize &frame)
{
    QImage image(frame, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient blanket(0, 0, frame.width(), frame.height());
    blanket.setColorAt(0, QColor(92, 112, 140));
    blanket.setColorAt(1, QColor(150, 96, 80));
    painter.fillRect(image.rect(), blanket);
    // A checked weave.
    painter.setPen(QPen(QColor(60, 70, 90, 90), 6));
    for (int x = 0; x < frame.width(); x += 40)
        painter.drawLine(x, 0, x, frame.height());
    for (int y = 0; y < frame.height(); y += 40)
        painter.drawLine(0, y, frame.width(), y);
    const QPoint at(frame.width() / 8, (frame.height() - card.height()) / 2);
    painter.drawImage(at, card);
    // A thumb over the card's corner.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(226, 178, 150));
    painter.drawEllipse(QRect(at.x() - card.width() / 10, at.y() + card.height() * 3 / 4, card.width() / 4,
                              card.height() / 3));
    // A barcode with its digits, and a price tag.
    const QRect code(frame.width() * 7 / 10, frame.height() / 8, frame.width() / 5, frame.height() / 5);
    painter.fillRect(code.adjusted(-10, -10, 10, 40), Qt::white);
    QRandomGenerator random(77);
    for (int x = code.left(); x < code.right(); x += 2 + random.bounded(5))
        painter.fillRect(QRect(x, code.top(), 1 + random.bounded(4), code.height()), Qt::black);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(10, frame.width() / 60));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(code.left(), code.bottom() + 4, code.width(), 36), Qt::AlignHCenter,
                     QStringLiteral("4 607001 771234"));
    const QRect tag(frame.width() * 7 / 10, frame.height() * 3 / 5, frame.width() / 4, frame.height() / 6);
    painter.fillRect(tag, QColor(250, 220, 40));
    font.setPixelSize(tag.height() / 2);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(tag, Qt::AlignCenter, QStringLiteral("149,90"));
    return image;
}

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
    const int cardWidth = shot.height > 0 ? shot.width * 4 / 5 : shot.cluttered ? shot.width / 2 : shot.width;
    QImage printed = render(text, cardWidth, 0, 0, shot.print);
    // The card on a table, a little of it around; or among other things.
    const int border = printed.width() * 3 / 100;
    QSize frame =
        shot.height > 0 ? QSize(shot.width, shot.height) : printed.size() + QSize(2 * border, 2 * border);
    if (shot.cluttered) {
        frame = QSize(shot.width, std::max(shot.width * 3 / 4, printed.height() * 2));
        printed = clutter(printed, frame);
    }
    if (!folder.isValid() || !printed.save(card))
        return QByteArray();
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
    // A crumpled wrapper: blotchy shading and creases that bend the lines both ways.
    if (shot.distortions & Crinkles)
        args << QStringLiteral("(") << QStringLiteral("-size")
             << QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height() + 2 * wave)
             << QStringLiteral("plasma:grey55-white") << QStringLiteral("-blur") << QStringLiteral("0x6")
             << QStringLiteral("-colorspace") << QStringLiteral("Gray") << QStringLiteral(")")
             << QStringLiteral("-compose") << QStringLiteral("Multiply") << QStringLiteral("-composite")
             << QStringLiteral("-compose") << QStringLiteral("Over") << QStringLiteral("-wave")
             << QStringLiteral("%1x%2").arg(std::max(2, cardWidth / 300)).arg(cardWidth / 5)
             << QStringLiteral("-rotate") << QStringLiteral("90") << QStringLiteral("-wave")
             << QStringLiteral("%1x%2").arg(std::max(2, cardWidth / 400)).arg(cardWidth / 4)
             << QStringLiteral("-rotate") << QStringLiteral("-90");
    // Light mirrored by a glossy wrapper: two soft bright patches over the print.
    if (shot.distortions & Glare) {
        const int w = frame.width();
        const int h = frame.height() + 2 * wave;
        args << QStringLiteral("(") << QStringLiteral("-size") << QStringLiteral("%1x%2").arg(w).arg(h)
             << QStringLiteral("xc:black") << QStringLiteral("-fill") << QStringLiteral("gray(78%)")
             << QStringLiteral("-draw")
             << QStringLiteral("ellipse %1,%2 %3,%4 0,360")
                    .arg(w * 3 / 10)
                    .arg(h * 2 / 5)
                    .arg(w / 9)
                    .arg(h / 14)
             << QStringLiteral("-draw")
             << QStringLiteral("ellipse %1,%2 %3,%4 0,360")
                    .arg(w * 7 / 10)
                    .arg(h * 7 / 10)
                    .arg(w / 7)
                    .arg(h / 20)
             << QStringLiteral("-blur") << QStringLiteral("0x%1").arg(std::max(4, w / 60))
             << QStringLiteral(")") << QStringLiteral("-compose") << QStringLiteral("Screen")
             << QStringLiteral("-composite") << QStringLiteral("-compose") << QStringLiteral("Over");
    }
    if (shot.distortions & MotionBlur)
        args << QStringLiteral("-motion-blur")
             << QStringLiteral("0x%1+20").arg(std::max(1.5, cardWidth / 900.0));
    if (shot.distortions & Noise)
        args << QStringLiteral("-attenuate") << QStringLiteral("0.6") << QStringLiteral("+noise")
             << QStringLiteral("Gaussian");
    if (shot.turn % 360 != 0)
        args << QStringLiteral("-rotate") << QString::number(shot.turn);
    args << QStringLiteral("-quality") << QString::number(shot.print == SmallCapitals ? 70 : 58) << photo;
    if (!runTool(QStringLiteral("convert"), args))
        return QByteArray();
    // A messenger sends on a smaller copy, compressed again, harder.
    if (shot.recompressed &&
        !runTool(QStringLiteral("convert"), {photo, QStringLiteral("-resize"), QStringLiteral("60%"),
                                             QStringLiteral("-quality"), QStringLiteral("38"), photo}))
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
        {"light on dark", {Perspective | Gradient | Noise, 0, false, false, 1300, 0, LightOnDark}},
        {"white on red glossy", {Perspective | Wave | Glare | Noise, 0, false, false, 1300, 0, WhiteOnRed}},
        {"red on red", {Perspective | Gradient | Noise, 0, false, false, 1300, 0, RedOnRed}},
        {"white on blue", {Gradient | Vignette | Noise, 0, false, false, 1300, 0, WhiteOnBlue}},
        {"white on yellow", {Perspective | Noise, 0, false, false, 1300, 0, WhiteOnYellow}},
        {"glare", {Perspective | Wave | Glare | Noise, 0, false, false, 1300, 0}},
        {"crinkles", {Perspective | Crinkles | Glare | Noise, 0, false, false, 1300, 0, ThinOnYellow}},
        {"small capitals", {0, 0, false, false, 0, 0, SmallCapitals}},
        {"in a larger frame", {Perspective | Gradient | Noise, 0, false, false, 2400, 0, DarkOnLight, true}},
        {"recompressed", {Phone, 0, false, false, 1300, 0, DarkOnLight, false, true}},
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

vsOcr::Result readPhoto(QByteArray photo, vsOcr::Reading *reading, const vsOcr::Request &request)
{
    QBuffer buffer(&photo);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    *reading = vsOcr::Reading(); // nothing of an earlier photo if this one cannot be read
    return vsOcr::read(reader.read(), request, reading);
}

QStringList codesFound(const vsLabelAnalyser &analyser, const QAbstractItemModel &catalogue,
                       const QString &text)
{
    QStringList codes;
    for (const int row : analyser.analyse(text))
        codes << catalogue.index(row, 0).data(vsDataModel::CodeRole).toString();
    return codes;
}

void Score::add(const QStringList &expectedCodes, const QStringList &foundCodes)
{
    const QSet<QString> want(expectedCodes.begin(), expectedCodes.end());
    const QSet<QString> got(foundCodes.begin(), foundCodes.end());
    expected += want.size();
    found += got.size();
    const int both = QSet<QString>(want).intersect(got).size();
    correct += both;
    matching += both;
}

void Score::add(const Photo &photo, const QStringList &foundCodes, QStringList *missed, QStringList *extra)
{
    const auto any = [](const QStringList &listed, const QString &code) {
        return std::any_of(listed.begin(), listed.end(), [&](const QString &l) { return counts(code, l); });
    };
    QStringList wanted;
    for (const QString &code : photo.codes)
        if (!any(photo.outOfScope, code) && !wanted.contains(code))
            wanted << code;
    QStringList got = foundCodes;
    got.removeDuplicates();
    QStringList wrong;
    for (const QString &code : got) {
        const bool counted = any(wanted, code);
        if (!counted && (any(photo.ambiguous, code) || any(photo.outOfScope, code)))
            continue;
        ++found;
        if (counted)
            ++matching;
        else
            wrong << code;
    }
    QStringList lost;
    for (const QString &code : wanted)
        if (std::none_of(got.begin(), got.end(), [&](const QString &f) { return counts(f, code); }))
            lost << code;
    expected += wanted.size();
    correct += wanted.size() - lost.size();
    if (missed)
        *missed = lost;
    if (extra)
        *extra = wrong;
}

bool counts(const QString &found, const QString &listed)
{
    if (found.size() < listed.size() || (found.size() > listed.size() && found.at(listed.size()).isDigit()))
        return false;
    for (int i = 0; i < listed.size(); ++i)
        if (found.at(i) != listed.at(i) && !(listed.at(i) == QLatin1Char('x') && found.at(i).isDigit()))
            return false;
    return true;
}

QVector<Photo> loadPhotos(const QString &folder, QString *error)
{
    const QString path = QDir(folder).filePath(QStringLiteral("photos.json"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parsed);
    const auto strings = [](const QJsonValue &value) {
        QStringList list;
        for (const QJsonValue &item : value.toArray())
            list << item.toString();
        return list;
    };
    QVector<Photo> photos;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject entry = value.toObject();
        Photo photo{
            entry.value(QLatin1String("file")).toString(), entry.value(QLatin1String("lang")).toString(),
            strings(entry.value(QLatin1String("codes"))), strings(entry.value(QLatin1String("ambiguous"))),
            strings(entry.value(QLatin1String("out_of_scope")))};
        // A photo without a name or with a list the scoring would misread spoils the whole set.
        if (photo.file.isEmpty() || photo.file.contains(QLatin1Char('/')) ||
            !entry.value(QLatin1String("codes")).isArray() ||
            (photo.codes + photo.ambiguous + photo.outOfScope).contains(QString())) {
            *error =
                QStringLiteral("%1: entry %2 is not a photo with its codes").arg(path).arg(photos.size() + 1);
            return {};
        }
        photos << photo;
    }
    if (photos.isEmpty())
        *error = parsed.error != QJsonParseError::NoError
                     ? QStringLiteral("%1: %2 at %3").arg(path, parsed.errorString()).arg(parsed.offset)
                     : QStringLiteral("%1 lists no photo").arg(path);
    return photos;
}

} // namespace vsLabelSet
