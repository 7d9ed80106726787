#pragma once
// A window on an in-memory serial library and a clock that ticks once per wait, with its
// settings in a temporary INI file and its message boxes and open-file dialog answered by the
// test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "core/settings.h"
#include "support/fake_serial.h"

namespace ondo::app::testing {

using ondo::testing::FakeSerial;
using ondo::testing::TickPerYield;

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() {
        serial.present.clear();  // no COM port unless a test adds one
        clock.serial = &serial;
    }
    ~WindowTest() override { form.reset(); }

    std::string iniPath() const { return dir.filePath(QStringLiteral("FLASH.ini")).toStdString(); }

    // Writes a value into the store before the window is made.
    void store(const std::string& key, const std::string& value) {
        Settings s(iniPath());
        s.saveKeySetting(key, value);
        s.sync();
    }
    // Reads the store as the next run would.
    std::string stored(const std::string& key) const { return Settings(iniPath()).keySetting(key); }

    Form1& make() {
        settings = std::make_unique<Settings>(iniPath());
        Form1::Services services{*settings, serial, clock};
        services.ask = [this](QWidget*, const MessageBox& box) {
            boxes.push_back(box);
            if (answers.empty()) return Answer::Ok;
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        };
        services.openFile = [this](QWidget*, const std::string& preset) {
            presets.push_back(preset);
            return chosenFile.empty() ? preset : chosenFile;
        };
        form = std::make_unique<Form1>(std::move(services));
        clock.onTick = [this] { form->link().Timer1_Timer(); };
        return *form;
    }
    Form1& load() {
        make();
        form->Form_Load();
        return *form;
    }
    // Close request, then the end of the window, as the application does at shut-down.
    void closeAndEnd() {
        form->close();
        form.reset();
    }

    // Gives the window an outer size (twips), whatever frame the platform draws around it.
    void setOuterSize(int width, int height) {
        const QSize frame = form->frameGeometry().size() - form->size();
        form->resize(QSize(width / 15, height / 15) - frame);
    }

    template <class W>
    W* child(const char* name) const {
        W* widget = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // A file in the temporary folder.
    std::string writeFile(const char* name, const std::string& text) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path.toStdString();
    }

    QTemporaryDir dir;
    FakeSerial serial;
    TickPerYield clock;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<Form1> form;
    std::vector<MessageBox> boxes;
    std::deque<Answer> answers;
    std::vector<std::string> presets;  // names the open-file dialog was preset with
    std::string chosenFile;            // the dialog's choice; empty: the user cancels
};

// Two good records: one code byte, one EEPROM byte.
inline const std::string kGoodHxf = "C:0100000055AA\r\nE:01001000A54A\r\n";

}  // namespace ondo::app::testing
