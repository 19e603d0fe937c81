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

// The output writes every tag as <name a="v" b> or </name>, values without '"'.
void checkTags(const QString &output)
{
    int at = output.indexOf(QLatin1Char('<'));
    while (at >= 0) {
        int end = at + 1;
        bool quoted = false;
        while (end < output.size() && (quoted || output.at(end) != QLatin1Char('>'))) {
            if (output.at(end) == QLatin1Char('"'))
                quoted = !quoted;
            ++end;
        }
        if (end >= output.size())
            fail("unclosed tag", output);
        const QString tag = output.mid(at, end - at + 1).toLower();
        const QString name =
            tag.mid(tag.startsWith(QLatin1String("</")) ? 2 : 1).section(QLatin1Char(' '), 0, 0);
        if (name.startsWith(QLatin1String("img")) || name.startsWith(QLatin1String("link")) ||
            name.startsWith(QLatin1String("style")))
            fail("resource element", output);
        if (tag.contains(QLatin1String(" background")))
            fail("background attribute", output);
        for (const QLatin1String attribute : {QLatin1String(" src=\""), QLatin1String(" href=\"")}) {
            const int value = tag.indexOf(attribute);
            if (value >= 0 && tag.at(value + attribute.size()) != QLatin1Char('#'))
                fail("src or href", output);
        }
        const int style = tag.indexOf(QLatin1String(" style=\""));
        if (style >= 0) {
            const QString value = tag.mid(style + 8).section(QLatin1Char('"'), 0, 0);
            if (value.contains(QLatin1String("url")) || value.contains(QLatin1Char('\\')) ||
                value.contains(QLatin1Char('&')))
                fail("style that may load", output);
        }
        at = output.indexOf(QLatin1Char('<'), end);
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
