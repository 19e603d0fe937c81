#include "label/vslabelanalyser.h"

#include "catalogue/vsentrynames.h"

#include <QAbstractItemModel>
#include <QRegularExpression>
#include <QSet>

#include <libstemmer.h>

#include <algorithm>

namespace {
// Words of additive names that are also ordinary foods or their descriptions:
// alone, they say nothing about an additive ("пчелиный мёд", "white chocolate").
const char *const ordinaryWords[] = {
    "паприк",     "масл",    "пчелин",    "растительн", "бел",          "желт",      "красн",
    "зелен",      "черн",    "натуральн", "пищев",      "молочн",       "яичн",      "кукурузн",
    "картофельн", "пшеничн", "рисов",     "соев",       "экстракт",     "вод",       "сахар",
    "крахмал",    "молок",   "мед",       "эмульгатор", "ферментативн", "термическ",
};

// Marks that end one ingredient: a name never runs across them, unless the
// name itself holds one there ("эфиры глицерина, лимонной и жирных кислот").
bool isBreak(QChar c)
{
    switch (c.unicode()) {
    case ',':
    case ';':
    case ':':
    case '.':
    case '(':
    case ')':
    case '[':
    case ']':
    case '!':
    case '?':
        return true;
    default:
        return false;
    }
}

bool isHyphen(QChar c)
{
    return c == QLatin1Char('-') || c == QChar(0x2010) || c == QChar(0x2011) || c == QChar(0x2013);
}

bool isCyrillic(QChar c)
{
    return c.unicode() >= 0x0400 && c.unicode() <= 0x04FF;
}

// "Сахарный колер III (аммиачный)" is printed as "сахарный колер III" too.
QString withoutParentheses(const QString &piece)
{
    static const QRegularExpression parenthesised(QStringLiteral("\\([^)]*\\)"));
    return QString(piece).remove(parenthesised);
}

int editDistance(const QString &a, const QString &b)
{
    QVector<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Letters OCR and Russian keyboards put in place of the Latin suffix letters.
QChar latinSuffix(QChar c)
{
    switch (c.unicode()) {
    case 0x0430: // а
        return QLatin1Char('a');
    case 0x0441: // с
        return QLatin1Char('c');
    case 0x0435: // е
        return QLatin1Char('e');
    default:
        return c;
    }
}
} // namespace

struct vsLabelAnalyser::Stemmers
{
    sb_stemmer *russian = sb_stemmer_new("russian", "UTF_8");
    sb_stemmer *english = sb_stemmer_new("english", "UTF_8");
    Stemmers() = default;
    Stemmers(const Stemmers &) = delete;
    Stemmers &operator=(const Stemmers &) = delete;
    ~Stemmers()
    {
        if (russian)
            sb_stemmer_delete(russian);
        if (english)
            sb_stemmer_delete(english);
    }
};

vsLabelAnalyser::vsLabelAnalyser(const QAbstractItemModel *catalogue)
{
    prepare(catalogue);
}

vsLabelAnalyser::~vsLabelAnalyser() = default;

QString vsLabelAnalyser::stem(Stemmers &stemmers, const QString &word) const
{
    const QString folded = vsEntryNames::fold(word);
    if (folded.size() > longestPiece)
        return folded;
    bool cyrillic = false;
    bool latin = false;
    for (const QChar c : folded) {
        cyrillic = cyrillic || isCyrillic(c);
        latin = latin || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
    }
    sb_stemmer *stemmer = cyrillic ? stemmers.russian : latin ? stemmers.english : nullptr;
    if (!stemmer || (cyrillic && latin))
        return folded;
    const QByteArray utf8 = folded.toUtf8();
    const sb_symbol *stemmed =
        sb_stemmer_stem(stemmer, reinterpret_cast<const sb_symbol *>(utf8.constData()), utf8.size());
    if (!stemmed)
        return folded;
    return QString::fromUtf8(reinterpret_cast<const char *>(stemmed), sb_stemmer_length(stemmer));
}

int vsLabelAnalyser::wordId(const QString &stemmed)
{
    const auto found = words.constFind(stemmed);
    if (found != words.constEnd())
        return found.value();
    const int id = words.size();
    words.insert(stemmed, id);
    return id;
}

QVector<vsLabelAnalyser::Token> vsLabelAnalyser::tokens(Stemmers &stemmers, const QString &folded,
                                                        bool joinBroken) const
{
    QVector<Token> found;
    const int size = folded.size();
    int i = 0;
    bool breakSeen = false;
    while (i < size) {
        if (!folded.at(i).isLetterOrNumber()) {
            breakSeen = breakSeen || isBreak(folded.at(i));
            ++i;
            continue;
        }
        Token token;
        token.start = i;
        token.breakBefore = breakSeen;
        breakSeen = false;
        while (i < size && (folded.at(i).isLetterOrNumber() || folded.at(i) == QChar(0x00AD))) {
            if (folded.at(i) != QChar(0x00AD)) // a soft hyphen only marks where a line may break
                token.text += folded.at(i);
            ++i;
        }
        // "кисло-" at the end of a line, "та" at the start of the next.
        if (joinBroken && i < size && isHyphen(folded.at(i))) {
            int j = i + 1;
            while (j < size && (folded.at(j) == QLatin1Char(' ') || folded.at(j) == QLatin1Char('\t')))
                ++j;
            if (j < size && (folded.at(j) == QLatin1Char('\n') || folded.at(j) == QLatin1Char('\r'))) {
                while (j < size && folded.at(j).isSpace())
                    ++j;
                token.brokenAtLineEnd = j < size && folded.at(j).isLetter();
            }
        }
        found.append(token);
    }
    if (!joinBroken)
        return found;

    // A word broken at a line end is joined again, unless its two halves are
    // words of the catalogue and the whole is not ("гамма-" + "токоферол").
    QVector<Token> joined;
    for (int k = 0; k < found.size(); ++k) {
        Token token = found.at(k);
        while (token.brokenAtLineEnd && k + 1 < found.size()) {
            const Token &next = found.at(k + 1);
            const QString whole = token.text + next.text;
            const bool halvesKnown =
                words.contains(stem(stemmers, token.text)) && words.contains(stem(stemmers, next.text));
            if (halvesKnown && !words.contains(stem(stemmers, whole)))
                break;
            token.text = whole;
            token.brokenAtLineEnd = next.brokenAtLineEnd;
            ++k;
        }
        joined.append(token);
    }
    return joined;
}

void vsLabelAnalyser::addPhrase(Stemmers &stemmers, const QString &piece, int row)
{
    Phrase phrase;
    phrase.row = row;
    for (const Token &token : tokens(stemmers, piece, false)) {
        phrase.words.append(wordId(stem(stemmers, token.text)));
        phrase.breaks.append(token.breakBefore);
    }
    if (phrase.words.isEmpty())
        return;
    QVector<Phrase> &sameStart = phrases[phrase.words.first()];
    // The same name under two codes (a family and its first member) stays with
    // the first, which in catalogue order is the family.
    for (const Phrase &known : sameStart)
        if (known.words == phrase.words)
            return;
    sameStart.append(phrase);
}

void vsLabelAnalyser::prepare(const QAbstractItemModel *catalogue)
{
    if (!catalogue)
        return;
    QVector<vsEntryNames> entries;
    for (int row = 0; row < catalogue->rowCount(); ++row) {
        vsEntryNames entry = vsEntryNames::read(catalogue->index(row, 0));
        for (QString &piece : entry.pieces) {
            piece = vsEntryNames::fold(piece);
            longestPiece = std::max(longestPiece, int(piece.size()));
        }
        entries.append(entry);
    }

    Stemmers stemmers;
    QHash<int, QSet<int>> owners;
    QSet<int> leading; // first words of longer names, as nouns
    for (int row = 0; row < entries.size(); ++row) {
        const vsEntryNames &entry = entries.at(row);
        if (entry.header)
            continue;
        const QString code = vsEntryNames::fold(entry.code);
        if (!code.isEmpty() && !codes.contains(code))
            codes.insert(code, row);
        for (const QString &piece : entry.pieces) {
            const QVector<Token> pieceWords = tokens(stemmers, piece, false);
            addPhrase(stemmers, piece, row);
            const QString shorter = withoutParentheses(piece);
            if (shorter != piece)
                addPhrase(stemmers, shorter, row);
            // "кислота лимонная", "натрия бензоат": two words in either order.
            if (pieceWords.size() == 2)
                addPhrase(stemmers, pieceWords.at(1).text + QLatin1Char(' ') + pieceWords.at(0).text, row);
            for (const Token &token : pieceWords)
                owners[wordId(stem(stemmers, token.text))].insert(row);
            static const QRegularExpression adjective(QStringLiteral("(ый|ий|ой|ая|яя|ое|ее|ые|ие)$"));
            if (pieceWords.size() > 1 && !pieceWords.first().text.contains(adjective))
                leading.insert(wordId(stem(stemmers, pieceWords.first().text)));
        }
    }

    // A word may stand for its additive alone when OCR garbled the rest of the
    // name; only the leading Russian noun of a name that no other additive
    // shares, and never a word that is ordinary on a label by itself. English
    // names lead with words too common for this ("chocolate brown", "soybean").
    wordTexts.resize(words.size());
    for (auto word = words.constBegin(); word != words.constEnd(); ++word)
        wordTexts[word.value()] = word.key();

    QSet<QString> ordinary;
    for (const char *word : ordinaryWords)
        ordinary.insert(QString::fromUtf8(word));
    for (auto word = words.constBegin(); word != words.constEnd(); ++word) {
        const QSet<int> &rows = owners.value(word.value());
        if (rows.size() != 1 || !leading.contains(word.value()) || word.key().size() < 5 ||
            ordinary.contains(word.key()))
            continue;
        const bool lettersOnly =
            std::all_of(word.key().begin(), word.key().end(), [](QChar c) { return isCyrillic(c); });
        if (lettersOnly)
            soleOwner.insert(word.value(), *rows.constBegin());
    }
}

void vsLabelAnalyser::findCodes(const QString &folded, QVector<Hit> *hits) const
{
    // E or Е, a space or hyphen, three or four digits, a letter, a Roman number
    // in brackets; never inside a word or a longer number.
    static const QRegularExpression code(
        QStringLiteral(
            "(?<![\\p{L}\\p{N}])[e\\x{0435}][ \\t]*[-\\x{2010}\\x{2011}\\x{2013}]?\\s?[ \\t]*"
            "([0-9]{3,4})([a-g\\x{0430}\\x{0441}\\x{0435}])?(?:[ \\t]*\\(\\s*(i{1,3}|iv|v|vi{1,3}|ix)"
            "\\s*\\))?(?![\\p{L}\\p{N}])"),
        QRegularExpression::UseUnicodePropertiesOption);
    QRegularExpressionMatchIterator it = code.globalMatch(folded);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString number = QLatin1Char('e') + match.captured(1);
        const QString letter =
            match.captured(2).isEmpty() ? QString() : QString(latinSuffix(match.captured(2).at(0)));
        const QString roman = match.captured(3);
        // The most precise code the catalogue knows: E160a(v) is read as E160a.
        const QString candidates[] = {
            number + letter + (roman.isEmpty() ? QString() : QLatin1Char('(') + roman + QLatin1Char(')')),
            number + letter, number};
        for (const QString &candidate : candidates) {
            const auto row = codes.constFind(candidate);
            if (row != codes.constEnd()) {
                hits->append(Hit{int(match.capturedStart()), row.value()});
                break;
            }
        }
    }
}

bool vsLabelAnalyser::breaksFit(const Phrase &phrase, const QVector<Token> &found, int at)
{
    for (int k = 1; k < phrase.words.size(); ++k)
        if (found.at(at + k).breakBefore && !phrase.breaks.at(k))
            return false;
    return true;
}

void vsLabelAnalyser::findNames(Stemmers &stemmers, const QVector<Token> &found, QVector<Hit> *hits) const
{
    const int count = found.size();
    QVector<int> ids(count, -1);
    QVector<QString> stems(count);
    for (int i = 0; i < count; ++i) {
        stems[i] = stem(stemmers, found.at(i).text);
        ids[i] = words.value(stems.at(i), -1);
    }

    int i = 0;
    while (i < count) {
        const auto starting = phrases.constFind(ids.at(i));
        if (ids.at(i) < 0 || starting == phrases.constEnd()) {
            ++i;
            continue;
        }
        // The longest whole name here.
        const Phrase *best = nullptr;
        for (const Phrase &phrase : starting.value()) {
            const int length = phrase.words.size();
            if (i + length > count || (best && best->words.size() >= length))
                continue;
            if (std::equal(phrase.words.begin(), phrase.words.end(), ids.begin() + i) &&
                breaksFit(phrase, found, i))
                best = &phrase;
        }
        // None whole: a name whose other words OCR garbled into no word of the
        // catalogue, a letter or two off ("понсо 4к" for "понсо 4r"), if only
        // one name fits best.
        if (!best) {
            int bestDistance = 0;
            bool tie = false;
            for (const Phrase &phrase : starting.value()) {
                const int length = phrase.words.size();
                if (length < 2 || i + length > count || !breaksFit(phrase, found, i))
                    continue;
                int distance = 0;
                int garbled = 0;
                for (int k = 1; k < length && distance >= 0; ++k) {
                    if (ids.at(i + k) == phrase.words.at(k))
                        continue;
                    const QString &expected = wordTexts.at(phrase.words.at(k));
                    const QString &seen = stems.at(i + k);
                    const int d = editDistance(expected, seen);
                    ++garbled;
                    if (ids.at(i + k) >= 0)
                        distance = -1;
                    else if (std::abs(expected.size() - seen.size()) <= 1 &&
                             d <= std::max(1, int(expected.size()) / 3))
                        distance += d;
                    // Three or more words right but one: that one may be garbled beyond recognition.
                    else if (length >= 3)
                        distance += expected.size() + seen.size();
                    else
                        distance = -1;
                }
                if (garbled > 1 && length < 2 * garbled + 1)
                    distance = -1;
                if (distance < 0)
                    continue;
                if (!best || distance < bestDistance) {
                    best = &phrase;
                    bestDistance = distance;
                    tie = false;
                } else if (distance == bestDistance && phrase.row != best->row) {
                    tie = true;
                }
            }
            if (tie)
                best = nullptr;
        }
        if (best) {
            hits->append(Hit{found.at(i).start, best->row});
            i += best->words.size();
            continue;
        }
        // A word only one additive's names hold stands for it.
        const auto owner = soleOwner.constFind(ids.at(i));
        if (owner != soleOwner.constEnd())
            hits->append(Hit{found.at(i).start, owner.value()});
        ++i;
    }
}

QVector<int> vsLabelAnalyser::analyse(const QString &text) const
{
    const QString folded = vsEntryNames::fold(text.left(maxTextLength));
    Stemmers stemmers;
    QVector<Hit> hits;
    findCodes(folded, &hits);
    findNames(stemmers, tokens(stemmers, folded, true), &hits);
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit &a, const Hit &b) { return a.position < b.position; });
    QVector<int> rows;
    QSet<int> seen;
    for (const Hit &hit : hits)
        if (!seen.contains(hit.row)) {
            seen.insert(hit.row);
            rows.append(hit.row);
        }
    return rows;
}
