#ifndef VESTRION_RESTRICTIONS_VSRESTRICTIONS_H
#define VESTRION_RESTRICTIONS_VSRESTRICTIONS_H

#include <QObject>
#include <QStringList>
#include <QVector>

class QSettings;
struct vsDietFacts;

// How one additive stands against the user's restrictions.
struct vsConflict
{
    enum Level
    {
        None,
        Doubt,   // may conflict: the maker decides, or the catalogue does not say
        Conflict // does conflict
    };
    Level level = None;
    QStringList words; // short, for a row and the reader's line: "не для веганов", "сульфиты"
    QStringList reasons; // whole, for the detail window and a screen reader: "Не для веганов: из насекомых"
};

// The user's own restrictions: a diet, named groups of additives and single
// additives to avoid. Kept in the settings store; whatever a store holds that
// is none of these reads as nothing set.
class vsRestrictions : public QObject
{
    Q_OBJECT

public:
    enum Diet
    {
        NoDiet,
        Vegetarian,
        Vegan
    };

    explicit vsRestrictions(QObject *parent = nullptr);

    // The named groups, in the order the window lists them: an id for the
    // store and the tool ("sulphites"), a name ("сульфиты") and the codes in
    // words ("E220–E228"). A group holds every entry of its numbers, with
    // letters and members (E960 holds E960a).
    static int groupCount();
    static QString groupId(int group);
    static QString groupName(int group);
    static QString groupCodes(int group);
    static int groupIndex(const QString &id); // -1 for none
    // The form of a catalogue code ("E160a(ii)"), in Latin letters; empty
    // when the text is none. A Cyrillic Е and lower case are read as E.
    static QString normalisedCode(const QString &text);
    // Whether an avoided code stands for the code: itself and its members
    // (E160a for E160a(ii)).
    static bool covers(const QString &avoided, const QString &code);

    Diet diet() const { return currentDiet; }
    bool avoidsGroup(int group) const;
    // The single additives to avoid, in the order added.
    QStringList additives() const { return avoided; }
    bool avoidsAdditive(const QString &code) const { return avoided.contains(code); }
    bool isEmpty() const;

    void setDiet(Diet diet);
    void setGroupAvoided(int group, bool avoid);
    void setAdditiveAvoided(const QString &code, bool avoid);

    // An entry's code and diet facts against the restrictions.
    vsConflict check(const QString &code, const vsDietFacts &facts) const;

    // The reader's line over the additives it found: which conflict and why,
    // or that all suit; empty when nothing is set or nothing was found.
    QString summary(const QStringList &codes, const QVector<vsConflict> &conflicts) const;

    // From the store, and back to it. A value of a kind the program never
    // writes reads as nothing set and stays in the store until a change.
    void read(const QSettings &settings);
    void write(QSettings &settings) const;

signals:
    void changed();

private:
    Diet currentDiet = NoDiet;
    quint32 avoidedGroups = 0;
    QStringList avoided;
};

#endif
