// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The face of the command-line mode: status and errors to standard error, the progress log to
// standard output, a progress line on a terminal (plain progress lines otherwise), or one JSON
// object per event for programs.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "core/face.h"

namespace ondo {

struct CliOptions {
    bool yes = false;           // answer OK to every box
    bool json = false;          // --progress=json
    bool interactive = false;   // standard input is a terminal: boxes become questions
    bool progressLine = false;  // standard error is a terminal: draw a live progress line
    // Where the log and the status texts go; standard output and standard error when null.
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
};

class CliFace : public Face {
  public:
    CliFace(CliOptions options, std::string fileName);

    void status(Colour colour, const std::string& text) override;
    void scrollText(const std::string& text) override { logOut(text); }
    void logAppend(const std::string& text) override { logOut(text); }
    void logReplace(const std::string& text) override;
    void dataHistory(const std::string&) override {}  // the unit's raw bytes are not echoed
    void paneClear() override {}
    void setDataLabel(const std::string&) override {}
    void setVersionLabel(const std::string& text) override { versionLabel_ = text; }
    void setErrorLabel(const std::string&) override {}
    void setIndicator(Indicator) override {}
    void setStartButton(const std::string&, bool) override {}
    void setAbortEnabled(bool enabled) override;
    bool option(Option which) const override;
    void setOption(Option which, bool ticked) override { options_[which] = ticked; }
    std::string fileName() const override { return fileName_; }
    void setFileName(std::string name) { fileName_ = std::move(name); }
    Answer ask(const MessageBox& box) override;
    void requestClose() override {}
    void progress(const Progress& p) override;
    void unitIdentified(const std::string& type) override;

    // Ctrl-C: delivered to the run as the Abort button as soon as the button can be pressed.
    void interrupt();
    std::function<void()> abortButton;
    // Asks a run that has not yet reached the bootloader or the EEPROM to stop there.
    std::function<void()> stopRequest;
    // Runs after each box is answered (the demo powers the simulated unit up for a rescue).
    std::function<void(const MessageBox&, Answer)> afterAsk;

    // Called on every tick of the run: keeps the elapsed time on the progress line moving while
    // the run waits (for the bootloader, for the restart).
    void refresh();

    // Ends the run's output: the rest of the log line, the last progress line, and with JSON
    // the closing event.
    // `fields` are more members of the closing event (`"name":value,...`), or empty.
    void finish(const std::string& outcome, int exitCode, int retries,
                const std::string& fields = {});
    // A closing line of text (the update report): on standard error, not with JSON.
    void summary(const std::string& line);

    bool cancelled() const { return cancelled_; }
    bool interrupted() const { return interrupted_; }
    const std::string& versionLabel() const { return versionLabel_; }
    const std::string& lastError() const { return lastError_; }

  private:
    using Clock = std::chrono::steady_clock;

    void logOut(const std::string& text);
    void emitLogLine(const std::string& line);
    void clearProgressLine();
    void drawProgressLine();
    void plainProgressLine(const Progress& p, bool phaseChanged);
    std::string progressText() const;
    void json(const std::string& object);
    void printBox(const MessageBox& box, bool decision, Answer answer);
    Answer askOnTerminal(const MessageBox& box);

    CliOptions opts_;
    std::ostream* out_;
    std::ostream* err_;
    std::string fileName_;
    std::map<Option, bool> options_;
    std::string versionLabel_;
    std::string lastError_;
    std::string lastStatus_;   // the status line as it stands, to print each caption once
    std::string pendingLine_;  // log text after the last line end
    bool abortEnabled_ = false;
    bool interrupted_ = false;
    bool cancelled_ = false;
    bool progressShown_ = false;
    bool progressSeen_ = false;
    int plainStep_ = -1;  // the last tenth of a phase printed as a plain progress line
    Progress last_;
    Clock::time_point started_ = Clock::now();
    Clock::time_point phaseStarted_ = started_;
    Clock::time_point drawn_ = started_;
};

// A JSON string literal of a byte text (Latin-1, control characters escaped).
std::string jsonString(const std::string& text);

// The phases as the progress line and the JSON events name them.
const char* phaseName(Phase phase);     // as programs read it: "pages", "eeprom-write", ...
const char* phaseCaption(Phase phase);  // as people read it: "Flash", "EEPROM write", ...
// What a phase's counts count ("page", "address", "read", "tick"); empty for none.
const char* countName(Phase phase);
// Phases whose counts go up steadily, so that a share done and a time left make sense.
bool measured(Phase phase);
// The phase a JSON event names.
std::optional<Phase> phaseNamed(const std::string& name);

}  // namespace ondo
