#include "label/vslabelanalyser.h"

#include "catalogue/vsentrynames.h"
#include "label/vsdenials.h"

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

// Function words of labels in English that the catalogue's own (Russian)
// functions do not give: the Codex classes, and the Australian names.
const char *const englishFunctionWords[] = {
    "acid",
    "food acid",
    "acidity regulator",
    "alkali",
    "anticaking agent",
    "anti caking agent",
    "antifoaming agent",
    "antioxidant",
    "bleaching agent",
    "bulking agent",
    "carbonating agent",
    "carrier",
    "colour",
    "color",
    "colouring",
    "coloring",
    "colour retention agent",
    "emulsifier",
    "emulsifying salt",
    "firming agent",
    "flavour enhancer",
    "flavor enhancer",
    "flour treatment agent",
    "foaming agent",
    "gelling agent",
    "glazing agent",
    "humectant",
    "mineral salt",
    "packaging gas",
    "preservative",
    "propellant",
    "raising agent",
    "leavening agent",
    "sequestrant",
    "stabiliser",
    "stabilizer",
    "sweetener",
    "intense sweetener",
    "thickener",
    "vegetable gum",
};

// Kinds of additive a label says it is without, besides the function words.
const char *const kindWords[] = {
    "гмо",           "добавки",    "добавок",     "ароматизаторы", "усилители", "искусственные",
    "синтетические", "химические", "консерванты", "красители",     "gmo",       "additives",
    "flavours",      "flavors",    "artificial",  "msg",           "e",         "е",
    "preservatives", "colours",    "colors",
};

// Single-word names that are also ordinary foods: the grain amaranth, a
// caramel sweet, the spice turmeric. They name the additive only after its
// function word ("краситель амарант", "colour (caramel)"); its code names it anyway.
const char *const foodNames[] = {"амарант", "amaranth", "карамель", "caramel", "турмерик", "turmeric"};

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
// Latin letters that look like Cyrillic ones (folded), and back.
QChar cyrillicLookAlike(QChar c)
{
    static const QString latin = QStringLiteral("abcehkmoptuxy");
    static const QString cyrillic = QStringLiteral("авсенкмортиху");
    const int at = int(latin.indexOf(c));
    return at < 0 ? QChar() : cyrillic.at(at);
}

QChar latinLookAlike(QChar c)
{
    static const QString latin = QStringLiteral("abcehkmoptuxy");
    static const QString cyrillic = QStringLiteral("авсенкмортиху");
    const int at = int(cyrillic.indexOf(c));
    return at < 0 ? QChar() : latin.at(at);
}

bool isLatin(QChar c)
{
    return c >= QLatin1Char('a') && c <= QLatin1Char('z');
}

// The word in the other script, or empty when some letter has no look-alike there.
QString turned(const QString &word, bool toCyrillic)
{
    QString result = word;
    for (QChar &c : result) {
        if (toCyrillic ? !isLatin(c) : !isCyrillic(c))
            continue;
        c = toCyrillic ? cyrillicLookAlike(c) : latinLookAlike(c);
        if (c.isNull())
            return QString();
    }
    return result;
}

// OCR reads a Latin l as "|"; beside a Latin letter it is one. Positions stay.
QString withOcrLetters(QString folded)
{
    for (int i = 0; i < folded.size(); ++i)
        if (folded.at(i) == QLatin1Char('|') &&
            ((i > 0 && isLatin(folded.at(i - 1))) || (i + 1 < folded.size() && isLatin(folded.at(i + 1)))))
            folded[i] = QLatin1Char('l');
    return folded;
}

const QString romanNumber = QStringLiteral("(?:viii|vii|vi|iv|ix|v|iii|ii|i|x)");
// Russian OCR reads a printed "iii" as "Ш".
const QString romanOrRead = QStringLiteral("(?:viii|vii|vi|iv|ix|v|iii|ii|i|x|\\x{0448})");
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

QString vsLabelAnalyser::inOneScript(Stemmers &stemmers, const QString &word) const
{
    bool cyrillic = false;
    bool latin = false;
    for (const QChar c : word) {
        cyrillic = cyrillic || isCyrillic(c);
        latin = latin || isLatin(c);
    }
    if (cyrillic && latin) {
        // "MOHO-" read as "моно-" in part: one script for the whole word.
        const QString asCyrillic = turned(word, true);
        return asCyrillic.isEmpty() ? turned(word, false).isEmpty() ? word : turned(word, false) : asCyrillic;
    }
    if (!cyrillic && !latin)
        return word;
    if (latin && !cyrillic) {
        // American spellings of the catalogue's British names.
        static const QRegularExpression sulfur(QStringLiteral("sulf(?=ite|ate|ur)"));
        QString british = word;
        british.replace(sulfur, QStringLiteral("sulph"))
            .replace(QLatin1String("aluminum"), QLatin1String("aluminium"));
        if (british != word)
            return british;
    }
    // A word of one script that the catalogue does not know, but knows in the other.
    if (words.contains(stem(stemmers, word)))
        return word;
    const QString other = turned(word, latin);
    if (other.isEmpty())
        return word;
    if (words.contains(stem(stemmers, other)))
        return other;
    // OCR reads a capital Б as B too.
    QString withBe = other;
    for (int i = 0; i < word.size(); ++i)
        if (word.at(i) == QLatin1Char('b'))
            withBe[i] = QChar(0x0431);
    return withBe != other && words.contains(stem(stemmers, withBe)) ? withBe : word;
}

bool vsLabelAnalyser::namesAdditive(Stemmers &stemmers, const QString &word) const
{
    if (word.isEmpty())
        return false;
    const QString folded = vsEntryNames::fold(word);
    if ((folded.at(0) == QLatin1Char('e') || folded.at(0) == QChar(0x0435)) && folded.size() > 1 &&
        folded.at(1).isDigit())
        return true;
    const int id = words.value(stem(stemmers, folded), -1);
    return id >= 0 && (kinds.contains(id) || functionWords.contains(id) || phrases.contains(id));
}

QVector<vsLabelAnalyser::Token> vsLabelAnalyser::tokens(Stemmers &stemmers, const QString &folded,
                                                        bool joinBroken) const
{
    QVector<Token> found;
    const int size = folded.size();
    int i = 0;
    bool breakSeen = false;
    QChar breakMark;
    while (i < size) {
        if (!folded.at(i).isLetterOrNumber()) {
            if (isBreak(folded.at(i))) {
                breakSeen = true;
                breakMark = folded.at(i);
            }
            ++i;
            continue;
        }
        Token token;
        token.start = i;
        token.breakBefore = breakSeen;
        token.breakMark = breakMark;
        breakSeen = false;
        breakMark = QChar();
        while (i < size && (folded.at(i).isLetterOrNumber() || folded.at(i) == QChar(0x00AD))) {
            if (folded.at(i) != QChar(0x00AD)) // a soft hyphen only marks where a line may break
                token.text += folded.at(i);
            ++i;
        }
        token.end = i;
        if (joinBroken)
            token.text = inOneScript(stemmers, token.text);
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
            token.end = next.end;
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
        phrase.length = int(token.text.size());
        phrase.words.append(wordId(stem(stemmers, token.text)));
        phrase.breaks.append(token.breakBefore);
    }
    if (phrase.words.isEmpty())
        return;
    static const QSet<QString> foods = [] {
        QSet<QString> set;
        for (const char *food : foodNames)
            set.insert(QString::fromUtf8(food));
        return set;
    }();
    phrase.food = phrase.words.size() == 1 && foods.contains(vsEntryNames::fold(piece).trimmed());
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
    QSet<QString> functionNames;
    QHash<int, QSet<int>> owners;
    QSet<int> leading; // first words of longer names, as nouns
    for (int row = 0; row < entries.size(); ++row) {
        const vsEntryNames &entry = entries.at(row);
        if (entry.header)
            continue;
        const QString code = vsEntryNames::fold(entry.code);
        if (!code.isEmpty() && !codes.contains(code))
            codes.insert(code, row);
        for (int f = 1; f < entry.functions.size(); ++f)
            for (const QString &function : entry.functions.at(f).split(QLatin1Char(',')))
                functionNames << vsEntryNames::fold(function);
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

    // Families the catalogue keeps only as their members: E960 for E960a…d,
    // E160b for E160b(i) and E160b(ii), but not E160a's own members for E160.
    static const QRegularExpression codeParts(QStringLiteral("^(e[0-9]{3,4})([a-z])?(\\([ivx]+\\))?$"));
    for (int row = 0; row < entries.size(); ++row) {
        const QRegularExpressionMatch parts = codeParts.match(vsEntryNames::fold(entries.at(row).code));
        if (entries.at(row).header || !parts.hasMatch() ||
            (parts.captured(2).isEmpty() && parts.captured(3).isEmpty()))
            continue;
        const QString number = parts.captured(1);
        const QString lettered = number + parts.captured(2);
        if (!parts.captured(3).isEmpty() && !parts.captured(2).isEmpty() && !codes.contains(lettered))
            families[lettered].append(row);
        if (!codes.contains(number) &&
            (parts.captured(3).isEmpty() || parts.captured(2).isEmpty() || !codes.contains(lettered)))
            families[number].append(row);
    }

    for (const char *word : englishFunctionWords)
        functionNames << QString::fromUtf8(word);
    for (const QString &function : functionNames) {
        QVector<int> ids;
        for (const Token &token : tokens(stemmers, function, false))
            ids.append(wordId(stem(stemmers, token.text)));
        if (!ids.isEmpty() && !functionWords.value(ids.first()).contains(ids))
            functionWords[ids.first()].append(ids);
    }
    for (const char *word : kindWords)
        kinds.insert(wordId(stem(stemmers, QString::fromUtf8(word))));

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

void vsLabelAnalyser::addCode(const QString &number, const QString &letter, const QString &roman,
                              int position, QVector<Hit> *hits) const
{
    // OCR reads a Roman i after four digits as 1: "E4511" is E451(i) where
    // the catalogue has no E4511 but that member.
    if (number.size() == 4 && number.endsWith(QLatin1Char('1')) && letter.isEmpty() && roman.isEmpty() &&
        !codes.contains(QLatin1Char('e') + number) &&
        codes.contains(QLatin1Char('e') + number.left(3) + QLatin1String("(i)")))
        return addCode(number.left(3), letter, QStringLiteral("i"), position, hits);
    // The most precise code the catalogue knows: E160a(v) is read as E160a.
    const QString lettered = QLatin1Char('e') + number + letter;
    const QString readRoman = roman == QChar(0x0448) ? QStringLiteral("iii") : roman;
    const QString candidates[] = {
        lettered + (readRoman.isEmpty() ? QString() : QLatin1Char('(') + readRoman + QLatin1Char(')')),
        lettered, QLatin1Char('e') + number};
    for (const QString &candidate : candidates) {
        const auto row = codes.constFind(candidate);
        if (row != codes.constEnd()) {
            hits->append(Hit{position, row.value()});
            return;
        }
    }
    for (const QString &candidate : {candidates[1], candidates[2]}) {
        const auto members = families.constFind(candidate);
        if (members != families.constEnd()) {
            for (int row : members.value())
                hits->append(Hit{position, row});
            return;
        }
    }
}

namespace {
// Three or four digits, "O" or "О" read as 0 and "З" as 3 where a digit
// must stand; a letter, Latin or Cyrillic, or after a space a Latin one; a
// Roman number in brackets, or after the rest or a space; never inside a
// word or a longer number.
const QString codeBody =
    QStringLiteral("([0-9\\x{0437}][0-9o\\x{043e}\\x{0437}]{2,3})(?:([a-g\\x{0430}\\x{0441}\\x{0435}])|[ "
                   "\\t]([a-g])(?![\\p{L}\\p{N}]))?"
                   "(?:[ \\t]*\\(\\s*(%1)\\s*\\)|[ \\t]?(%1)(?![\\p{L}\\p{N}]))?(?![\\p{L}\\p{N}])")
        .arg(romanOrRead);

QString digitsOf(const QString &digits)
{
    QString result = digits;
    result.replace(QLatin1Char('o'), QLatin1Char('0'))
        .replace(QChar(0x043e), QLatin1Char('0'))
        .replace(QChar(0x0437), QLatin1Char('3'));
    return result;
}
} // namespace

void vsLabelAnalyser::findCodes(const QString &folded, QVector<Hit> *hits) const
{
    // E or Е or the Codex's INS, a space or hyphen, then the code. OCR reads
    // a blurred E as "£" or "€"; a price has its decimals.
    static const QRegularExpression code(
        QStringLiteral("(?<![\\p{L}\\p{N}])(?:[e\\x{0435}]|[\\x{00a3}\\x{20ac}](?![0-9]+[.,][0-9])|ins)[ "
                       "\\t]*[-\\x{2010}\\x{2011}\\x{2013}]?\\s?[ \\t]*") +
            codeBody,
        QRegularExpression::UseUnicodePropertiesOption);
    QRegularExpressionMatchIterator it = code.globalMatch(folded);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString letter =
            match.captured(2).isEmpty() ? match.captured(3) : QString(latinSuffix(match.captured(2).at(0)));
        const QString roman = match.captured(4).isEmpty() ? match.captured(5) : match.captured(4);
        addCode(digitsOf(match.captured(1)), letter, roman, int(match.capturedStart()), hits);
    }
}

QVector<bool> vsLabelAnalyser::functionWordEnds(const QVector<int> &ids, const QVector<Token> &found) const
{
    QVector<bool> ends(found.size(), false);
    for (int i = 0; i < found.size(); ++i) {
        const auto starting = functionWords.constFind(ids.at(i));
        if (ids.at(i) < 0 || starting == functionWords.constEnd())
            continue;
        for (const QVector<int> &function : starting.value()) {
            const int last = i + int(function.size()) - 1;
            if (last >= found.size() || !std::equal(function.begin(), function.end(), ids.begin() + i))
                continue;
            bool whole = true;
            for (int k = i + 1; k <= last; ++k)
                whole = whole && !found.at(k).breakBefore;
            if (whole)
                ends[last] = true;
        }
    }
    return ends;
}

void vsLabelAnalyser::findNumbers(const QString &folded, const QVector<Token> &found,
                                  const QVector<bool> &functionEnds, QVector<Hit> *hits) const
{
    // "Acidity regulator (330, 331)", "Emulsifiers (soy lecithin, 471)",
    // "Preservative: 202": a bare number is a code only where a function word
    // or its bracket brings it in; "100 g" or "2025" alone never are.
    static const QRegularExpression opening(QStringLiteral("\\G[ \\t]*[:\\-\\x{2013}]?[ \\t\\n]*([(\\[])?"));
    static const QRegularExpression number(
        QStringLiteral("\\G[ \\t\\n]*(?:ins[ \\t]*)?") + codeBody +
            QStringLiteral("(?![.,][0-9])(?![ \\t]*(?:%|‰|[gгkк]\\b|m[gl]\\b|м[гл]\\b))"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression nextInList(QStringLiteral("\\G[ \\t\\n]*(?:[,/&]|and|и)[ \\t\\n]*"));
    for (int i = 0; i < found.size(); ++i) {
        if (!functionEnds.at(i))
            continue;
        const QRegularExpressionMatch open = opening.match(folded, found.at(i).end);
        int at = int(open.capturedEnd());
        const bool bracketed = open.capturedLength(1) > 0;
        for (;;) {
            const QRegularExpressionMatch item = number.match(folded, at);
            if (item.hasMatch()) {
                const QString letter = item.captured(2).isEmpty()
                                           ? item.captured(3)
                                           : QString(latinSuffix(item.captured(2).at(0)));
                const QString roman = item.captured(4).isEmpty() ? item.captured(5) : item.captured(4);
                addCode(digitsOf(item.captured(1)), letter, roman, int(item.capturedStart(1)), hits);
                at = int(item.capturedEnd());
            } else if (!bracketed) {
                break;
            }
            if (bracketed) {
                // Within the bracket every item that starts with a number counts.
                while (at < folded.size() && !QStringLiteral(",;)]\n").contains(folded.at(at)))
                    ++at;
                if (at >= folded.size() || folded.at(at) != QLatin1Char(','))
                    break;
                ++at;
                continue;
            }
            const QRegularExpressionMatch next = nextInList.match(folded, at);
            if (!next.hasMatch())
                break;
            at = int(next.capturedEnd());
        }
    }
}

int vsLabelAnalyser::phraseRow(int first, int second) const
{
    for (const Phrase &phrase : phrases.value(first))
        if (phrase.words.size() == 2 && phrase.words.at(1) == second)
            return phrase.row;
    return -1;
}

void vsLabelAnalyser::findSharedHeads(const QVector<Token> &found, const QVector<int> &ids,
                                      const QVector<bool> &inName, QVector<Hit> *hits) const
{
    // "яблочная и молочная кислоты", "ascorbic and citric acids" (the head
    // after the members) and "сорбат калия и натрия" (the head before them):
    // the two words beside the conjunction must each make a name with the head.
    static const QSet<QString> joining{QStringLiteral("и"), QStringLiteral("and"), QStringLiteral("или"),
                                       QStringLiteral("or")};
    const int count = found.size();
    const auto row = [&](int first, int second) {
        return ids.at(first) < 0 || ids.at(second) < 0 ? -1 : phraseRow(ids.at(first), ids.at(second));
    };
    for (int conj = 1; conj + 1 < count; ++conj) {
        // A conjunction inside a whole name is the name's: "моно- и диглицериды".
        if (!joining.contains(found.at(conj).text) || inName.at(conj) || found.at(conj).breakBefore ||
            found.at(conj + 1).breakBefore)
            continue;
        const int before = conj - 1;
        const int after = conj + 1;
        const int headAfter = after + 1;
        if (headAfter < count && !found.at(headAfter).breakBefore && row(before, headAfter) >= 0 &&
            row(after, headAfter) >= 0) {
            // Earlier members apart by commas: "лимонная, яблочная и молочная кислоты".
            int first = before;
            while (first > 0 && found.at(first).breakMark == QLatin1Char(',') &&
                   row(first - 1, headAfter) >= 0)
                --first;
            for (int member = first; member <= after; member = member == before ? after : member + 1)
                hits->append(Hit{found.at(member).start, row(member, headAfter)});
            continue;
        }
        const int headBefore = before - 1;
        if (headBefore >= 0 && !found.at(before).breakBefore && row(headBefore, before) >= 0 &&
            row(headBefore, after) >= 0) {
            hits->append(Hit{found.at(headBefore).start, row(headBefore, before)});
            hits->append(Hit{found.at(after).start, row(headBefore, after)});
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

void vsLabelAnalyser::findNames(const QVector<Token> &found, const QVector<QString> &stems,
                                const QVector<int> &ids, const QVector<bool> &functionEnds,
                                QVector<bool> *inName, QVector<Hit> *hits) const
{
    const int count = found.size();
    // A food's name is the additive's after its function word, within its item:
    // "краситель амарант", "colour (caramel)".
    const auto afterFunctionWord = [&](int at) {
        for (int k = at - 1; k >= std::max(0, at - 3); --k) {
            const QChar mark = found.at(k + 1).breakMark;
            if (found.at(k + 1).breakBefore && mark != QLatin1Char('(') && mark != QLatin1Char(':'))
                return false;
            if (functionEnds.at(k))
                return true;
        }
        return false;
    };

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
            // A one-word name stems alike with words derived from it, not only
            // with its inflections: an ending of three letters at most.
            if (length == 1 && found.at(i).text.size() > phrase.length + 3)
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
                    // "Red 40" is no "Red 4" misread: numbers are read right or not at all.
                    const bool number =
                        std::all_of(expected.begin(), expected.end(), [](QChar ch) { return ch.isDigit(); });
                    if (ids.at(i + k) >= 0 || number)
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
        if (best && best->food && !afterFunctionWord(i)) {
            i += best->words.size();
            continue;
        }
        if (best) {
            hits->append(Hit{found.at(i).start, best->row});
            for (int k = 0; k < best->words.size(); ++k)
                (*inName)[i + k] = true;
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
    const QString limited = text.left(maxTextLength);
    const QString folded = withOcrLetters(vsEntryNames::fold(limited));
    Stemmers stemmers;
    const QVector<Token> found = tokens(stemmers, folded, true);
    QVector<QString> stems(found.size());
    QVector<int> ids(found.size(), -1);
    for (int i = 0; i < found.size(); ++i) {
        stems[i] = stem(stemmers, found.at(i).text);
        ids[i] = words.value(stems.at(i), -1);
    }
    const QVector<bool> functionEnds = functionWordEnds(ids, found);

    QVector<Hit> hits;
    findCodes(folded, &hits);
    findNumbers(folded, found, functionEnds, &hits);
    QVector<bool> inName(found.size(), false);
    findNames(found, stems, ids, functionEnds, &inName, &hits);
    findSharedHeads(found, ids, inName, &hits);
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit &a, const Hit &b) { return a.position < b.position; });

    // Case tells where a sentence ends; folding keeps positions for the
    // scripts of labels, and where it does not the folded text serves.
    const QVector<vsDenials::Range> denied =
        vsDenials::find(folded.size() == limited.size() ? limited : folded,
                        [this, &stemmers](const QString &word) { return namesAdditive(stemmers, word); });
    const auto isDenied = [&denied](int position) {
        for (const vsDenials::Range &range : denied)
            if (position >= range.start && position < range.end)
                return true;
        return false;
    };

    QVector<int> rows;
    QSet<int> seen;
    for (const Hit &hit : hits)
        if (!seen.contains(hit.row) && !isDenied(hit.position)) {
            seen.insert(hit.row);
            rows.append(hit.row);
        }
    return rows;
}
