#include "labelset.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
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

void Score::add(const QStringList &expectedCodes, const QStringList &foundCodes)
{
    const QSet<QString> want(expectedCodes.begin(), expectedCodes.end());
    const QSet<QString> got(foundCodes.begin(), foundCodes.end());
    expected += want.size();
    found += got.size();
    correct += QSet<QString>(want).intersect(got).size();
}

} // namespace vsLabelSet
