#ifndef VESTRION_LABEL_VSLABELANALYSER_H
#define VESTRION_LABEL_VSLABELANALYSER_H

#include "search/vsnameindex.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <memory>

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

    // The catalogue must outlive the analyser; it is read on the first analysis.
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

    // A word as the analyser compares it: folded and stemmed.
    QString stem(const QString &word) const;
    void prepare() const;
    void addPhrase(const QString &piece, int row) const;
    QVector<Token> tokens(const QString &folded, bool joinBroken) const;
    int wordId(const QString &stemmed) const;
    void findCodes(const QString &folded, QVector<Hit> *hits) const;
    void findNames(const QVector<Token> &words, QVector<Hit> *hits) const;
    static bool breaksFit(const Phrase &phrase, const QVector<Token> &found, int at);

    struct Stemmers;
    std::unique_ptr<Stemmers> stemmers;
    vsNameIndex index;
    mutable bool prepared = false;
    mutable QHash<QString, int> words;           // stem -> word id
    mutable QVector<QString> wordTexts;          // word id -> stem
    mutable QHash<int, QVector<Phrase>> phrases; // first word id -> phrases
    mutable QHash<int, int> soleOwner;           // word id -> the one row whose names hold it
    mutable QHash<QString, int> codes;           // folded code -> row
};

#endif
