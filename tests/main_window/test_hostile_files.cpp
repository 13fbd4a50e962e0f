// Hostile picture files, tried the way an operator reaches them: through the real selection
// (right button on a picture box, the dialog's answer, the header test and the picture load) and
// through the real compile (Compile_Image reading every slot from disk), both on the real POSIX
// file service. Every case must end at once with the message the operator is shown, and with the
// slots, the boxes and the memory image as a refusal leaves them.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "compiler/mod_Compilatore.h"
#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"

namespace lcdprog::test {
namespace {

using platform::MessageIcon;

const ShownMessage kInvalidMessage{"Selezionata immagine non valida", "ERROR",
                                   MessageIcon::Critical};

ShownMessage Compile_Error(const std::string& text) {
    return {text + "\r\nImpossibile continuare!!", "ERROR", MessageIcon::Critical};
}

// Each case must be over well within this; the 128 x 64 or 240 x 64 pictures involved take
// about a millisecond to check, load or compile.
constexpr double kCaseMillisecondsLimit = 500;
// A case that blocks (in open() on a FIFO, say) would hang the whole run; after this long the
// alarm ends the program instead, naming the case.
constexpr unsigned kWatchdogSeconds = 5;
constexpr uid_t kNobody = 65534;

char blockedCase[256];
std::size_t blockedCaseLength = 0;

extern "C" void On_Watchdog(int) {
    static const char prefix[] = "\nhostile file case blocked: ";
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
    n = ::write(STDERR_FILENO, blockedCase, blockedCaseLength);
    ::_exit(3);
}

class Watchdog {
  public:
    explicit Watchdog(const char* name) {
        blockedCaseLength =
            static_cast<std::size_t>(std::snprintf(blockedCase, sizeof blockedCase, "%s\n", name));
        blockedCaseLength = std::min(blockedCaseLength, sizeof blockedCase - 1);
        struct sigaction action {};
        action.sa_handler = On_Watchdog;
        ::sigaction(SIGALRM, &action, nullptr);
        ::alarm(kWatchdogSeconds);
    }
    ~Watchdog() { ::alarm(0); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
};

double Milliseconds_Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// What one case ended with.
struct Outcome {
    std::vector<ShownMessage> messages;
    bool result = false;     // selection: the slot took the file; compile: Compile_Image's result
    bool stateKept = false;  // everything that had to stay as it was did
    std::string detail;      // what differed, when something did
    double milliseconds = 0;
};

// The outcome as bytes, so that a forked child can hand it back through a pipe.
void Put(std::string& out, const std::string& s) {
    const std::uint32_t n = static_cast<std::uint32_t>(s.size());
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
    out += s;
}

bool Take(const std::string& in, std::size_t& at, std::string& s) {
    std::uint32_t n = 0;
    if (at + sizeof n > in.size()) {
        return false;
    }
    std::memcpy(&n, in.data() + at, sizeof n);
    at += sizeof n;
    if (at + n > in.size()) {
        return false;
    }
    s = in.substr(at, n);
    at += n;
    return true;
}

std::string Serialise(const Outcome& o) {
    std::string out;
    Put(out, std::to_string(o.messages.size()));
    for (const ShownMessage& m : o.messages) {
        Put(out, m.text);
        Put(out, m.title);
        Put(out, m.icon == MessageIcon::Critical ? "C" : "E");
    }
    Put(out, o.result ? "1" : "0");
    Put(out, o.stateKept ? "1" : "0");
    Put(out, o.detail);
    Put(out, std::to_string(o.milliseconds));
    return out;
}

bool Deserialise(const std::string& in, Outcome& o) {
    std::size_t at = 0;
    std::string s;
    if (!Take(in, at, s)) {
        return false;
    }
    const unsigned long count = std::stoul(s);
    for (unsigned long i = 0; i < count; ++i) {
        ShownMessage m;
        std::string icon;
        if (!Take(in, at, m.text) || !Take(in, at, m.title) || !Take(in, at, icon)) {
            return false;
        }
        m.icon = icon == "C" ? MessageIcon::Critical : MessageIcon::Exclamation;
        o.messages.push_back(m);
    }
    std::string result, kept, ms;
    if (!Take(in, at, result) || !Take(in, at, kept) || !Take(in, at, o.detail) ||
        !Take(in, at, ms)) {
        return false;
    }
    o.result = result == "1";
    o.stateKept = kept == "1";
    o.milliseconds = std::stod(ms);
    return at == in.size();
}

// chmod 000 keeps out everybody but root, and the tests run as root in CI. So as root the
// case runs in a forked child that has first given up root for "nobody" (uid and gid 65534) and
// hands its outcome back through a pipe; as any other user it runs in place. The child runs no
// assertion of its own: everything it saw comes back in the Outcome.
Outcome Run_Unprivileged(const std::function<Outcome()>& run) {
    if (::geteuid() != 0) {
        return run();
    }
    Outcome failed;
    int fds[2];
    if (::pipe(fds) != 0) {
        failed.detail = "pipe() failed";
        return failed;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        failed.detail = "fork() failed";
        return failed;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(4);
        }
        const std::string bytes = Serialise(run());
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fds[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                ::_exit(5);
            }
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);  // no destructors, no test teardown: the parent owns those
    }
    ::close(fds[1]);
    std::string in;
    const auto start = std::chrono::steady_clock::now();
    bool timedOut = false;
    for (;;) {
        const double left = kWatchdogSeconds * 2000.0 - Milliseconds_Since(start);
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        in.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (timedOut) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome out;
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !Deserialise(in, out)) {
        failed.detail = "the unprivileged child failed (status " + std::to_string(status) + ")";
        return failed;
    }
    return out;
}

// The real file service, with the program folder moved to the test's folder so that start-up
// reads its white backgrounds from disk like everything else.
class DiskFiles final : public platform::FileService {
  public:
    bool FileExists(const std::string& path) const override { return disk.FileExists(path); }
    std::string GetFileName(const std::string& path) const override {
        return disk.GetFileName(path);
    }
    platform::FileContents Read(const std::string& path, std::size_t limit) const override {
        return disk.Read(path, limit);
    }
    std::string ProgramFolder() const override { return folder; }

    platform::PosixFileService disk;
    std::string folder;
};

std::string With_Le32(std::string bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string With_Le16(std::string bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
    return bytes;
}

// Every size field of the header at its most hostile except width and height: file size,
// pixel offset, information header size, compression, image size, resolutions and colour
// counts all 0xFFFFFFFF.
std::string Other_Fields_Hostile(std::string bytes) {
    for (std::size_t at : {2u, 10u, 14u, 30u, 34u, 38u, 42u, 46u, 50u}) {
        bytes = With_Le32(bytes, at, 0xFFFFFFFFu);
    }
    return bytes;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A picture the selection takes for every box of its panel type.
const std::string kGood128x64 = Make_Picture({128, 64, 1, false, "BM", 0x3C});
const std::string kGood240x64 = Make_Picture({240, 64, 1, false, "BM", 0xC3});

using Maker = std::function<void(const std::string& path)>;

Maker File_With(std::string bytes) {
    return [bytes](const std::string& path) { Write(path, bytes); };
}
void Make_Folder(const std::string& path) {
    ::mkdir(path.c_str(), 0755);
}
void Make_Fifo(const std::string& path) {
    ::mkfifo(path.c_str(), 0644);
}
void Make_Device_Link(const std::string& path) {
    [[maybe_unused]] const int r = ::symlink("/dev/zero", path.c_str());
}
void Make_Link_Loop(const std::string& path) {
    // x.bmp -> y.bmp -> x.bmp
    const std::string other = path.substr(0, path.rfind('/') + 1) + "y.bmp";
    [[maybe_unused]] int r = ::symlink(path.c_str(), other.c_str());
    r = ::symlink(other.c_str(), path.c_str());
}
Maker Locked_File(std::string bytes) {
    return [bytes](const std::string& path) {
        Write(path, bytes);
        ::chmod(path.c_str(), 0);
    };
}

const char* const kNotUtf8 = "\xff\xfe.bmp";

class HostileFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lcdprog_hostile_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        // Open to everybody: the unreadable case runs as "nobody" and must reach its file.
        ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            Write(dir + "/" + name, White_File(name));
        }
        files.folder = dir;
        h = std::make_unique<MainWindowHarness>(files);
        ASSERT_TRUE(h->window->Form_Load());
        ASSERT_TRUE(h->messages.shown.empty());
    }
    void TearDown() override {
        h.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // A folder of its own for every case, so that the hostile entry can always be x.bmp.
    std::string Case_Folder(int index) {
        const std::string folder = dir + "/case" + std::to_string(index);
        ::mkdir(folder.c_str(), 0755);
        return folder;
    }

    std::array<QImage, 16> Boxes() const {
        std::array<QImage, 16> out;
        int k = 0;
        for (const char* type : {"64128A", "64128E", "64240B", "128240A"}) {
            for (int i = 0; i < kSlotsPerPanel; ++i) {
                out[static_cast<std::size_t>(k++)] = Shown(h->Box(
                    QStringLiteral("pct_Image_%1_%2").arg(QString::fromLatin1(type)).arg(i)));
            }
        }
        return out;
    }
    static std::array<ImageSlots, 4> Slots() {
        return {Images_64128A, Images_64128E, Images_64240B, Images_128240A};
    }

    // A right-button press on `boxName` (slot `index` of `slotArray` in Slots()), the dialog
    // answering `path`.
    Outcome Select(const char* caseName, const char* boxName, int slotArray, int index,
                   const std::string& path) {
        h->messages.shown.clear();
        h->dialog.answer = path;
        const auto slotsBefore = Slots();
        const auto boxesBefore = Boxes();
        QLabel* box = h->Box(QString::fromLatin1(boxName));
        Outcome out;
        {
            const Watchdog watchdog(caseName);
            const auto start = std::chrono::steady_clock::now();
            QTest::mousePress(box, Qt::RightButton);
            out.milliseconds = Milliseconds_Since(start);
        }
        out.messages = h->messages.shown;
        const auto slotsAfter = Slots();
        const auto boxesAfter = Boxes();
        const std::size_t pressed = static_cast<std::size_t>(slotArray * kSlotsPerPanel + index);
        const ImageSlot& slot = slotsAfter[slotArray][static_cast<std::size_t>(index)];
        const ImageSlot& was = slotsBefore[slotArray][static_cast<std::size_t>(index)];
        const bool slotChanged = slot.FullPath != was.FullPath || slot.FileName != was.FileName;
        const bool boxChanged = boxesAfter[pressed] != boxesBefore[pressed];
        out.result = slotChanged && boxChanged;
        out.stateKept = true;
        for (std::size_t a = 0; a < 4; ++a) {
            for (std::size_t i = 0; i < kSlotsPerPanel; ++i) {
                const std::size_t k = a * kSlotsPerPanel + i;
                const ImageSlot& s = slotsAfter[a][i];
                const ImageSlot& b = slotsBefore[a][i];
                const bool same = s.FullPath == b.FullPath && s.FileName == b.FileName &&
                                  s.Width == b.Width && s.Height == b.Height &&
                                  s.BitDepth == b.BitDepth && boxesAfter[k] == boxesBefore[k];
                if (!same && k != pressed) {
                    out.stateKept = false;
                    out.detail += "slot or box " + std::to_string(k) + " changed; ";
                }
            }
        }
        if (out.result) {
            // Taken: the slot holds the lower-cased path and its last component, nothing else.
            if (slot.FullPath != platform::Lower_Case_Path(path) ||
                slot.FileName != files.GetFileName(slot.FullPath) || slot.BitDepth != 1 ||
                slot.Width != was.Width || slot.Height != was.Height) {
                out.stateKept = false;
                out.detail += "the slot was filled wrongly; ";
            }
        } else if (slotChanged || boxChanged) {
            out.stateKept = false;
            out.detail += "the slot and the box did not change together; ";
        }
        return out;
    }

    DiskFiles files;
    std::string dir;
    std::unique_ptr<MainWindowHarness> h;
};

struct SelectionCase {
    const char* name;
    const char* fileName;
    Maker make;
    bool unprivileged;  // chmod 000 only keeps out a user who is not root
    bool accepted;
    std::vector<ShownMessage> messages;
};

// Every refusal is the one "Selezionata immagine non valida" box: the header test reads what a
// short, missing or special file lacks as zeros, and a file that passes it but does not load as a
// picture (too short, longer than the compiler takes, not a regular file) is refused the same
// way. Only a well-formed picture is taken, whatever bytes its name is made of.
TEST_F(HostileFiles, SelectionRefusesEachWithOneMessageAndChangesNothing) {
    const SelectionCase cases[] = {
        {"empty file", "x.bmp", File_With(""), false, false, {kInvalidMessage}},
        {"1 byte", "x.bmp", File_With("B"), false, false, {kInvalidMessage}},
        // The four tested fields are all there and right; the last palette byte is missing.
        {"61 bytes",
         "x.bmp",
         File_With(kGood128x64.substr(0, 61)),
         false,
         false,
         {kInvalidMessage}},
        {"62 bytes: a whole header, no pixels",
         "x.bmp",
         File_With(kGood128x64.substr(0, 62)),
         false,
         false,
         {kInvalidMessage}},
        {"width 0xFFFFFFFF",
         "x.bmp",
         File_With(With_Le32(kGood128x64, 18, 0xFFFFFFFFu)),
         false,
         false,
         {kInvalidMessage}},
        {"height 0x80000000",
         "x.bmp",
         File_With(With_Le32(kGood128x64, 22, 0x80000000u)),
         false,
         false,
         {kInvalidMessage}},
        {"width 0x80000080 (128 in the low 16 bits)",
         "x.bmp",
         File_With(With_Le32(kGood128x64, 18, 0x80000080u)),
         false,
         false,
         {kInvalidMessage}},
        {"planes and bit count 0xFFFF",
         "x.bmp",
         File_With(With_Le16(With_Le16(kGood128x64, 26, 0xFFFF), 28, 0xFFFF)),
         false,
         false,
         {kInvalidMessage}},
        // The header test passes; the picture load does not.
        {"128 x 64 with every other size field 0xFFFFFFFF",
         "x.bmp",
         File_With(Other_Fields_Hostile(kGood128x64)),
         false,
         false,
         {kInvalidMessage}},
        {"40,000 bytes with a good header",
         "x.bmp",
         File_With(kGood128x64 + std::string(40000 - kGood128x64.size(), '\0')),
         false,
         false,
         {kInvalidMessage}},
        {"a folder named x.bmp", "x.bmp", Make_Folder, false, false, {kInvalidMessage}},
        {"a FIFO named x.bmp", "x.bmp", Make_Fifo, false, false, {kInvalidMessage}},
        {"x.bmp -> /dev/zero", "x.bmp", Make_Device_Link, false, false, {kInvalidMessage}},
        {"x.bmp -> y.bmp -> x.bmp", "x.bmp", Make_Link_Loop, false, false, {kInvalidMessage}},
        {"chmod 000", "x.bmp", Locked_File(kGood128x64), true, false, {kInvalidMessage}},
        {"a good picture named 0xFF 0xFE .bmp", kNotUtf8, File_With(kGood128x64), false, true, {}},
        // Qt's own file dialog decodes names as UTF-8 and hands back two U+FFFD for the bytes
        // 0xFF 0xFE: a name no file bears, so through the real dialog the same picture is
        // refused like any missing file.
        {"0xFF 0xFE .bmp as Qt's dialog names it",
         "\xef\xbf\xbd\xef\xbf\xbd.bmp",
         [](const std::string& path) {
             Write(path.substr(0, path.rfind('/') + 1) + kNotUtf8, kGood128x64);
         },
         false,
         false,
         {kInvalidMessage}},
        // The largest file the compiler takes is still taken here.
        {"32,767 bytes with a good header",
         "x.bmp",
         File_With(kGood128x64 + std::string(32767 - kGood128x64.size(), '\0')),
         false,
         true,
         {}},
    };
    double slowest = 0;
    int index = 0;
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Case_Folder(index++) + "/" + c.fileName;
        c.make(path);
        const auto run = [&] { return Select(c.name, "pct_Image_64128E_1", 1, 1, path); };
        const Outcome out = c.unprivileged ? Run_Unprivileged(run) : run();
        EXPECT_EQ(out.messages, c.messages);
        EXPECT_EQ(out.result, c.accepted);
        EXPECT_TRUE(out.stateKept) << out.detail;
        EXPECT_LT(out.milliseconds, kCaseMillisecondsLimit);
        slowest = std::max(slowest, out.milliseconds);
        EXPECT_FALSE(SaveDialogMode);
        if (c.accepted) {
            // Back to the white picture, so the next case starts from the same boxes.
            ASSERT_TRUE(h->window->Form_Load());
        }
    }
    RecordProperty("slowest_case_ms", std::to_string(slowest));
}

struct CompileCase {
    const char* name;
    const char* fileName;
    Maker make;            // what lies at the path (before the selection, when there is one)
    Maker afterSelection;  // null: the slot is set directly, as the selection would never
    bool unprivileged;
    bool compiles;
    std::vector<ShownMessage> messages;
    bool regionAsWhite;  // a compile that succeeds gives the white picture's bytes there
};

// The failing slot is 64240B slot 2. A compile that fails has rewritten the regions of the ten
// slots before it and left the rest of the image, that slot's region included, as it was.
TEST_F(HostileFiles, CompileStopsAtTheFileWithOneMessageAndLeavesTheRestOfTheImage) {
    constexpr std::size_t kBase = 8192 + 2 * 1920;
    constexpr std::size_t kRegion = 1920;
    constexpr std::size_t kPicturesEnd = 15872 + 4 * 3840;
    const platform::FileService& disk = files;
    ASSERT_TRUE(Compile_Image({files, h->messages}));
    const auto reference = MemoryImage;
    const ImageSlot white = Images_64240B[2];

    const std::string white240 = White_File(kWhite240x64);
    const auto truncate_to = [](off_t length) {
        return [length](const std::string& path) {
            [[maybe_unused]] const int r = ::truncate(path.c_str(), length);
        };
    };
    const auto remove_it = [](const std::string& path) { ::unlink(path.c_str()); };
    const std::string tooShort = "è vuoto o troppo corto per contenere un'immagine.";
    const CompileCase cases[] = {
        {"empty file",
         "x.bmp",
         File_With(""),
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp " + tooShort)},
         false},
        {"1 byte",
         "x.bmp",
         File_With("B"),
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp " + tooShort)},
         false},
        {"61 bytes",
         "x.bmp",
         File_With(white240.substr(0, 61)),
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp " + tooShort)},
         false},
        {"62 bytes",
         "x.bmp",
         File_With(white240.substr(0, 62)),
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp " + tooShort)},
         false},
        // The compiler takes the rows from the end of the file and never reads the header.
        {"width 0xFFFFFFFF, height 0x80000000, other sizes 0xFFFFFFFF",
         "x.bmp",
         File_With(With_Le32(With_Le32(Other_Fields_Hostile(white240), 18, 0xFFFFFFFFu), 22,
                             0x80000000u)),
         nullptr,
         false,
         true,
         {},
         true},
        {"40,000 bytes",
         "x.bmp",
         File_With(std::string(40000 - white240.size(), '\0') + white240),
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp supera i 32767 byte.")},
         false},
        // FileExists is false for a folder, as for any name that no file bears.
        {"a folder named x.bmp",
         "x.bmp",
         Make_Folder,
         nullptr,
         false,
         false,
         {Compile_Error("File x.bmp non trovato.")},
         false},
        {"a FIFO named x.bmp",
         "x.bmp",
         Make_Fifo,
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp non è un file regolare.")},
         false},
        {"x.bmp -> /dev/zero",
         "x.bmp",
         Make_Device_Link,
         nullptr,
         false,
         false,
         {Compile_Error("Il file x.bmp non è un file regolare.")},
         false},
        // A link that never arrives at a file: no file exists at that path.
        {"x.bmp -> y.bmp -> x.bmp",
         "x.bmp",
         Make_Link_Loop,
         nullptr,
         false,
         false,
         {Compile_Error("File x.bmp non trovato.")},
         false},
        {"chmod 000",
         "x.bmp",
         Locked_File(white240),
         nullptr,
         true,
         false,
         {Compile_Error("Impossibile leggere il file x.bmp.\r\nAccesso negato.")},
         false},
        {"a good picture named 0xFF 0xFE .bmp",
         kNotUtf8,
         File_With(kGood240x64),
         nullptr,
         false,
         true,
         {},
         false},
        {"0xFF 0xFE .bmp deleted after the selection",
         kNotUtf8,
         File_With(kGood240x64),
         remove_it,
         false,
         false,
         {Compile_Error("File \xff\xfe.bmp non trovato.")},
         false},
        {"deleted after the selection",
         "x.bmp",
         File_With(kGood240x64),
         remove_it,
         false,
         false,
         {Compile_Error("File x.bmp non trovato.")},
         false},
        {"emptied after the selection",
         "x.bmp",
         File_With(kGood240x64),
         truncate_to(0),
         false,
         false,
         {Compile_Error("Il file x.bmp " + tooShort)},
         false},
        {"cut to 62 bytes after the selection",
         "x.bmp",
         File_With(kGood240x64),
         truncate_to(62),
         false,
         false,
         {Compile_Error("Il file x.bmp " + tooShort)},
         false},
        // Cut inside its pixel rows it is read from its end like any short file: the rows it
        // still has land at the top, the rest stays 0 (as 0xFF in the image). No message.
        {"cut to 1000 bytes after the selection",
         "x.bmp",
         File_With(kGood240x64),
         truncate_to(1000),
         false,
         true,
         {},
         false},
        {"grown past 32767 bytes after the selection",
         "x.bmp",
         File_With(kGood240x64),
         [](const std::string& path) {
             std::ofstream(path, std::ios::binary | std::ios::app) << std::string(40000, 'z');
         },
         false,
         false,
         {Compile_Error("Il file x.bmp supera i 32767 byte.")},
         false},
        {"replaced by a FIFO after the selection",
         "x.bmp",
         File_With(kGood240x64),
         [](const std::string& path) {
             ::unlink(path.c_str());
             ::mkfifo(path.c_str(), 0644);
         },
         false,
         false,
         {Compile_Error("Il file x.bmp non è un file regolare.")},
         false},
    };
    double slowest = 0;
    int index = 0;
    for (const CompileCase& c : cases) {
        SCOPED_TRACE(c.name);
        Images_64240B[2] = white;
        const std::string path = Case_Folder(index++) + "/" + c.fileName;
        c.make(path);
        if (c.afterSelection) {
            h->messages.shown.clear();
            h->dialog.answer = path;
            QTest::mousePress(h->Box("pct_Image_64240B_2"), Qt::RightButton);
            ASSERT_TRUE(h->messages.shown.empty());
            ASSERT_EQ(Images_64240B[2].FullPath, platform::Lower_Case_Path(path));
            c.afterSelection(path);
        } else {
            ImageSlot& slot = Images_64240B[2];
            slot.FullPath = path;
            slot.FileName = disk.GetFileName(path);
        }

        const auto run = [&] {
            h->messages.shown.clear();
            MemoryImage.fill(0x5A);
            Outcome out;
            {
                const Watchdog watchdog(c.name);
                const auto start = std::chrono::steady_clock::now();
                out.result = Compile_Image({files, h->messages});
                out.milliseconds = Milliseconds_Since(start);
            }
            out.messages = h->messages.shown;
            out.stateKept = true;
            for (std::size_t a = 0; a < kMemoryImageSize; ++a) {
                const bool inRegion = a >= kBase && a < kBase + kRegion;
                // A compile writes the 16 picture regions and the 25 glyph bytes, nothing else.
                const bool written = a < kPicturesEnd || (a >= 0x8000 && a < 0x8019);
                std::uint8_t expected = reference[a];
                if (!written || (!out.result && a >= kBase)) {
                    expected = 0x5A;  // the failing slot and everything after it
                } else if (out.result && inRegion && !c.regionAsWhite) {
                    continue;  // that file's own picture
                }
                if (MemoryImage[a] != expected) {
                    out.stateKept = false;
                    out.detail = "address " + std::to_string(a) + " holds " +
                                 std::to_string(MemoryImage[a]) + ", not " +
                                 std::to_string(expected);
                    break;
                }
            }
            return out;
        };
        const Outcome out = c.unprivileged ? Run_Unprivileged(run) : run();
        EXPECT_EQ(out.messages, c.messages);
        EXPECT_EQ(out.result, c.compiles);
        EXPECT_TRUE(out.stateKept) << out.detail;
        EXPECT_LT(out.milliseconds, kCaseMillisecondsLimit);
        slowest = std::max(slowest, out.milliseconds);
    }
    RecordProperty("slowest_case_ms", std::to_string(slowest));
}

}  // namespace
}  // namespace lcdprog::test
