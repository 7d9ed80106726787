// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_face.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "core/messages.h"

namespace ondo {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The elapsed time on the progress line moves on at least this often while the run waits.
constexpr std::chrono::seconds kRedrawEvery{1};
// Without a terminal, a counted phase is reported in this many steps.
constexpr int kPlainSteps = 10;

}  // namespace

// The phase as programs read it (JSON).
const char* phaseName(Phase phase) {
    switch (phase) {
        case Phase::Checking:
            return "checking";
        case Phase::Bootloader:
            return "bootloader";
        case Phase::Pages:
            return "pages";
        case Phase::Restart:
            return "restart";
        case Phase::Firmware:
            return "firmware";
        case Phase::EepromWrite:
            return "eeprom-write";
        case Phase::EepromVerify:
            return "eeprom-verify";
        case Phase::Done:
            return "done";
        case Phase::EepromRead:
            return "eeprom-read";
    }
    return "unknown";
}

// The phase as people read it (the progress line).
const char* phaseCaption(Phase phase) {
    switch (phase) {
        case Phase::Checking:
            return "Checking the unit";
        case Phase::Bootloader:
            return "Waiting for the bootloader";
        case Phase::Pages:
            return "Flash";
        case Phase::Restart:
            return "Restart";
        case Phase::Firmware:
            return "Firmware";
        case Phase::EepromWrite:
            return "EEPROM write";
        case Phase::EepromVerify:
            return "EEPROM verify";
        case Phase::Done:
            return "Done";
        case Phase::EepromRead:
            return "EEPROM read";
    }
    return "Unknown";
}

// What the counts of a phase count: pages, EEPROM addresses, the bootloader wait's reads, the
// restart's ticks. Empty for a phase without counts.
const char* countName(Phase phase) {
    switch (phase) {
        case Phase::Pages:
            return "page";
        case Phase::EepromWrite:
        case Phase::EepromVerify:
        case Phase::EepromRead:
            return "address";
        case Phase::Bootloader:
            return "read";
        case Phase::Restart:
            return "tick";
        default:
            return "";
    }
}

bool measured(Phase phase) {
    return phase == Phase::Pages || phase == Phase::EepromWrite || phase == Phase::EepromVerify ||
           phase == Phase::EepromRead;
}

std::optional<Phase> phaseNamed(const std::string& name) {
    for (const Phase phase :
         {Phase::Checking, Phase::Bootloader, Phase::Pages, Phase::Restart, Phase::Firmware,
          Phase::EepromWrite, Phase::EepromVerify, Phase::Done, Phase::EepromRead})
        if (name == phaseName(phase)) return phase;
    return std::nullopt;
}

namespace {

const char* colourName(Colour colour) {
    switch (colour) {
        case Colour::Plain:
            return "plain";
        case Colour::Status:
            return "status";
        case Colour::Error:
            return "error";
    }
    return "plain";
}

// Line ends as the terminal wants them: CR LF and a lone CR both become LF.
std::string terminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += '\n';
        } else {
            out += text[i];
        }
    }
    return out;
}

// A status caption as one printed line: the line ends some captions carry from the unit's
// reply ("Data from unit = " and the reply's CR LF) are dropped.
std::string captionText(const std::string& text) {
    std::string out = terminalText(text);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string minutesSeconds(seconds s) {
    const long total = static_cast<long>(s.count());
    return std::to_string(total / 60) + ":" + (total % 60 < 10 ? "0" : "") +
           std::to_string(total % 60);
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const std::size_t name = utf8SequenceAt(text, i)) {  // a file name's character
            out.append(text, i, name);
            i += name - 1;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

CliFace::CliFace(CliOptions options, std::string fileName)
    : opts_(options),
      out_(options.out ? options.out : &std::cout),
      err_(options.err ? options.err : &std::cerr),
      fileName_(std::move(fileName)) {
    options_[Option::PromptOnComplete] = true;  // the completion report is always printed
}

bool CliFace::option(Option which) const {
    auto it = options_.find(which);
    return it != options_.end() && it->second;
}

void CliFace::json(const std::string& object) {
    *out_ << object << '\n' << std::flush;
}

void CliFace::status(Colour colour, const std::string& text) {
    if (colour == Colour::Error) lastError_ = text;
    if (opts_.json) {
        json(R"({"event":"status","level":")" + std::string(colourName(colour)) +
             R"(","message":)" + jsonString(text) + "}");
        return;
    }
    // The window's status line is one caption that each message replaces: a caption that only
    // repeats the one standing ("Opened COM1" in black, then in green) changes nothing there,
    // so it is printed once. Errors are printed every time, each one is a retry.
    const std::string line = captionText(text);
    const bool repeated = line == lastStatus_;
    lastStatus_ = line;
    if (repeated && colour != Colour::Error) return;
    clearProgressLine();
    *err_ << (colour == Colour::Error ? "error: " : "") << line << '\n' << std::flush;
    drawProgressLine();
}

void CliFace::logOut(const std::string& text) {
    pendingLine_ += terminalText(text);
    std::size_t end;
    while ((end = pendingLine_.find('\n')) != std::string::npos) {
        emitLogLine(pendingLine_.substr(0, end));
        pendingLine_.erase(0, end + 1);
    }
}

void CliFace::logReplace(const std::string& text) {
    // The window empties its log here; a stream cannot, so it ends the current line instead.
    if (!pendingLine_.empty()) emitLogLine(pendingLine_);
    pendingLine_.clear();
    logOut(text);
}

void CliFace::emitLogLine(const std::string& line) {
    if (opts_.json) {
        json(R"({"event":"log","text":)" + jsonString(line) + "}");
        return;
    }
    clearProgressLine();
    *out_ << line << '\n' << std::flush;
    drawProgressLine();
}

void CliFace::setAbortEnabled(bool enabled) {
    abortEnabled_ = enabled;
    if (enabled && interrupted_ && abortButton) abortButton();
}

void CliFace::interrupt() {
    const bool pagesDone = (option(Option::EEOnly) && last_.phase != Phase::Checking) ||
                           last_.phase == Phase::Restart || last_.phase == Phase::Firmware ||
                           last_.phase == Phase::EepromWrite ||
                           last_.phase == Phase::EepromVerify || last_.phase == Phase::Done;
    if (pagesDone) {
        // As in the window: once the pages are done, what is left runs to its end; stopping
        // the EEPROM update half-way would only leave the EEPROM half written.
        status(Colour::Plain,
               "Too late to abort: the EEPROM update runs to its end (press Ctrl-C again to quit "
               "at once)");
    } else if (abortEnabled_ && abortButton) {
        interrupted_ = true;
        status(Colour::Plain, "Abort requested");
        abortButton();
    } else {
        interrupted_ = true;  // pressed as soon as the Abort button can be
        if (stopRequest) stopRequest();
        status(Colour::Plain,
               "Abort requested: the run stops at the next step that can be aborted "
               "(press Ctrl-C again to quit at once)");
    }
}

Answer CliFace::ask(const MessageBox& box) {
    const bool decision = box.buttons == Buttons::OkCancel;
    const bool question = decision && !opts_.yes && opts_.interactive;
    Answer answer = Answer::Ok;
    if (decision && !opts_.yes) answer = question ? askOnTerminal(box) : Answer::Cancel;
    if (answer == Answer::Cancel) cancelled_ = true;
    if (opts_.json) {
        json(R"({"event":"box","title":)" + jsonString(box.title) + R"(,"message":)" +
             jsonString(box.text) + R"(,"answer":")" + (answer == Answer::Ok ? "ok" : "cancel") +
             R"(","buttons":")" + (decision ? "ok-cancel" : "ok") + "\"}");
    } else if (!question) {
        printBox(box, decision, answer);
    }
    if (afterAsk) afterAsk(box, answer);
    return answer;
}

void CliFace::printBox(const MessageBox& box, bool decision, Answer answer) {
    clearProgressLine();
    *err_ << "[" << box.title << "] " << terminalText(box.text);
    if (decision && answer == Answer::Ok) *err_ << "  -> OK";
    if (decision && answer == Answer::Cancel) {
        *err_ << "  -> Cancel (no terminal to ask; --yes answers OK)";
    }
    *err_ << '\n' << std::flush;
    drawProgressLine();
}

Answer CliFace::askOnTerminal(const MessageBox& box) {
    clearProgressLine();
    *err_ << "[" << box.title << "]\n" << terminalText(box.text) << '\n';
    for (;;) {
        *err_ << "OK or Cancel? [o/c] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return Answer::Cancel;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "o" || line == "O" || line == "ok" || line == "OK") return Answer::Ok;
        if (line == "c" || line == "C" || line == "cancel" || line == "Cancel")
            return Answer::Cancel;
    }
}

void CliFace::unitIdentified(const std::string& type) {
    if (opts_.json) json(R"({"event":"unit","unit":)" + jsonString(type) + "}");
}

void CliFace::progress(const Progress& p) {
    const bool phaseChanged = !progressSeen_ || p.phase != last_.phase;
    if (phaseChanged) phaseStarted_ = Clock::now();
    progressSeen_ = true;
    last_ = p;
    if (opts_.json) {
        std::string object =
            R"({"event":"progress","phase":")" + std::string(phaseName(p.phase)) + "\"";
        const std::string counted = countName(p.phase);
        if (!counted.empty()) {
            object += ",\"" + counted + "\":" + std::to_string(p.done) + R"(,"total":)" +
                      std::to_string(p.total);
        }
        json(object + R"(,"retries":)" + std::to_string(p.retries) + "}");
    } else if (opts_.progressLine) {
        drawProgressLine();
    } else {
        plainProgressLine(p, phaseChanged);
    }
}

// Without a terminal the progress goes out as plain lines, for a log file: one when a phase
// begins and one for each tenth of a measured phase.
void CliFace::plainProgressLine(const Progress& p, bool phaseChanged) {
    int step = -1;
    if (measured(p.phase) && p.total > 0) step = p.done * kPlainSteps / p.total;
    if (!phaseChanged && step <= plainStep_) return;
    plainStep_ = step;
    *err_ << progressText() << '\n' << std::flush;
}

std::string CliFace::progressText() const {
    const auto now = Clock::now();
    std::string line = phaseCaption(last_.phase);
    if (measured(last_.phase) && last_.total > 0) {
        line += ": " + std::string(countName(last_.phase)) + " " + std::to_string(last_.done) +
                " of " + std::to_string(last_.total) + " (" +
                std::to_string(last_.done * 100 / last_.total) + "%)";
    } else if (last_.phase == Phase::Bootloader && last_.total > 0) {
        line += ": read " + std::to_string(last_.done) + " of " + std::to_string(last_.total);
    }
    line += ", elapsed " + minutesSeconds(duration_cast<seconds>(now - started_));
    if (measured(last_.phase) && last_.done > 0 && last_.done < last_.total) {
        // The time left in this phase, at the pace it has kept so far.
        const auto spent = duration_cast<milliseconds>(now - phaseStarted_);
        const auto left = spent * (last_.total - last_.done) / last_.done;
        line += ", about " + minutesSeconds(duration_cast<seconds>(left)) + " left";
    }
    if (last_.retries > 0) line += ", " + std::to_string(last_.retries) + " retries";
    return line;
}

void CliFace::clearProgressLine() {
    if (!progressShown_) return;
    *err_ << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void CliFace::drawProgressLine() {
    if (!opts_.progressLine || opts_.json || !progressSeen_) return;
    *err_ << "\r\033[K" << progressText() << std::flush;
    progressShown_ = true;
    drawn_ = Clock::now();
}

void CliFace::refresh() {
    if (progressShown_ && Clock::now() - drawn_ >= kRedrawEvery) drawProgressLine();
}

void CliFace::summary(const std::string& line) {
    if (opts_.json) return;
    clearProgressLine();
    *err_ << line << '\n' << std::flush;
}

void CliFace::finish(const std::string& outcome, int exitCode, int retries,
                     const std::string& fields) {
    if (!pendingLine_.empty()) emitLogLine(pendingLine_);
    pendingLine_.clear();
    clearProgressLine();
    if (opts_.json) {
        json(R"({"event":"end","outcome":")" + outcome + R"(","exit":)" + std::to_string(exitCode) +
             R"(,"retries":)" + std::to_string(retries) + (fields.empty() ? "" : "," + fields) +
             R"(,"message":)" + jsonString(exitCode == 0 ? std::string("complete") : lastError_) +
             "}");
    }
}

}  // namespace ondo
