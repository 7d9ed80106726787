#include "app/cli_face.h"

#include <iostream>
#include <string>

namespace ondo {

namespace {

const char* phaseName(Phase phase) {
    switch (phase) {
        case Phase::Checking: return "checking";
        case Phase::Bootloader: return "bootloader";
        case Phase::Pages: return "pages";
        case Phase::Restart: return "restart";
        case Phase::Firmware: return "firmware";
        case Phase::EepromWrite: return "eeprom-write";
        case Phase::EepromVerify: return "eeprom-verify";
        case Phase::Done: return "done";
    }
    return "unknown";
}

const char* colourName(Colour colour) {
    switch (colour) {
        case Colour::Plain: return "plain";
        case Colour::Status: return "status";
        case Colour::Error: return "error";
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

std::string minutesSeconds(std::chrono::seconds s) {
    const long total = static_cast<long>(s.count());
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    return buffer;
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
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
    : opts_(options), fileName_(std::move(fileName)) {
    options_[Option::PromptOnComplete] = true;  // the completion report is always printed
}

bool CliFace::option(Option which) const {
    auto it = options_.find(which);
    return it != options_.end() && it->second;
}

void CliFace::json(const std::string& object) {
    std::cout << object << '\n' << std::flush;
}

void CliFace::status(Colour colour, const std::string& text) {
    if (colour == Colour::Error) lastError_ = text;
    if (opts_.json) {
        json(R"({"event":"status","level":")" + std::string(colourName(colour)) +
             R"(","message":)" + jsonString(text) + "}");
        return;
    }
    clearProgressLine();
    std::cerr << (colour == Colour::Error ? "error: " : "") << terminalText(text) << '\n'
              << std::flush;
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
    std::cout << line << '\n' << std::flush;
    drawProgressLine();
}

void CliFace::setAbortEnabled(bool enabled) {
    abortEnabled_ = enabled;
    if (enabled && interrupted_ && abortButton) abortButton();
}

void CliFace::interrupt() {
    interrupted_ = true;
    if (abortEnabled_ && abortButton) abortButton();
    status(Colour::Error, "Abort requested");
}

Answer CliFace::ask(const MessageBox& box) {
    const bool decision = box.buttons == Buttons::OkCancel;
    Answer answer = Answer::Ok;
    if (decision && !opts_.yes) answer = opts_.interactive ? askOnTerminal(box) : Answer::Cancel;
    if (answer == Answer::Cancel) cancelled_ = true;
    const char* said = answer == Answer::Ok ? "ok" : "cancel";
    if (opts_.json) {
        json(R"({"event":"box","title":)" + jsonString(box.title) + R"(,"message":)" +
             jsonString(box.text) + R"(,"answer":")" + said + "\"}");
    } else if (!(decision && opts_.interactive && !opts_.yes)) {
        clearProgressLine();
        std::cerr << "[" << box.title << "] " << terminalText(box.text);
        if (decision) std::cerr << "  -> " << (answer == Answer::Ok ? "OK" : "Cancel");
        std::cerr << '\n' << std::flush;
        drawProgressLine();
    }
    if (afterAsk) afterAsk(box, answer);
    return answer;
}

Answer CliFace::askOnTerminal(const MessageBox& box) {
    clearProgressLine();
    std::cerr << "[" << box.title << "]\n" << terminalText(box.text) << '\n';
    for (;;) {
        std::cerr << "OK or Cancel? [o/c] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return Answer::Cancel;
        if (line == "o" || line == "O" || line == "ok" || line == "OK") return Answer::Ok;
        if (line == "c" || line == "C" || line == "cancel" || line == "Cancel") return Answer::Cancel;
    }
}

void CliFace::progress(const Progress& p) {
    if (p.phase != last_.phase) phaseStarted_ = std::chrono::steady_clock::now();
    last_ = p;
    if (opts_.json) {
        const bool eeprom = p.phase == Phase::EepromWrite || p.phase == Phase::EepromVerify;
        json(R"({"event":"progress","phase":")" + std::string(phaseName(p.phase)) + R"(",")" +
             (eeprom ? "address" : "page") + "\":" + std::to_string(p.done) +
             R"(,"total":)" + std::to_string(p.total) + R"(,"retries":)" +
             std::to_string(p.retries) + "}");
        return;
    }
    drawProgressLine();
}

void CliFace::clearProgressLine() {
    if (!progressShown_) return;
    std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void CliFace::drawProgressLine() {
    if (!opts_.progressLine || opts_.json) return;
    using namespace std::chrono;
    const auto now = steady_clock::now();
    std::string line = std::string(phaseName(last_.phase));
    if (last_.total > 0) {
        const bool eeprom = last_.phase == Phase::EepromWrite || last_.phase == Phase::EepromVerify;
        const int percent = last_.done * 100 / last_.total;
        line += std::string(eeprom ? "  address " : "  page ") + std::to_string(last_.done) +
                " of " + std::to_string(last_.total) + "  " + std::to_string(percent) + "%";
        if (last_.done > 0 && last_.done < last_.total) {
            const auto spent = duration_cast<milliseconds>(now - phaseStarted_);
            const auto left = spent * (last_.total - last_.done) / last_.done;
            line += "  left " + minutesSeconds(duration_cast<seconds>(left));
        }
    }
    line += "  elapsed " + minutesSeconds(duration_cast<seconds>(now - started_));
    if (last_.retries > 0) line += "  retries " + std::to_string(last_.retries);
    std::cerr << "\r\033[K" << line << std::flush;
    progressShown_ = true;
}

void CliFace::finish(const std::string& outcome, int exitCode, int retries) {
    if (!pendingLine_.empty()) emitLogLine(pendingLine_);
    pendingLine_.clear();
    clearProgressLine();
    if (opts_.json) {
        json(R"({"event":"end","outcome":")" + outcome + R"(","exit":)" +
             std::to_string(exitCode) + R"(,"retries":)" + std::to_string(retries) +
             R"(,"message":)" + jsonString(exitCode == 0 ? std::string("complete") : lastError_) +
             "}");
    }
}

}  // namespace ondo
