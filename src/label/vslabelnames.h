#ifndef VESTRION_LABEL_VSLABELNAMES_H
#define VESTRION_LABEL_VSLABELNAMES_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

struct vsLabelVocabulary;

// The names, class words and denial words of one language, prepared once,
// and the one matcher that reads a label's words against them. Nothing here
// knows a language: stemmers and words come from its vocabulary.
class vsLabelNames
{
public:
    // A word of the label, as every language reads it.
    struct Token
    {
        QString text;          // folded, in one script, Latin without accents
        QString corrected;     // the vocabulary's word OCR misread it from, or empty
        double correction = 0; // how far it is from that word
        int start = 0;
        int end = 0;
        bool breakBefore = false; // punctuation since the word before
        QChar breakMark;          // the last such mark
        bool conjunction = false; // "&"
    };
    struct Hit
    {
        int position = 0;
        int row = 0;
        bool fromName = true;
        int end = 0; // of the name's last word
    };
    // What one language found in a label; class word ends and names are
    // marked by token.
    struct Found
    {
        QVector<Hit> hits;
        QVector<Hit> quiet; // foods not brought in by a class word, ordinary phrases: no language's names
        QVector<int> denialStarts, denialEnds; // token ranges of openers, their kind below
        QVector<bool> denialShort;
        QVector<int> deniedBefore; // tokens that deny what stands before them
        QVector<int> sentenceEnds; // tokens that deny the sentence they end
        QVector<int> headings;     // tokens that start a list heading
        QVector<int> notList;      // tokens that open what is no list
    };

    // Reduces words to stems; keeps state while it works, so each analysis has its own.
    class Stemmer
    {
    public:
        explicit Stemmer(const vsLabelNames &language);
        ~Stemmer();
        Stemmer(const Stemmer &) = delete;
        Stemmer &operator=(const Stemmer &) = delete;
        QString stem(const QString &word);

    private:
        struct Snowball;
        QString stemmed(const QString &word);
        const vsLabelNames &language;
        std::unique_ptr<Snowball> snowball;
        QHash<QString, QString> known; // a label repeats its words
    };

    vsLabelNames(const QString &language, bool cyrillic, const QString &snowball, const QStringList &endings);
    ~vsLabelNames();

    const QString &language() const { return code; }
    bool cyrillic() const { return script; }

    // Preparation, of names as written (letter case tells an abbreviation).
    // rows are the catalogue rows a name stands for; a name the catalogue
    // gives two rows (a family and its first member) stays with the first.
    void addName(Stemmer &stemmer, const QString &name, const QVector<int> &rows, bool fromCatalogue);
    void add(Stemmer &stemmer, const vsLabelVocabulary &vocabulary);
    void addFunction(Stemmer &stemmer, const QString &function);
    // No word of a name is longer than this: a longer word is none of them.
    int longestWord() const { return longest; }

    // A label's words as this language reads them: their stems and word
    // ids, -1 where it knows none; a word OCR misread counts as the one it
    // was read from, and is marked so.
    struct Words
    {
        QVector<QString> stems;
        QVector<int> ids;
        QVector<bool> corrected;
        QVector<bool> knownElsewhere; // a word of another language: no misreading of this one's
    };
    Words read(Stemmer &stemmer, const QVector<Token> &tokens) const;
    bool knows(Stemmer &stemmer, const QString &word) const;
    bool namesAdditive(int id) const;

    void markClassWords(const QVector<Token> &tokens, const Words &words, QVector<bool> *ends) const;
    void find(const QVector<Token> &tokens, const Words &words, const QVector<bool> &classWordEnds,
              Found *found) const;

    // The words of a label: letters and numbers between marks, "&" a word
    // of its own.
    static QVector<Token> tokens(const QString &folded);
    // Latin letters without their accents ("é" as "e", "ß" as "ss", "ł" as
    // "l"); other scripts as they are.
    static QString plain(const QString &folded);

private:
    struct Phrase
    {
        QVector<int> words;   // word ids
        QVector<bool> breaks; // punctuation before each word, as the name is written
        QVector<int> rows;    // none for an ordinary phrase, which only keeps its words from names
        QStringList surface;  // the words as written, folded: where a stemmer makes two names one
        bool fromCatalogue = false;
        bool shortened = false; // a name without its letters: read whole or not at all
        bool food = false;      // also an ordinary food: an additive only after its class word
        bool loose = false;     // an abbreviation or letters alone: only where presented as an additive
        int length = 0;         // of a one-word name, as written: "hydrogenated" is no "hydrogen"
    };
    using Sequences = QHash<int, QVector<QVector<int>>>; // first word id -> word id sequences

    int wordId(const QString &stemmed);
    QVector<int> idsOfPhrase(Stemmer &stemmer, const QString &text, QVector<bool> *breaks = nullptr);
    void addSequence(Stemmer &stemmer, const QString &text, Sequences *to);
    void addPhrase(Stemmer &stemmer, const QString &text, const QVector<int> &rows, bool fromCatalogue,
                   bool food, bool ordinary, bool shortened = false);
    // Whether the word at a token is the given word id; "&" is any conjunction.
    bool isWord(const QVector<Token> &tokens, const QVector<int> &ids, int at, int id) const;
    // The length of a sequence of these that starts at token at, 0 if none.
    int sequenceAt(const Sequences &sequences, const QVector<Token> &tokens, const QVector<int> &ids,
                   int at) const;
    int phraseRow(int first, int second) const;
    bool isOneWordName(int id) const;
    void findNames(const QVector<Token> &tokens, const Words &words, const QVector<bool> &classWordEnds,
                   QVector<bool> *inName, Found *found) const;
    void findSharedHeads(const QVector<Token> &tokens, const QVector<int> &ids,
                         const QVector<bool> &classWordEnds, const QVector<bool> &inName, Found *found) const;
    void findDenials(const QVector<Token> &tokens, const QVector<int> &ids, Found *found) const;

    QString code;
    bool script = false; // Cyrillic
    QString snowballName;
    QStringList endings;       // longest first
    QHash<QString, int> words; // stem -> word id
    QVector<QString> wordTexts;
    QHash<int, QVector<Phrase>> phrases; // first word id -> phrases
    Sequences functions, kinds, denials, shortDenials, afterDenials, endDenials, headings, notList;
    QSet<int> conjunctions;
    int longest = 0;
};

#endif
