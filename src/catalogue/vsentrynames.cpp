#include "catalogue/vsentrynames.h"

#include "catalogue/vsdatamodel.h"

#include <QModelIndex>

namespace {
QStringList split(const QString &attribute)
{
    return attribute.split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

bool endsPiece(QChar c)
{
    return c == QLatin1Char(':') || (c.isSpace() && c != QLatin1Char(' ')) ||
           c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}
} // namespace

vsEntryNames vsEntryNames::read(const QModelIndex &index)
{
    vsEntryNames entry;
    entry.header = index.data(vsDataModel::TypeRole).toString() == QLatin1String("header");
    entry.code = index.data(vsDataModel::CodeRole).toString();
    const QString names = index.data(vsDataModel::NamesRole).toString();
    entry.firstName = split(names).value(0);
    int start = 0;
    for (int i = 0; i <= names.size(); ++i) {
        if (i < names.size() && !endsPiece(names.at(i)))
            continue;
        if (i > start)
            entry.pieces << names.mid(start, i - start);
        start = i + 1;
    }
    const QString functions = index.data(vsDataModel::FunctionsRole).toString();
    if (!functions.isEmpty())
        entry.functions = split(functions);
    entry.level = split(index.data(vsDataModel::SafetyRole).toString()).value(0).toInt();
    return entry;
}

QString vsEntryNames::fold(const QString &text)
{
    QString folded = text.toCaseFolded();
    folded.replace(QChar(0x0451), QChar(0x0435)); // ё
    return folded;
}
