// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A face that records what the engine shows and answers its message boxes from a script.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console/console_view.h"
#include "core/face.h"
#include "core/messages.h"
#include "ports/port_list_view.h"

namespace ondo::testing {

class RecordingFace : public Face, public PortListView, public ConsoleView {
  public:
    struct StatusLine {
        Colour colour;
        std::string text;
    };
    void status(Colour colour, const std::string& text) override {
        statuses.push_back({colour, text});
    }
    void scrollText(const std::string& text) override {
        log = scrollTextAppend(log, text), logs.back() += text;
        longestLog = std::max(longestLog, log.size());
    }
    void logAppend(const std::string& text) override { log += text, logs.back() += text; }
    void logReplace(const std::string& text) override { log = text, logs.push_back(text); }
    void dataHistory(const std::string& text) override { pane = dataHistoryAppend(pane, text); }
    void paneClear() override { pane.clear(); }
    void setDataLabel(const std::string&) override {}  // no test looks at the data label
    void setVersionLabel(const std::string& text) override { versionLabel = text; }
    void setErrorLabel(const std::string& text) override { errorLabel = text; }
    void setIndicator(Indicator i) override { indicator = i; }
    void setStartButton(const std::string& caption, bool enabled) override {
        startCaption = caption, startEnabled = enabled;
    }
    void setAbortEnabled(bool enabled) override { abortEnabled = enabled; }
    bool option(Option which) const override { return options.count(which) && options.at(which); }
    void setOption(Option which, bool ticked) override { options[which] = ticked; }
    std::string fileName() const override { return file; }
    void portListClear() override { ports.clear(), selectedPort.clear(); }
    void portListAdd(const std::string& name) override { ports.push_back(name); }
    void portListSelect(const std::string& name) override { selectedPort = name; }
    std::string portListText() const override { return selectedPort; }
    std::string cmdText() const override { return cmd; }
    void setCmdText(const std::string& text, int) override { cmd = text; }
    void focusCmd() override {}
    void beep() override {}
    Answer ask(const MessageBox& box) override {
        boxes.push_back(box);
        if (onAsk) onAsk(box);
        if (answers.empty()) return Answer::Ok;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void requestClose() override {
        if (onClose) onClose();
    }
    void progress(const Progress&) override {}

    const StatusLine& lastStatus() const {
        static const StatusLine none{Colour::Plain, ""};
        return statuses.empty() ? none : statuses.back();
    }
    int statusCount(const std::string& text) const {
        return std::count_if(statuses.begin(), statuses.end(),
                             [&](auto& s) { return s.text == text; });
    }

    std::vector<StatusLine> statuses;
    std::string log, pane, versionLabel = "ROM ver.", errorLabel;
    std::vector<std::string> logs{std::string()};  // untrimmed, one entry per replacement
    std::size_t longestLog = 0;                    // the log's length after a scrollText
    Indicator indicator = Indicator::Neutral;
    std::string startCaption = "Start";
    bool startEnabled = true, abortEnabled = false;
    std::map<Option, bool> options{{Option::PromptOnComplete, true}};
    std::string file, selectedPort, cmd;
    std::vector<std::string> ports;
    std::vector<MessageBox> boxes;
    std::deque<Answer> answers;  // answers to the next boxes; Ok when empty
    std::function<void(const MessageBox&)> onAsk;
    std::function<void()> onClose;
};

}  // namespace ondo::testing
