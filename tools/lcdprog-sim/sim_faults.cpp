#include "sim_faults.h"

#include <charconv>
#include <vector>

namespace lcdsim {

namespace {

constexpr int kMaxMs = 600000;  // ten minutes: longer than any programmer waits
constexpr int kBlocks = 512;

struct KindName {
    std::string_view name;
    FaultKind kind;
    enum { NoValue, OptionalValue, RequiredValue } value;
    int defaultValue;
    int minValue;
    int maxValue;
};

constexpr KindName kKinds[] = {
    {"none", FaultKind::None, KindName::NoValue, 0, 0, 0},
    {"noanswer", FaultKind::NoAnswer, KindName::NoValue, 0, 0, 0},
    {"badsum", FaultKind::BadSum, KindName::NoValue, 0, 0, 0},
    {"badcmd", FaultKind::BadCmd, KindName::NoValue, 0, 0, 0},
    {"short", FaultKind::Short, KindName::OptionalValue, 1, 1, 255},
    {"split", FaultKind::Split, KindName::OptionalValue, 10, 0, kMaxMs},
    {"extra", FaultKind::Extra, KindName::OptionalValue, 1, 1, 255},
    {"late", FaultKind::Late, KindName::RequiredValue, 0, 0, kMaxMs},
    {"silent", FaultKind::Silent, KindName::NoValue, 0, 0, 0},
    {"hangup", FaultKind::HangUp, KindName::NoValue, 0, 0, 0},
};

const KindName* Find_Kind(std::string_view name) {
    for (const auto& k : kKinds) {
        if (k.name == name) {
            return &k;
        }
    }
    return nullptr;
}

const KindName& Kind_Of(FaultKind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind) {
            return k;
        }
    }
    return kKinds[0];
}

// A whole decimal number within [lo, hi]; nothing else in the text.
bool Parse_Int(std::string_view text, int lo, int hi, int& out) {
    if (text.empty()) {
        return false;
    }
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi) {
        return false;
    }
    out = value;
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t at = text.find(sep, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// name=value, built by appending (GCC 12 warns falsely about "literal" + std::string).
std::string Item(std::string_view name, int value) {
    std::string text(name);
    text += '=';
    text += std::to_string(value);
    return text;
}

std::string Range_Text(int lo, int hi) {
    return std::to_string(lo) + " to " + std::to_string(hi);
}

}  // namespace

std::optional<Fault> Parse_Fault(std::string_view text, std::string& error) {
    const std::string quoted = "fault \"" + std::string(text) + "\": ";
    Fault fault;

    std::string_view kindText = text;
    std::string_view whereText;
    bool hasWhere = false;
    if (auto colon = text.find(':'); colon != std::string_view::npos) {
        kindText = text.substr(0, colon);
        whereText = text.substr(colon + 1);
        hasWhere = true;
    }

    std::string_view kindName = kindText;
    std::string_view kindValue;
    bool hasValue = false;
    if (auto eq = kindText.find('='); eq != std::string_view::npos) {
        kindName = kindText.substr(0, eq);
        kindValue = kindText.substr(eq + 1);
        hasValue = true;
    }
    const KindName* kind = Find_Kind(kindName);
    if (kind == nullptr) {
        error = quoted + "unknown kind \"" + std::string(kindName) +
                "\" (none, noanswer, badsum, badcmd, short, split, extra, late, silent, hangup)";
        return std::nullopt;
    }
    fault.kind = kind->kind;
    fault.value = kind->defaultValue;
    if (hasValue) {
        if (kind->value == KindName::NoValue) {
            error = quoted + std::string(kind->name) + " takes no value";
            return std::nullopt;
        }
        if (!Parse_Int(kindValue, kind->minValue, kind->maxValue, fault.value)) {
            error = quoted + std::string(kind->name) + " needs a whole number from " +
                    Range_Text(kind->minValue, kind->maxValue);
            return std::nullopt;
        }
    } else if (kind->value == KindName::RequiredValue) {
        error = quoted + std::string(kind->name) + " needs a value, e.g. " +
                std::string(kind->name) + "=3500";
        return std::nullopt;
    }

    if (!hasWhere) {
        return fault;
    }
    if (whereText.empty()) {
        error = quoted + "nothing after ':'";
        return std::nullopt;
    }

    FaultPlace& where = fault.where;
    bool placed = false;
    bool attemptGiven = false;
    bool timesGiven = false;
    for (std::string_view item : Split(whereText, ',')) {
        std::string_view name = item;
        std::string_view value;
        bool itemHasValue = false;
        if (auto eq = item.find('='); eq != std::string_view::npos) {
            name = item.substr(0, eq);
            value = item.substr(eq + 1);
            itemHasValue = true;
        }
        auto number = [&](int lo, int hi, int& out) {
            if (!Parse_Int(value, lo, hi, out)) {
                error =
                    quoted + std::string(name) + " needs a whole number from " + Range_Text(lo, hi);
                return false;
            }
            return true;
        };
        if (name == "packet" || name == "detect" || name == "block" || name == "reset") {
            if (placed) {
                error = quoted + "only one of packet, detect, block, reset may be given";
                return std::nullopt;
            }
            placed = true;
            if (name == "packet") {
                where.kind = FaultPlace::Kind::Packet;
                if (!itemHasValue) {
                    error = quoted + "packet needs a number, e.g. packet=101";
                    return std::nullopt;
                }
                if (!number(1, 1000000000, where.packet)) {
                    return std::nullopt;
                }
            } else if (name == "block") {
                where.kind = FaultPlace::Kind::Block;
                if (itemHasValue && !number(0, kBlocks - 1, where.block)) {
                    return std::nullopt;
                }
            } else {
                where.kind = name == "detect" ? FaultPlace::Kind::Detect : FaultPlace::Kind::Reset;
                if (itemHasValue) {
                    if (attemptGiven) {
                        error = quoted + "attempt given twice";
                        return std::nullopt;
                    }
                    attemptGiven = true;
                    if (!number(1, 1000000, where.attempt)) {
                        return std::nullopt;
                    }
                }
            }
        } else if (name == "attempt") {
            if (attemptGiven) {
                error = quoted + "attempt given twice";
                return std::nullopt;
            }
            attemptGiven = true;
            if (!itemHasValue) {
                error = quoted + "attempt needs a number, e.g. attempt=2";
                return std::nullopt;
            }
            if (!number(1, 1000000, where.attempt)) {
                return std::nullopt;
            }
        } else if (name == "times") {
            if (timesGiven) {
                error = quoted + "times given twice";
                return std::nullopt;
            }
            timesGiven = true;
            if (!itemHasValue) {
                error = quoted + "times needs a number, e.g. times=1";
                return std::nullopt;
            }
            if (!number(1, 1000000000, where.times)) {
                return std::nullopt;
            }
        } else {
            error = quoted + "unknown place \"" + std::string(item) +
                    "\" (packet=N, detect[=K], block[=B], reset[=K], attempt=K, times=N)";
            return std::nullopt;
        }
    }
    if (attemptGiven && where.kind != FaultPlace::Kind::Detect &&
        where.kind != FaultPlace::Kind::Block && where.kind != FaultPlace::Kind::Reset) {
        error = quoted + "attempt needs detect, block or reset";
        return std::nullopt;
    }
    return fault;
}

std::string Describe_Fault(const Fault& fault) {
    const KindName& kind = Kind_Of(fault.kind);
    std::string text(kind.name);
    if (kind.value != KindName::NoValue) {
        text = Item(text, fault.value);
    }
    const FaultPlace& w = fault.where;
    std::vector<std::string> items;
    switch (w.kind) {
        case FaultPlace::Kind::Every:
            break;
        case FaultPlace::Kind::Packet:
            items.push_back(Item("packet", w.packet));
            break;
        case FaultPlace::Kind::Detect:
            items.push_back("detect");
            break;
        case FaultPlace::Kind::Block:
            items.push_back(w.block < 0 ? std::string("block") : Item("block", w.block));
            break;
        case FaultPlace::Kind::Reset:
            items.push_back("reset");
            break;
    }
    if (w.attempt > 0) {
        items.push_back(Item("attempt", w.attempt));
    }
    if (w.times > 0) {
        items.push_back(Item("times", w.times));
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? ":" : ",") + items[i];
    }
    return text;
}

bool Fault_Place_Matches(const FaultPlace& where, const RequestContext& request) {
    auto attemptOk = [&] { return where.attempt == 0 || where.attempt == request.attempt; };
    switch (where.kind) {
        case FaultPlace::Kind::Every:
            return true;
        case FaultPlace::Kind::Packet:
            return request.packet == where.packet;
        case FaultPlace::Kind::Detect:
            return request.kind == RequestKind::Detect && attemptOk();
        case FaultPlace::Kind::Block:
            return request.kind == RequestKind::Write &&
                   (where.block < 0 || where.block == request.block) && attemptOk();
        case FaultPlace::Kind::Reset:
            return request.kind == RequestKind::Reset && attemptOk();
    }
    return false;
}

}  // namespace lcdsim
