#include "detail/vsrichtextfilter.h"

#include <QStringList>

#include <algorithm>

namespace vsRichTextFilter {

namespace {
// What ordinary catalogue markup uses, each name between blanks. Nothing here
// names a resource, so a tag or attribute the toolkit learns to load later is
// dropped with the rest; href stays only for an anchor in the same text.
const QLatin1String keptTags(" a b big blockquote body br caption center cite code dd dfn div dl dt em font "
                             "h1 h2 h3 h4 h5 h6 head hr html i kbd li meta nobr ol p pre s samp small span "
                             "strong sub sup table tbody td tfoot th thead tr tt u ul var ");
const QLatin1String keptAttributes(" align bgcolor border cellpadding cellspacing color colspan content dir "
                                   "face height href name rowspan size start style type valign value width ");
const QLatin1String
    keptProperties(" background-color color font-size font-style font-weight text-decoration ");

bool listed(QLatin1String names, const QString &name)
{
    return names.contains(QLatin1Char(' ') + name + QLatin1Char(' '));
}

bool isNameChar(QChar c, bool first = false)
{
    return c.unicode() < 128 &&
           (c.isLetter() || (!first && (c.isDigit() || QLatin1String("-_:.").contains(c))));
}

bool endsWord(const QString &text, int i)
{
    const QChar c = text.at(i);
    return c.isSpace() || c == QLatin1Char('>') || c == QLatin1Char('<') || c == QLatin1Char('=') ||
           (c == QLatin1Char('/') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('>'));
}

// A value CSS reads as written: the toolkit decodes entities before it reads
// a style, and CSS has escapes, quotes and comments of its own, any of which
// could spell a url() that no check of the text would see.
bool isPlainValue(const QString &value)
{
    const QLatin1String marks(" #%.,()+-");
    return !value.isEmpty() && !value.contains(QLatin1String("url"), Qt::CaseInsensitive) &&
           std::all_of(value.cbegin(), value.cend(), [&](QChar c) {
               return (c.unicode() < 128 && c.isLetterOrNumber()) || marks.contains(c);
           });
}

QString plainStyle(const QString &style)
{
    QStringList kept;
    const QStringList declarations = style.split(QLatin1Char(';'));
    for (const QString &declaration : declarations) {
        const int colon = declaration.indexOf(QLatin1Char(':'));
        if (colon > 0 && listed(keptProperties, declaration.left(colon).trimmed().toLower()) &&
            isPlainValue(declaration.mid(colon + 1).trimmed()))
            kept << declaration.trimmed();
    }
    return kept.join(QLatin1String("; "));
}

void writeAttribute(QString *out, const QString &name, QString value, bool hasValue)
{
    if (!listed(keptAttributes, name) ||
        (name == QLatin1String("href") && !value.startsWith(QLatin1Char('#'))))
        return;
    if (name == QLatin1String("style") && (value = plainStyle(value)).isEmpty())
        return;
    *out += QLatin1Char(' ') + name;
    if (hasValue)
        *out += QLatin1String("=\"") + value.replace(QLatin1Char('"'), QLatin1String("&quot;")) +
                QLatin1Char('"');
}

struct Tag
{
    QString name;
    QString written; // in one plain form, with the kept attributes alone
    bool opens = false;
};

// Reads the tag at text[at] == '<' the way the toolkit's parser splits it,
// and sets next past it. False when it is no tag, or one left open at the end
// of the text; next is then where reading gave up, so that no character is
// read twice (a value of "</a" repeated would otherwise take minutes).
bool readTag(const QString &text, int at, Tag *tag, int *next)
{
    const int size = text.size();
    int i = at + 1;
    const auto noTag = [&](int where) {
        *next = std::max(at + 1, where);
        return false;
    };
    const bool closing = i < size && text.at(i) == QLatin1Char('/');
    if (closing)
        ++i;
    if (i >= size || !isNameChar(text.at(i), true))
        return noTag(i);
    const int nameStart = i;
    while (i < size && isNameChar(text.at(i)))
        ++i;
    tag->name = text.mid(nameStart, i - nameStart).toLower();
    tag->written = (closing ? QLatin1String("</") : QLatin1String("<")) + tag->name;
    if (!closing && i < size && !text.at(i).isSpace() && text.at(i) != QLatin1Char('>') &&
        text.at(i) != QLatin1Char('/'))
        return noTag(i);
    for (;;) {
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i >= size)
            return noTag(size);
        // An end tag ends at the next ">", whatever comes before it.
        if (closing || text.at(i) == QLatin1Char('>') || text.at(i) == QLatin1Char('/')) {
            const int end = text.indexOf(QLatin1Char('>'), i);
            if (end < 0)
                return noTag(size);
            tag->opens = !closing && end == i;
            tag->written += tag->opens || closing ? QLatin1String(">") : QLatin1String(" />");
            *next = end + 1;
            return true;
        }
        const int keyStart = i;
        while (i < size && !endsWord(text, i) && text.at(i) != QLatin1Char('"') &&
               text.at(i) != QLatin1Char('\'') && text.at(i) != QLatin1Char('/'))
            ++i;
        if (i == keyStart)
            return noTag(i);
        const QString name = text.mid(keyStart, i - keyStart).toLower();
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i >= size || text.at(i) != QLatin1Char('=')) {
            writeAttribute(&tag->written, name, QString(), false);
            continue;
        }
        ++i;
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i >= size)
            return noTag(size);
        const QChar quote = text.at(i);
        const bool quoted = quote == QLatin1Char('"') || quote == QLatin1Char('\'');
        const int valueStart = quoted ? i + 1 : i;
        int end = quoted ? text.indexOf(quote, valueStart) : i;
        if (end < 0)
            return noTag(size);
        while (!quoted && end < size && !endsWord(text, end))
            ++end;
        writeAttribute(&tag->written, name, text.mid(valueStart, end - valueStart), true);
        i = quoted ? end + 1 : end;
    }
}
} // namespace

QString filtered(const QString &markup)
{
    QString out;
    out.reserve(markup.size());
    const int size = markup.size();
    int at = 0;
    while (at < size) {
        const int open = markup.indexOf(QLatin1Char('<'), at);
        out.append(markup.constData() + at, (open < 0 ? size : open) - at);
        if (open < 0)
            break;
        at = open;
        // Comments, DOCTYPE and other declarations show nothing: dropped.
        if (QStringView(markup).mid(at, 2) == QLatin1String("<!")) {
            const QLatin1String close(QStringView(markup).mid(at, 4) == QLatin1String("<!--") ? "-->" : ">");
            const int end = markup.indexOf(close, at + 1 + close.size());
            at = end < 0 ? size : end + close.size();
            continue;
        }
        Tag tag;
        int next = 0;
        if (!readTag(markup, at, &tag, &next)) {
            // What was read is shown as text; a "<" in it starts no tag.
            out += markup.mid(at, next - at).replace(QLatin1Char('<'), QLatin1String("&lt;"));
            at = next;
            continue;
        }
        at = next;
        if (tag.name == QLatin1String("style") && tag.opens) {
            // Its content is a style sheet, which may import others: it goes too.
            const int end = markup.indexOf(QLatin1String("</style"), at, Qt::CaseInsensitive);
            const int close = end < 0 ? -1 : markup.indexOf(QLatin1Char('>'), end);
            at = close < 0 ? size : close + 1;
        }
        if (listed(keptTags, tag.name))
            out += tag.written;
    }
    return out;
}

} // namespace vsRichTextFilter
