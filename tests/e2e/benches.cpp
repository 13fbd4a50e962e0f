#include "benches.h"

#include <algorithm>
#include <utility>

#include <gtest/gtest.h>

#include "link/mod_RS232.h"

namespace lcdprog::test {
namespace {

std::string With_Checksum(std::string bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    bytes.push_back(static_cast<char>(~sum & 0xFFu));
    return bytes;
}

constexpr long kDetectTarget = -1;
constexpr long kResetTarget = -2;

}  // namespace

LineBench::LineBench(std::vector<std::string> simArgs)
    : sim(folder, std::move(simArgs)), serial(platform::PortTable({sim.Link()})) {
    serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
}

bool LineBench::Ready() {
    const auto device = sim.Next_Device();
    if (!device) {
        ADD_FAILURE() << "lcdprog-sim printed no device line; its log:\n" << sim.Log();
        return false;
    }
    if (!desk.Open()) {
        return false;
    }
    EXPECT_EQ(desk.Ports(), std::vector<std::string>{"COM 1"});
    return desk.Ports() == std::vector<std::string>{"COM 1"};
}

VirtualModule::VirtualModule(ScriptedLink& link, std::vector<FaultAt> faults, std::uint32_t pageMs)
    : link_(link), faults_(std::move(faults)), pageMs_(pageMs) {
    eeprom_.fill(0xFF);
}

Script VirtualModule::As_Script() {
    return [this](const std::string& packet, std::size_t) { return Answer(packet); };
}

std::vector<Arrival> VirtualModule::Answer(const std::string& packet) {
    if (hungUp_) {
        return {};
    }
    const LinePacket what = Classify(packet);
    long target = 0;
    std::string reply;
    FaultAt::Target kind = FaultAt::Target::Detect;
    switch (what.kind) {
        case LinePacket::Kind::Detect:
            target = kDetectTarget;
            reply = With_Checksum(std::string("\x87\x04LSIM", 6));
            break;
        case LinePacket::Kind::Reset:
            target = kResetTarget;
            kind = FaultAt::Target::Reset;
            reply = With_Checksum(std::string("\xFE\x00", 2));
            break;
        case LinePacket::Kind::Write: {
            if (static_cast<unsigned char>(packet.back()) !=
                static_cast<unsigned char>(With_Checksum(packet.substr(0, 134)).back())) {
                return {};
            }
            target = what.block;
            kind = FaultAt::Target::Block;
            std::copy(packet.begin() + 6, packet.begin() + 134,
                      eeprom_.begin() + static_cast<std::ptrdiff_t>(what.block) * 128);
            reply = With_Checksum(std::string("\x04\x00", 2));
            break;
        }
        case LinePacket::Kind::Other:
            return {};
    }
    attempt_ = target == lastTarget_ ? attempt_ + 1 : 1;
    lastTarget_ = target;

    std::uint64_t ready = link_.pump.Now() + (kind == FaultAt::Target::Block ? pageMs_ : 0);
    std::uint64_t splitGap = 0;
    bool answer = true;
    for (const FaultAt& f : faults_) {
        if (f.target != kind || f.attempt != attempt_ ||
            (kind == FaultAt::Target::Block && f.block != what.block)) {
            continue;
        }
        switch (f.what) {
            case Misbehaviour::None:
                break;
            case Misbehaviour::NoAnswer:
                answer = false;
                break;
            case Misbehaviour::BadSum:
                reply.back() = static_cast<char>(reply.back() ^ 0xFF);
                break;
            case Misbehaviour::BadCmd:
                reply.front() = static_cast<char>(reply.front() + 1);
                reply.back() = static_cast<char>(reply.back() - 1);
                break;
            case Misbehaviour::Short:
                reply.pop_back();
                break;
            case Misbehaviour::Split:
                splitGap = 10;
                break;
            case Misbehaviour::Extra:
                reply.push_back('\xAA');
                break;
            case Misbehaviour::Late2900:
                ready += 2900;
                break;
            case Misbehaviour::Late3100:
                ready += 3100;
                break;
            case Misbehaviour::HangUp:
                // The real control closes the port on the error a dropped line raises; from
                // then on nothing the program writes reaches a line.
                hungUp_ = true;
                return {{0, {}, [this] { link_.serial.SetPortOpen(false); }}};
        }
    }
    if (!answer) {
        return {};
    }
    const std::uint64_t now = link_.pump.Now();
    const std::uint64_t due = std::max(ready, lineFreeAt_);
    lineFreeAt_ = due + splitGap;
    const auto after = [now](std::uint64_t at) { return static_cast<std::uint32_t>(at - now); };
    if (splitGap > 0) {
        const std::size_t half = reply.size() / 2;
        return {{after(due), reply.substr(0, half), {}},
                {after(due + splitGap), reply.substr(half), {}}};
    }
    return {{after(due), reply, {}}};
}

VirtualBench::VirtualBench(std::vector<FaultAt> faults) : module(link, std::move(faults)) {
    link.script = module.As_Script();
    // The scripted link opens its port; the serial window's probe must find it closed.
    link.serial.SetPortOpen(false);
}

bool VirtualBench::Ready() {
    if (!desk.Open()) {
        return false;
    }
    EXPECT_EQ(desk.Ports(), std::vector<std::string>{"COM 1"});
    return desk.Ports() == std::vector<std::string>{"COM 1"};
}

}  // namespace lcdprog::test
