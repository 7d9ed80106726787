// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace sim {
namespace {

// How often to look whether a host has opened the port while nobody holds it.
constexpr std::chrono::milliseconds kAttachCheck{10};
// What the line holds for a host that does not read; more is lost as on a real line.
constexpr std::size_t kMaxUnread = 4096;

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool catchSignals() {
    if (::pipe(signalPipe) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::signal(SIGPIPE, SIG_IGN);
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace

Simulator::Simulator(const Options& options, const UnitType& type)
    : options_(options), wire_(options), unit_(options, type, outbox_) {}

int Simulator::run() {
    std::string error;
    if (!start(error)) {
        std::fprintf(stderr, "ondo-unit-sim: %s\n", error.c_str());
        return 1;
    }
    while (!quit_) step();
    writeOutputs();
    if (!options_.link.empty()) ::unlink(options_.link.c_str());
    if (quitAcknowledge_) acknowledge("quit");
    return 0;
}

bool Simulator::start(std::string& error) {
    if (!options_.eeInit.empty() && !unit_.loadEeprom(options_.eeInit)) {
        error = "cannot read " + options_.eeInit;
        return false;
    }
    if (!catchSignals()) {
        error = "cannot catch signals";
        return false;
    }
    if (!options_.control.empty() && !control_.open(options_.control, error)) return false;
    return plugIn(Clock::now(), error);
}

void Simulator::step() {
    attached_ = pty_.hostAttached();
    std::vector<pollfd> fds{{signalPipe[0], POLLIN, 0}};
    if (control_.fd() >= 0) fds.push_back({control_.fd(), POLLIN, 0});
    if (attached_) {
        fds.push_back(
            {pty_.fd(), static_cast<short>(POLLIN | (pendingWrite_.empty() ? 0 : POLLOUT)), 0});
    }
    const std::optional<timespec> wait = pollTimeout(Clock::now());
    ::ppoll(fds.data(), fds.size(), wait ? &*wait : nullptr, nullptr);
    if (fds[0].revents != 0) {
        char drain[16];
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], drain, sizeof drain);
        quit_ = true;
    }
    if (control_.fd() >= 0 && fds[1].revents != 0) {
        for (const std::string& command : control_.readCommands()) obey(command, Clock::now());
    }
    exchange(Clock::now());
}

// The wait runs to the nanosecond: a wait in whole milliseconds would send each paced reply up
// to a millisecond late and hold each command as long before the unit took it, a stretch of the
// line that a real unit does not have.
std::optional<timespec> Simulator::pollTimeout(TimePoint now) const {
    std::optional<TimePoint> due = unit_.nextDeadline();
    if (const auto wire = wire_.nextDue(outbox_)) due = due ? std::min(*due, *wire) : *wire;
    if (pty_.isOpen() && !attached_) {
        due = due ? std::min(*due, now + kAttachCheck) : now + kAttachCheck;
    }
    if (!due) return std::nullopt;
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(*due - now, TimePoint::duration::zero()));
    timespec t{};
    t.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
    t.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
    return t;
}

void Simulator::exchange(TimePoint now) {
    const std::string in = pty_.readAvailable();
    wire_.fromHost(reinterpret_cast<const std::uint8_t*>(in.data()), in.size(), now);
    // Each byte reaches the unit at the time it ends on the line, not when this loop comes round
    // to it: a simulator that the system did not run for a while must not see a gap in a frame.
    while (const auto arrival = wire_.toUnit(now)) {
        unit_.receive(arrival->first, arrival->second);
        if (unit_.takeVanish()) {
            unplug();
            return;
        }
    }
    unit_.tick(now);
    sendToHost(now);
}

// Bytes that leave while no host holds the port are lost, as on a real line.
void Simulator::sendToHost(TimePoint now) {
    const std::string out = wire_.toHost(outbox_, now);
    attached_ = pty_.hostAttached();  // a host may have opened the port since the poll began
    if (!attached_) {
        pendingWrite_.clear();
        return;
    }
    pendingWrite_ += out;
    const std::size_t written = pty_.write(pendingWrite_);
    traffic_.toHost += written;
    pendingWrite_.erase(0, written);
    if (pendingWrite_.size() > kMaxUnread)
        pendingWrite_.erase(0, pendingWrite_.size() - kMaxUnread);
}

void Simulator::obey(const std::string& command, TimePoint now) {
    std::string error;
    if (command == "rescue" || command == "power") {
        outbox_.clear();
        wire_.reset();
        command == "rescue" ? unit_.rescuePowerUp(now) : unit_.powerUp(now);
        if (unit_.takeVanish()) unplug();
    } else if (command == "unplug") {
        unplug();
    } else if (command == "replug") {
        if (!plugIn(now, error)) std::fprintf(stderr, "ondo-unit-sim: %s\n", error.c_str());
    } else if (command == "dump") {
        writeOutputs();
    } else if (command == "quit") {
        quit_ = true;
        quitAcknowledge_ = true;
        return;  // acknowledged once the final dumps are written
    } else {
        std::fprintf(stderr, "ondo-unit-sim: unknown control command \"%s\"\n", command.c_str());
        acknowledge("unknown");
        return;
    }
    acknowledge(command);
}

bool Simulator::plugIn(TimePoint now, std::string& error) {
    unplug();
    if (!pty_.open(error)) return false;
    announce();
    unit_.powerUp(now);
    return true;
}

void Simulator::unplug() {
    if (!options_.link.empty()) ::unlink(options_.link.c_str());  // gone before the hang-up shows
    pty_.close();
    outbox_.clear();
    wire_.reset();
    wire_.clearAdapter();
    pendingWrite_.clear();
    attached_ = false;
    unit_.powerOff();
}

// The link and the path file are in place before the line on standard output, so whoever waits
// for that line finds them.
void Simulator::announce() {
    if (!options_.link.empty() && !replaceSymlink(options_.link, pty_.path())) {
        std::fprintf(stderr, "ondo-unit-sim: cannot link %s\n", options_.link.c_str());
    }
    if (!options_.pathFile.empty() && !writeFileAtomically(options_.pathFile, pty_.path() + "\n")) {
        std::fprintf(stderr, "ondo-unit-sim: cannot write %s\n", options_.pathFile.c_str());
    }
    std::printf("%s\n", pty_.path().c_str());
    std::fflush(stdout);
}

void Simulator::writeOutputs() {
    bool ok = true;
    if (!options_.dump.empty()) {
        ok = writeFileAtomically(options_.dump + ".flash", unit_.flash()) &&
             writeFileAtomically(options_.dump + ".eeprom", unit_.eeprom());
    }
    traffic_.fromHost = wire_.bytesFromHost();
    if (!options_.stats.empty()) {
        ok = writeFileAtomically(options_.stats, statsText(unit_.counters(), traffic_)) && ok;
    }
    if (!ok) std::fprintf(stderr, "ondo-unit-sim: cannot write the dumps\n");
}

// One line "COMMAND N" a command, N counting every command received.
void Simulator::acknowledge(const std::string& what) {
    if (options_.ack.empty()) return;
    appendLine(options_.ack, what + " " + std::to_string(++commandCount_));
}

}  // namespace sim
