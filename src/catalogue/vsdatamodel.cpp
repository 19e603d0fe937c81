#include "catalogue/vsdatamodel.h"

#include "catalogue/vsdietfacts.h"
#include "restrictions/vsrestrictions.h"

namespace {
// The attribute a role reads, or an empty string for a role outside the table.
QString attributeForRole(int role)
{
    switch (role) {
    case vsDataModel::TypeRole:
        return QStringLiteral("type");
    case Qt::DisplayRole:
    case vsDataModel::CodeRole:
        return QStringLiteral("code");
    case vsDataModel::GroupRole:
        return QStringLiteral("group");
    case vsDataModel::NamesRole:
        return QStringLiteral("names");
    case vsDataModel::SourcesRole:
        return QStringLiteral("sources");
    case vsDataModel::ProductionRole:
        return QStringLiteral("production");
    case vsDataModel::FunctionsRole:
        return QStringLiteral("functions");
    case vsDataModel::ProductsRole:
        return QStringLiteral("products");
    case vsDataModel::SafetyRole:
        return QStringLiteral("safety");
    case vsDataModel::StatusRole:
        return QStringLiteral("status");
    default:
        return QString();
    }
}

QString piece(const vsEntry &entry, const QString &attribute, int at)
{
    const QStringList pieces =
        entry.value(attribute).split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    return at < pieces.size() ? pieces.at(at) : QString();
}
} // namespace

vsDataModel::vsDataModel(QObject *parent) : QAbstractListModel(parent) {}

vsDataModel::~vsDataModel() = default;

void vsDataModel::appendEntries(const vsEntryList &newEntries)
{
    entries.append(newEntries);
}

int vsDataModel::rowCount(const QModelIndex &parent) const
{
    // A list has no children below its rows.
    return parent.isValid() ? 0 : entries.size();
}

QVariant vsDataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= entries.size())
        return QVariant();
    if (role == Qt::AccessibleTextRole)
        return spokenText(entries.at(index.row()), conflict(index.row()).reasons);
    const QString attribute = attributeForRole(role);
    if (attribute.isEmpty())
        return QVariant();
    // The code search calls this for every row: the variant takes the text
    // straight from the hash, without a temporary copy to count up and down.
    const vsEntry &entry = entries.at(index.row());
    const auto found = entry.constFind(attribute);
    return found == entry.constEnd() ? QVariant(QString()) : QVariant(found.value());
}

QString vsDataModel::spokenText(const vsEntry &entry, const QStringList &conflicts)
{
    const QString code = entry.value(QStringLiteral("code"));
    if (entry.value(QStringLiteral("type")) == QLatin1String("header"))
        return tr("Group: %1").arg(code);
    // What the row shows, and in words what its colour says: the Safety
    // section's text.
    QStringList parts;
    for (const QString &part :
         {code, piece(entry, QStringLiteral("names"), 0), piece(entry, QStringLiteral("functions"), 1),
          piece(entry, QStringLiteral("safety"), 1)}) {
        if (!part.isEmpty())
            parts << part;
    }
    return (parts + conflicts).join(QLatin1String(", "));
}

vsDietFacts vsDataModel::dietFacts(int row) const
{
    return row >= 0 && row < entries.size() ? vsDietFacts::of(entries.at(row)) : vsDietFacts();
}

void vsDataModel::setRestrictions(const vsRestrictions *restrictions)
{
    if (userRestrictions)
        disconnect(userRestrictions, nullptr, this, nullptr);
    userRestrictions = restrictions;
    if (!restrictions)
        return;
    // Every row may change its mark and its spoken text.
    connect(restrictions, &vsRestrictions::changed, this, [this] {
        if (!entries.isEmpty())
            emit dataChanged(index(0), index(int(entries.size()) - 1));
    });
}

const vsRestrictions *vsDataModel::restrictions() const
{
    return userRestrictions;
}

vsConflict vsDataModel::conflict(int row) const
{
    if (!userRestrictions || userRestrictions->isEmpty() || row < 0 || row >= entries.size())
        return vsConflict();
    const vsEntry &entry = entries.at(row);
    if (entry.value(QStringLiteral("type")) == QLatin1String("header"))
        return vsConflict();
    return userRestrictions->check(entry.value(QStringLiteral("code")), vsDietFacts::of(entry));
}

QVariant vsDataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return QStringLiteral("Column %1").arg(section);
    return QStringLiteral("Row %1").arg(section);
}
