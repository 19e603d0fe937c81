#ifndef VESTRION_LABEL_VSDENIALS_H
#define VESTRION_LABEL_VSDENIALS_H

#include <QString>
#include <QVector>

// Where a label names additives only to say the product lacks them ("без
// консервантов", "не содержит глутамат натрия", "MSG free", "ohne
// Konservierungsstoffe"), and where it says what is no ingredient list (the
// nutrition declaration, "may contain", allergy advice). The words come from
// each language's vocabulary; here only their reach.
//
// A denial reaches from its words to the end of its own list: the end of the
// sentence, a colon after what it denies, the bracket it stands in, a blank
// line, or the heading of the next list. A short opener ("без", "without",
// "ohne") before a word that names no additive or kind of additive ("без
// косточек") denies only up to the next comma. Words after what they deny
// ("MSG free") reach back to the last comma, bracket or sentence end; words
// that end a sentence they deny ("… жоқ") reach back to its start.
namespace vsDenials {

struct Range
{
    int start = 0;
    int end = 0; // one past the last character
};

struct Opening
{
    Range words;
    bool firstItemOnly = false;
};

// The denied ranges of text, in order. headings are where list headings start.
QVector<Range> find(const QString &text, const QVector<Opening> &openings, const QVector<Range> &deniedBefore,
                    const QVector<Range> &sentenceEnds, const QVector<int> &headings);

// What follows each start up to a blank line or the next list heading.
QVector<Range> notList(const QString &text, const QVector<int> &starts, const QVector<int> &headings);

} // namespace vsDenials

#endif
