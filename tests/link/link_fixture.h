#pragma once
// A link over the in-memory serial library, with a clock that ticks once per yield and a unit
// that answers monitor commands from a table.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "link/link.h"
#include "support/fake_serial.h"
#include "support/recording_face.h"

namespace ondo::testing {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.serial = &serial;
        clock.onTick = [this] { link.Timer1_Timer(); };
        serial.onSend = [this](unsigned char byte) { onByte(byte); };
    }

    // Opens COM1 with a silent unit, then forgets what the greeting sent and showed.
    void openQuietly() {
        serial.present = {0};
        face.selectedPort = "COM1";
        link.openPort("COM1");
        serial.sent.clear();
        serial.calls.clear();
        face.statuses.clear();
    }

    // The unit echoes nothing and answers each command in `replies` with the bytes given.
    void onByte(unsigned char byte) {
        if (byte != '\r') {
            line += static_cast<char>(byte);
            return;
        }
        auto it = replies.find(line);
        if (it != replies.end()) serial.deliver(it->second);
        commands.push_back(line);
        line.clear();
    }

    FakeSerial serial;
    RecordingFace face;
    TickPerYield clock;
    std::string remembered;
    Link link{serial, face, clock, [this] { return remembered; }};
    std::map<std::string, std::string> replies;
    std::vector<std::string> commands;
    std::string line;
};

}  // namespace ondo::testing
