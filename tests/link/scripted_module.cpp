#include "link/scripted_module.h"

#include <algorithm>
#include <utility>

namespace lcdprog::test {

void VirtualPump::Yield(std::uint32_t maxWaitMs) {
    yields.push_back({maxWaitMs, now_});
    if (onYield) {
        onYield(maxWaitMs);
    }
    const std::uint64_t to = due_.empty() || due_.begin()->first > now_ + maxWaitMs
                                 ? now_ + maxWaitMs
                                 : std::max(now_, due_.begin()->first);
    clock_.now += static_cast<std::uint32_t>(to - now_);  // wraps like the real clock
    now_ = to;
    while (!due_.empty() && due_.begin()->first <= now_) {
        Arrival arrival = std::move(due_.begin()->second);
        due_.erase(due_.begin());
        if (!arrival.bytes.empty()) {
            serial_.Deliver(arrival.bytes);
        }
        if (arrival.action) {
            arrival.action();
        }
    }
}

ScriptedLink::ScriptedLink(Script s) : script(std::move(s)) {
    serial.ports[1] = FakeSerialControl::Port::Free;
    serial.SetCommPort(1);
    serial.SetPortOpen(true);
    serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
    serial.onOutput = [this](const std::string& packet) {
        const std::size_t index = sent.size();
        sent.push_back({pump.Now(), packet});
        for (Arrival& arrival : script ? script(packet, index) : std::vector<Arrival>{}) {
            pump.Schedule(pump.Now() + arrival.afterMs, std::move(arrival));
        }
    };
}

}  // namespace lcdprog::test
