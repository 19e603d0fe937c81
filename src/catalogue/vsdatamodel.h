#ifndef VESTRION_CATALOGUE_VSDATAMODEL_H
#define VESTRION_CATALOGUE_VSDATAMODEL_H

#include "catalogue/vsentry.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QString>

struct vsConflict;
struct vsDietFacts;
class vsRestrictions;

// The list model over the whole catalogue, one row per entry in load order.
// Read-only; filled once before any view is attached.
class vsDataModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // Fixed numbers, not offsets from Qt::UserRole: every reader uses them as they are.
    enum Roles
    {
        TypeRole = 100,
        CodeRole = 101,
        GroupRole = 102,
        NamesRole = 103,
        SourcesRole = 104,
        ProductionRole = 105,
        FunctionsRole = 106,
        ProductsRole = 107,
        SafetyRole = 108,
        StatusRole = 109
    };

    explicit vsDataModel(QObject *parent = nullptr);
    ~vsDataModel() override;

    // Appends without any model signal: only call it before a view is attached.
    void appendEntries(const vsEntryList &entries);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // What a screen reader says for a row (Qt::AccessibleTextRole): code, first
    // name, function and safety text, and the reasons of a conflict with the
    // user's restrictions; a group title as a group.
    static QString spokenText(const vsEntry &entry, const QStringList &conflicts = QStringList());

    // A row's diet facts: attributes no role reads, so that every role stays
    // as it was.
    vsDietFacts dietFacts(int row) const;

    // The restrictions rows are checked against (not owned); the model tells
    // its views when they change.
    void setRestrictions(const vsRestrictions *restrictions);
    const vsRestrictions *restrictions() const;
    // How a row stands against them: no conflict without any, nor for a
    // group title or a row out of range.
    vsConflict conflict(int row) const;

private:
    vsEntryList entries;
    QPointer<const vsRestrictions> userRestrictions;
};

#endif
