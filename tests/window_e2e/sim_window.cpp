#include "window_e2e/sim_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace ondo::app::testing {
namespace {

// The serial library asks which device stands for library port n, that is COM(n + 1).
std::string portDevice(int port, void* context) {
    return static_cast<const Settings*>(context)->portDevice(port + 1);
}

constexpr int kLastComNumber = 9;
constexpr int kSpinStepMs = 10;

}  // namespace

SimWindow::SimWindow() {
    watchdog_.setSingleShot(true);
    QObject::connect(&watchdog_, &QTimer::timeout, [] {
        std::cerr << "a window handler did not return: the window hangs\n";
        std::_Exit(1);
    });
    watchdog_.start(std::chrono::milliseconds(kTestPatience));
}

SimWindow::~SimWindow() {
    form.reset();  // before the serial library and the store it is built on
    serial.reset();
    settings.reset();
    unit.reset();
}

std::string SimWindow::iniPath() const {
    return dir.filePath(QStringLiteral("FLASH.ini")).toStdString();
}

void SimWindow::store(const std::string& key, const std::string& value) {
    Settings s(iniPath());
    s.saveKeySetting(key, value);
    s.sync();
}

std::string SimWindow::stored(const std::string& key) const {
    return Settings(iniPath()).keySetting(key);
}

bool SimWindow::startUnit(const std::vector<std::string>& options) {
    const auto version = std::find(options.begin(), options.end(), "--version");
    if (version != options.end() && version + 1 != options.end()) unitVersion = *(version + 1);
    unit = std::make_unique<ondo::testing::SimProcess>(options);
    if (!unit->started()) {
        ADD_FAILURE() << "the simulated unit did not start: " << unit->error();
        return false;
    }
    Settings s(iniPath());
    s.savePortDevice(1, unit->linkPath());
    for (int n = 2; n <= kLastComNumber; ++n)
        s.savePortDevice(n, dir.filePath(QStringLiteral("no-port-%1").arg(n)).toStdString());
    s.saveKeySetting("port", "COM1");
    s.sync();
    return true;
}

WatchedForm& SimWindow::open() {
    settings = std::make_unique<Settings>(iniPath());
    serial = sio::makePlatformLibrary(portDevice, settings.get());
    Form1::Services services{*settings, *serial, waiter};
    services.ask = [this](QWidget*, const MessageBox& box) {
        boxes.push_back(box);
        return Answer::Ok;
    };
    services.openFile = [](QWidget*, const std::string& preset) { return preset; };
    form = std::make_unique<WatchedForm>(std::move(services));
    auto* timer = form->findChild<QTimer*>(QStringLiteral("Timer1"));
    EXPECT_NE(timer, nullptr);
    if (timer) QObject::connect(timer, &QTimer::timeout, [this] { ++ticks; });
    form->Form_Load();
    form->show();
    QCoreApplication::processEvents();  // the first focus: the list is built again
    // Bytes of a greeting that a reading got in the way of come in with the next polls.
    EXPECT_TRUE(spinTicks(2));
    return *form;
}

void SimWindow::closeAndEnd() {
    form->close();
    form.reset();
}

bool SimWindow::spinUntil(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    const auto patience = std::chrono::milliseconds(kPatience).count();
    while (!condition()) {
        if (clock.elapsed() > patience) return false;
        QTest::qWait(kSpinStepMs);
    }
    return true;
}

bool SimWindow::spinTicks(int count) {
    const int until = ticks + count;
    return spinUntil([&] { return ticks >= until; });
}

bool SimWindow::heardAfter(std::size_t mark, const std::string& text) {
    return spinUntil([&] { return form->heard.find(text, mark) != std::string::npos; });
}

long long SimWindow::bytesFromHost() {
    if (!unit->control("dump")) return -1;
    const auto counters = unit->stats();
    const auto found = counters.find("bytes_from_host");
    return found == counters.end() ? -1 : found->second;
}

bool SimWindow::probe() {
    const std::size_t mark = form->heard.size();
    typeCommand("v");
    return heardAfter(mark, "v\r\nV " + unitVersion + "\r\n");
}

void SimWindow::typeCommand(const std::string& text) {
    QTest::keyClicks(cmd(), QString::fromStdString(text));
    QTest::keyClick(cmd(), Qt::Key_Return);
}

void SimWindow::focusPortList() {
    QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(child<QWidget>("cboPort"), &event);
}

}  // namespace ondo::app::testing
