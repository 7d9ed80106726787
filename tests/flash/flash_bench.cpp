#include "flash/flash_bench.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>

namespace ondo::testing {

namespace {
int benchNumber = 0;
}

FlashBench::FlashBench() {
    clock.serial = &serial;
    clock.onTick = [this] { link.Timer1_Timer(); };
    clock.beforeTick = [this](int tick) {
        if (tick > kTickBudget) throw std::runtime_error("the run never ends");
        if (atTick) atTick(tick);
    };
    face.onClose = [this] {
        link.AbortRequested = true;
        if (seq.Flashing) {
            ++closesRefused;
        } else {
            ++closesGranted;
        }
    };

    serial.SioReset(0, 8192, 256);
    link.PortOpen = true;
    link.PortNumber = 0;
    link.PortName = "COM1";

    for (int i = 0; i < kFlashImageSize; ++i) {
        image.FlashImage[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    for (int i = 0; i < kEEImageSize; ++i) {
        image.EEimage[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13 + 5);
    }
    image.FlashFileValid = true;

    file =
        std::filesystem::temp_directory_path() / ("ondo-flash-bench-" + std::to_string(getpid()) +
                                                  "-" + std::to_string(++benchNumber) + ".HXF");
    std::ofstream(file) << ":00000001FF\n";
    face.file = file.string();
    serial.sent.clear();
    serial.calls.clear();
}

FlashBench::~FlashBench() {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

std::string FlashBench::expectedFrame(int page, int pageSize) const {
    std::string frame{'\0', static_cast<char>(page)};
    unsigned sum = 0;
    for (int i = 0; i < pageSize; ++i) {
        const int address = page * pageSize + i;
        const unsigned byte =
            address < kFlashImageSize ? image.FlashImage[static_cast<std::size_t>(address)] : 0xFF;
        frame.push_back(static_cast<char>(byte));
        sum += byte;
    }
    frame.push_back(static_cast<char>(sum & 0xFF));
    return frame;
}

std::vector<std::string> FlashBench::eventsFrom(const std::string& from) const {
    std::vector<std::string> out;
    bool on = false;
    for (const auto& e : unit.events) {
        on = on || e == from;
        if (on) out.push_back(e);
    }
    return out;
}

std::vector<MessageBox> FlashBench::boxesTitled(const std::string& title) const {
    std::vector<MessageBox> out;
    for (const auto& box : face.boxes) {
        if (box.title == title) out.push_back(box);
    }
    return out;
}

int FlashBench::statusCount(const std::string& text) const {
    int count = 0;
    for (const auto& s : face.statuses) count += s.text == text ? 1 : 0;
    return count;
}

bool FlashBench::atRest() const {
    return face.startCaption == "Start" && face.startEnabled && !face.abortEnabled &&
           !seq.Flashing && !seq.running();
}

std::string firstDifference(const std::string& actual, const std::string& expected) {
    const std::size_t n = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (actual[i] != expected[i]) {
            return "byte " + std::to_string(i) + ": sent 0x" +
                   hex2(static_cast<unsigned char>(actual[i])) + ", expected 0x" +
                   hex2(static_cast<unsigned char>(expected[i]));
        }
    }
    if (actual.size() != expected.size()) {
        return "lengths differ: sent " + std::to_string(actual.size()) + ", expected " +
               std::to_string(expected.size());
    }
    return {};
}

}  // namespace ondo::testing
