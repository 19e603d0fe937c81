#include "detail/vsrichtextfilter.h"

#include <QStringList>

#include <algorithm>

namespace vsRichTextFilter {

namespace {
struct Attribute
{
    QString name;
    QString value;
    bool hasValue = false;
};

struct Tag
{
    QString name;
    QList<Attribute> attributes;
    bool closing = false;
    bool selfClosing = false;
};

bool isNameStart(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('_') || c == QLatin1Char(':') || c == QLatin1Char('.');
}

bool endsWord(const QString &text, int i)
{
    const QChar c = text.at(i);
    return c.isSpace() || c == QLatin1Char('>') || c == QLatin1Char('<') || c == QLatin1Char('=') ||
           (c == QLatin1Char('/') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('>'));
}

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
    if (i < size && text.at(i) == QLatin1Char('/')) {
        tag->closing = true;
        ++i;
    }
    if (i >= size || !isNameStart(text.at(i)))
        return noTag(i);
    const int nameStart = i;
    while (i < size && isNameChar(text.at(i)))
        ++i;
    tag->name = text.mid(nameStart, i - nameStart).toLower();
    if (tag->closing) {
        const int end = text.indexOf(QLatin1Char('>'), i);
        if (end < 0)
            return noTag(size);
        *next = end + 1;
        return true;
    }
    if (i < size && !text.at(i).isSpace() && text.at(i) != QLatin1Char('>') && text.at(i) != QLatin1Char('/'))
        return noTag(i);
    for (;;) {
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i >= size)
            return noTag(size);
        if (text.at(i) == QLatin1Char('>')) {
            *next = i + 1;
            return true;
        }
        if (text.at(i) == QLatin1Char('/')) {
            const int end = text.indexOf(QLatin1Char('>'), i);
            if (end < 0)
                return noTag(size);
            tag->selfClosing = true;
            *next = end + 1;
            return true;
        }
        Attribute attribute;
        const int keyStart = i;
        while (i < size && !endsWord(text, i) && text.at(i) != QLatin1Char('"') &&
               text.at(i) != QLatin1Char('\'') && text.at(i) != QLatin1Char('/'))
            ++i;
        if (i == keyStart)
            return noTag(i);
        attribute.name = text.mid(keyStart, i - keyStart).toLower();
        while (i < size && text.at(i).isSpace())
            ++i;
        if (i < size && text.at(i) == QLatin1Char('=')) {
            ++i;
            while (i < size && text.at(i).isSpace())
                ++i;
            if (i >= size)
                return noTag(size);
            attribute.hasValue = true;
            const QChar quote = text.at(i);
            if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
                const int end = text.indexOf(quote, i + 1);
                if (end < 0)
                    return noTag(size);
                attribute.value = text.mid(i + 1, end - i - 1);
                i = end + 1;
            } else {
                const int valueStart = i;
                while (i < size && !endsWord(text, i))
                    ++i;
                attribute.value = text.mid(valueStart, i - valueStart);
            }
        }
        tag->attributes.append(attribute);
    }
}

// The declarations of a style attribute that load nothing. The toolkit
// decodes entities before it reads the style, and CSS has escapes of its
// own: a style holding either is dropped whole (and one holding a quote,
// which would be written as an entity).
QString harmlessStyle(const QString &style)
{
    if (style.contains(QLatin1Char('\\')) || style.contains(QLatin1Char('&')) ||
        style.contains(QLatin1Char('"')))
        return QString();
    QStringList kept;
    const QStringList declarations = style.split(QLatin1Char(';'));
    for (const QString &declaration : declarations) {
        if (declaration.trimmed().isEmpty() ||
            declaration.contains(QLatin1String("url"), Qt::CaseInsensitive))
            continue;
        kept << declaration.trimmed();
    }
    return kept.join(QLatin1String("; "));
}

QString written(const Tag &tag)
{
    if (tag.closing)
        return QLatin1String("</") + tag.name + QLatin1Char('>');
    QString out = QLatin1Char('<') + tag.name;
    for (const Attribute &attribute : tag.attributes) {
        QString value = attribute.value;
        if (attribute.name == QLatin1String("background"))
            continue;
        if (attribute.name == QLatin1String("src") || attribute.name == QLatin1String("href")) {
            // An anchor in the same text names no file; anything else may.
            if (!value.startsWith(QLatin1Char('#')))
                continue;
        }
        if (attribute.name == QLatin1String("style")) {
            value = harmlessStyle(value);
            if (value.isEmpty())
                continue;
        }
        out += QLatin1Char(' ') + attribute.name;
        if (attribute.hasValue) {
            value.replace(QLatin1Char('"'), QLatin1String("&quot;"));
            out += QLatin1String("=\"") + value + QLatin1Char('"');
        }
    }
    return out + (tag.selfClosing ? QLatin1String(" />") : QLatin1String(">"));
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
        if (open < 0) {
            out.append(markup.constData() + at, size - at);
            break;
        }
        out.append(markup.constData() + at, open - at);
        at = open;
        // Comments, DOCTYPE and other declarations show nothing: dropped.
        if (QStringView(markup).mid(at, 4) == QLatin1String("<!--")) {
            const int end = markup.indexOf(QLatin1String("-->"), at + 4);
            at = end < 0 ? size : end + 3;
            continue;
        }
        if (QStringView(markup).mid(at, 2) == QLatin1String("<!")) {
            const int end = markup.indexOf(QLatin1Char('>'), at + 2);
            at = end < 0 ? size : end + 1;
            continue;
        }
        Tag tag;
        int next = 0;
        if (!readTag(markup, at, &tag, &next)) {
            // What was read is shown as text; a "<" in it starts no tag.
            for (; at < next; ++at) {
                if (markup.at(at) == QLatin1Char('<'))
                    out += QLatin1String("&lt;");
                else
                    out += markup.at(at);
            }
            continue;
        }
        at = next;
        // An image without its source still shows the toolkit's own placeholder
        // picture, so the element goes whole.
        if (tag.name == QLatin1String("link") || tag.name == QLatin1String("img"))
            continue;
        if (tag.name == QLatin1String("style")) {
            // The element's content is a style sheet that may import others.
            if (!tag.closing && !tag.selfClosing) {
                const int end = markup.indexOf(QLatin1String("</style"), at, Qt::CaseInsensitive);
                const int close = end < 0 ? -1 : markup.indexOf(QLatin1Char('>'), end);
                at = close < 0 ? size : close + 1;
            }
            continue;
        }
        out += written(tag);
    }
    return out;
}

} // namespace vsRichTextFilter
