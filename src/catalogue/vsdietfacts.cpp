#include "catalogue/vsdietfacts.h"

#include <QStringList>

namespace {
const QString vegetarianKey = QStringLiteral("vegetarian");
const QString veganKey = QStringLiteral("vegan");

vsDietFacts::Fact read(const QString &value)
{
    const QStringList pieces = value.split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    vsDietFacts::Fact fact;
    const QString &answer = pieces.first();
    if (answer == QLatin1String("yes"))
        fact.answer = vsDietFacts::Yes;
    else if (answer == QLatin1String("no"))
        fact.answer = vsDietFacts::No;
    else if (answer == QLatin1String("maybe"))
        fact.answer = vsDietFacts::Maybe;
    if (fact.answer == vsDietFacts::No || fact.answer == vsDietFacts::Maybe)
        fact.reason = pieces.value(1);
    return fact;
}

QString valueProblem(const QString &key, const QString &value)
{
    const QStringList pieces = value.split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QString &answer = pieces.first();
    if (answer == QLatin1String("yes"))
        return pieces.size() == 1 ? QString() : QStringLiteral("%1: \"yes\" takes no reason").arg(key);
    if (answer != QLatin1String("no") && answer != QLatin1String("maybe"))
        return QStringLiteral("%1: \"%2\" is not yes, no or maybe").arg(key, answer);
    if (pieces.size() != 2 || pieces.at(1).trimmed().isEmpty())
        return QStringLiteral("%1: \"%2\" needs one reason after a colon").arg(key, answer);
    return QString();
}
} // namespace

vsDietFacts vsDietFacts::of(const vsEntry &entry)
{
    vsDietFacts facts;
    const auto vegetarian = entry.constFind(vegetarianKey);
    if (vegetarian != entry.constEnd())
        facts.vegetarian = read(vegetarian.value());
    const auto vegan = entry.constFind(veganKey);
    if (vegan != entry.constEnd())
        facts.vegan = read(vegan.value());
    if (facts.vegetarian.answer < facts.vegan.answer)
        facts.vegan = facts.vegetarian;
    return facts;
}

QString vsDietFacts::problem(const vsEntry &entry)
{
    if (entry.value(QStringLiteral("type")) == QLatin1String("header"))
        return QString();
    const bool hasVegetarian = entry.contains(vegetarianKey);
    const bool hasVegan = entry.contains(veganKey);
    if (!hasVegetarian && !hasVegan)
        return QString();
    if (hasVegetarian != hasVegan)
        return QStringLiteral("vegetarian and vegan are given together or not at all");
    for (const QString &key : {vegetarianKey, veganKey}) {
        const QString problem = valueProblem(key, entry.value(key));
        if (!problem.isEmpty())
            return problem;
    }
    if (read(entry.value(vegetarianKey)).answer < read(entry.value(veganKey)).answer)
        return QStringLiteral("vegan: better than vegetarian, which every vegan additive is");
    return QString();
}
