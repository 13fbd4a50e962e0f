#include "support/fakes.h"

#include <random>
#include <tuple>

#include "state/mod_variabili.h"

namespace lcdprog::test {

void FakeMessageBox::Show(const std::string& text, const std::string& title,
                          platform::MessageIcon icon) {
    shown.push_back({text, title, icon});
    if (onShow) {
        onShow();
    }
}

void FakeFileService::Put(const std::string& path, std::string bytes) {
    files_[path] = {platform::FileStatus::Ok, std::move(bytes)};
}

void FakeFileService::PutSpecial(const std::string& path, platform::FileStatus status) {
    files_[path] = {status, {}};
}

void FakeFileService::Remove(const std::string& path) { files_.erase(path); }

bool FakeFileService::FileExists(const std::string& path) const {
    existsAsked.push_back(path);
    return files_.count(path) != 0;
}

std::string FakeFileService::GetFileName(const std::string& path) const {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

platform::FileContents FakeFileService::Read(const std::string& path, std::size_t limit) const {
    reads.push_back(path);
    platform::FileContents out;
    const auto it = files_.find(path);
    if (it == files_.end()) {
        out.status = platform::FileStatus::Missing;
        out.error = "no such file";
        return out;
    }
    out.status = it->second.status;
    if (out.status != platform::FileStatus::Ok) {
        out.error = "cannot be read";
        return out;
    }
    out.length = it->second.bytes.size();
    out.bytes = it->second.bytes.substr(0, limit);
    return out;
}

std::optional<std::string> FakeFileDialog::Show(const platform::FileDialogRequest& request) {
    requests.push_back(request);
    return answer;
}

void FakeRichTextControl::SetText(const std::string& t) {
    text = t;
    colors.assign(t.size(), 0);
    ++setTextCalls;
}

void FakeRichTextControl::SetSelColor(std::uint32_t rgb) {
    for (int i = selStart; i < selStart + selLength && i < static_cast<int>(colors.size()); ++i) {
        if (i >= 0) {
            colors[static_cast<std::size_t>(i)] = rgb;
        }
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
    const auto it = ports.find(port_);
    const Port state = it == ports.end() ? Port::Absent : it->second;
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

bool FakeSerialControl::SetSettings(const std::string& s) {
    settings = s;
    log.push_back("settings " + s);
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

std::string FakeSerialControl::Input() {
    std::string out;
    out.swap(pending_);
    return out;
}

std::string FakeSerialControl::DevicePath(int port) const {
    return "/dev/fake" + std::to_string(port);
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

void Fill_Slots_With_Noise(FakeFileService& files, unsigned seed) {
    std::mt19937 random(seed);
    const std::tuple<ImageSlots*, int, int, int> panels[] = {{&Images_64128A, 128, 64, 16},
                                                             {&Images_64128E, 128, 64, 16},
                                                             {&Images_64240B, 240, 64, 32},
                                                             {&Images_128240A, 240, 128, 32}};
    int k = 0;
    for (const auto& [slots, width, height, rowBytes] : panels) {
        for (ImageSlot& slot : *slots) {
            slot.FileName = "pic" + std::to_string(k++) + ".bmp";
            slot.FullPath = "/pictures/" + slot.FileName;
            slot.Width = width;
            slot.Height = height;
            slot.BitDepth = 1;
            std::string bytes(62 + static_cast<std::size_t>(height * rowBytes), '\0');
            for (char& b : bytes) {
                b = static_cast<char>(random());
            }
            files.Put(slot.FullPath, bytes);
        }
    }
}

}  // namespace lcdprog::test
