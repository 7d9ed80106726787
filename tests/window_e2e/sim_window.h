#pragma once
// The real window on the real POSIX serial library and the event-loop waiter, with COM1 pointing
// at a running simulated unit through the port map in a temporary settings store. COM2 to COM9
// point at paths that do not exist, so the machine's own serial ports never join the list.
//
// Everything the window puts into its data pane is also kept whole in WatchedForm::heard (the
// pane itself is trimmed), so a test can tell exactly what came over the line and in what order.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "core/settings.h"
#include "link/qtwaiter.h"
#include "link/sio.h"
#include "support/sim_process.h"

namespace ondo::app::testing {

// The window with its data pane's appends and its beeps visible to the test.
class WatchedForm : public Form1 {
  public:
    using Form1::Form1;
    void dataHistory(const std::string& text) override {
        heard += text;
        Form1::dataHistory(text);
    }
    void beep() override {
        ++beeps;
        Form1::beep();
    }
    std::string heard;
    int beeps = 0;
};

class SimWindow : public ::testing::Test {
  protected:
    // Any one wait for the window or the unit longer than this counts as a hang.
    static constexpr std::chrono::seconds kPatience{10};
    // A whole test longer than this ends the program: a handler that never returns cannot be
    // interrupted any other way.
    static constexpr std::chrono::seconds kTestPatience{90};

    SimWindow();
    ~SimWindow() override;

    // Starts the simulated unit with these options and writes the port map and "port" = "COM1"
    // into the store. False (with the reason reported) when the unit did not start.
    bool startUnit(const std::vector<std::string>& options = {});
    // Builds the window on the store, loads and shows it, and lets its first focus (a second
    // list build and greeting) and any late bytes of the greetings pass.
    WatchedForm& open();
    // Close request, then the end of the window, as the application does at shut-down.
    void closeAndEnd();

    // Runs the event loop until the condition holds; false after kPatience.
    bool spinUntil(const std::function<bool()>& condition);
    // Runs the event loop until the window's timer has ticked this many more times.
    bool spinTicks(int ticks);
    // Runs the event loop until the text has come over the line after the mark in heard.
    bool heardAfter(std::size_t mark, const std::string& text);

    // The bytes the unit has read from the host so far (-1 when its counters cannot be read).
    long long bytesFromHost();
    // Sends "v" through the command box and waits for the whole echo and reply: since the line
    // keeps its order, every byte sent before has reached the unit by then.
    bool probe();

    // Types the text into the command box and presses Enter there.
    void typeCommand(const std::string& text);
    // The list getting the focus as it does when the user tabs or clicks into it.
    void focusPortList();

    template <class W>
    W* child(const char* name) const {
        W* widget = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit* cmd() const { return child<QLineEdit>("tCmd"); }
    QPlainTextEdit* pane() const { return child<QPlainTextEdit>("tRx"); }
    QPlainTextEdit* log() const { return child<QPlainTextEdit>("tText"); }
    QString status() const { return child<QLabel>("labStat")->text(); }

    std::string iniPath() const;
    // Writes a value into the store before the window is made.
    void store(const std::string& key, const std::string& value);
    // Reads the store as the next run would.
    std::string stored(const std::string& key) const;

    QTemporaryDir dir;
    std::unique_ptr<ondo::testing::SimProcess> unit;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<sio::SerialLibrary> serial;
    QtWaiter waiter;
    std::unique_ptr<WatchedForm> form;
    std::vector<MessageBox> boxes;
    std::string unitVersion = "0024";  // what the unit answers to "v"
    int ticks = 0;                     // Timer1 ticks seen since the window was made

  private:
    QTimer watchdog_;
};

}  // namespace ondo::app::testing
