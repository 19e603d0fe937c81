// vestrion-label: the additives an ingredient list names, from UTF-8 text or
// from a PNG or JPEG picture of the label, one per line.

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "label/vslabelanalyser.h"
#include "label/vslabelvocabulary.h"
#include "label/vsocr.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {
// More than any label or its photograph; a larger input is refused, not read on.
constexpr qint64 maxInput = 32 * 1024 * 1024;

enum Exit
{
    Found = 0,
    Unreadable = 1,
    Usage = 2,
    TooLarge = 3,
    Empty = 4,
    NotText = 5,
    BadPicture = 6,
    NoCatalogue = 7,
    NoOcr = 8
};

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "vestrion-label: %s\n", message.toLocal8Bit().constData());
    return code;
}

int usage()
{
    std::fputs("usage: vestrion-label [--lang LANG,...] [FILE|-]\n"
               "Prints the food additives an ingredient list names: code, level, name.\n"
               "FILE is UTF-8 text or a PNG or JPEG picture; - or nothing reads standard input.\n"
               "--lang: the languages of the label (ru,en,uk,be,kk,de,fr,pl,it,es); by default\n"
               "Russian, English and the system's language.\n",
               stderr);
    return Usage;
}

bool isPicture(const QByteArray &bytes)
{
    return bytes.startsWith("\x89PNG\r\n\x1a\n") || bytes.startsWith("\xff\xd8\xff");
}

// Text with no NUL and no control character but the white space of lines.
bool isPlainText(const QByteArray &bytes, QString *text)
{
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\n' && u != '\r' && u != '\t' && u != '\f')
            return false;
        if (u == 0x7f)
            return false;
    }
    *text = QString::fromUtf8(bytes);
    // Anything that is not UTF-8 comes back changed.
    return text->toUtf8() == bytes;
}
} // namespace

int main(int argc, char *argv[])
{
    // Qt's own notes (a picture decoder's complaint) would muddle the one
    // clear message this tool gives.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QCoreApplication app(argc, argv);
    // Options first, then at most one file.
    QStringList args = app.arguments().mid(1);
    QStringList languages = vsLabelVocabulary::defaultLanguages();
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        const QString name = option.section(QLatin1Char('='), 0, 0);
        QString value = option.section(QLatin1Char('='), 1);
        if (!option.contains(QLatin1Char('='))) {
            if (args.isEmpty())
                return usage();
            value = args.takeFirst();
        }
        if (name == QLatin1String("--lang")) {
            languages = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &language : languages)
                if (!vsLabelVocabulary::labelLanguages().contains(language))
                    return fail(Usage, QStringLiteral("unknown label language %1 (one of %2)")
                                           .arg(language,
                                                vsLabelVocabulary::labelLanguages().join(QLatin1Char(','))));
            if (languages.isEmpty())
                return usage();
        } else {
            return usage();
        }
    }
    if (args.size() > 1 ||
        (!args.isEmpty() && args.first().startsWith(QLatin1Char('-')) && args.first() != QLatin1String("-")))
        return usage();

    const bool fromStdin = args.isEmpty() || args.first() == QLatin1String("-");
    QFile input;
    QString where = QStringLiteral("standard input");
    if (fromStdin) {
        // A terminal would wait for typing that nobody asked for.
        if (isatty(STDIN_FILENO))
            return fail(Usage,
                        QStringLiteral("standard input is a terminal: give a file or pipe the list in"));
        if (!input.open(stdin, QIODevice::ReadOnly))
            return fail(Unreadable, QStringLiteral("cannot read standard input"));
    } else {
        where = args.first();
        input.setFileName(where);
        if (QFileInfo(where).isDir())
            return fail(Unreadable, QStringLiteral("%1 is a folder").arg(where));
        if (!input.open(QIODevice::ReadOnly))
            return fail(Unreadable, QStringLiteral("cannot read %1: %2").arg(where, input.errorString()));
    }
    // Read on to one byte past the limit, in pieces: a pipe gives what it has.
    QByteArray bytes;
    while (bytes.size() <= maxInput) {
        const QByteArray piece = input.read(std::min<qint64>(1 << 20, maxInput + 1 - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (input.error() != QFileDevice::NoError)
        return fail(Unreadable, QStringLiteral("cannot read %1: %2").arg(where, input.errorString()));
    if (bytes.size() > maxInput)
        return fail(TooLarge, QStringLiteral("%1 is larger than %2 MiB").arg(where).arg(maxInput >> 20));
    if (bytes.trimmed().isEmpty())
        return fail(Empty, QStringLiteral("%1 is empty").arg(where));

    QString text;
    if (isPicture(bytes)) {
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true); // a phone photo's orientation tag, as the window does
        const QImage image = reader.read();
        if (image.isNull())
            return fail(BadPicture, QStringLiteral("%1 is a damaged picture").arg(where));
        vsOcr::Request request;
        request.languages = vsLabelVocabulary::ocrModels(languages);
        vsOcr::Reading reading;
        const vsOcr::Result result = vsOcr::read(image, request, &reading);
        text = reading.text;
        switch (result) {
        case vsOcr::Done:
            if (!text.trimmed().isEmpty())
                break;
            return fail(BadPicture, QStringLiteral("no text could be read from %1").arg(where));
        case vsOcr::Unavailable:
            return fail(NoOcr, QStringLiteral("cannot read pictures: %1").arg(vsOcr::unavailableReason()));
        default:
            return fail(BadPicture, QStringLiteral("no text could be read from %1").arg(where));
        }
    } else {
        QByteArray plain = bytes;
        if (plain.startsWith("\xef\xbb\xbf"))
            plain.remove(0, 3);
        if (!isPlainText(plain, &text))
            return fail(NotText,
                        QStringLiteral("%1 is neither UTF-8 text nor a PNG or JPEG picture").arg(where));
    }

    vsDataModel catalogue;
    const QString folder =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("data"));
    vsCatalogueLoader::loadFolder(folder, &catalogue);
    if (catalogue.rowCount() == 0)
        return fail(NoCatalogue, QStringLiteral("no catalogue in %1").arg(folder));

    const vsLabelAnalyser analyser(&catalogue, languages);
    QByteArray out;
    for (const int row : analyser.analyse(text)) {
        const QModelIndex index = catalogue.index(row, 0);
        const QString level = index.data(vsDataModel::SafetyRole).toString().section(QLatin1Char(':'), 0, 0);
        const QString name = index.data(vsDataModel::NamesRole).toString().section(QLatin1Char(':'), 0, 0);
        out += (index.data(vsDataModel::CodeRole).toString() + QLatin1Char('\t') + level + QLatin1Char('\t') +
                name + QLatin1Char('\n'))
                   .toUtf8();
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return std::fflush(stdout) == 0 ? Found : fail(Unreadable, QStringLiteral("cannot write the result"));
}
