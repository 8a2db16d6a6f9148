#pragma once

#include <string>

namespace fwu::bench {

// What the results depend on besides the code: the processor, the moment, the other work on
// the machine and the display the window ran on.
std::string cpuModel();
int processorCount();
std::string kernelRelease();
std::string utcDate();
// The 1, 5 and 15 minute load averages, "0.42 0.30 0.25".
std::string loadAverages();
double oneMinuteLoad();
// The display the window figures run on, as the environment names it.
std::string displayDescription();

}  // namespace fwu::bench
