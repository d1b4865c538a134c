// How the window writes a running duration: minutes and seconds, with hours in
// front once an hour has passed ("0:07", "12:34", "1:02:03").
#pragma once

#include <QString>

namespace vistrel::ElapsedTime {

// Whole seconds are shown; fractions are dropped and negative spans (a clock
// that stepped back) read as zero.
QString format(double seconds);

} // namespace vistrel::ElapsedTime
