#ifndef VESTRION_CATALOGUE_VSENTRY_H
#define VESTRION_CATALOGUE_VSENTRY_H

#include <QHash>
#include <QList>
#include <QString>

// One catalogue entry: attribute name to value; a missing attribute reads as empty.
using vsEntry = QHash<QString, QString>;
using vsEntryList = QList<vsEntry>;

#endif
