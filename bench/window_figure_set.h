// The figures both windows are measured by, the Qt one and the Win32 one: the same five runs,
// named after the window.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_setup.h"
#include "bench/figure_program.h"
#include "window/main_window.h"

namespace fwu::bench {

// How the window drives the progress bar and the event loop.
enum class Driving {
    Shipped,  // as the program does it
    // As a plain port would: the bar repainted and the events processed at every single advance.
    Literal,
};

inline window::WindowSettings settingsFor(Driving driving) {
    window::WindowSettings settings;
    if (driving == Driving::Literal) {
        settings.eventInterval = std::chrono::milliseconds{0};
        settings.fillRepaint = window::FillRepaint::EveryAdvance;
    }
    return settings;
}

// One timed click in the window: the operation's button, from the click to the operation's end.
using WindowRun = std::function<RunMeasurement(const ProgramFolder&, Operation,
                                               std::chrono::microseconds, Driving)>;

// `update-NAME` and `dump-NAME` without latency, `dump-NAME-literal`, and both at 1 ms per
// transfer (`-1ms`).
inline std::vector<Figure> windowFigures(const std::string& name, const ProgramFolder& folder,
                                         const WindowRun& run) {
    using std::chrono::microseconds;
    auto figure = [&](const std::string& figureName, Operation operation, microseconds latency,
                      Driving driving) {
        return Figure{figureName, latency, [&folder, run, operation, latency, driving] {
                          return run(folder, operation, latency, driving);
                      }};
    };
    const microseconds none{0}, oneMillisecond{1000};
    return {
        figure("update-" + name, Operation::Update, none, Driving::Shipped),
        figure("dump-" + name, Operation::Dump, none, Driving::Shipped),
        figure("dump-" + name + "-literal", Operation::Dump, none, Driving::Literal),
        figure("update-" + name + "-1ms", Operation::Update, oneMillisecond, Driving::Shipped),
        figure("dump-" + name + "-1ms", Operation::Dump, oneMillisecond, Driving::Shipped),
    };
}

}  // namespace fwu::bench
