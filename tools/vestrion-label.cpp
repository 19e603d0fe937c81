// vestrion-label: the additives an ingredient list names, from UTF-8 text or
// from a PNG or JPEG picture of the label, one per line; with restrictions,
// why each conflicts with them.

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "label/vslabelanalyser.h"
#include "label/vslabelvocabulary.h"
#include "label/vsocr.h"
#include "restrictions/vsrestrictions.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QTranslator>

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
    NoOcr = 8,
    // With restrictions: an additive found conflicts with them, or none does
    // but some may (the maker decides, or the catalogue does not say).
    Conflict = 9,
    Doubt = 10
};

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "vestrion-label: %s\n", message.toLocal8Bit().constData());
    return code;
}

int usage()
{
    std::fputs("usage: vestrion-label [--lang LANG,...] [--diet vegan|vegetarian] [--avoid CODE|GROUP,...]\n"
               "                     [FILE|-]\n"
               "Prints the food additives an ingredient list names: code, level, name, and with\n"
               "restrictions why an additive conflicts with them.\n"
               "FILE is UTF-8 text or a PNG or JPEG picture; - or nothing reads standard input.\n"
               "LANG is ru, en, uk, be, kk, de, fr, pl, it or es: the languages of the label; by\n"
               "default Russian, English and the system's language.\n"
               "GROUP is sulphites, benzoates, nitrites, flavour-enhancers, sweeteners, phosphates\n"
               "or warning-colours.\n",
               stderr);
    return Usage;
}

// The restrictions the options give; false after a message when one is wrong.
bool readRestrictions(const QCommandLineParser &parser, const QCommandLineOption &diet,
                      const QCommandLineOption &avoid, vsRestrictions *restrictions)
{
    if (parser.isSet(diet)) {
        const QString value = parser.value(diet);
        if (value == QLatin1String("vegan")) {
            restrictions->setDiet(vsRestrictions::Vegan);
        } else if (value == QLatin1String("vegetarian")) {
            restrictions->setDiet(vsRestrictions::Vegetarian);
        } else {
            fail(Usage, QStringLiteral("--diet takes vegan or vegetarian, not \"%1\"").arg(value));
            return false;
        }
    }
    const QStringList lists = parser.values(avoid);
    for (const QString &list : lists) {
        for (const QString &item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int group = vsRestrictions::groupIndex(item.trimmed());
            const QString code = vsRestrictions::normalisedCode(item);
            if (group >= 0) {
                restrictions->setGroupAvoided(group, true);
            } else if (!code.isEmpty()) {
                restrictions->setAdditiveAvoided(code, true);
            } else {
                fail(Usage,
                     QStringLiteral("--avoid: \"%1\" is neither a code nor a group").arg(item.trimmed()));
                return false;
            }
        }
    }
    return true;
}

// A code to avoid that names nothing in the catalogue is a slip, never a pass.
QString unknownCode(const vsRestrictions &restrictions, const vsDataModel &catalogue)
{
    for (const QString &code : restrictions.additives()) {
        bool known = false;
        for (int row = 0; row < catalogue.rowCount() && !known; ++row)
            known = vsRestrictions::covers(code, catalogue.index(row).data(vsDataModel::CodeRole).toString());
        if (!known)
            return code;
    }
    return QString();
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
    vsOcr::limitEngineThreadsAtStart(argv);
    // Qt's own notes (a picture decoder's complaint) would muddle the one
    // clear message this tool gives.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QCoreApplication app(argc, argv);
    // The reasons are the program's, in its language.
    QTranslator translator;
    if (translator.load(QStringLiteral(":/languages/Vestrion_ru"), QString(), QString(), QString()))
        app.installTranslator(&translator);

    QCommandLineParser parser;
    const QCommandLineOption diet(QStringLiteral("diet"), QString(), QStringLiteral("DIET"));
    const QCommandLineOption avoid(QStringLiteral("avoid"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption lang(QStringLiteral("lang"), QString(), QStringLiteral("LANG"));
    parser.addOption(diet);
    parser.addOption(avoid);
    parser.addOption(lang);
    if (!parser.parse(app.arguments())) {
        fail(Usage, parser.errorText());
        return usage();
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() > 1)
        return usage();
    vsRestrictions restrictions;
    if (!readRestrictions(parser, diet, avoid, &restrictions))
        return Usage;
    QStringList languages = vsLabelVocabulary::defaultLanguages();
    if (parser.isSet(lang)) {
        languages = parser.value(lang).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &language : languages)
            if (!vsLabelVocabulary::labelLanguages().contains(language))
                return fail(Usage,
                            QStringLiteral("unknown label language %1 (one of %2)")
                                .arg(language, vsLabelVocabulary::labelLanguages().join(QLatin1Char(','))));
        if (languages.isEmpty())
            return usage();
    }

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

    const QString unknown = unknownCode(restrictions, catalogue);
    if (!unknown.isEmpty())
        return fail(Usage, QStringLiteral("--avoid: %1 is not in the catalogue").arg(unknown));
    catalogue.setRestrictions(&restrictions);

    const vsLabelAnalyser analyser(&catalogue, languages);
    QByteArray out;
    int result = Found;
    for (const int row : analyser.analyse(text)) {
        const QModelIndex index = catalogue.index(row, 0);
        const QString level = index.data(vsDataModel::SafetyRole).toString().section(QLatin1Char(':'), 0, 0);
        const QString name = index.data(vsDataModel::NamesRole).toString().section(QLatin1Char(':'), 0, 0);
        QString line = index.data(vsDataModel::CodeRole).toString() + QLatin1Char('\t') + level +
                       QLatin1Char('\t') + name;
        if (!restrictions.isEmpty()) {
            const vsConflict conflict = catalogue.conflict(row);
            line += QLatin1Char('\t') + conflict.reasons.join(QLatin1String("; "));
            if (conflict.level == vsConflict::Conflict)
                result = Conflict;
            else if (conflict.level == vsConflict::Doubt && result == Found)
                result = Doubt;
        }
        out += (line + QLatin1Char('\n')).toUtf8();
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return std::fflush(stdout) == 0 ? result : fail(Unreadable, QStringLiteral("cannot write the result"));
}
