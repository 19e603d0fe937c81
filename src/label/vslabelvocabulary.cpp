#include "label/vslabelvocabulary.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

// The vocabulary lives in the core library's resources: outside any namespace.
static void initVocabulary()
{
    Q_INIT_RESOURCE(vocabulary);
}

namespace {
QStringList items(const QString &value)
{
    QStringList list;
    for (const QString &item : value.split(QLatin1Char(';')))
        if (!item.trimmed().isEmpty())
            list << item.simplified();
    return list;
}
} // namespace

vsLabelVocabulary vsLabelVocabulary::parse(const QString &language, const QString &text)
{
    static const QRegularExpression code(QStringLiteral("^E[0-9]{3,4}[a-z]?(\\([ivx]+\\))?$"));
    vsLabelVocabulary vocabulary;
    vocabulary.language = language;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int number = 0; number < lines.size(); ++number) {
        const QString line = lines.at(number).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int colon = int(line.indexOf(QLatin1Char(':')));
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1);
        QStringList *list = nullptr;
        if (key == QLatin1String("stemmer")) {
            const QStringList words = value.simplified().split(QLatin1Char(' '));
            if (words.size() == 2 && words.first() == QLatin1String("snowball")) {
                vocabulary.snowball = words.last();
                continue;
            }
        } else if (key == QLatin1String("endings")) {
            list = &vocabulary.endings;
        } else if (key == QLatin1String("function")) {
            list = &vocabulary.functions;
        } else if (key == QLatin1String("kind")) {
            list = &vocabulary.kinds;
        } else if (key == QLatin1String("denial")) {
            list = &vocabulary.denials;
        } else if (key == QLatin1String("denial-short")) {
            list = &vocabulary.shortDenials;
        } else if (key == QLatin1String("denial-after")) {
            list = &vocabulary.afterDenials;
        } else if (key == QLatin1String("denial-end")) {
            list = &vocabulary.endDenials;
        } else if (key == QLatin1String("heading")) {
            list = &vocabulary.headings;
        } else if (key == QLatin1String("not-list")) {
            list = &vocabulary.notList;
        } else if (key == QLatin1String("food")) {
            list = &vocabulary.foods;
        } else if (key == QLatin1String("ordinary")) {
            list = &vocabulary.ordinary;
        } else if (key == QLatin1String("and")) {
            list = &vocabulary.conjunctions;
        } else if (colon > 0 && code.match(key).hasMatch()) {
            for (const QString &name : items(value))
                vocabulary.names.append(qMakePair(key, name));
            continue;
        }
        if (!list || colon < 0) {
            vocabulary.errors << QStringLiteral("%1: %2").arg(number + 1).arg(line);
            continue;
        }
        *list << items(value);
    }
    return vocabulary;
}

vsLabelVocabulary vsLabelVocabulary::load(const QString &language)
{
    initVocabulary();
    QFile file(QStringLiteral(":/vocabulary/%1.txt").arg(language));
    if (!file.open(QIODevice::ReadOnly))
        return vsLabelVocabulary();
    return parse(language, QString::fromUtf8(file.readAll()));
}

QStringList vsLabelVocabulary::languages()
{
    return {QStringLiteral("uk"), QStringLiteral("be"), QStringLiteral("kk"), QStringLiteral("de"),
            QStringLiteral("fr"), QStringLiteral("pl"), QStringLiteral("it"), QStringLiteral("es")};
}

QStringList vsLabelVocabulary::labelLanguages()
{
    return QStringList{QStringLiteral("ru"), QStringLiteral("en")} + languages();
}

QStringList vsLabelVocabulary::defaultLanguages()
{
    QStringList chosen{QStringLiteral("ru"), QStringLiteral("en")};
    const QString system = QLocale::system().name().section(QLatin1Char('_'), 0, 0);
    if (languages().contains(system))
        chosen << system;
    return chosen;
}

QString vsLabelVocabulary::ocrModels(const QStringList &languages)
{
    static const QStringList codes = labelLanguages();
    static const QStringList models{QStringLiteral("rus"), QStringLiteral("eng"), QStringLiteral("ukr"),
                                    QStringLiteral("bel"), QStringLiteral("kaz"), QStringLiteral("deu"),
                                    QStringLiteral("fra"), QStringLiteral("pol"), QStringLiteral("ita"),
                                    QStringLiteral("spa")};
    QStringList chosen;
    for (const QString &language : languages) {
        const int at = int(codes.indexOf(language));
        if (at >= 0 && !chosen.contains(models.at(at)))
            chosen << models.at(at);
    }
    return chosen.join(QLatin1Char('+'));
}
