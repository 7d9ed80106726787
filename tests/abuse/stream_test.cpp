// 100 kB from the unit without a single line feed, into a window on a real pseudo-terminal with
// the real serial library, wait and 100 ms timer: the ticks keep polling the port, other events
// keep being handled, every byte reaches the data pane and the pane stays bounded.
//
// The bytes come in chunks of 500, each once the last one is shown: 5 kB/s, more than twice
// what the line carries at 19,200 bit/s. The pane's trim cuts 511 characters an append, so at
// any rate a real line can bring it stays near its 1 K.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "app/form1.h"
#include "core/settings.h"
#include "link/qtwaiter.h"
#include "support/pty.h"

namespace ondo::app::testing {
namespace {

constexpr int kChunks = 200;
constexpr std::size_t kChunkBytes = 500;  // 100 kB in all
constexpr std::size_t kPaneBound = 1024;  // what the pane keeps at most between appends
constexpr qint64 kPatienceMs = 10000;     // a chunk not shown by then means the window hangs

std::string resolve(int port, void* context) {
    return static_cast<Settings*>(context)->portDevice(port + 1);
}

// Readable bytes without a line feed, ending in the chunk's number.
std::string chunk(int number) {
    std::string text;
    for (std::size_t i = 0; text.size() < kChunkBytes - 8; ++i)
        text += static_cast<char>(i % 2 ? 'A' + i % 26 : '\r');
    char tail[9];
    std::snprintf(tail, sizeof tail, "<%06d>", number);
    return text + tail;
}

class DataStream : public ::testing::Test {
  protected:
    DataStream() {
        settings = std::make_unique<Settings>(dir.filePath("FLASH.ini").toStdString());
        settings->overridePort(1, pty.slavePath());
        settings->saveKeySetting("port", "COM1");
        library = sio::makePlatformLibrary(resolve, settings.get());
        Form1::Services services{*settings, *library, waiter};
        services.ask = [](QWidget*, const MessageBox&) { return Answer::Ok; };
        services.openFile = [](QWidget*, const std::string& preset) { return preset; };
        form = std::make_unique<Form1>(std::move(services));
        form->Form_Load();
        form->show();
    }
    ~DataStream() override { form.reset(); }

    // Runs the event loop until the pane ends with text; false after the patience.
    bool paneEndsWith(const std::string& text) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kPatienceMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const std::string& pane = form->paneText();
            if (pane.size() >= text.size() &&
                pane.compare(pane.size() - text.size(), text.size(), text) == 0)
                return true;
        }
        return false;
    }

    // The window greets the unit at start-up and again when the port list first gets the
    // focus, reopening the port; a probe that reaches the pane shows that this is over.
    bool settled() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::string probe = "<ready " + std::to_string(attempt) + ">";
            if (!pty.write(probe)) return false;
            if (paneEndsWith(probe)) return true;
        }
        return false;
    }

    QTemporaryDir dir;
    ondo::testing::Pty pty;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<sio::SerialLibrary> library;
    QtWaiter waiter;
    std::unique_ptr<Form1> form;
};

TEST_F(DataStream, HundredKilobytesWithoutLineFeedsKeepTheWindowResponsive) {
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(form->link().PortOpen);
    ASSERT_TRUE(settled());
    auto* box = form->findChild<QLineEdit*>("tCmd");
    ASSERT_NE(box, nullptr);
    box->clear();
    int handled = 0;
    std::size_t largestPane = 0;
    for (int i = 0; i < kChunks; ++i) {
        QMetaObject::invokeMethod(
            form.get(), [&handled] { ++handled; }, Qt::QueuedConnection);
        QTest::keyClick(box, Qt::Key_X);
        const std::string bytes = chunk(i);
        ASSERT_TRUE(pty.write(bytes));
        ASSERT_TRUE(paneEndsWith(bytes.substr(bytes.size() - 100))) << "chunk " << i;
        largestPane = std::max(largestPane, form->paneText().size());
    }
    EXPECT_EQ(handled, kChunks);
    EXPECT_EQ(box->text().size(), kChunks);  // every key press reached the box
    EXPECT_LE(largestPane, kChunkBytes + kPaneBound);
    EXPECT_EQ(form->paneText().find('\n'), std::string::npos);
    std::printf("[ figures  ] largest data pane during the stream: %zu characters\n", largestPane);
}

}  // namespace
}  // namespace ondo::app::testing
