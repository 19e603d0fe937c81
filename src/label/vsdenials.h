#ifndef VESTRION_LABEL_VSDENIALS_H
#define VESTRION_LABEL_VSDENIALS_H

#include <QString>
#include <QVector>

#include <functional>

// Where a label names additives only to say the product lacks them: "без
// консервантов", "не содержит глутамат натрия", "no added MSG", "MSG free".
// A denial reaches from its words to the end of its own list: the end of the
// sentence, a colon after what it denies, the bracket it stands in, a blank
// line, or the heading of the next list ("Состав", "Ingredients"). After
// "без", "without" or "no" a first word that names no additive or kind of
// additive ("без косточек") denies only up to the next comma. "…-free" and
// "… free" deny what stands before them, back to the last comma, bracket or
// sentence end.
namespace vsDenials {

struct Range
{
    int start = 0;
    int end = 0; // one past the last character denied
};

// The denied ranges of text, in order. namesAdditive tells whether a folded
// word names an additive or a kind of additive.
QVector<Range> find(const QString &text, const std::function<bool(const QString &)> &namesAdditive);

} // namespace vsDenials

#endif
