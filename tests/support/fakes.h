#pragma once

// Fakes for the platform interfaces, shared by every test folder.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/event_pump.h"
#include "platform/file_dialog.h"
#include "platform/file_service.h"
#include "platform/message_box.h"
#include "platform/program.h"
#include "platform/serial_control.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {

struct ShownMessage {
    ShownMessage(std::string t, std::string ti, platform::MessageIcon i, std::string d = {})
        : text(std::move(t)), title(std::move(ti)), icon(i), detail(std::move(d)) {}
    std::string text;
    std::string title;
    platform::MessageIcon icon;
    std::string detail;  // behind "Mostra dettagli..."
    bool operator==(const ShownMessage&) const = default;
    friend void PrintTo(const ShownMessage& m, std::ostream* os) {
        *os << m.title << ": " << m.text << (m.detail.empty() ? "" : " [" + m.detail + "]");
    }
};

class FakeMessageBox : public platform::MessageBox {
  public:
    void Show(const std::string& text, const std::string& title,
              platform::MessageIcon icon) override;
    void ShowDetailed(const std::string& text, const std::string& title, platform::MessageIcon icon,
                      const std::string& detail) override;
    platform::SaveChoice AskSave(const std::string& text, const std::string& title) override {
        asked += text + " | " + title;
        return answer;
    }
    bool AskTwo(const std::string& text, const std::string& title, const std::string& first,
                const std::string& second) override {
        asked += text + " | " + title + " | " + first + " / " + second;
        return takeFirst;
    }
    std::size_t AskChoice(const std::string& text, const std::string& title,
                          const std::vector<std::string>& choices) override {
        asked += text + " | " + title + " |";
        for (std::size_t i = 0; i < choices.size(); ++i) {
            asked += (i == 0 ? " " : " / ") + choices[i];
        }
        return choice.value_or(choices.size() - 1);
    }
    std::vector<ShownMessage> shown;
    std::function<void()> onShow;  // runs while the "modal box" is up
    platform::SaveChoice answer = platform::SaveChoice::Discard;
    bool takeFirst = false;             // AskTwo's answer
    std::optional<std::size_t> choice;  // AskChoice's answer; the last button when empty
    std::string asked;
};

// An in-memory file system. Paths are matched exactly; GetFileName splits at '/' and '\'.
class FakeFileService : public platform::FileService {
  public:
    void Put(const std::string& path, std::string bytes) {
        files_[path] = {platform::FileStatus::Ok, std::move(bytes)};
    }
    void PutSpecial(const std::string& path, platform::FileStatus status) {
        files_[path] = {status, {}};
    }
    void Remove(const std::string& path) { files_.erase(path); }

    bool FileExists(const std::string& path) const override;
    std::string GetFileName(const std::string& path) const override;
    platform::FileContents Read(const std::string& path, std::size_t limit) const override;
    std::string ProgramFolder() const override { return programFolder; }

    std::string programFolder = "/opt/lcdprog";
    mutable std::vector<std::string> existsAsked;

  private:
    struct Entry {
        platform::FileStatus status;
        std::string bytes;
    };
    std::map<std::string, Entry> files_;
};

class VirtualClock : public platform::Clock {
  public:
    std::uint32_t Milliseconds() override { return now; }
    std::uint32_t now = 0;
};

class FakeProgram : public platform::ProgramControl {
  public:
    void EndNow() override { ++ended; }
    int ended = 0;
};

class FakeFileDialog : public platform::FileDialog {
  public:
    std::optional<std::string> Show(const platform::FileDialogRequest& request) override {
        requests.push_back(request);
        if (!queued.empty()) {
            const std::optional<std::string> next = queued.front();
            queued.pop_front();
            return next;
        }
        return answer;
    }
    std::vector<platform::FileDialogRequest> requests;
    std::deque<std::optional<std::string>> queued;  // answered first, one a dialog
    std::optional<std::string> answer;              // then this; nothing: cancelled
};

class FakeTextControl : public platform::TextControl {
  public:
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    std::string text;
};

// Keeps the colour of every character, as a rich text box would.
class FakeRichTextControl : public platform::RichTextControl {
  public:
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override {
        text = t;
        colors.assign(t.size(), 0);
    }
    void SetSelStart(int start) override { selStart = start; }
    void SetSelLength(int length) override { selLength = length; }
    void SetSelColor(std::uint32_t rgb) override;
    // The colour of character i (0 when never coloured).
    std::uint32_t ColorAt(std::size_t i) const { return i < colors.size() ? colors[i] : 0; }

    std::string text;
    int selStart = 0;
    int selLength = 0;
    std::vector<std::uint32_t> colors;
};

class FakeProgressControl : public platform::ProgressControl {
  public:
    void SetValue(int v) override {
        value = v;
        history.push_back(v);
    }
    int Value() const override { return value; }
    int value = 0;
    std::vector<int> history;
};

// A serial control with a table of ports. Records every request; bytes "arrive" through
// Deliver(), which fires the handler with the receive event as the real control does.
class FakeSerialControl : public platform::SerialControl {
  public:
    enum class Port { Absent, Free, Busy };

    void SetCommPort(int port) override;
    int CommPort() const override { return port_; }
    bool SetPortOpen(bool open) override;
    bool PortOpen() const override { return open_; }
    bool SetSettings(const std::string& settings) override {
        log.push_back("settings " + settings);
        return true;
    }
    bool Output(std::string_view bytes) override;
    std::string Input() override { return std::exchange(pending_, {}); }
    int CommEvent() const override { return event_; }
    void SetCommHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    std::string LastError() const override { return lastError_; }
    std::string DevicePath(int port) const override { return "/dev/fake" + std::to_string(port); }

    void Deliver(const std::string& bytes);
    void RaiseEvent(int code);

    std::map<int, Port> ports;         // missing entries are Absent
    std::vector<std::string> log;      // "port 3", "open 3", "open 3 failed", "close 3", ...
    std::vector<std::string> written;  // one entry per Output call
    std::function<void(const std::string&)> onOutput;  // the line behind the port hooks in here
    std::function<void()> onOpenRequest;               // runs first in every open request

  private:
    int port_ = 1;
    bool open_ = false;
    int event_ = 0;
    std::string pending_;
    std::string lastError_;
    std::function<void()> handler_;
};

// Points all sixteen picture slots at files of random bytes, `prefix` and a name, each of its
// panel's size, so that every block of the compiled image differs from its neighbours (a block
// stored at the wrong address shows).
using PutFile = std::function<void(const std::string& path, const std::string& bytes)>;
void Fill_Slots_With_Noise(ProgramState& state, const std::string& prefix, const PutFile& put);
inline void Fill_Slots_With_Noise(ProgramState& state, FakeFileService& files) {
    Fill_Slots_With_Noise(state, "/pictures/",
                          [&files](auto& path, auto& bytes) { files.Put(path, bytes); });
}

}  // namespace lcdprog::test
