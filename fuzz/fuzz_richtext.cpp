// Feeds arbitrary text through the detail view's rich-text filter. Its output
// must be a fixed point of the filter, and no tag in it may name a resource:
// no img, link or style element, no background attribute, no src or href but
// "#..." anchors, no style holding "url", a backslash or an entity.

#include "detail/vsrichtextfilter.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void fail(const char *what, const QString &output)
{
    std::fprintf(stderr, "%s in: %s\n", what, output.toUtf8().constData());
    std::abort();
}

bool endsName(QChar c)
{
    return c.isSpace() || c == QLatin1Char('>') || c == QLatin1Char('/') || c == QLatin1Char('=');
}

// The output writes every tag as <name a="v" b> or </name>, values without
// '"'. Names are read as the toolkit reads them, in any letter case and up to
// any white space, so that a rule holds even where the plain form does not.
void checkTags(const QString &output)
{
    int at = output.indexOf(QLatin1Char('<'));
    while (at >= 0) {
        int i = at + 1;
        if (i < output.size() && output.at(i) == QLatin1Char('/'))
            ++i;
        const int nameStart = i;
        while (i < output.size() && !endsName(output.at(i)))
            ++i;
        const QString name = output.mid(nameStart, i - nameStart).toLower();
        if (name == QLatin1String("img") || name == QLatin1String("link") || name == QLatin1String("style"))
            fail("resource element", output);
        while (i < output.size() && output.at(i).isSpace()) {
            if (output.at(i) != QLatin1Char(' ') || (i + 1 < output.size() && output.at(i + 1).isSpace()))
                fail("tag not in its plain form", output);
            const int keyStart = ++i;
            while (i < output.size() && !endsName(output.at(i)))
                ++i;
            const QString key = output.mid(keyStart, i - keyStart).toLower();
            QString value;
            if (i < output.size() && output.at(i) == QLatin1Char('=')) {
                if (i + 1 >= output.size() || output.at(i + 1) != QLatin1Char('"'))
                    fail("unquoted value", output);
                const int end = output.indexOf(QLatin1Char('"'), i + 2);
                if (end < 0)
                    fail("unclosed value", output);
                value = output.mid(i + 2, end - i - 2);
                i = end + 1;
            }
            if (key == QLatin1String("background"))
                fail("background attribute", output);
            // A link or a source anywhere but in this text, whatever its scheme.
            if ((key == QLatin1String("src") || key == QLatin1String("href")) &&
                !value.startsWith(QLatin1Char('#')))
                fail("src or href", output);
            // "url" in any letter case, or what could spell it (an escape, an entity).
            if (key == QLatin1String("style") &&
                (value.contains(QLatin1String("url"), Qt::CaseInsensitive) ||
                 value.contains(QLatin1Char('\\')) || value.contains(QLatin1Char('&'))))
                fail("style that may load", output);
        }
        if (i < output.size() && output.at(i) == QLatin1Char('/'))
            ++i;
        if (i >= output.size() || output.at(i) != QLatin1Char('>'))
            fail("tag not in its plain form", output);
        at = output.indexOf(QLatin1Char('<'), i);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString markup = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString output = vsRichTextFilter::filtered(markup);
    if (vsRichTextFilter::filtered(output) != output)
        fail("not a fixed point", output);
    checkTags(output);
    return 0;
}
