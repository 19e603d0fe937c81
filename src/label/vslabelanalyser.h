#ifndef VESTRION_LABEL_VSLABELANALYSER_H
#define VESTRION_LABEL_VSLABELANALYSER_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

class QAbstractItemModel;

// Finds the additives an ingredient list names: codes in any of the spellings
// printed on labels (E330, Е 330, e-330, E160a(ii), E500ii, INS 471, and bare
// numbers after a function word: "acidity regulator (330, 331)") and names or
// synonyms of the catalogue, inflected, in Russian or English, also when they
// share a head word ("яблочная и молочная кислоты"). Names match only whole:
// every word of a name, in order; a name is never read from a part of it.
// What the label denies ("без консервантов", "MSG free") is not reported.
class vsLabelAnalyser
{
public:
    // Longer texts are read up to here: far more than any label holds.
    static constexpr int maxTextLength = 1 << 20;

    // Reads and prepares the catalogue's names, once. Analysis only reads what
    // was prepared, so one analyser serves any number of threads at once.
    explicit vsLabelAnalyser(const QAbstractItemModel *catalogue);
    ~vsLabelAnalyser();
    vsLabelAnalyser(const vsLabelAnalyser &) = delete;
    vsLabelAnalyser &operator=(const vsLabelAnalyser &) = delete;

    // Catalogue rows of the additives the text names, in order of their first
    // mention, each once.
    QVector<int> analyse(const QString &text) const;

private:
    struct Phrase
    {
        QVector<int> words;   // word ids
        QVector<bool> breaks; // punctuation before each word
        int row = 0;
        bool food = false; // also an ordinary food: an additive only after its function word
        int length = 0;    // of a one-word name, as written: "hydrogenated" is no "hydrogen"
    };
    struct Token
    {
        QString text;
        int start = 0;
        bool brokenAtLineEnd = false; // ends in a hyphen before a line break
        bool breakBefore = false;     // punctuation since the word before
        QChar breakMark;              // the last such mark
        int end = 0;
    };
    struct Hit
    {
        int position = 0;
        int row = 0;
    };

    // A stemmer keeps state while it works: each analysis has its own.
    struct Stemmers;

    // A word as the analyser compares it: folded and stemmed.
    QString stem(Stemmers &stemmers, const QString &word) const;
    void prepare(const QAbstractItemModel *catalogue);
    void addPhrase(Stemmers &stemmers, const QString &piece, int row);
    QVector<Token> tokens(Stemmers &stemmers, const QString &folded, bool joinBroken) const;
    int wordId(const QString &stemmed);
    // OCR reads Cyrillic words in Latin look-alike letters and back.
    QString inOneScript(Stemmers &stemmers, const QString &word) const;
    bool namesAdditive(Stemmers &stemmers, const QString &word) const;
    // Rows of the code, or of its family's members when the catalogue keeps
    // only those; the most precise code the catalogue knows.
    void addCode(const QString &number, const QString &letter, const QString &roman, int position,
                 QVector<Hit> *hits) const;
    void findCodes(const QString &folded, QVector<Hit> *hits) const;
    // Token indexes at which a function word ("краситель", "acidity regulator") ends.
    QVector<bool> functionWordEnds(const QVector<int> &ids, const QVector<Token> &found) const;
    void findNumbers(const QString &folded, const QVector<Token> &found, const QVector<bool> &functionEnds,
                     QVector<Hit> *hits) const;
    void findNames(const QVector<Token> &found, const QVector<QString> &stems, const QVector<int> &ids,
                   const QVector<bool> &functionEnds, QVector<bool> *inName, QVector<Hit> *hits) const;
    void findSharedHeads(const QVector<Token> &found, const QVector<int> &ids, const QVector<bool> &inName,
                         QVector<Hit> *hits) const;
    int phraseRow(int first, int second) const;
    static bool breaksFit(const Phrase &phrase, const QVector<Token> &found, int at);

    QHash<QString, int> words;                       // stem -> word id
    QVector<QString> wordTexts;                      // word id -> stem
    QHash<int, QVector<Phrase>> phrases;             // first word id -> phrases
    QHash<int, int> soleOwner;                       // word id -> the one row whose names hold it
    QHash<QString, int> codes;                       // folded code -> row
    QHash<QString, QVector<int>> families;           // folded family code the catalogue lacks -> member rows
    QHash<int, QVector<QVector<int>>> functionWords; // first word id -> function words' word ids
    QSet<int> kinds;                                 // word ids of kinds of additive a label denies
    // No word of a name is longer than its piece: a longer word is no name's
    // and is not stemmed (a pasted page may hold a word of a megabyte).
    int longestPiece = 0;
};

#endif
