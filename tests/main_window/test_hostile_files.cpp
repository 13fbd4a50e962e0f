// Hostile picture files, tried the way an operator reaches them: through the real selection and
// through the real compile (Compile_Image reading every slot from disk). Each must end at once
// with the message the operator is shown, and leave the slots, boxes and memory image as a
// refusal leaves them.

#include <sys/stat.h>

#include "compiler/mod_Compilatore.h"
#include "main_window/disk_window.h"

namespace lcdprog::test {
namespace {

class HostileFiles : public OnDisk {};

std::string With_Le32(std::string bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// Every size field of the header at its most hostile except width and height.
std::string Other_Fields_Hostile(std::string bytes) {
    for (std::size_t at : {2u, 10u, 14u, 30u, 34u, 38u, 42u, 46u, 50u}) {
        bytes = With_Le32(bytes, at, 0xFFFFFFFFu);
    }
    return bytes;
}

const std::string kGood128x64 = Make_Picture({128, 64, 1, false, "BM", 0x3C});
const std::string kGood240x64 = Make_Picture({240, 64, 1, false, "BM", 0xC3});
const std::string kWhite240 = White_File(kWhite240x64);
const char* const kNotUtf8 = "\xff\xfe.bmp";

void Make_Folder(const std::string& path) {
    ::mkdir(path.c_str(), 0755);
}
void Make_Fifo(const std::string& path) {
    ::mkfifo(path.c_str(), 0644);
}
void Link_To_Zero(const std::string& path) {
    [[maybe_unused]] const int r = ::symlink("/dev/zero", path.c_str());
}
void Link_Loop(const std::string& path) {  // x.bmp -> y.bmp -> x.bmp
    const std::string other = path.substr(0, path.rfind('/') + 1) + "y.bmp";
    [[maybe_unused]] int r = ::symlink(path.c_str(), other.c_str());
    r = ::symlink(other.c_str(), path.c_str());
}
Maker Locked(std::string bytes) {
    return [bytes](const std::string& path) {
        Write(path, bytes);
        ::chmod(path.c_str(), 0);
    };
}
Maker Cut_To(off_t length) {
    return [length](const std::string& path) {
        [[maybe_unused]] const int r = ::truncate(path.c_str(), length);
    };
}
Maker Padded(const std::string& bytes, std::size_t length, bool atEnd) {
    const std::string pad(length - bytes.size(), '\0');
    return File_With(atEnd ? bytes + pad : pad + bytes);
}

// Every refusal is the one "Selezionata immagine non valida" box: the header test reads what a
// short, missing or special file lacks as zeros, and a file that passes it but does not load as
// a picture is refused the same way.
TEST_F(HostileFiles, SelectionRefusesEachWithOneMessageAndChangesNothing) {
    const struct {
        const char* name;
        Maker make;
        bool taken;
        const char* fileName = "x.bmp";
        bool asNobody = false;
    } cases[] = {
        {"empty file", File_With(""), false},
        {"1 byte", File_With("B"), false},
        // The four tested fields are there and right; the last palette byte is missing.
        {"61 bytes", File_With(kGood128x64.substr(0, 61)), false},
        {"62 bytes: a whole header, no pixels", File_With(kGood128x64.substr(0, 62)), false},
        {"width 0xFFFFFFFF", File_With(With_Le32(kGood128x64, 18, 0xFFFFFFFFu)), false},
        {"height 0x80000000", File_With(With_Le32(kGood128x64, 22, 0x80000000u)), false},
        {"width 0x80000080", File_With(With_Le32(kGood128x64, 18, 0x80000080u)), false},
        {"planes and bit count 0xFFFF", File_With(With_Le32(kGood128x64, 26, 0xFFFFFFFFu)), false},
        // The header test passes; the picture load does not.
        {"other size fields 0xFFFFFFFF", File_With(Other_Fields_Hostile(kGood128x64)), false},
        {"40,000 bytes with a good header", Padded(kGood128x64, 40000, true), false},
        {"a folder named x.bmp", Make_Folder, false},
        {"a FIFO named x.bmp", Make_Fifo, false},
        {"x.bmp -> /dev/zero", Link_To_Zero, false},
        {"x.bmp -> y.bmp -> x.bmp", Link_Loop, false},
        {"chmod 000", Locked(kGood128x64), false, "x.bmp", true},
        {"a good picture named 0xFF 0xFE .bmp", File_With(kGood128x64), true, kNotUtf8},
        // Qt's own dialog hands back two U+FFFD for the bytes 0xFF 0xFE: a name no file bears.
        {"0xFF 0xFE .bmp as Qt's dialog names it",
         [](const std::string& path) {
             Write(path.substr(0, path.rfind('/') + 1) + kNotUtf8, kGood128x64);
         },
         false, "\xef\xbf\xbd\xef\xbf\xbd.bmp"},
        // The largest file the compiler takes is still taken here.
        {"32,767 bytes with a good header", Padded(kGood128x64, 32767, true), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Case_Path(c.fileName);
        c.make(path);
        Select(c.name, 1, 1, path, c.taken ? kTaken : kRefused, c.asNobody);
    }
}

// The failing slot is 64240B slot 2. A compile that fails has rewritten the regions of the ten
// slots before it and left the rest of the image, that slot's region included, as it was.
TEST_F(HostileFiles, CompileStopsAtTheFileWithOneMessageAndLeavesTheRestOfTheImage) {
    constexpr std::size_t kBase = 8192 + 2 * 1920;
    constexpr std::size_t kRegion = 1920;
    constexpr std::size_t kPicturesEnd = 15872 + 4 * 3840;
    ASSERT_TRUE(h->window->Form_Load());
    ASSERT_TRUE(Compile_Image({files, h->messages}));
    const auto reference = MemoryImage;
    const ImageSlot white = Images_64240B[2];

    const Maker good = File_With(kGood240x64);
    const Maker remove = [](const std::string& path) { ::unlink(path.c_str()); };
    const std::string tooShort = "Il file x.bmp è vuoto o troppo corto per contenere un'immagine.";
    const std::string tooLong = "Il file x.bmp supera i 32767 byte.";
    const std::string notFound = "File x.bmp non trovato.";
    const std::string notRegular = "Il file x.bmp non è un file regolare.";
    const struct {
        const char* name;
        Maker make;            // what lies at the path (before the selection, when there is one)
        Maker afterSelection;  // null: the slot is set directly, as the selection would never
        std::string error;     // the one message's first line; "" for none and a compile
        const char* fileName = "x.bmp";
        bool regionAsWhite = false;  // the compiled region holds the white picture's bytes
        bool asNobody = false;
    } cases[] = {
        {"empty file", File_With(""), nullptr, tooShort},
        {"1 byte", File_With("B"), nullptr, tooShort},
        {"61 bytes", File_With(kWhite240.substr(0, 61)), nullptr, tooShort},
        {"62 bytes", File_With(kWhite240.substr(0, 62)), nullptr, tooShort},
        // The compiler takes the rows from the end of the file and never reads the header.
        {"huge and negative sizes",
         File_With(With_Le32(With_Le32(Other_Fields_Hostile(kWhite240), 18, 0xFFFFFFFFu), 22,
                             0x80000000u)),
         nullptr, "", "x.bmp", true},
        {"40,000 bytes", Padded(kWhite240, 40000, false), nullptr, tooLong},
        // FileExists is false for a folder, as for any name that no file bears.
        {"a folder named x.bmp", Make_Folder, nullptr, notFound},
        {"a FIFO named x.bmp", Make_Fifo, nullptr, notRegular},
        {"x.bmp -> /dev/zero", Link_To_Zero, nullptr, notRegular},
        {"x.bmp -> y.bmp -> x.bmp", Link_Loop, nullptr, notFound},
        {"chmod 000", Locked(kWhite240), nullptr,
         "Impossibile leggere il file x.bmp.\r\nAccesso negato.", "x.bmp", false, true},
        {"a good picture named 0xFF 0xFE .bmp", good, nullptr, "", kNotUtf8},
        {"0xFF 0xFE .bmp deleted after the selection", good, remove,
         "File \xff\xfe.bmp non trovato.", kNotUtf8},
        {"deleted after the selection", good, remove, notFound},
        {"emptied after the selection", good, Cut_To(0), tooShort},
        {"cut to 62 bytes after the selection", good, Cut_To(62), tooShort},
        // Cut inside its rows it is read from its end like any short file: no message.
        {"cut to 1000 bytes after the selection", good, Cut_To(1000), ""},
        {"grown past 32767 bytes after the selection", good,
         [](const std::string& path) {
             std::ofstream(path, std::ios::binary | std::ios::app) << std::string(40000, 'z');
         },
         tooLong},
        {"replaced by a FIFO after the selection", good,
         [](const std::string& path) {
             ::unlink(path.c_str());
             Make_Fifo(path);
         },
         notRegular},
        // Picked as Logo.BMP, stored as logo.bmp, still found by the compiler.
        {"Logo.BMP after the selection", good, [](auto&) {}, "", "Logo.BMP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Images_64240B[2] = white;
        const std::string path = Case_Path(c.fileName);
        c.make(path);
        if (c.afterSelection) {
            Select(c.name, 2, 2, path, kTaken);
            c.afterSelection(path);
        } else {
            Images_64240B[2].FullPath = path;
            Images_64240B[2].FileName = files.GetFileName(path);
        }
        h->messages.shown.clear();
        MemoryImage.fill(0x5A);
        bool compiled = false;
        {
            const Guard guard(c.name, c.asNobody);
            compiled = Compile_Image({files, h->messages});
        }
        const ShownMessage error{c.error + "\r\nImpossibile continuare!!", "ERROR",
                                 platform::MessageIcon::Critical};
        EXPECT_EQ(h->messages.shown, c.error.empty() ? kTaken : std::vector{error});
        EXPECT_EQ(compiled, c.error.empty());
        for (std::size_t a = 0; a < kMemoryImageSize; ++a) {
            // A compile writes the 16 picture regions and the 25 glyph bytes, nothing else.
            const bool written = a < kPicturesEnd || (a >= 0x8000 && a < 0x8019);
            if (compiled && !c.regionAsWhite && a >= kBase && a < kBase + kRegion) {
                continue;  // that file's own picture
            }
            const std::uint8_t expected = written && (compiled || a < kBase) ? reference[a] : 0x5A;
            EXPECT_EQ(MemoryImage[a], expected) << "address " << a;
            if (MemoryImage[a] != expected) {
                break;
            }
        }
    }
}

}  // namespace
}  // namespace lcdprog::test
