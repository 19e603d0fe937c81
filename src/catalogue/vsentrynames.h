#ifndef VESTRION_CATALOGUE_VSENTRYNAMES_H
#define VESTRION_CATALOGUE_VSENTRYNAMES_H

#include <QString>
#include <QStringList>

class QModelIndex;

// An entry's names as the name search and the label reader read them, from
// the catalogue model's roles: one reading for both, so that neither depends
// on how the other prepares its texts.
struct vsEntryNames
{
    bool header = false; // a group title, never an additive
    QString code;
    // Each name and synonym on its own. A name piece also ends at white space
    // other than a plain space and at control characters: no printed name holds
    // them, and a word must never run across them.
    QStringList pieces;
    QString firstName; // the name the list shows: the first ":"-piece, as it stands
    QStringList functions;
    int level = 0; // the safety text's first piece as a number, 0 when it is none

    static vsEntryNames read(const QModelIndex &index);

    // Lower case with ё read as е: the form every comparison of names uses.
    static QString fold(const QString &text);
};

#endif
