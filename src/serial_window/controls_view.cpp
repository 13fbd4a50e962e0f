#include "serial_window/controls_view.h"

#include <charconv>
#include <cstdint>

#include "serial_window/run_status.h"

namespace lcdprog {
namespace {

constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

}  // namespace

std::string Trace_Line(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(bytes.empty() ? 2 : bytes.size() * 6);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            line += "; ";
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        line += '0';
        line += 'x';
        line += kHex[b >> 4];
        line += kHex[b & 0x0F];
    }
    line += "\r\n";
    return line;
}

void Spy_Send_Packet(platform::RichTextControl& spy, std::string_view packet) {
    const std::string line = Trace_Line(packet);
    spy.SetText(line);
    spy.SetSelStart(0);
    spy.SetSelLength(static_cast<int>(line.size()));
    spy.SetSelColor(kBlue);
}

void Spy_Received_Packet(platform::RichTextControl& spy, std::string_view buffer) {
    const std::string line = Trace_Line(buffer);
    const int lineLength = static_cast<int>(line.size()) - 2;  // without its CR LF
    const std::string before = spy.Text();
    const std::string text = before + line;
    spy.SetText(text);
    // Setting the whole text may drop the colours of what was already there (a plain rich text
    // box does). The text before the reply is the request line, so it is painted blue again:
    // after every exchange the trace reads request in blue, reply in red, whatever the box does.
    if (!before.empty()) {
        spy.SetSelStart(0);
        spy.SetSelLength(static_cast<int>(before.size()));
        spy.SetSelColor(kBlue);
    }
    const int length = static_cast<int>(text.size());
    spy.SetSelStart(length - lineLength - 2);
    spy.SetSelLength(length);
    spy.SetSelColor(kRed);
}

void Increment_Counter(platform::TextControl& counter) {
    // The box holds what this program wrote into it, so anything that is not a whole number
    // within the 16-bit range (empty, edited by hand, out of range) counts as 0 rather than
    // stopping the exchange.
    const std::string text = counter.Text();
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ') {
        digits.remove_prefix(1);
    }
    while (!digits.empty() && digits.back() == ' ') {
        digits.remove_suffix(1);
    }
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    std::int16_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) {
        value = 0;
    }
    // 16-bit arithmetic: 32767 + 1 wraps to -32768, as the box's type would.
    const auto next = static_cast<std::int16_t>(static_cast<std::uint16_t>(value) + 1u);
    counter.SetText(std::to_string(next));
}

void ControlsView::Phase_Changed(RunPhase phase) {
    phase_ = phase;
    if (phase == RunPhase::Detection) {
        // Detection starts every unit afresh: counters at 0, trace and bar empty.
        sendCounter_.SetText("0");
        receivedCounter_.SetText("0");
        spy_.SetText("");
        progress_.SetValue(0);
    }
    if (status_ != nullptr) {
        status_->Phase_Changed(phase);
    }
}

void ControlsView::Block_Started(int k) {
    progress_.SetValue(k);
    if (status_ != nullptr) {
        status_->Block_Started(k);
    }
}

void ControlsView::Packet_Sent(std::string_view bytes) {
    Increment_Counter(sendCounter_);
    Spy_Send_Packet(spy_, bytes);
}

void ControlsView::Reply_Received(std::string_view bytes, bool) {
    // The reset's replies are counted but not traced: its request stays the trace's last line.
    if (phase_ != RunPhase::Reset) {
        Spy_Received_Packet(spy_, bytes);
    }
    Increment_Counter(receivedCounter_);
}

void ControlsView::Run_Ended(const RunResult& result) {
    if (status_ != nullptr) {
        status_->Run_Ended(result);
    }
}

}  // namespace lcdprog
