// vestrion-vdb: makes and checks Vestrion catalogue files (*.vdb) from XML sources.

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdietfacts.h"
#include "catalogue/vsvdbformat.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <QXmlStreamReader>

#include <cstdio>

namespace {
// The tool unpacks documents past the program's bound, so it can tell how
// many items such a document holds.
constexpr qint64 toolDocumentSize = qint64(1) << 30;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage()
{
    err() << "usage: vestrion-vdb pack SOURCE.xml OUT.vdb\n"
             "       vestrion-vdb unpack FILE.vdb [OUT.xml]\n"
             "       vestrion-vdb verify FILE.vdb...\n"
             "       vestrion-vdb list FILE.vdb\n";
    err().flush();
    return 2;
}

bool readWhole(const QString &path, QByteArray *contents)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err() << "vestrion-vdb: cannot read " << path << ": " << file.errorString() << '\n';
        return false;
    }
    *contents = file.readAll();
    return true;
}

// Writes through a temporary file, so a failure never leaves a partial output behind.
bool writeWhole(const QString &path, const QByteArray &contents)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit()) {
        err() << "vestrion-vdb: cannot write " << path << ": " << file.errorString() << '\n';
        return false;
    }
    return true;
}

// Empty when the document is well-formed, otherwise "line:column: message".
// Counts the items a reader without bounds sees.
QString xmlError(const QByteArray &document, int *items = nullptr)
{
    QXmlStreamReader reader(document);
    int count = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("item"))
            ++count;
    }
    if (items)
        *items = count;
    if (!reader.hasError())
        return QString();
    return QStringLiteral("%1:%2: %3")
        .arg(reader.lineNumber())
        .arg(reader.columnNumber())
        .arg(reader.errorString());
}

// Empty when the program reads the document whole, otherwise the bound it
// stops at and what it keeps.
QString limitProblem(const vsCatalogueLoader::Reading &reading, int items)
{
    if (reading.limit.isEmpty())
        return QString();
    return QStringLiteral("exceeds the limit of %1: the program would keep %2 of %3 items")
        .arg(reading.limit)
        .arg(reading.entries.size())
        .arg(items);
}

// Empty when every item's diet facts are as the program reads them, otherwise
// the first item that is not and why.
QString dietProblem(const vsEntryList &entries)
{
    for (int item = 0; item < entries.size(); ++item) {
        const QString problem = vsDietFacts::problem(entries.at(item));
        if (!problem.isEmpty())
            return QStringLiteral("item %1 (%2): %3")
                .arg(item + 1)
                .arg(entries.at(item).value(QStringLiteral("code")), problem);
    }
    return QString();
}

int pack(const QString &source, const QString &target)
{
    QByteArray document;
    if (!readWhole(source, &document))
        return 1;
    int items = 0;
    QString problem = document.isEmpty() ? QStringLiteral("1:1: empty document") : xmlError(document, &items);
    if (!problem.isEmpty()) {
        err() << source << ':' << problem << '\n';
        return 1;
    }
    // Checked on the packed file, as the program will read it.
    const QByteArray packed = vsVdbFormat::pack(document);
    const vsCatalogueLoader::Reading reading = vsCatalogueLoader::readFileContents(packed);
    problem = limitProblem(reading, items);
    if (problem.isEmpty())
        problem = dietProblem(reading.entries);
    if (!problem.isEmpty()) {
        err() << source << ": " << problem << '\n';
        return 1;
    }
    return writeWhole(target, packed) ? 0 : 1;
}

int unpack(const QString &source, const QString &target)
{
    QByteArray file;
    if (!readWhole(source, &file))
        return 1;
    QByteArray document;
    const QString problem = vsVdbFormat::unpack(file, &document, toolDocumentSize);
    if (!problem.isEmpty()) {
        err() << source << ": " << problem << '\n';
        return 1;
    }
    if (!target.isEmpty())
        return writeWhole(target, document) ? 0 : 1;
    out().flush();
    return std::fwrite(document.constData(), 1, size_t(document.size()), stdout) == size_t(document.size())
               ? 0
               : 1;
}

int verify(const QStringList &files)
{
    int failed = 0;
    for (const QString &path : files) {
        QByteArray file;
        QByteArray document;
        QString problem;
        int items = 0;
        if (!readWhole(path, &file))
            problem = QStringLiteral("cannot read");
        else
            problem = vsVdbFormat::unpack(file, &document, toolDocumentSize);
        if (problem.isEmpty())
            problem = xmlError(document, &items);
        vsCatalogueLoader::Reading reading;
        if (problem.isEmpty()) {
            reading = vsCatalogueLoader::readPath(path);
            problem = limitProblem(reading, items);
            if (problem.isEmpty())
                problem = dietProblem(reading.entries);
        }
        if (problem.isEmpty()) {
            out() << path << ": OK, " << reading.entries.size() << " items\n";
        } else {
            out() << path << ": FAILED: " << problem << '\n';
            ++failed;
        }
    }
    return failed ? 1 : 0;
}

// What the program shows of the file: the same reading, bounds and all.
int list(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        err() << "vestrion-vdb: cannot read " << path
              << (info.exists() ? ": not a regular file, which the program skips\n" : ": no such file\n");
        return 1;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err() << "vestrion-vdb: cannot read " << path << ": " << file.errorString() << '\n';
        return 1;
    }
    file.close();
    const vsCatalogueLoader::Reading reading = vsCatalogueLoader::readPath(path);
    for (const vsEntry &entry : reading.entries) {
        const QString names = entry.value(QStringLiteral("names"));
        out() << entry.value(QStringLiteral("code")) << '\t' << entry.value(QStringLiteral("type")) << '\t'
              << names.section(QLatin1Char(':'), 0, 0) << '\n';
    }
    if (!reading.limit.isEmpty())
        err() << path << ": reading stops at the limit of " << reading.limit << '\n';
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 streams are UTF-8 already; Qt 5 would follow the locale and mangle the Russian texts.
    out().setCodec("UTF-8");
    err().setCodec("UTF-8");
#endif
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    int result = 2;
    if (command == QLatin1String("pack") && args.size() == 3)
        result = pack(args.at(1), args.at(2));
    else if (command == QLatin1String("unpack") && (args.size() == 2 || args.size() == 3))
        result = unpack(args.at(1), args.value(2));
    else if (command == QLatin1String("verify") && args.size() >= 2)
        result = verify(args.mid(1));
    else if (command == QLatin1String("list") && args.size() == 2)
        result = list(args.at(1));
    else
        return usage();
    out().flush();
    err().flush();
    return result;
}
