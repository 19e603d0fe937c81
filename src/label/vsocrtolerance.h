#ifndef VESTRION_LABEL_VSOCRTOLERANCE_H
#define VESTRION_LABEL_VSOCRTOLERANCE_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

// What OCR does to letters, as one table: the letters it takes for one
// another, Latin and Cyrillic look-alikes, digits read as letters. Words are
// compared by a distance that counts such a confusion as a fraction of an
// ordinary edit, so that "Ammsnium" is ammonium and "xenthon" xanthan, while
// a word that merely resembles a name stays apart.
namespace vsOcrTolerance {

// Latin letters that look like Cyrillic ones (folded), and back; a null
// character where a letter has no look-alike.
QChar cyrillicLookAlike(QChar latin);
QChar latinLookAlike(QChar cyrillic);
// The word in the other script, or empty when some letter has no look-alike there.
QString turned(const QString &word, bool toCyrillic);
bool isCyrillic(QChar c);
bool isLatin(QChar c); // a to z, folded

// Characters OCR puts where a code's digit must stand, and the digit:
// "O" and "О" for 0, "З" for 3; "£" and "€" for a blurred E.
const QString &zeroLookAlikes();
const QString &threeLookAlikes();
const QString &eLookAlikes();

// The cost of turning one word into another when letters OCR confuses cost
// a fraction of an edit.
double distance(const QString &a, const QString &b);

// Shorter words are too many alike to be told apart once misread.
constexpr int shortestWord = 4;

// The words of a vocabulary, to find the one an unknown word was misread
// from: the nearest within a fifth of its letters (and two edits), and only
// if no other word is about as near.
class Words
{
public:
    void add(const QString &word);
    // The word and its distance, or an empty word.
    QString nearest(const QString &word, double *distance = nullptr) const;

private:
    QString nearestShort(const QString &word, double *distance) const;

    QVector<QString> words;
    QVector<QString> shortWords; // of the shortest length, compared in place
    QSet<QString> known;
    QHash<quint64, QVector<int>> byPair; // letter pair and length -> words
};

} // namespace vsOcrTolerance

#endif
