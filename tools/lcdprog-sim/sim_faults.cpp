#include "sim_faults.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace lcdsim {

namespace {

constexpr int kMaxMs = 600000;  // ten minutes: longer than any programmer waits
constexpr int kBlocks = 512;

// Every kind the parser accepts, and what --help says of it: one row each, so that the help, the
// refusal of an unknown kind and the parser cannot disagree.
struct KindName {
    std::string_view name;
    FaultKind kind;
    enum { NoValue, OptionalValue, RequiredValue } value;
    int defaultValue;
    int minValue;
    int maxValue;
    std::string_view valueName;  // as the help writes the value: "N", "MS"
    std::string_view help;
};

constexpr KindName kKinds[] = {
    {"none", FaultKind::None, KindName::NoValue, 0, 0, 0, "", "no change"},
    {"noanswer", FaultKind::NoAnswer, KindName::NoValue, 0, 0, 0, "", "no reply to this request"},
    {"badsum", FaultKind::BadSum, KindName::NoValue, 0, 0, 0, "",
     "the reply's checksum byte complemented"},
    {"badcmd", FaultKind::BadCmd, KindName::NoValue, 0, 0, 0, "",
     "the reply's command byte one higher (its checksum fits the change)"},
    {"short", FaultKind::Short, KindName::OptionalValue, 1, 1, 255, "N",
     "the reply without its last N bytes (default 1)"},
    {"split", FaultKind::Split, KindName::OptionalValue, 10, 0, kMaxMs, "MS",
     "the reply in two pieces (first half, then the rest MS ms later;\ndefault 10)"},
    {"extra", FaultKind::Extra, KindName::OptionalValue, 1, 1, 255, "N",
     "N bytes 0xAA after the reply (default 1)"},
    {"late", FaultKind::Late, KindName::RequiredValue, 0, 0, kMaxMs, "MS",
     "the reply MS ms later than normal"},
    {"silent", FaultKind::Silent, KindName::NoValue, 0, 0, 0, "",
     "no reply to this request nor to any later one"},
    {"hangup", FaultKind::HangUp, KindName::NoValue, 0, 0, 0, "",
     "drop the line when this request arrives, without replying: the\npseudo-terminal is "
     "closed, so the programmer's port sees a hang-up"},
};

std::string Kind_Names() {
    std::string names;
    for (const auto& k : kKinds) {
        names += (names.empty() ? "" : ", ") + std::string(k.name);
    }
    return names;
}

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

// "head" or "head<sep>tail", split at the first separator.
struct Parts {
    std::string_view head;
    std::string_view tail;
    bool split = false;
};

Parts Split_Once(std::string_view text, char sep) {
    const std::size_t at = text.find(sep);
    if (at == std::string_view::npos) {
        return {text, {}, false};
    }
    return {text.substr(0, at), text.substr(at + 1), true};
}

// KIND or KIND=VALUE.
bool Parse_Kind(const Parts& kindText, const std::string& quoted, Fault& fault,
                std::string& error) {
    const KindName* kind = Find_Kind(kindText.head);
    if (kind == nullptr) {
        error =
            quoted + "unknown kind \"" + std::string(kindText.head) + "\" (" + Kind_Names() + ")";
        return false;
    }
    fault.kind = kind->kind;
    fault.value = kind->defaultValue;
    if (kindText.split) {
        if (kind->value == KindName::NoValue) {
            error = quoted + std::string(kind->name) + " takes no value";
            return false;
        }
        if (!Parse_Int(kindText.tail, kind->minValue, kind->maxValue, fault.value)) {
            error = quoted + std::string(kind->name) + " needs a whole number from " +
                    Range_Text(kind->minValue, kind->maxValue);
            return false;
        }
    } else if (kind->value == KindName::RequiredValue) {
        error = quoted + std::string(kind->name) + " needs a value, e.g. " +
                std::string(kind->name) + "=3500";
        return false;
    }
    return true;
}

// The WHERE list, one item at a time. Each of its parts may be given once only.
class PlaceReader {
  public:
    PlaceReader(const std::string& quoted, FaultPlace& where, std::string& error)
        : quoted_(quoted), where_(where), error_(error) {}

    bool Read(std::string_view text) {
        const Parts item = Split_Once(text, '=');
        if (item.head == "packet" || item.head == "detect" || item.head == "block" ||
            item.head == "reset") {
            return Target(item);
        }
        if (item.head == "attempt") {
            return Once(item, attemptGiven_, 1000000, "attempt=2", where_.attempt);
        }
        if (item.head == "times") {
            return Once(item, timesGiven_, 1000000000, "times=1", where_.times);
        }
        return Fail("unknown place \"" + std::string(text) +
                    "\" (packet=N, detect[=K], block[=B], reset[=K], attempt=K, times=N)");
    }

    // What only the whole list tells.
    bool Finish() {
        if (attemptGiven_ && where_.kind != FaultPlace::Kind::Detect &&
            where_.kind != FaultPlace::Kind::Block && where_.kind != FaultPlace::Kind::Reset) {
            return Fail("attempt needs detect, block or reset");
        }
        return true;
    }

  private:
    bool Fail(const std::string& why) {
        error_ = quoted_ + why;
        return false;
    }

    bool Number(const Parts& item, int lo, int hi, int& out) {
        if (!Parse_Int(item.tail, lo, hi, out)) {
            return Fail(std::string(item.head) + " needs a whole number from " +
                        Range_Text(lo, hi));
        }
        return true;
    }

    // packet=N, detect[=K], block[=B] or reset[=K]: which requests.
    bool Target(const Parts& item) {
        if (placed_) {
            return Fail("only one of packet, detect, block, reset may be given");
        }
        placed_ = true;
        if (item.head == "packet") {
            where_.kind = FaultPlace::Kind::Packet;
            if (!item.split) {
                return Fail("packet needs a number, e.g. packet=101");
            }
            return Number(item, 1, 1000000000, where_.packet);
        }
        if (item.head == "block") {
            where_.kind = FaultPlace::Kind::Block;
            return !item.split || Number(item, 0, kBlocks - 1, where_.block);
        }
        where_.kind = item.head == "detect" ? FaultPlace::Kind::Detect : FaultPlace::Kind::Reset;
        if (!item.split) {
            return true;
        }
        if (attemptGiven_) {
            return Fail("attempt given twice");
        }
        attemptGiven_ = true;
        return Number(item, 1, 1000000, where_.attempt);
    }

    // attempt=K or times=N.
    bool Once(const Parts& item, bool& given, int hi, const char* example, int& out) {
        if (given) {
            return Fail(std::string(item.head) + " given twice");
        }
        given = true;
        if (!item.split) {
            return Fail(std::string(item.head) + " needs a number, e.g. " + example);
        }
        return Number(item, 1, hi, out);
    }

    const std::string& quoted_;
    FaultPlace& where_;
    std::string& error_;
    bool placed_ = false;
    bool attemptGiven_ = false;
    bool timesGiven_ = false;
};

}  // namespace

lcdprog::platform::Result<Fault> Parse_Fault(std::string_view text) {
    const std::string quoted = "fault \"" + std::string(text) + "\": ";
    const Parts kindAndPlace = Split_Once(text, ':');
    Fault fault;
    std::string error;
    const auto refused = [&error] {
        return lcdprog::platform::Refusal{lcdprog::platform::RefusalKind::Invalid, error};
    };
    if (!Parse_Kind(Split_Once(kindAndPlace.head, '='), quoted, fault, error)) {
        return refused();
    }
    if (!kindAndPlace.split) {
        return fault;
    }
    if (kindAndPlace.tail.empty()) {
        error = quoted + "nothing after ':'";
        return refused();
    }
    PlaceReader place(quoted, fault.where, error);
    for (std::string_view item : Split(kindAndPlace.tail, ',')) {
        if (!place.Read(item)) {
            return refused();
        }
    }
    if (!place.Finish()) {
        return refused();
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

void Add_Help_Entry(std::string& help, std::string_view lead, std::string_view name,
                    std::string_view text) {
    constexpr std::size_t kTextColumn = 23;
    std::string entry = std::string(lead) + std::string(name);
    entry.resize(std::max(kTextColumn, entry.size() + 1), ' ');
    for (const char c : text) {
        entry += c;
        if (c == '\n') {
            entry.append(kTextColumn, ' ');
        }
    }
    help += entry + '\n';
}

std::string Fault_Help() {
    std::string help;
    for (const auto& k : kKinds) {
        std::string name(k.name);
        if (k.value != KindName::NoValue) {
            name.append(k.value == KindName::OptionalValue ? "[=" : "=").append(k.valueName);
            name.append(k.value == KindName::OptionalValue ? "]" : "");
        }
        Add_Help_Entry(help, &k == kKinds ? "    KIND  " : "          ", name, k.help);
    }
    help += R"(    WHERE (comma-separated; none means every request)
          packet=N     the Nth complete packet received since start (1-based; every packet
                       counts, in every connection)
          detect[=K]   detection requests; with K only the Kth attempt
          block[=B]    writes of block B (address B x 128, B 0..511); every block if no B
          reset[=K]    reset requests; with K only the Kth attempt
          attempt=K    with detect, block or reset: only the Kth attempt
          times=N      fire at most N times in all
    Attempts count consecutive requests for the same thing: the same detection, the same
    write address or the same reset; any other valid request in between starts again at 1.
)";
    return help;
}

}  // namespace lcdsim
