#ifndef VESTRION_LABEL_VSLABELANALYSER_H
#define VESTRION_LABEL_VSLABELANALYSER_H

#include <QHash>
#include <QString>
#include <QVector>

class QAbstractItemModel;

// Finds the additives an ingredient list names: codes in any of the spellings
// printed on labels (E330, Е 330, e-330, E160a(ii)) and names or synonyms of
// the catalogue, inflected, in Russian or English. Names match only whole:
// every word of a name, in order; a name is never read from a part of it.
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
    };
    struct Token
    {
        QString text;
        int start = 0;
        bool brokenAtLineEnd = false; // ends in a hyphen before a line break
        bool breakBefore = false;     // punctuation since the word before
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
    void findCodes(const QString &folded, QVector<Hit> *hits) const;
    void findNames(Stemmers &stemmers, const QVector<Token> &words, QVector<Hit> *hits) const;
    static bool breaksFit(const Phrase &phrase, const QVector<Token> &found, int at);

    QHash<QString, int> words;           // stem -> word id
    QVector<QString> wordTexts;          // word id -> stem
    QHash<int, QVector<Phrase>> phrases; // first word id -> phrases
    QHash<int, int> soleOwner;           // word id -> the one row whose names hold it
    QHash<QString, int> codes;           // folded code -> row
    // No word of a name is longer than its piece: a longer word is no name's
    // and is not stemmed (a pasted page may hold a word of a megabyte).
    int longestPiece = 0;
};

#endif
