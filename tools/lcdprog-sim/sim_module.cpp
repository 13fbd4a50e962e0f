#include "sim_module.h"

#include <algorithm>
#include <cstdio>

namespace lcdsim {

namespace {

// Attempt targets that cannot collide with a write address (0..0xFF80).
constexpr int kTargetDetect = 0x100000;
constexpr int kTargetReset = 0x200000;

std::string Format(const char* format, auto... args) {
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint8_t>(~sum & 0xFF);
}

Nanos Line_Time(std::size_t bytes, long baud) {
    const std::int64_t bitNanos = static_cast<std::int64_t>(bytes) * 10 * 1'000'000'000LL;
    return (bitNanos + baud / 2) / baud;
}

std::string Hex_Bytes(std::span<const std::uint8_t> bytes, std::size_t limit) {
    std::string text;
    auto add = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (!text.empty() && text.back() != ' ') {
                text += ' ';
            }
            text += Format("%02X", static_cast<unsigned>(bytes[i]));
        }
    };
    if (bytes.size() <= limit || limit < 4) {
        add(0, bytes.size());
        return text;
    }
    add(0, limit - 2);
    text += " ..";
    add(bytes.size() - 2, bytes.size());
    text += Format(" (%zu bytes)", bytes.size());
    return text;
}

Module::Module(ModuleConfig config) : config_(std::move(config)), fired_(config_.faults.size()) {
    eeprom_.fill(0xFF);
    if (config_.baud <= 0) {
        config_.baud = 115200;
    }
}

void Module::Log(Nanos at, const std::string& text) const {
    if (logger_) {
        logger_(at, text);
    }
}

void Module::Receive(Nanos now, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    if (!frame_.empty() && config_.frameGap > 0 && now - lastByteAt_ >= config_.frameGap) {
        ++stats_.droppedPartial;
        Log(lastByteAt_ + config_.frameGap,
            "dropped a partial frame after a gap: " + Hex_Bytes(frame_));
        frame_.clear();
    }
    for (std::uint8_t b : bytes) {
        frame_.push_back(b);
        lastByteAt_ = now;
        if (frame_.size() >= 2 && frame_.size() == static_cast<std::size_t>(frame_[1]) + 3) {
            Handle_Frame(now);
        }
    }
}

namespace {

// What a complete frame asks for, or why it is no valid request.
struct RequestCheck {
    RequestKind kind = RequestKind::Other;
    std::uint32_t address = 0;  // Write
    std::string reject;         // empty: a valid request
};

RequestCheck Check_Request(std::span<const std::uint8_t> frame) {
    RequestCheck check;
    const std::uint8_t cmd = frame[0];
    const std::uint8_t len = frame[1];
    const std::uint8_t expected = Checksum(frame.first(frame.size() - 1));
    if (frame.back() != expected) {
        check.reject = Format("wrong checksum 0x%02X (0x%02X expected)", unsigned{frame.back()},
                              unsigned{expected});
    } else if (cmd == kCmdDetect && len == 0) {
        check.kind = RequestKind::Detect;
    } else if (cmd == kCmdReset && len == 0) {
        check.kind = RequestKind::Reset;
    } else if (cmd == kCmdWrite && len == kWriteLength) {
        check.address = (std::uint32_t{frame[2]} << 24) | (std::uint32_t{frame[3]} << 16) |
                        (std::uint32_t{frame[4]} << 8) | std::uint32_t{frame[5]};
        if (check.address > kMemoryImageSize - kWriteData) {
            check.reject = Format("write address 0x%08X out of range", unsigned{check.address});
        } else {
            check.kind = RequestKind::Write;
        }
    } else if (cmd == kCmdDetect || cmd == kCmdReset || cmd == kCmdWrite) {
        check.reject =
            Format("length %u does not fit command 0x%02X", unsigned{len}, unsigned{cmd});
    } else {
        check.reject = Format("unknown command 0x%02X", unsigned{cmd});
    }
    return check;
}

}  // namespace

// How the faults shape the reply to one request, besides changing its bytes.
struct Module::ReplyShape {
    bool answer = true;
    bool hangUp = false;
    bool split = false;
    Nanos splitGap = 0;
    Nanos late = 0;
};

void Module::Handle_Frame(Nanos now) {
    std::vector<std::uint8_t> frame;
    frame.swap(frame_);
    ++stats_.frames;
    const int number = stats_.frames;
    const RequestCheck check = Check_Request(frame);

    RequestContext request;
    request.packet = number;
    std::vector<std::uint8_t> reply;
    if (check.reject.empty()) {
        request.kind = check.kind;
        if (request.kind == RequestKind::Write) {
            request.block = static_cast<int>(check.address / kWriteData);
        }
        reply = Answer(request, check.address, frame, now);
    } else {
        ++stats_.rejected;
        Log(now, Format("rx #%d no reply, ", number) + check.reject + ": " + Hex_Bytes(frame));
    }

    const ReplyShape shape = Apply_Faults(request, now, reply);
    if (shape.hangUp) {
        Log(now, Format("hanging up on #%d", number));
        Action action{Action::Kind::HangUp, now, {}};
        auto at = std::upper_bound(queue_.begin(), queue_.end(), now,
                                   [](Nanos t, const Action& a) { return t < a.due; });
        queue_.insert(at, std::move(action));
        return;
    }
    if (silent_ || !shape.answer || reply.empty()) {
        if (check.reject.empty()) {
            Log(now, Format("#%d gets no reply", number));
        }
        return;
    }
    Nanos ready = now + shape.late;
    if (request.kind == RequestKind::Write) {
        ready += config_.pageTime;
    }
    const int splitAt = shape.split ? static_cast<int>(reply.size() / 2) : 0;
    Schedule(ready, std::move(reply), splitAt, shape.splitGap);
}

// A valid request: its attempt counted, its effect on the module, and its reply.
std::vector<std::uint8_t> Module::Answer(RequestContext& request, std::uint32_t address,
                                         std::span<const std::uint8_t> frame, Nanos now) {
    const int number = request.packet;
    const int target = request.kind == RequestKind::Detect  ? kTargetDetect
                       : request.kind == RequestKind::Reset ? kTargetReset
                                                            : static_cast<int>(address);
    attempt_ = target == lastTarget_ ? attempt_ + 1 : 1;
    lastTarget_ = target;
    request.attempt = attempt_;
    std::vector<std::uint8_t> reply;
    switch (request.kind) {
        case RequestKind::Detect:
            ++stats_.detections;
            reply = {kCmdDetect,          4,
                     config_.identity[0], config_.identity[1],
                     config_.identity[2], config_.identity[3]};
            Log(now, Format("rx #%d detect, attempt %d: ", number, attempt_) + Hex_Bytes(frame));
            break;
        case RequestKind::Write:
            ++stats_.writes;
            std::copy_n(frame.begin() + 6, kWriteData, eeprom_.begin() + address);
            reply = {kCmdWrite, 0x00};
            Log(now, Format("rx #%d write block %d at 0x%04X, attempt %d: ", number, request.block,
                            unsigned{address}, attempt_) +
                         Hex_Bytes(frame));
            break;
        case RequestKind::Reset:
            ++stats_.resets;
            reply = {kCmdReset, 0x00};
            Log(now, Format("rx #%d reset, attempt %d (reset number %d): ", number, attempt_,
                            stats_.resets) +
                         Hex_Bytes(frame));
            break;
        case RequestKind::Other:
            break;
    }
    reply.push_back(Checksum(reply));
    return reply;
}

// Every fault whose place selects this request fires (up to its limit) on the reply.
Module::ReplyShape Module::Apply_Faults(const RequestContext& request, Nanos now,
                                        std::vector<std::uint8_t>& reply) {
    ReplyShape shape;
    for (std::size_t i = 0; i < config_.faults.size(); ++i) {
        const Fault& fault = config_.faults[i];
        if ((fault.where.times > 0 && fired_[i] >= fault.where.times) ||
            !Fault_Place_Matches(fault.where, request)) {
            continue;
        }
        ++fired_[i];
        Log(now, Format("fault #%d on #%d: ", static_cast<int>(i) + 1, request.packet) +
                     Describe_Fault(fault));
        switch (fault.kind) {
            case FaultKind::None:
                break;
            case FaultKind::NoAnswer:
                shape.answer = false;
                break;
            case FaultKind::BadSum:
                if (!reply.empty()) {
                    reply.back() ^= 0xFF;
                }
                break;
            case FaultKind::BadCmd:
                // The checksum follows the command byte, so only the command is wrong.
                if (reply.size() >= 2) {
                    reply.front() = static_cast<std::uint8_t>(reply.front() + 1);
                    reply.back() = static_cast<std::uint8_t>(reply.back() - 1);
                }
                break;
            case FaultKind::Short:
                reply.resize(reply.size() - std::min<std::size_t>(reply.size(), fault.value));
                break;
            case FaultKind::Split:
                shape.split = true;
                shape.splitGap = fault.value * kMillisecond;
                break;
            case FaultKind::Extra:
                if (!reply.empty()) {
                    reply.insert(reply.end(), fault.value, kExtraByte);
                }
                break;
            case FaultKind::Late:
                shape.late += fault.value * kMillisecond;
                break;
            case FaultKind::Silent:
                silent_ = true;
                break;
            case FaultKind::HangUp:
                shape.hangUp = true;
                break;
        }
    }
    return shape;
}

void Module::Schedule(Nanos ready, std::vector<std::uint8_t> reply, int splitAt, Nanos splitGap) {
    const Nanos start = std::max(ready, lineFreeAt_);
    std::vector<Action> parts;
    if (splitAt > 0 && static_cast<std::size_t>(splitAt) < reply.size()) {
        const std::size_t k = static_cast<std::size_t>(splitAt);
        const Nanos first = start + Line_Time(k, config_.baud);
        const Nanos second = first + splitGap + Line_Time(reply.size() - k, config_.baud);
        parts.push_back({Action::Kind::Send, first, {reply.begin(), reply.begin() + splitAt}});
        parts.push_back({Action::Kind::Send, second, {reply.begin() + splitAt, reply.end()}});
    } else {
        parts.push_back(
            {Action::Kind::Send, start + Line_Time(reply.size(), config_.baud), std::move(reply)});
    }
    lineFreeAt_ = parts.back().due;
    for (auto& part : parts) {
        auto at = std::upper_bound(queue_.begin(), queue_.end(), part.due,
                                   [](Nanos t, const Action& a) { return t < a.due; });
        queue_.insert(at, std::move(part));
    }
}

std::optional<Nanos> Module::Next_Deadline() const {
    std::optional<Nanos> next;
    if (!queue_.empty()) {
        next = queue_.front().due;
    }
    if (!frame_.empty() && config_.frameGap > 0) {
        const Nanos drop = lastByteAt_ + config_.frameGap;
        next = next ? std::min(*next, drop) : drop;
    }
    return next;
}

std::vector<Action> Module::Take_Due(Nanos now) {
    if (!frame_.empty() && config_.frameGap > 0 && now - lastByteAt_ >= config_.frameGap) {
        ++stats_.droppedPartial;
        Log(lastByteAt_ + config_.frameGap,
            "dropped a partial frame after a gap: " + Hex_Bytes(frame_));
        frame_.clear();
    }
    std::vector<Action> due;
    while (!queue_.empty() && queue_.front().due <= now) {
        Action action = std::move(queue_.front());
        queue_.erase(queue_.begin());
        if (action.kind == Action::Kind::HangUp) {
            due.push_back(std::move(action));
            Line_Dropped();
            break;
        }
        ++stats_.repliesSent;
        Log(action.due, "tx " + Hex_Bytes(action.bytes));
        due.push_back(std::move(action));
    }
    return due;
}

void Module::Line_Dropped() {
    frame_.clear();
    queue_.clear();
    lineFreeAt_ = 0;
}

}  // namespace lcdsim
