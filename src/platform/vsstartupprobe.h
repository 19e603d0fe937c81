#ifndef VESTRION_PLATFORM_VSSTARTUPPROBE_H
#define VESTRION_PLATFORM_VSSTARTUPPROBE_H

class QWidget;

namespace vsPlatform {

// With VESTRION_EXIT_AFTER_FIRST_PAINT set, the window's first paint prints the
// milliseconds since the epoch to standard error and ends the event loop, so
// tests and benchmarks can start the real program and see it come up.
void installStartupProbe(QWidget *window);

} // namespace vsPlatform

#endif
