#pragma once
// The one window fixture: the real window headless, on the in-memory serial library and the
// tick-per-wait clock (with the in-memory unit on COM1 when a test wants one), or on the real
// serial library and the event-loop wait with COM1 pointing at a device. Its settings live in a
// temporary store; its message boxes and open-file dialog are answered by the test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <memory>

#include "app/form1.h"
#include "core/settings.h"
#include "link/qtwaiter.h"
#include "support/fake_serial.h"
#include "support/scripted_unit.h"

namespace ondo::app::testing {

using namespace ondo::testing;

// The window with everything its data pane was given kept whole, and its progress reports seen.
class TestForm : public Form1 {
  public:
    using Form1::Form1;
    void dataHistory(const std::string& text) override {
        heard += text;
        Form1::dataHistory(text);
    }
    void progress(const Progress& p) override {
        Form1::progress(p);
        if (onProgress) onProgress(p);
    }
    std::string heard;
    std::function<void(const Progress&)> onProgress;
};

class WindowTest : public ::testing::Test {
  public:
    WindowTest() {
        serial.present.clear();  // no COM port unless a test adds one
        clock.serial = &serial;
    }
    ~WindowTest() override { form.reset(); }

    std::string iniPath() const { return dir.filePath("FLASH.ini").toStdString(); }
    void store(const std::string& key, const std::string& value) {
        Settings s(iniPath());
        s.saveKeySetting(key, value);
        s.sync();
    }
    std::string stored(const std::string& key) const { return Settings(iniPath()).keySetting(key); }

    // COM1 on the real serial library is this device (the other names on nothing).
    void onRealLine(const std::string& device) {
        Settings s(iniPath());
        for (int n = 1; n <= 9; ++n)
            s.savePortDevice(n, n == 1 ? device : dir.filePath("none").toStdString());
        s.saveKeySetting("port", "COM1");
        s.sync();
        realLine = true;
    }
    TestForm& make() {
        settings = std::make_unique<Settings>(iniPath());
        if (realLine)
            library = sio::makePlatformLibrary(
                [](int port, void* s) { return static_cast<Settings*>(s)->portDevice(port + 1); },
                settings.get());
        Form1::Services services{*settings, realLine ? *library : serial,
                                 realLine ? static_cast<Waiter&>(waiter) : clock};
        services.ask = [this](QWidget*, const MessageBox& box) {
            boxes.push_back(box);
            if (onAsk) onAsk(box);
            if (answers.empty()) return Answer::Ok;
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        };
        services.openFile = [this](QWidget*, const std::string& preset) {
            presets.push_back(preset);
            return chosenFile.empty() ? preset : chosenFile;
        };
        form = std::make_unique<TestForm>(std::move(services));
        clock.onTick = [this] { form->link().Timer1_Timer(); };
        return *form;
    }
    TestForm& load() {
        make().Form_Load();
        return *form;
    }
    TestForm& shown() {  // loaded, shown, its first focus (a second port list build) over
        load().show();
        QCoreApplication::processEvents();
        return *form;
    }
    void closeAndEnd() {
        form->close();
        form.reset();
    }
    template <class W>
    W* child(const char* name) const {
        W* widget = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* cmd() const { return child<QLineEdit>("tCmd"); }
    QString status() const { return child<QLabel>("labStat")->text(); }
    std::string writeFile(const char* name, const std::string& text) {
        const std::string path = dir.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    QTemporaryDir dir;
    FakeSerial serial;
    TickPerYield clock;
    ScriptedUnit unit{serial, clock};  // answers on COM1 once a test makes it present
    bool realLine = false;
    std::unique_ptr<sio::SerialLibrary> library;
    QtWaiter waiter;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TestForm> form;
    std::vector<MessageBox> boxes;
    std::deque<Answer> answers;
    std::function<void(const MessageBox&)> onAsk;
    std::vector<std::string> presets;
    std::string chosenFile;
};

// Two good records: one code byte, one EEPROM byte.
inline const std::string kGoodHxf = "C:0100000055AA\r\nE:01001000A54A\r\n";

}  // namespace ondo::app::testing
