#ifndef VESTRION_LABEL_VSLABELCODES_H
#define VESTRION_LABEL_VSLABELCODES_H

#include <QHash>
#include <QString>
#include <QVector>

struct vsEntryNames;

// Additive codes in the spellings labels print: E330, Е 330, e-330,
// E160a(ii), E500ii, INS 471, INS N° 950, and bare numbers after a class word
// ("acidity regulator (330, 331)"). No language's words are needed here.
class vsLabelCodes
{
public:
    struct Hit
    {
        int position = 0;
        int row = 0;
    };

    // Reads the catalogue's codes and the families it keeps only as members.
    void prepare(const QVector<vsEntryNames> &entries);

    // Rows of a folded code ("e330", "e160b", "e150"): itself, or its
    // family's members where the catalogue keeps only those.
    QVector<int> rowsOf(const QString &code) const;

    // Codes in a folded text.
    void find(const QString &folded, QVector<Hit> *hits) const;
    // Bare numbers after the class words that end at these text positions.
    void findNumbers(const QString &folded, const QVector<int> &classWordEnds, QVector<Hit> *hits) const;

private:
    void add(const QString &number, const QString &letter, const QString &roman, int position,
             QVector<Hit> *hits) const;

    QHash<QString, int> codes;             // folded code -> row
    QHash<QString, QVector<int>> families; // folded family code the catalogue lacks -> member rows
};

#endif
