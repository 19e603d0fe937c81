#ifndef VESTRION_CATALOGUE_VSDIETFACTS_H
#define VESTRION_CATALOGUE_VSDIETFACTS_H

#include "catalogue/vsentry.h"

#include <QString>

// Whether an additive suits vegetarians and vegans: the item attributes
// "vegetarian" and "vegan", each "yes", or "no" or "maybe" with a short reason
// after a colon ("maybe:может быть из животного жира"). What a catalogue does
// not say, or says in a way the program does not know, is Unknown: never Yes.
struct vsDietFacts
{
    // Ordered from the worst answer to the best.
    enum Answer
    {
        No,
        Maybe,
        Unknown,
        Yes
    };
    struct Fact
    {
        Answer answer = Unknown;
        QString reason; // for No and Maybe; may be empty
    };

    Fact vegetarian;
    // Never better than the vegetarian fact: what is no food for a
    // vegetarian is none for a vegan, whatever a catalogue says.
    Fact vegan;

    static vsDietFacts of(const vsEntry &entry);

    // Why the packing tool refuses the item's diet attributes ("vegan: ..."),
    // or empty: both or neither given, each a known answer, a reason with
    // every No and Maybe, and no vegan answer better than the vegetarian one.
    static QString problem(const vsEntry &entry);
};

#endif
