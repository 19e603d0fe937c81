#ifndef VESTRION_BENCH_BENCHPROCESS_H
#define VESTRION_BENCH_BENCHPROCESS_H

#include <QString>
#include <QStringList>

namespace vsBench {

struct FirstPaint
{
    QString error;           // empty when both figures are good
    double milliseconds = 0; // from just before the spawn to the first paint
    qint64 peakRssBytes = 0; // the child's own peak resident set
};

// Starts the program under GNU time with the startup probe switched on and the
// given NAME=value variables over this process's environment, waits until it
// has printed its first-paint mark and ended, and reports how long it took and
// how much memory it held at most. A program that has not ended after
// timeoutMs is killed and reported as an error.
FirstPaint startToFirstPaint(const QString &program, const QStringList &environment, int timeoutMs);

} // namespace vsBench

#endif
