#ifndef VESTRION_PLATFORM_VSSCROLLING_H
#define VESTRION_PLATFORM_VSSCROLLING_H

class QAbstractScrollArea;

// Scrolling as on the handheld's touch screen.
namespace vsPlatform {

// Kinetic (flick) scrolling by finger or left mouse button. A tap still
// clicks; a press that turns into a drag never does.
void enableKineticScrolling(QAbstractScrollArea *area);
// Ends a flick in progress, before the program scrolls the area itself.
void stopKineticScrolling(QAbstractScrollArea *area);

} // namespace vsPlatform

#endif
