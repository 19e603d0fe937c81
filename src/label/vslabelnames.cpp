#include "label/vslabelnames.h"

#include "catalogue/vsentrynames.h"
#include "label/vslabelvocabulary.h"
#include "label/vsocrtolerance.h"

#include <libstemmer.h>

#include <algorithm>

namespace {
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

// Words as the matcher reads them, with the breaks between them; no OCR
// tolerance, no joining: a name as the vocabulary writes it.
} // namespace

QVector<vsLabelNames::Token> vsLabelNames::tokens(const QString &folded)
{
    QVector<vsLabelNames::Token> found;
    bool breakSeen = false;
    QChar breakMark;
    for (int i = 0; i < folded.size();) {
        if (!folded.at(i).isLetterOrNumber()) {
            if (isBreak(folded.at(i))) {
                breakSeen = true;
                breakMark = folded.at(i);
            }
            if (folded.at(i) == QLatin1Char('&')) {
                vsLabelNames::Token token;
                token.start = i;
                token.end = i + 1;
                token.text = QStringLiteral("&");
                token.conjunction = true;
                found.append(token);
            }
            ++i;
            continue;
        }
        vsLabelNames::Token token;
        token.start = i;
        token.breakBefore = breakSeen;
        token.breakMark = breakMark;
        breakSeen = false;
        breakMark = QChar();
        while (i < folded.size() && folded.at(i).isLetterOrNumber())
            token.text += folded.at(i++);
        token.end = i;
        found.append(token);
    }
    return found;
}

namespace {
// Folded as every comparison of names folds, and Latin letters without their
// accents: packs in capitals and OCR drop them ("ACIDE CITRIQUE").
QString fold(const QString &text)
{
    return vsLabelNames::plain(vsEntryNames::fold(text));
}

bool hasLetter(const QString &word, bool cyrillic)
{
    return std::any_of(word.begin(), word.end(), [cyrillic](QChar c) {
        return cyrillic ? vsOcrTolerance::isCyrillic(c) : c.isLetter() && !vsOcrTolerance::isCyrillic(c);
    });
}
} // namespace

QString vsLabelNames::plain(const QString &folded)
{
    QString result;
    result.reserve(folded.size());
    for (const QChar c : folded) {
        if (c.unicode() < 0x80 || c.script() != QChar::Script_Latin) {
            result += c;
            continue;
        }
        switch (c.unicode()) {
        case 0x00df: // ß
            result += QLatin1String("ss");
            continue;
        case 0x0142: // ł
            result += QLatin1Char('l');
            continue;
        case 0x00f8: // ø
            result += QLatin1Char('o');
            continue;
        case 0x00e6: // æ
            result += QLatin1String("ae");
            continue;
        case 0x0153: // œ
            result += QLatin1String("oe");
            continue;
        case 0x0111: // đ
            result += QLatin1Char('d');
            continue;
        default:
            break;
        }
        const QString decomposed = QString(c).normalized(QString::NormalizationForm_D);
        for (const QChar part : decomposed)
            if (part.category() != QChar::Mark_NonSpacing)
                result += part;
    }
    return result;
}

struct vsLabelNames::Stemmer::Snowball
{
    sb_stemmer *stemmer = nullptr;
    ~Snowball()
    {
        if (stemmer)
            sb_stemmer_delete(stemmer);
    }
};

vsLabelNames::Stemmer::Stemmer(const vsLabelNames &language) : language(language), snowball(new Snowball)
{
    if (!language.snowballName.isEmpty())
        snowball->stemmer = sb_stemmer_new(language.snowballName.toLatin1().constData(), "UTF_8");
}

vsLabelNames::Stemmer::~Stemmer() = default;

QString vsLabelNames::Stemmer::stem(const QString &word)
{
    const auto found = known.constFind(word);
    if (found != known.constEnd())
        return found.value();
    const QString result = stemmed(word);
    known.insert(word, result);
    return result;
}

QString vsLabelNames::Stemmer::stemmed(const QString &word)
{
    // A word longer than any of a name's is no name's; a pasted page may
    // hold a word of a megabyte.
    if (word.size() > language.longest || !hasLetter(word, language.script))
        return word;
    if (snowball->stemmer) {
        const QByteArray utf8 = word.toUtf8();
        const sb_symbol *stemmed = sb_stemmer_stem(
            snowball->stemmer, reinterpret_cast<const sb_symbol *>(utf8.constData()), int(utf8.size()));
        if (!stemmed)
            return word;
        return QString::fromUtf8(reinterpret_cast<const char *>(stemmed),
                                 sb_stemmer_length(snowball->stemmer));
    }
    // The longest ending of the language's that leaves three letters or
    // more; then once more, leaving four, for endings one after another
    // ("микроорганизм-дер-дің").
    QString stemmed = word;
    for (int pass = 0; pass < 2; ++pass) {
        const auto ending =
            std::find_if(language.endings.begin(), language.endings.end(), [&](const QString &e) {
                return stemmed.size() - e.size() >= 3 + pass && stemmed.endsWith(e);
            });
        if (ending == language.endings.end())
            break;
        stemmed.chop(ending->size());
    }
    return stemmed;
}

vsLabelNames::vsLabelNames(const QString &language, bool cyrillic, const QString &snowball,
                           const QStringList &endings)
    : code(language), script(cyrillic), snowballName(snowball), endings(endings)
{
    std::sort(this->endings.begin(), this->endings.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
}

vsLabelNames::~vsLabelNames() = default;

int vsLabelNames::wordId(const QString &stemmed)
{
    const auto found = words.constFind(stemmed);
    if (found != words.constEnd())
        return found.value();
    const int id = int(words.size());
    words.insert(stemmed, id);
    wordTexts.append(stemmed);
    return id;
}

QVector<int> vsLabelNames::idsOfPhrase(Stemmer &stemmer, const QString &text, QVector<bool> *breaks)
{
    QVector<int> ids;
    for (const Token &token : tokens(text)) {
        longest = std::max(longest, int(token.text.size()));
        ids.append(wordId(stemmer.stem(token.text)));
        if (breaks)
            breaks->append(token.breakBefore);
    }
    return ids;
}

void vsLabelNames::addSequence(Stemmer &stemmer, const QString &text, Sequences *to)
{
    const QVector<int> ids = idsOfPhrase(stemmer, fold(text));
    if (!ids.isEmpty() && !(*to)[ids.first()].contains(ids))
        (*to)[ids.first()].append(ids);
}

void vsLabelNames::addPhrase(Stemmer &stemmer, const QString &text, const QVector<int> &rows,
                             bool fromCatalogue, bool food, bool ordinary, bool shortened)
{
    Phrase phrase;
    phrase.rows = ordinary ? QVector<int>() : rows;
    phrase.food = food;
    phrase.fromCatalogue = fromCatalogue;
    phrase.shortened = shortened;
    const QString folded = fold(text);
    phrase.words = idsOfPhrase(stemmer, folded, &phrase.breaks);
    if (phrase.words.isEmpty())
        return;
    const QVector<Token> written = tokens(folded);
    phrase.length = int(written.last().text.size());
    // An abbreviation ("PES", "MSG") or letters alone ("I+G") is found in
    // loose letters of any text.
    const QVector<Token> asWritten = tokens(text);
    phrase.loose =
        std::all_of(written.begin(), written.end(), [](const Token &t) { return t.text.size() <= 1; }) ||
        (asWritten.size() == 1 && asWritten.first().text.size() <= 3 &&
         asWritten.first().text == asWritten.first().text.toUpper());
    for (const Token &token : written)
        phrase.surface << token.text;
    QVector<Phrase> &sameStart = phrases[phrase.words.first()];
    for (Phrase &known : sameStart) {
        // Two names a stemmer makes one ("nitrito", "nitrato") stay apart:
        // the words as written tell them apart at a label.
        if (known.words != phrase.words ||
            (known.surface != phrase.surface && !known.fromCatalogue && !fromCatalogue &&
             !known.rows.isEmpty() && !phrase.rows.isEmpty() && known.rows != phrase.rows))
            continue;
        // The same name under two codes: a family and its first member in
        // the catalogue stay with the first, which in its order is the
        // family; a vocabulary that gives a name to every member of a family
        // means them all.
        known.food = known.food || food;
        if (ordinary)
            known.rows.clear();
        else if (!fromCatalogue)
            for (const int row : rows)
                if (!known.rows.contains(row))
                    known.rows.append(row);
        return;
    }
    sameStart.append(phrase);
}

void vsLabelNames::addName(Stemmer &stemmer, const QString &name, const QVector<int> &rows,
                           bool fromCatalogue)
{
    if (rows.isEmpty())
        return;
    addPhrase(stemmer, name, rows, fromCatalogue, false, false);
    // "Сахарный колер III (аммиачный)" is printed as "сахарный колер III" too.
    QString shorter = name;
    for (int open = int(shorter.indexOf(QLatin1Char('('))); open >= 0;
         open = int(shorter.indexOf(QLatin1Char('(')))) {
        const int close = int(shorter.indexOf(QLatin1Char(')'), open));
        if (close < 0)
            break;
        shorter.remove(open, close - open + 1);
    }
    if (shorter != name)
        addPhrase(stemmer, shorter, rows, fromCatalogue, false, false);
    // "Allura red" for Allura red AC, "Жёлтый солнечный закат" for «солнечный
    // закат» FCF: a name of two words or more is printed without its letters.
    const QVector<Token> asWritten = tokens(name);
    if (asWritten.size() >= 3) {
        const QString &last = asWritten.last().text;
        const bool letters = last.size() <= 3 && last == last.toUpper() &&
                             std::none_of(last.begin(), last.end(), [](QChar c) { return c.isDigit(); });
        if (letters)
            addPhrase(stemmer, name.left(asWritten.last().start), rows, fromCatalogue, false, false, true);
    }
    // "кислота лимонная", "натрия бензоат": two words in either order.
    const QVector<Token> written = tokens(fold(name));
    if (written.size() == 2 && !written.at(1).breakBefore)
        addPhrase(stemmer, written.at(1).text + QLatin1Char(' ') + written.at(0).text, rows, fromCatalogue,
                  false, false);
}

void vsLabelNames::addFunction(Stemmer &stemmer, const QString &function)
{
    addSequence(stemmer, function, &functions);
}

void vsLabelNames::add(Stemmer &stemmer, const vsLabelVocabulary &vocabulary)
{
    for (const QString &function : vocabulary.functions)
        addSequence(stemmer, function, &functions);
    for (const QString &kind : vocabulary.kinds)
        addSequence(stemmer, kind, &kinds);
    for (const QString &denial : vocabulary.denials)
        addSequence(stemmer, denial, &denials);
    for (const QString &denial : vocabulary.shortDenials)
        addSequence(stemmer, denial, &shortDenials);
    for (const QString &denial : vocabulary.afterDenials)
        addSequence(stemmer, denial, &afterDenials);
    for (const QString &denial : vocabulary.endDenials)
        addSequence(stemmer, denial, &endDenials);
    for (const QString &heading : vocabulary.headings)
        addSequence(stemmer, heading, &headings);
    for (const QString &opener : vocabulary.notList)
        addSequence(stemmer, opener, &notList);
    for (const QString &conjunction : vocabulary.conjunctions)
        for (const int id : idsOfPhrase(stemmer, fold(conjunction)))
            conjunctions.insert(id);
    for (const QString &phrase : vocabulary.ordinary)
        addPhrase(stemmer, phrase, {}, false, false, true);
    for (const QString &food : vocabulary.foods)
        addPhrase(stemmer, food, {}, false, true, false);
}

bool vsLabelNames::knows(Stemmer &stemmer, const QString &word) const
{
    return words.contains(stemmer.stem(word));
}

vsLabelNames::Words vsLabelNames::read(Stemmer &stemmer, const QVector<Token> &tokens) const
{
    Words read;
    read.stems.resize(tokens.size());
    read.ids.fill(-1, tokens.size());
    read.corrected.fill(false, tokens.size());
    for (int i = 0; i < tokens.size(); ++i) {
        const Token &token = tokens.at(i);
        if (token.conjunction) {
            read.ids[i] = words.value(token.text, -1);
            continue;
        }
        read.stems[i] = stemmer.stem(token.text);
        read.ids[i] = words.value(read.stems.at(i), -1);
        if (read.ids.at(i) < 0 && !token.corrected.isEmpty()) {
            read.ids[i] = words.value(stemmer.stem(token.corrected), -1);
            read.corrected[i] = read.ids.at(i) >= 0;
        }
    }
    return read;
}

bool vsLabelNames::namesAdditive(int id) const
{
    return id >= 0 && (kinds.contains(id) || functions.contains(id) || phrases.contains(id));
}

bool vsLabelNames::isWord(const QVector<Token> &tokens, const QVector<int> &ids, int at, int id) const
{
    return ids.at(at) == id || (tokens.at(at).conjunction && conjunctions.contains(id));
}

int vsLabelNames::sequenceAt(const Sequences &sequences, const QVector<Token> &tokens,
                             const QVector<int> &ids, int at) const
{
    const auto starting = sequences.constFind(ids.at(at));
    if (ids.at(at) < 0 || starting == sequences.constEnd())
        return 0;
    int longestMatch = 0;
    for (const QVector<int> &sequence : starting.value()) {
        const int last = at + int(sequence.size()) - 1;
        if (last >= tokens.size() || int(sequence.size()) <= longestMatch)
            continue;
        bool whole = true;
        for (int k = at + 1; k <= last && whole; ++k)
            whole = isWord(tokens, ids, k, sequence.at(k - at)) && !tokens.at(k).breakBefore;
        if (whole)
            longestMatch = int(sequence.size());
    }
    return longestMatch;
}

void vsLabelNames::markClassWords(const QVector<Token> &tokens, const Words &words, QVector<bool> *ends) const
{
    for (int i = 0; i < tokens.size(); ++i) {
        const int length = sequenceAt(functions, tokens, words.ids, i);
        if (length > 0)
            (*ends)[i + length - 1] = true;
    }
}

bool vsLabelNames::isOneWordName(int id) const
{
    for (const Phrase &phrase : phrases.value(id))
        if (phrase.words.size() == 1 && !phrase.rows.isEmpty())
            return true;
    return false;
}

int vsLabelNames::phraseRow(int first, int second) const
{
    for (const Phrase &phrase : phrases.value(first))
        if (phrase.words.size() == 2 && phrase.words.at(1) == second && !phrase.rows.isEmpty())
            return phrase.rows.first();
    return -1;
}

void vsLabelNames::find(const QVector<Token> &tokens, const Words &words, const QVector<bool> &classWordEnds,
                        Found *found) const
{
    QVector<bool> inName(tokens.size(), false);
    findNames(tokens, words, classWordEnds, &inName, found);
    findSharedHeads(tokens, words.ids, classWordEnds, inName, found);
    findDenials(tokens, words.ids, found);
}

void vsLabelNames::findNames(const QVector<Token> &tokens, const Words &words,
                             const QVector<bool> &classWordEnds, QVector<bool> *inName, Found *found) const
{
    const QVector<int> &ids = words.ids;
    const int count = int(tokens.size());
    // A food's name is the additive's after its class word, within its item:
    // "краситель амарант", "colour (caramel)".
    const auto afterClassWord = [&](int at) {
        for (int k = at - 1; k >= std::max(0, at - 3); --k) {
            const QChar mark = tokens.at(k + 1).breakMark;
            if (tokens.at(k + 1).breakBefore && mark != QLatin1Char('(') && mark != QLatin1Char(':'))
                return false;
            if (classWordEnds.at(k))
                return true;
        }
        return false;
    };
    // Or a class word right after, in its bracket or its item, that does
    // not bring in what follows it: "BHT (preservative)", "BHT, to maintain
    // freshness", "TBHQ for freshness"; not "A i D, barwnik: karoten".
    const auto classWordAfter = [&](int from) {
        int breaks = 0;
        for (int k = from; k < std::min(count, from + 5); ++k) {
            const QChar mark = tokens.at(k).breakMark;
            if (tokens.at(k).breakBefore &&
                ((mark != QLatin1Char(',') && mark != QLatin1Char('(')) || ++breaks > 1))
                return false;
            if (!classWordEnds.at(k))
                continue;
            if (k + 1 >= count)
                return true;
            const QChar next = tokens.at(k + 1).breakMark;
            if (tokens.at(k + 1).breakBefore)
                return next != QLatin1Char(':') && next != QLatin1Char('(');
        }
        return false;
    };
    // Punctuation inside a name only where the name has it; one comma where
    // a pack splits a long name ("полиглицерол, полирицинолеат").
    const auto breaksFit = [&](const Phrase &phrase, int at) {
        int splits = 0;
        for (int k = 1; k < phrase.words.size(); ++k) {
            const Token &token = tokens.at(at + k);
            if (!token.breakBefore || phrase.breaks.at(k))
                continue;
            const Token &before = tokens.at(at + k - 1);
            if (token.breakMark != QLatin1Char(',') || ++splits > 1 || token.text.size() < 8 ||
                before.text.size() < 8 || isOneWordName(ids.at(at + k)) || isOneWordName(ids.at(at + k - 1)))
                return false;
        }
        return true;
    };
    const auto isCorrected = [&](int at) { return words.corrected.at(at); };
    const auto matchesAt = [&](const Phrase &phrase, int at) {
        for (int k = 0; k < phrase.words.size(); ++k)
            if (!isWord(tokens, ids, at + k, phrase.words.at(k)))
                return false;
        return true;
    };

    // A misread word alone that names an additive, set aside: it counts
    // where the list around it names additives read right.
    struct Lone
    {
        int at;
        const Phrase *phrase;
    };
    QVector<Lone> lone;
    QVector<int> readRight; // first tokens of names read without a misread word
    const auto take = [&](const Phrase *best, int i) {
        const int length = int(best->words.size());
        const bool presented = afterClassWord(i) || classWordAfter(i + length);
        if (best->rows.isEmpty() || (best->food && !afterClassWord(i))) {
            found->quiet.append(Hit{tokens.at(i).start, -1, true, tokens.at(i + length - 1).end});
            return false;
        }
        if (best->loose && !presented)
            return false;
        for (const int row : best->rows)
            found->hits.append(Hit{tokens.at(i).start, row, true, tokens.at(i + length - 1).end});
        for (int k = 0; k < length; ++k)
            (*inName)[i + k] = true;
        return true;
    };

    int i = 0;
    while (i < count) {
        const auto starting = phrases.constFind(ids.at(i));
        if (ids.at(i) < 0 || starting == phrases.constEnd()) {
            ++i;
            continue;
        }
        // The longest whole name here. A word OCR misread counts in a name
        // with a word read right, or alone when long: "xenthon gum", "Tartrazlne".
        const Phrase *best = nullptr;
        const Phrase *misreadAlone = nullptr;
        double bestSurface = 0;
        for (const Phrase &phrase : starting.value()) {
            const int length = int(phrase.words.size());
            if (i + length > count || (best && best->words.size() > length))
                continue;
            // A one-word name stems alike with words derived from it, not only
            // with its inflections: an ending of three letters at most
            // ("hydrogenated" is no hydrogen, "cellulosique" no cellulose).
            if (length == 1 &&
                (tokens.at(i).text.size() > phrase.length + 3 ||
                 tokens.at(i).text.size() - words.stems.at(i).size() >
                     std::max(3, int(phrase.length - wordTexts.at(phrase.words.first()).size()) + 2)))
                continue;
            if (!matchesAt(phrase, i) || !breaksFit(phrase, i))
                continue;
            // A misread word counts beside a word read right; alone, only
            // when long and its letters merely confused ("Tartrazlne").
            int corrected = 0;
            for (int k = i; k < i + length; ++k)
                corrected += isCorrected(k);
            if (corrected == length &&
                (length > 1 || tokens.at(i).text.size() < 8 || tokens.at(i).correction > 0.8)) {
                if (length == 1 && !phrase.rows.isEmpty())
                    misreadAlone = &phrase;
                continue;
            }
            double surface = 0;
            for (int k = 0; k < length; ++k)
                surface += vsOcrTolerance::distance(tokens.at(i + k).text, phrase.surface.value(k));
            if (best && best->words.size() == length && surface >= bestSurface)
                continue;
            best = &phrase;
            bestSurface = surface;
        }
        // None whole: a name whose other words OCR garbled into no word of
        // this language, a letter or two off ("понсо 4к" for "понсо 4r"), if
        // only one name fits best.
        if (!best && !isCorrected(i)) {
            double bestDistance = 0;
            bool tie = false;
            for (const Phrase &phrase : starting.value()) {
                const int length = int(phrase.words.size());
                if (length < 2 || i + length > count || !breaksFit(phrase, i) || phrase.rows.isEmpty() ||
                    phrase.loose || phrase.shortened)
                    continue;
                double distance = 0;
                int garbled = 0;
                for (int k = 1; k < length && distance >= 0; ++k) {
                    if (isWord(tokens, ids, i + k, phrase.words.at(k)))
                        continue;
                    ++garbled;
                    const QString &expected = wordTexts.at(phrase.words.at(k));
                    const QString &seen = words.stems.at(i + k);
                    // "Red 40" is no "Red 4" misread, "vert 0" no "vert S": numbers
                    // are read right or not at all, and so is a letter alone.
                    const auto number = [](const QString &word) {
                        return std::all_of(word.begin(), word.end(), [](QChar ch) { return ch.isDigit(); });
                    };
                    const double d = vsOcrTolerance::distance(expected, seen);
                    if (ids.at(i + k) >= 0 || words.knownElsewhere.at(i + k) || number(expected) ||
                        number(seen) || expected.size() < 2 || std::abs(expected.size() - seen.size()) > 1 ||
                        d > std::max(1.0, expected.size() / 3.0))
                        distance = -1;
                    else
                        distance += d;
                }
                // One word garbled in a name of two or three, two in one of five.
                if (distance < 0 || (garbled > 1 && length < 2 * garbled + 1))
                    continue;
                if (!best || distance < bestDistance) {
                    best = &phrase;
                    bestDistance = distance;
                    tie = false;
                } else if (distance == bestDistance && phrase.rows != best->rows) {
                    tie = true;
                }
            }
            if (tie)
                best = nullptr;
        }
        // Presented as an additive, by its class word before it or in its
        // bracket after it, a name is read from its first word when its only
        // other word is garbled past telling, if no other name begins so:
        // "Silicon vonie (anticaking agent)".
        if (!best && !isCorrected(i) && i + 1 < count && !tokens.at(i + 1).breakBefore && ids.at(i + 1) < 0 &&
            !words.knownElsewhere.at(i + 1) && tokens.at(i + 1).text.size() >= 3 &&
            !tokens.at(i + 1).text.at(0).isDigit() && (afterClassWord(i) || classWordAfter(i + 2))) {
            const Phrase *only = nullptr;
            int named = 0;
            for (const Phrase &phrase : starting.value())
                if (phrase.words.size() == 2 && !phrase.rows.isEmpty() && !phrase.loose &&
                    !phrase.shortened && !phrase.food && (!only || phrase.rows != only->rows)) {
                    only = &phrase;
                    ++named;
                }
            if (named == 1)
                best = only;
        }
        if (best) {
            const int length = int(best->words.size());
            bool misread = false;
            for (int k = i; k < i + length; ++k)
                misread = misread || isCorrected(k);
            if (take(best, i) && !misread)
                readRight.append(i);
            i += length;
            continue;
        }
        if (misreadAlone)
            lone.append(Lone{i, misreadAlone});
        ++i;
    }

    // "SORBITOL; SOMALT; MEOTAKE": a list of additives is read on into
    // its misread items, each a word alone, within two items of a name
    // read right in the same sentence.
    if (lone.isEmpty() || readRight.isEmpty())
        return;
    QVector<int> item(count, 0), sentence(count, 0);
    for (int k = 1; k < count; ++k) {
        const QChar mark = tokens.at(k).breakMark;
        item[k] = item.at(k - 1) + (tokens.at(k).breakBefore ? 1 : 0);
        sentence[k] = sentence.at(k - 1) + (tokens.at(k).breakBefore && QStringLiteral(".!?").contains(mark));
    }
    for (const Lone &word : lone) {
        const int at = word.at;
        if ((at > 0 && !tokens.at(at).breakBefore) || (at + 1 < count && !tokens.at(at + 1).breakBefore))
            continue;
        const bool amongAdditives = std::any_of(readRight.begin(), readRight.end(), [&](int name) {
            return name != at && std::abs(item.at(name) - item.at(at)) <= 2 &&
                   sentence.at(name) == sentence.at(at);
        });
        if (amongAdditives)
            take(word.phrase, at);
    }
}

void vsLabelNames::findSharedHeads(const QVector<Token> &tokens, const QVector<int> &ids,
                                   const QVector<bool> &classWordEnds, const QVector<bool> &inName,
                                   Found *found) const
{
    // "яблочная и молочная кислоты", "ascorbic and citric acids" (the head
    // after the members), "сорбат калия и натрия" (the head before them), and
    // members apart by commas alone ("винная, лимонная кислоты"): the word
    // beside each must make a name with the head.
    const int count = int(tokens.size());
    const auto row = [&](int first, int second) {
        return ids.at(first) < 0 || ids.at(second) < 0 ? -1 : phraseRow(ids.at(first), ids.at(second));
    };
    const auto joins = [&](int at) {
        return tokens.at(at).conjunction || (ids.at(at) >= 0 && conjunctions.contains(ids.at(at)));
    };
    // Earlier members, each a word alone between commas.
    const auto membersBefore = [&](int first, int head) {
        // Each a word alone, or after the class word of its item
        // ("регуляторы кислотности винная, лимонная кислоты").
        const auto alone = [&](int at) {
            return at == 0 || tokens.at(at).breakBefore || classWordEnds.at(at - 1);
        };
        while (first > 0 && tokens.at(first).breakMark == QLatin1Char(',') && alone(first - 1) &&
               row(first - 1, head) >= 0 && !isOneWordName(ids.at(first - 1))) {
            --first;
            found->hits.append(Hit{tokens.at(first).start, row(first, head), true, tokens.at(first).end});
        }
    };
    for (int conj = 1; conj + 1 < count; ++conj) {
        // A conjunction inside a whole name is the name's: "моно- и диглицериды".
        if (!joins(conj) || inName.at(conj) || tokens.at(conj).breakBefore || tokens.at(conj + 1).breakBefore)
            continue;
        const int before = conj - 1;
        const int after = conj + 1;
        const int headAfter = after + 1;
        if (headAfter < count && !tokens.at(headAfter).breakBefore && row(before, headAfter) >= 0 &&
            row(after, headAfter) >= 0) {
            found->hits.append(
                Hit{tokens.at(before).start, row(before, headAfter), true, tokens.at(before).end});
            found->hits.append(
                Hit{tokens.at(after).start, row(after, headAfter), true, tokens.at(after).end});
            membersBefore(before, headAfter);
            continue;
        }
        const int headBefore = before - 1;
        if (headBefore >= 0 && !tokens.at(before).breakBefore && row(headBefore, before) >= 0 &&
            row(headBefore, after) >= 0) {
            found->hits.append(
                Hit{tokens.at(headBefore).start, row(headBefore, before), true, tokens.at(before).end});
            found->hits.append(
                Hit{tokens.at(after).start, row(headBefore, after), true, tokens.at(after).end});
        }
    }
    for (int head = 1; head < count; ++head)
        if (inName.at(head) && inName.at(head - 1) && !tokens.at(head).breakBefore &&
            row(head - 1, head) >= 0 && (head < 2 || !joins(head - 2)) && tokens.at(head - 1).breakBefore)
            membersBefore(head - 1, head);
}

void vsLabelNames::findDenials(const QVector<Token> &tokens, const QVector<int> &ids, Found *found) const
{
    for (int i = 0; i < tokens.size(); ++i) {
        if (ids.at(i) < 0)
            continue;
        const int opening = sequenceAt(denials, tokens, ids, i);
        if (opening > 0) {
            found->denialStarts.append(i);
            found->denialEnds.append(i + opening - 1);
            found->denialShort.append(false);
        } else if (const int length = sequenceAt(shortDenials, tokens, ids, i)) {
            found->denialStarts.append(i);
            found->denialEnds.append(i + length - 1);
            found->denialShort.append(true);
        } else if (sequenceAt(afterDenials, tokens, ids, i) > 0) {
            found->deniedBefore.append(i);
        }
        if (sequenceAt(endDenials, tokens, ids, i) > 0)
            found->sentenceEnds.append(i);
        if (sequenceAt(headings, tokens, ids, i) > 0)
            found->headings.append(i);
        if (sequenceAt(notList, tokens, ids, i) > 0)
            found->notList.append(i);
    }
}
