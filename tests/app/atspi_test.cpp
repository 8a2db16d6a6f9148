// The Qt window as a screen reader reads it: over AT-SPI, on a display of its own (Xvfb) with
// the accessibility bus of a D-Bus session of its own. The window runs on the main thread; a
// thread of the test reads it through libatspi, presses keys as a person would, and plugs
// devices into the simulated bus.
#include <atspi/atspi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "simulator/simulated_bus.h"
#include "tests/firmware/operations_fixture.h"
#include "window/window_texts.h"

namespace fwu::app {
namespace {

using namespace std::chrono_literals;

// Keys as X names them.
constexpr long TabKey = 0xff09, ReturnKey = 0xff0d, SpaceKey = 0x20;

class AnswerEveryBox : public MessagePresenter {
  public:
    QMessageBox::StandardButton present(const QtMessageBox& box, QWidget*) override {
        ADD_FAILURE() << box.text.toStdString();
        return box.defaultButton;
    }
};

// Waits, looking again and again, until `holds` does; false after a minute.
bool eventually(const std::function<bool()>& holds) {
    const auto limit = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < limit) {
        if (holds())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return holds();
}

std::string text(gchar* owned) {
    std::string copy = owned ? owned : "";
    g_free(owned);
    return copy;
}

// An object of the accessibility tree, released with its last copy.
using Object = std::shared_ptr<AtspiAccessible>;
Object own(AtspiAccessible* object) {
    return Object(object, [](AtspiAccessible* held) {
        if (held)
            g_object_unref(held);
    });
}

// What this process's window shows to assistive technology, read live (no cache).
class ScreenReader {
  public:
    ScreenReader() {
        atspi_init();
        eventually([this] { return (application_ = findApplication()) != nullptr; });
        if (application_)
            atspi_accessible_set_cache_mask(application_.get(), ATSPI_CACHE_NONE);
    }

    bool found() const { return application_ != nullptr; }

    // Every object of the window, depth first.
    std::vector<Object> objects() const {
        std::vector<Object> all;
        collect(application_.get(), all);
        return all;
    }
    static std::string name(const Object& object) {
        return text(atspi_accessible_get_name(object.get(), nullptr));
    }
    static AtspiRole role(const Object& object) {
        return atspi_accessible_get_role(object.get(), nullptr);
    }
    static bool has(const Object& object, AtspiStateType state) {
        AtspiStateSet* states = atspi_accessible_get_state_set(object.get());
        const bool contained = atspi_state_set_contains(states, state);
        g_object_unref(states);
        return contained;
    }
    // The showing object of `role` named `wanted`.
    bool shows(AtspiRole wanted, const std::string& named) const {
        for (const Object& object : objects()) {
            if (role(object) == wanted && name(object) == named && has(object, ATSPI_STATE_SHOWING))
                return true;
        }
        return false;
    }
    Object first(AtspiRole wanted, const std::string& named) const {
        for (const Object& object : objects()) {
            if (role(object) == wanted && name(object) == named)
                return object;
        }
        return nullptr;
    }
    // Each showing value by the name of the caption that labels it.
    std::map<std::string, std::string> labelledValues() const {
        std::map<std::string, std::string> values;
        for (const Object& object : objects()) {
            GArray* relations = atspi_accessible_get_relation_set(object.get(), nullptr);
            for (guint i = 0; relations && i < relations->len; ++i) {
                AtspiRelation* relation = g_array_index(relations, AtspiRelation*, i);
                if (atspi_relation_get_relation_type(relation) == ATSPI_RELATION_LABELLED_BY &&
                    atspi_relation_get_n_targets(relation) > 0 &&
                    has(object, ATSPI_STATE_SHOWING)) {
                    values[name(own(atspi_relation_get_target(relation, 0)))] = name(object);
                }
                g_object_unref(relation);
            }
            if (relations)
                g_array_free(relations, TRUE);
        }
        return values;
    }
    static double value(const Object& object) {
        AtspiValue* value = atspi_accessible_get_value_iface(object.get());
        const double current = value ? atspi_value_get_current_value(value, nullptr) : -1;
        if (value)
            g_object_unref(value);
        return current;
    }
    static void press(long key) {
        atspi_generate_keyboard_event(key, nullptr, ATSPI_KEY_SYM, nullptr);
    }

  private:
    static Object findApplication() {
        const Object desktop = own(atspi_get_desktop(0));
        const gint count = atspi_accessible_get_child_count(desktop.get(), nullptr);
        for (gint i = 0; i < count; ++i) {
            Object application =
                own(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
            if (application && atspi_accessible_get_process_id(application.get(), nullptr) ==
                                   static_cast<guint>(getpid())) {
                return application;
            }
        }
        return nullptr;
    }
    static void collect(AtspiAccessible* object, std::vector<Object>& all) {
        const gint count = atspi_accessible_get_child_count(object, nullptr);
        for (gint i = 0; i < count; ++i) {
            Object child = own(atspi_accessible_get_child_at_index(object, i, nullptr));
            if (!child)
                continue;
            collect(child.get(), all);
            all.push_back(std::move(child));
        }
    }

    Object application_;
};

simulator::DeviceConfig deviceWithSerial(const char16_t* serial) {
    simulator::DeviceConfig config;
    config.serialNumber = simulator::utf16Bytes(serial);
    config.latencyPerTransfer = 1ms;  // the update takes a few seconds
    return config;
}

// Started without a device, the window says so; a device plugged in is shown, its values
// labelled by their captions; Enter starts the update and the progress bar's value rises; the
// next device plugged in is shown and Space updates it.
void readTheWindow(simulator::SimulatedBus& bus) {
    ScreenReader reader;
    ASSERT_TRUE(reader.found()) << "the window is not on the accessibility bus";
    EXPECT_TRUE(reader.shows(ATSPI_ROLE_LABEL, std::string(window::texts::noDevice(true))));

    const std::string first = bus.addDevice(deviceWithSerial(u"SIM-A"));
    const std::map<std::string, std::string> values{{"Manufacturer", " Simulated Devices"},
                                                    {"Product", " Firmware Update Test Device"},
                                                    {"Version", " 1.5"},
                                                    {"Serial Number", " SIM-A"}};
    EXPECT_TRUE(eventually([&] { return reader.labelledValues() == values; }))
        << "a device that arrives is shown";
    const Object button = reader.first(ATSPI_ROLE_PUSH_BUTTON, "Update Firmware");
    const Object fill = reader.first(ATSPI_ROLE_PROGRESS_BAR, "Progress");
    ASSERT_TRUE(button && fill);
    ASSERT_TRUE(eventually([&] { return reader.has(button, ATSPI_STATE_FOCUSED); }));
    ScreenReader::press(TabKey);  // the only control that takes the focus keeps it

    ScreenReader::press(ReturnKey);
    std::vector<double> seen;
    EXPECT_TRUE(eventually([&] {
        const double value = ScreenReader::value(fill);
        if (value > 0 && (seen.empty() || value != seen.back()))
            seen.push_back(value);
        return bus.state(first).finished;
    }));
    EXPECT_TRUE(bus.state(first).finishedComplete);
    EXPECT_GE(seen.size(), 2u) << "the value did not rise while the update wrote";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(eventually([&] {
        return reader.shows(ATSPI_ROLE_LABEL, std::string(window::texts::DeviceUpdateEnded));
    }));

    const std::string second = bus.addDevice(deviceWithSerial(u"SIM-B"));
    EXPECT_TRUE(eventually([&] { return reader.labelledValues()["Serial Number"] == " SIM-B"; }));
    ASSERT_TRUE(eventually([&] { return reader.has(button, ATSPI_STATE_FOCUSED); }));
    ScreenReader::press(SpaceKey);
    EXPECT_TRUE(eventually([&] { return bus.state(second).finishedComplete; }));
}

TEST(QtWindowOverAtSpi, ReadsWhatTheWindowShowsAndPressesItsButtonFromTheKeyboard) {
    firmware::testing::TempFolder folder;
    firmware::testing::writeFile(folder.path() / "Velnor.bin",
                                 firmware::testing::imageBytes(80'000));  // 2,001 records
    simulator::SimulatedBus bus(simulator::SimulatedBus::Clock::Real);
    AnswerEveryBox boxes;
    FrmMain window(bus, firmware::ProgramFiles{folder.path()}, boxes, {96.0, {}});
    window.start();
    window.activateWindow();
    std::thread reading([&bus] {
        readTheWindow(bus);
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    reading.join();
    window.close();
}

}  // namespace
}  // namespace fwu::app
