#include "catalogue/vsdatamodel.h"

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

QString vsDataModel::attributeForRole(int role)
{
    switch (role) {
    case TypeRole:
        return QStringLiteral("type");
    case Qt::DisplayRole:
    case CodeRole:
        return QStringLiteral("code");
    case GroupRole:
        return QStringLiteral("group");
    case NamesRole:
        return QStringLiteral("names");
    case SourcesRole:
        return QStringLiteral("sources");
    case ProductionRole:
        return QStringLiteral("production");
    case FunctionsRole:
        return QStringLiteral("functions");
    case ProductsRole:
        return QStringLiteral("products");
    case SafetyRole:
        return QStringLiteral("safety");
    case StatusRole:
        return QStringLiteral("status");
    default:
        return QString();
    }
}

QVariant vsDataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= entries.size())
        return QVariant();
    const QString attribute = attributeForRole(role);
    if (attribute.isEmpty())
        return QVariant();
    // The code search calls this for every row: the variant takes the text
    // straight from the hash, without a temporary copy to count up and down.
    const vsEntry &entry = entries.at(index.row());
    const auto found = entry.constFind(attribute);
    return found == entry.constEnd() ? QVariant(QString()) : QVariant(found.value());
}

QVariant vsDataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return QStringLiteral("Column %1").arg(section);
    return QStringLiteral("Row %1").arg(section);
}
