#include "label/vslabelanalyser.h"

#include "catalogue/vsentrynames.h"
#include "label/vsdenials.h"
#include "label/vslabelcodes.h"
#include "label/vslabelnames.h"
#include "label/vslabelvocabulary.h"
#include "label/vsocrtolerance.h"

#include <QAbstractItemModel>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {
using Token = vsLabelNames::Token;
using Stemmers = std::vector<std::unique_ptr<vsLabelNames::Stemmer>>;

bool isHyphen(QChar c)
{
    return c == QLatin1Char('-') || c == QChar(0x2010) || c == QChar(0x2011) || c == QChar(0x2013);
}

bool anyCyrillic(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return vsOcrTolerance::isCyrillic(c); });
}

// OCR reads a Latin l as "|"; beside a Latin letter it is one. So is "!"
// after a letter within a sentence, a lower-case word or letter following:
// "carome! color". Positions stay.
QString withOcrLetters(QString folded, const QString &original)
{
    for (int i = 0; i < folded.size(); ++i) {
        const QChar c = folded.at(i);
        if (c == QLatin1Char('|') && ((i > 0 && vsOcrTolerance::isLatin(folded.at(i - 1))) ||
                                      (i + 1 < folded.size() && vsOcrTolerance::isLatin(folded.at(i + 1))))) {
            folded[i] = QLatin1Char('l');
        } else if (c == QLatin1Char('!') && i > 0 && vsOcrTolerance::isLatin(folded.at(i - 1))) {
            int next = i + 1;
            if (next < original.size() && original.at(next) == QLatin1Char(' '))
                ++next;
            if (next < original.size() && original.at(next).isLower())
                folded[i] = QLatin1Char('l');
        }
    }
    return folded;
}

// The code's number: "150" of "E150a(ii)".
QString numberOf(const QString &code)
{
    static const QRegularExpression digits(QStringLiteral("[0-9]{3,4}"));
    return digits.match(code).captured();
}
} // namespace

vsLabelAnalyser::vsLabelAnalyser(const QAbstractItemModel *catalogue, const QStringList &languages)
    : codes(new vsLabelCodes), latinWords(new vsOcrTolerance::Words), cyrillicWords(new vsOcrTolerance::Words)
{
    prepare(catalogue, languages);
}

vsLabelAnalyser::~vsLabelAnalyser() = default;

void vsLabelAnalyser::prepare(const QAbstractItemModel *catalogue, const QStringList &languages)
{
    if (!catalogue)
        return;
    QVector<vsEntryNames> entries;
    for (int row = 0; row < catalogue->rowCount(); ++row) {
        entries.append(vsEntryNames::read(catalogue->index(row, 0)));
        numbers.append(numberOf(entries.last().code));
    }
    codes->prepare(entries);

    // The catalogue's own names are Russian and English.
    const vsLabelVocabulary russianWords = vsLabelVocabulary::load(QStringLiteral("ru"));
    const vsLabelVocabulary englishWords = vsLabelVocabulary::load(QStringLiteral("en"));
    tables.emplace_back(
        new vsLabelNames(QStringLiteral("ru"), true, russianWords.snowball, russianWords.endings));
    tables.emplace_back(
        new vsLabelNames(QStringLiteral("en"), false, englishWords.snowball, englishWords.endings));
    vsLabelNames &russian = *tables.at(0);
    vsLabelNames &english = *tables.at(1);
    {
        vsLabelNames::Stemmer russianStemmer(russian);
        vsLabelNames::Stemmer englishStemmer(english);
        for (int row = 0; row < entries.size(); ++row) {
            const vsEntryNames &entry = entries.at(row);
            if (entry.header)
                continue;
            for (const QString &piece : entry.pieces) {
                if (anyCyrillic(piece))
                    russian.addName(russianStemmer, piece, {row}, true);
                else
                    english.addName(englishStemmer, piece, {row}, true);
            }
            for (int f = 1; f < entry.functions.size(); ++f)
                for (const QString &function : entry.functions.at(f).split(QLatin1Char(',')))
                    russian.addFunction(russianStemmer, function);
        }
    }

    const auto addWords = [this](const QStringList &phrases) {
        for (const QString &phrase : phrases)
            for (const Token &token : vsLabelNames::tokens(vsLabelNames::plain(vsEntryNames::fold(phrase))))
                (anyCyrillic(token.text) ? cyrillicWords : latinWords)->add(token.text);
    };
    QVector<vsLabelVocabulary> vocabularies{russianWords, englishWords};
    for (const QString &language : languages)
        if (language != QLatin1String("ru") && language != QLatin1String("en") &&
            vsLabelVocabulary::languages().contains(language))
            vocabularies.append(vsLabelVocabulary::load(language));
    for (const vsLabelVocabulary &vocabulary : vocabularies) {
        vsLabelNames *table = nullptr;
        for (const auto &known : tables)
            if (known->language() == vocabulary.language)
                table = known.get();
        if (!table) {
            bool cyrillic = false;
            for (const auto &name : vocabulary.names)
                cyrillic = cyrillic || anyCyrillic(name.second);
            tables.emplace_back(
                new vsLabelNames(vocabulary.language, cyrillic, vocabulary.snowball, vocabulary.endings));
            table = tables.back().get();
        }
        vsLabelNames::Stemmer stemmer(*table);
        for (const auto &name : vocabulary.names)
            table->addName(stemmer, name.second, codes->rowsOf(vsEntryNames::fold(name.first)), false);
        table->add(stemmer, vocabulary);
        // The words OCR may misread, to find them again: names and class words.
        QStringList phrases = vocabulary.functions;
        for (const auto &name : vocabulary.names)
            phrases << name.second;
        addWords(phrases);
    }
    for (const vsEntryNames &entry : entries)
        addWords(entry.pieces + entry.functions.mid(1));
}

QVector<int> vsLabelAnalyser::analyse(const QString &text) const
{
    const QString limited = text.left(maxTextLength);
    const QString folded = withOcrLetters(vsEntryNames::fold(limited), limited);
    Stemmers stemmers;
    for (const auto &table : tables)
        stemmers.emplace_back(new vsLabelNames::Stemmer(*table));
    const auto known = [&](const QString &word, bool cyrillic) {
        for (size_t t = 0; t < tables.size(); ++t)
            if (tables.at(t)->cyrillic() == cyrillic && tables.at(t)->knows(*stemmers.at(t), word))
                return true;
        return false;
    };
    const auto knownAnywhere = [&](const QString &word) {
        for (size_t t = 0; t < tables.size(); ++t)
            if (tables.at(t)->knows(*stemmers.at(t), word))
                return true;
        return false;
    };

    // The words in one script each, their accents off; OCR's look-alikes of
    // the other script read as meant.
    QVector<Token> read = vsLabelNames::tokens(folded);
    QVector<bool> brokenAtLineEnd(read.size(), false);
    for (int i = 0; i < read.size(); ++i) {
        Token &token = read[i];
        token.text = vsLabelNames::plain(token.text);
        bool cyrillic = false, latin = false;
        for (const QChar c : token.text) {
            cyrillic = cyrillic || vsOcrTolerance::isCyrillic(c);
            latin = latin || vsOcrTolerance::isLatin(c);
        }
        if (cyrillic && latin) {
            // "MOHO-" read as "моно-" in part: one script for the whole word.
            const QString asCyrillic = vsOcrTolerance::turned(token.text, true);
            const QString asLatin = vsOcrTolerance::turned(token.text, false);
            token.text = !asCyrillic.isEmpty() ? asCyrillic : !asLatin.isEmpty() ? asLatin : token.text;
        } else if ((cyrillic || latin) && !known(token.text, cyrillic)) {
            // American spellings of the catalogue's British names.
            static const QRegularExpression sulfur(QStringLiteral("sulf(?=ite|ate|ur)"));
            QString british = token.text;
            british.replace(sulfur, QStringLiteral("sulph"))
                .replace(QLatin1String("aluminum"), QLatin1String("aluminium"));
            // A word of one script that the catalogue does not know, but knows
            // in the other; OCR reads a capital Б as B too.
            const QString other = vsOcrTolerance::turned(token.text, latin);
            QString withBe = other;
            for (int k = 0; k < token.text.size() && latin && !other.isEmpty(); ++k)
                if (token.text.at(k) == QLatin1Char('b'))
                    withBe[k] = QChar(0x0431);
            if (latin && british != token.text)
                token.text = british;
            else if (!other.isEmpty() && known(other, latin))
                token.text = other;
            else if (withBe != other && known(withBe, true))
                token.text = withBe;
        }
        // "кисло-" at the end of a line, "та" at the start of the next.
        int j = token.end;
        if (j < folded.size() && isHyphen(folded.at(j))) {
            ++j;
            while (j < folded.size() &&
                   (folded.at(j) == QLatin1Char(' ') || folded.at(j) == QLatin1Char('\t')))
                ++j;
            if (j < folded.size() &&
                (folded.at(j) == QLatin1Char('\n') || folded.at(j) == QLatin1Char('\r'))) {
                while (j < folded.size() && folded.at(j).isSpace())
                    ++j;
                brokenAtLineEnd[i] = j < folded.size() && folded.at(j).isLetter();
            }
        }
    }
    // A word broken at a line end is joined again, unless its two halves are
    // words of a name and the whole is not ("гамма-" + "токоферол").
    QVector<Token> tokens;
    for (int k = 0; k < read.size(); ++k) {
        Token token = read.at(k);
        bool broken = brokenAtLineEnd.at(k);
        while (broken && k + 1 < read.size()) {
            const Token &next = read.at(k + 1);
            const QString whole = token.text + next.text;
            if (knownAnywhere(token.text) && knownAnywhere(next.text) && !knownAnywhere(whole))
                break;
            token.text = whole;
            token.end = next.end;
            broken = brokenAtLineEnd.at(++k);
        }
        tokens.append(token);
    }
    // A word no vocabulary knows, nearest to one it does: OCR's misreading.
    // Labels repeat their words: each is looked for once.
    QHash<QString, QPair<QString, double>> nearest;
    for (Token &token : tokens) {
        if (token.text.size() < vsOcrTolerance::shortestWord || !token.text.at(0).isLetter())
            continue;
        const auto done = nearest.constFind(token.text);
        if (done != nearest.constEnd()) {
            token.corrected = done->first;
            token.correction = done->second;
            continue;
        }
        const bool cyrillic = anyCyrillic(token.text);
        if (!known(token.text, cyrillic))
            token.corrected = (cyrillic ? cyrillicWords : latinWords)->nearest(token.text, &token.correction);
        nearest.insert(token.text, qMakePair(token.corrected, token.correction));
    }

    // Every language reads the words; class words of any language bring in
    // bare numbers and foods of every other.
    std::vector<vsLabelNames::Words> words;
    QVector<bool> classWordEnds(tokens.size(), false);
    for (size_t t = 0; t < tables.size(); ++t) {
        words.push_back(tables.at(t)->read(*stemmers.at(t), tokens));
        tables.at(t)->markClassWords(tokens, words.back(), &classWordEnds);
    }
    for (size_t t = 0; t < tables.size(); ++t) {
        words[t].knownElsewhere.fill(false, tokens.size());
        for (size_t other = 0; other < tables.size(); ++other)
            for (int i = 0; other != t && i < tokens.size(); ++i)
                words[t].knownElsewhere[i] =
                    words[t].knownElsewhere.at(i) ||
                    (words.at(other).ids.at(i) >= 0 && !words.at(other).corrected.at(i));
    }
    QVector<vsLabelNames::Hit> hits, quiet;
    QVector<vsDenials::Opening> openings;
    QVector<vsDenials::Range> deniedBefore, sentenceEnds;
    QVector<int> headings, notListStarts;
    const auto namesAdditive = [&](int at) {
        if (at >= tokens.size())
            return false;
        const QString &word = tokens.at(at).text;
        if ((word == QLatin1String("e") || word == QString(QChar(0x0435))) && at + 1 < tokens.size() &&
            tokens.at(at + 1).text.at(0).isDigit())
            return true;
        if (word.size() > 1 && (word.at(0) == QLatin1Char('e') || word.at(0) == QChar(0x0435)) &&
            word.at(1).isDigit())
            return true;
        for (size_t t = 0; t < tables.size(); ++t)
            if (tables.at(t)->namesAdditive(words.at(t).ids.at(at)))
                return true;
        return false;
    };
    for (size_t t = 0; t < tables.size(); ++t) {
        vsLabelNames::Found found;
        tables.at(t)->find(tokens, words.at(t), classWordEnds, &found);
        hits += found.hits;
        quiet += found.quiet;
        for (int d = 0; d < found.denialStarts.size(); ++d) {
            const Token &last = tokens.at(found.denialEnds.at(d));
            if (found.denialShort.at(d)) {
                // "No. 5" and "no 5" are numbers.
                int after = last.end;
                while (after < folded.size() && (folded.at(after) == QLatin1Char(' ')))
                    ++after;
                if (after < folded.size() &&
                    (folded.at(after) == QLatin1Char('.') || folded.at(after).isDigit()))
                    continue;
            }
            openings.append(
                vsDenials::Opening{vsDenials::Range{tokens.at(found.denialStarts.at(d)).start, last.end},
                                   found.denialShort.at(d) && !namesAdditive(found.denialEnds.at(d) + 1)});
        }
        for (const int at : found.deniedBefore)
            if (at > 0)
                deniedBefore.append(vsDenials::Range{tokens.at(at).start, tokens.at(at).end});
        for (const int at : found.sentenceEnds)
            sentenceEnds.append(vsDenials::Range{tokens.at(at).start, tokens.at(at).end});
        for (const int at : found.headings)
            headings.append(tokens.at(at).start);
        for (const int at : found.notList)
            notListStarts.append(tokens.at(at).start);
    }

    // The longest name wins, whichever language reads it: "сода харчова"
    // over the Russian "сода"; and what one language knows as a food or an
    // ordinary phrase ("budello in cellulosa") is no other's name.
    QVector<vsLabelNames::Hit> names;
    for (const vsLabelNames::Hit &hit : hits) {
        const bool inside = std::any_of(hits.begin(), hits.end(), [&hit](const vsLabelNames::Hit &other) {
            return other.position <= hit.position && other.end >= hit.end &&
                   other.end - other.position > hit.end - hit.position;
        });
        const bool ordinary = std::any_of(quiet.begin(), quiet.end(), [&hit](const vsLabelNames::Hit &other) {
            return other.position <= hit.position && other.end >= hit.end;
        });
        if (!inside && !ordinary)
            names.append(hit);
    }
    hits = names;
    QVector<vsLabelCodes::Hit> codeHits;
    codes->find(folded, &codeHits);
    QVector<int> classWordPositions;
    for (int i = 0; i < tokens.size(); ++i)
        if (classWordEnds.at(i))
            classWordPositions.append(tokens.at(i).end);
    codes->findNumbers(folded, classWordPositions, &codeHits);
    for (const vsLabelCodes::Hit &hit : codeHits)
        hits.append(vsLabelNames::Hit{hit.position, hit.row, false});
    std::stable_sort(hits.begin(), hits.end(), [](const vsLabelNames::Hit &a, const vsLabelNames::Hit &b) {
        return a.position < b.position;
    });

    // Case tells where a sentence ends; folding keeps positions for the
    // scripts of labels, and where it does not the folded text serves.
    const QString &cased = folded.size() == limited.size() ? limited : folded;
    QVector<vsDenials::Range> excluded =
        vsDenials::find(cased, openings, deniedBefore, sentenceEnds, headings);
    excluded += vsDenials::notList(cased, notListStarts, headings);
    const auto isExcluded = [&excluded](int position) {
        for (const vsDenials::Range &range : excluded)
            if (position >= range.start && position < range.end)
                return true;
        return false;
    };
    // A name with its own code beside it, in the same item, is that code:
    // "Zuckerkulör E150d" is E150d alone.
    QVector<bool> yields(hits.size(), false);
    for (int h = 0; h < hits.size(); ++h) {
        if (!hits.at(h).fromName)
            continue;
        for (int c = h + 1; c < hits.size(); ++c) {
            const vsLabelNames::Hit &code = hits.at(c);
            const QStringView between =
                QStringView(folded).mid(hits.at(h).position, code.position - hits.at(h).position);
            if (code.position - hits.at(h).position > 80 || between.contains(QLatin1Char(',')) ||
                between.contains(QLatin1Char(';')) || between.contains(QLatin1Char('\n')))
                break;
            if (!code.fromName && code.row != hits.at(h).row &&
                numbers.at(code.row) == numbers.at(hits.at(h).row))
                yields[h] = true;
        }
    }

    QVector<int> rows;
    QSet<int> seen;
    for (int h = 0; h < hits.size(); ++h) {
        const vsLabelNames::Hit &hit = hits.at(h);
        if (!yields.at(h) && !seen.contains(hit.row) && !isExcluded(hit.position)) {
            seen.insert(hit.row);
            rows.append(hit.row);
        }
    }
    return rows;
}
