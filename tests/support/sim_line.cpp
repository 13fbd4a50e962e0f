#include "support/sim_line.h"

#include <algorithm>
#include <stdexcept>

namespace lcdprog::test {

lcdsim::ModuleConfig With_Faults(const std::vector<std::string>& faults,
                                 lcdsim::ModuleConfig config) {
    for (const std::string& text : faults) {
        const auto fault = lcdsim::Parse_Fault(text);
        if (!fault) {
            throw std::invalid_argument(text + ": " + fault.Text());
        }
        config.faults.push_back(*fault);
    }
    return config;
}

SimLine::SimLine(const std::vector<std::string>& faults, lcdsim::ModuleConfig config)
    : module(With_Faults(faults, std::move(config))) {
    serial.ports[1] = FakeSerialControl::Port::Free;
    serial.SetCommPort(1);
    Attach_Receive_Handler(serial, state);
    feed.Subscribe(view);
    serial.onOutput = [this](const std::string& packet) {
        sent.push_back({nowMs_, packet});
        if (connected && !hungUp_) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(packet.data());
            module.Receive(static_cast<lcdsim::Nanos>(nowMs_) * lcdsim::kMillisecond,
                           {bytes, packet.size()});
        }
        if (onSent) {
            onSent(packet);
        }
    };
    serial.log.clear();
}

void SimLine::Replace_Module(const std::vector<std::string>& faults) {
    module = lcdsim::Module(With_Faults(faults, {}));
    hungUp_ = false;
}

void SimLine::Yield(std::uint32_t maxWaitMs) {
    yields.push_back(maxWaitMs);
    if (onYield) {
        onYield(maxWaitMs);
    }
    std::uint64_t to = nowMs_ + maxWaitMs;
    if (const auto due = module.Next_Deadline()) {
        const auto dueMs =
            static_cast<std::uint64_t>((*due + lcdsim::kMillisecond - 1) / lcdsim::kMillisecond);
        to = std::min(to, std::max(nowMs_, dueMs));
    }
    if (!actions_.empty()) {
        to = std::min(to, std::max(nowMs_, actions_.begin()->first));
    }
    clock.now += static_cast<std::uint32_t>(to - nowMs_);  // wraps like the real clock
    nowMs_ = to;
    for (lcdsim::Action& action :
         module.Take_Due(static_cast<lcdsim::Nanos>(nowMs_) * lcdsim::kMillisecond)) {
        if (action.kind == lcdsim::Action::Kind::HangUp) {
            // The real serial control closes the port when the line drops.
            hungUp_ = true;
            serial.SetPortOpen(false);
        } else {
            serial.Deliver(std::string(action.bytes.begin(), action.bytes.end()));
        }
    }
    while (!actions_.empty() && actions_.begin()->first <= nowMs_) {
        auto action = std::move(actions_.begin()->second);
        actions_.erase(actions_.begin());
        action();
    }
}

}  // namespace lcdprog::test
