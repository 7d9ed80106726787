// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one narrow face through which the engine shows things and asks the user.
//
// The window implements it with its controls; the command-line mode implements it with the
// terminal; tests implement it with a recorder. Every text is a byte string: each char is one
// character of the unit's 8-bit character set (Latin-1), control characters included, exactly
// as they travel on the line.

#include <string>

namespace ondo {

enum class Colour { Plain, Status, Error };  // black 0, green 0x008000, red 0x0000FF
enum class Indicator { Neutral, Green, Red };

enum class Buttons { Ok, OkCancel };
enum class Icon { Critical, Exclamation, Information };
enum class Answer { Ok, Cancel };

struct MessageBox {
    std::string text;  // carriage returns (13) in the text stand for line breaks
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::Information;
};

// The four option boxes of the flash frame and the bottom row.
enum class Option { EEOnly, FlashOnly, Rescue, PromptOnComplete };

// What a running update is doing, for front ends that draw their own progress.
enum class Phase {
    Checking,
    Bootloader,
    Pages,
    Restart,
    Firmware,
    EepromWrite,
    EepromVerify,
    Done,
    EepromRead,  // a backup of the EEPROM through the running firmware
};
struct Progress {
    Phase phase = Phase::Checking;
    int done = 0;   // pages or addresses finished in this phase
    int total = 0;  // pages or addresses in this phase
    int retries = 0;
};

class Face {
  public:
    virtual ~Face() = default;

    // Status line labStat: replaces the caption, in the given colour.
    virtual void status(Colour colour, const std::string& text) = 0;

    // Progress log tText.
    virtual void scrollText(const std::string& text) = 0;  // trim rule, append, caret to end
    virtual void logAppend(const std::string& text) = 0;   // plain append, no trim
    virtual void logReplace(const std::string& text) = 0;  // whole text replaced, caret to end

    // Data pane tRx.
    virtual void dataHistory(const std::string& text) = 0;  // append, trim rule, caret to end
    virtual void paneClear() = 0;

    // Small labels.
    virtual void setDataLabel(const std::string& text) = 0;     // lblData
    virtual void setVersionLabel(const std::string& text) = 0;  // lBootVersion
    virtual void setErrorLabel(const std::string& text) = 0;    // labError
    virtual void setIndicator(Indicator indicator) = 0;         // shpPort

    // Buttons.
    virtual void setStartButton(const std::string& caption, bool enabled) = 0;
    virtual void setAbortEnabled(bool enabled) = 0;

    // Option boxes. Setting a box in code runs no handler.
    virtual bool option(Option which) const = 0;
    virtual void setOption(Option which, bool ticked) = 0;

    // The firmware file name box tFlashFileName.
    virtual std::string fileName() const = 0;

    // A modal message box; returns the button the user pressed.
    virtual Answer ask(const MessageBox& box) = 0;

    // A close request of the main window, as if the user had asked for it.
    virtual void requestClose() = 0;

    // Progress of a running update (the window draws it through the log and labels already).
    virtual void progress(const Progress& p) = 0;

    // The bootloader named the unit's type (AlaR, NmaS, ...), for front ends that show it; the
    // window shows the type through the log already.
    virtual void unitIdentified(const std::string&) {}
};

}  // namespace ondo
