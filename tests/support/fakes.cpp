#include "support/fakes.h"

#include <algorithm>
#include <random>
#include <tuple>

#include "state/mod_variabili.h"

namespace lcdprog::test {

void FakeMessageBox::Show(const std::string& text, const std::string& title,
                          platform::MessageIcon icon) {
    ShowDetailed(text, title, icon, {});
}

void FakeMessageBox::ShowDetailed(const std::string& text, const std::string& title,
                                  platform::MessageIcon icon, const std::string& detail) {
    shown.push_back({text, title, icon, detail});
    if (onShow) {
        onShow();
    }
}

bool FakeFileService::FileExists(const std::string& path) const {
    existsAsked.push_back(path);
    return files_.count(path) != 0;
}

std::string FakeFileService::GetFileName(const std::string& path) const {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

platform::FileContents FakeFileService::Read(const std::string& path, std::size_t limit) const {
    const auto it = files_.find(path);
    if (it == files_.end()) {
        return {platform::FileStatus::Missing, 0, {}, "no such file"};
    }
    const Entry& e = it->second;
    if (e.status != platform::FileStatus::Ok) {
        return {e.status, 0, {}, "cannot be read"};
    }
    return {e.status, e.bytes.size(), e.bytes.substr(0, limit), {}};
}

void FakeRichTextControl::SetSelColor(std::uint32_t rgb) {
    const int end = std::min(selStart + selLength, static_cast<int>(colors.size()));
    for (int i = std::max(selStart, 0); i < end; ++i) {
        colors[static_cast<std::size_t>(i)] = rgb;
    }
}

void FakeSerialControl::SetCommPort(int port) {
    port_ = port;
    log.push_back("port " + std::to_string(port));
}

bool FakeSerialControl::SetPortOpen(bool open) {
    if (open && onOpenRequest) {
        onOpenRequest();
    }
    const std::string n = std::to_string(port_);
    if (!open) {
        log.push_back("close " + n);
        open_ = false;
        return true;
    }
    const Port state = ports.count(port_) != 0 ? ports.at(port_) : Port::Absent;
    if (open_ || state != Port::Free) {
        log.push_back("open " + n + " failed");
        lastError_ = state == Port::Busy ? "busy" : "absent";
        return false;
    }
    log.push_back("open " + n);
    open_ = true;
    pending_.clear();
    return true;
}

bool FakeSerialControl::Output(std::string_view bytes) {
    if (!open_) {
        return false;
    }
    written.emplace_back(bytes);
    if (onOutput) {
        onOutput(written.back());
    }
    return true;
}

void FakeSerialControl::Deliver(const std::string& bytes) {
    pending_ += bytes;
    RaiseEvent(platform::comm_event::kReceive);
}

void FakeSerialControl::RaiseEvent(int code) {
    event_ = code;
    if (handler_) {
        handler_();
    }
}

void Fill_Slots_With_Noise(ProgramState& state, const std::string& prefix, const PutFile& put) {
    std::mt19937 random(1);
    const std::tuple<ImageSlots*, int, int, int> panels[] = {{&state.Images_64128A, 128, 64, 16},
                                                             {&state.Images_64128E, 128, 64, 16},
                                                             {&state.Images_64240B, 240, 64, 32},
                                                             {&state.Images_128240A, 240, 128, 32}};
    int k = 0;
    for (const auto& [slots, width, height, rowBytes] : panels) {
        for (ImageSlot& slot : *slots) {
            const std::string name = "pic" + std::to_string(k++) + ".bmp";
            slot = {prefix + name, name, height, width};
            std::string bytes(62 + static_cast<std::size_t>(height * rowBytes), '\0');
            for (char& b : bytes) {
                b = static_cast<char>(random());
            }
            put(slot.FullPath, bytes);
        }
    }
}

}  // namespace lcdprog::test
