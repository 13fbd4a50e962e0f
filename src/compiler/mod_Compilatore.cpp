#include "compiler/mod_Compilatore.h"

#include <algorithm>

#include "compiler/image_decoder.h"
#include "state/mod_variabili.h"

namespace lcdprog {

namespace {

const std::string kCrLf = "\r\n";
const std::string kErrorTitle = "ERROR";
const std::string kCannotContinue = "Impossibile continuare!!";

using platform::Refusal;
using platform::RefusalKind;

// The message box the operator sees, and the same text as the compile's refusal.
Refusal Refuse(const CompilerIo& io, RefusalKind kind, const std::string& text) {
    io.messages.Show(text, kErrorTitle, platform::MessageIcon::Critical);
    return {kind, text};
}

Refusal Refuse_File_Not_Found(const CompilerIo& io, const std::string& fileName) {
    return Refuse(io, RefusalKind::Missing,
                  "File " + fileName + " non trovato." + kCrLf + kCannotContinue);
}

// The slots always hold one of the three panel sizes. Anything else would not fit the working
// arrays (or, below 8 pixels, would have no stored bytes at all), so it is refused before a byte
// is touched instead of being read out of bounds.
bool Picture_Size_Fits(int width, int height) {
    if (width < 8 || height < 1 || height > kRasterMaxRows) {
        return false;
    }
    const int rowBytes = Stored_Row_Size(width);
    if (rowBytes < 1 || rowBytes > kRasterMaxRowBytes) {
        return false;
    }
    return width * height / 8 <= kPanelBytesMax;
}

// `panel` recreated all 0 with room for width x height / 8 bytes; false (and nothing in use)
// for a size the working arrays cannot hold.
bool Recreate_Panel_Bytes(PanelBytesArray& panel, int width, int height) {
    panel.bytes.fill(0);
    if (!Picture_Size_Fits(width, height)) {
        panel.size = 0;
        return false;
    }
    panel.size = width * height / 8;
    return true;
}

}  // namespace

int Stored_Row_Size(int width) {
    const int n = width / 8;
    if (n % 4 == 0) {
        return n;
    }
    return (width / 32) * 4 + 4;
}

platform::Result<> Load_Bitmap_Raster(const CompilerIo& io, BitmapRasterArray& raster,
                                      const std::string& path, const std::string& fileName,
                                      int width, int height) {
    if (!io.files.FileExists(path)) {
        return Refuse_File_Not_Found(io, fileName);
    }
    if (!Picture_Size_Fits(width, height)) {
        return Refuse(io, RefusalKind::Invalid,
                      "Il file " + fileName + " non può essere letto come immagine di " +
                          std::to_string(width) + " x " + std::to_string(height) + " pixel." +
                          kCrLf + kCannotContinue);
    }

    // One read covers every file the 16-bit positions can address, plus one byte, so that a
    // longer file is recognised from its length and not silently cut.
    const platform::FileContents file = io.files.Read(path, kPictureFileMaxLength + 1);

    // Our choice for a file that exists but is of no use (cannot be opened or read, is no
    // regular file, vanished after the existence check, or is longer than 32767 bytes): one
    // critical "ERROR" message naming the file, then false, so the compile stops as for a
    // missing file and a half-read picture is never sent. The raster keeps the previous
    // picture in every one of these cases.
    switch (file.status) {
        case platform::FileStatus::Ok:
            break;
        case platform::FileStatus::Missing:
            // Gone between the existence check and the read: it is, after all, not there.
            return Refuse_File_Not_Found(io, fileName);
        case platform::FileStatus::NotRegular:
            return Refuse(
                io, RefusalKind::NotRegular,
                "Il file " + fileName + " non è un file regolare." + kCrLf + kCannotContinue);
        case platform::FileStatus::Unreadable:
            return Refuse(io, RefusalKind::Unreadable,
                          "Impossibile leggere il file " + fileName + "." + kCrLf +
                              (file.error.empty() ? std::string() : file.error + kCrLf) +
                              kCannotContinue);
    }
    if (file.length > kPictureFileMaxLength) {
        return Refuse(io, RefusalKind::TooLarge,
                      "Il file " + fileName + " supera i 32767 byte." + kCrLf + kCannotContinue);
    }
    if (file.bytes.size() != file.length) {
        // The file changed size while it was read: what came in is not a whole picture file.
        return Refuse(io, RefusalKind::Unreadable,
                      "Impossibile leggere il file " + fileName + "." + kCrLf +
                          "Il file è cambiato durante la lettura." + kCrLf + kCannotContinue);
    }

    const int length = static_cast<int>(file.length);
    const int rowBytes = Stored_Row_Size(width);
    raster.bytes = {};
    raster.rows = height;
    raster.rowBytes = rowBytes;
    raster.fileLength = file.length;

    // The pixel rows are taken from the end of the file backwards, whatever the header says:
    // the last stored row is the picture's top row. Positions count from 1.
    int y = 0;
    int b = 0;
    for (int p = length; p >= kBitmapHeaderSize; --p) {
        raster.bytes[static_cast<std::size_t>(y)][static_cast<std::size_t>(b)] =
            static_cast<std::uint8_t>(file.bytes[static_cast<std::size_t>(p - 1)]);
        if (b < rowBytes - 1) {
            ++b;
        } else {
            b = 0;
            if (y == height - 1) {
                break;
            }
            ++y;
        }
    }

    // Walking backwards filled each row right to left; put it back in left-to-right order.
    for (int row = 0; row < height; ++row) {
        auto& bytes = raster.bytes[static_cast<std::size_t>(row)];
        std::reverse(bytes.begin(), bytes.begin() + rowBytes);
    }
    return platform::kDone;
}

void Build_Page_Bytes(const BitmapRasterArray& raster, PanelBytesArray& panel, int width,
                      int height) {
    if (!Recreate_Panel_Bytes(panel, width, height)) {
        return;
    }
    const int lastColumn = width / 8 - 1;
    const int count = (width / 8) * height;
    int mask = 0x80;
    int column = 0;
    int pageRow = 0;
    int bit = 1;
    for (int o = 0; o < count; ++o) {
        int v = 0;
        for (int k = 0; k < 8; ++k) {
            // pageRow never passes 120, so the row stays inside the raster's storage even for a
            // height that is not a multiple of 8 (the rows past the picture are 0 there).
            const int row = pageRow + k;
            if ((raster.bytes[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] &
                 mask) != 0) {
                v |= 1 << k;
            }
        }
        panel.bytes[static_cast<std::size_t>(o)] = static_cast<std::uint8_t>(v);
        ++bit;
        if (bit == 9) {
            bit = 1;
            mask = 0x80;
            if (column == lastColumn) {
                column = 0;
                pageRow += 8;
            } else {
                ++column;
            }
        } else {
            mask >>= 1;
        }
    }
}

void Build_Row_Bytes(const BitmapRasterArray& raster, PanelBytesArray& panel, int width,
                     int height) {
    if (!Recreate_Panel_Bytes(panel, width, height)) {
        return;
    }
    const int n = width / 8;
    for (int y = 0; y < height; ++y) {
        const auto& row = raster.bytes[static_cast<std::size_t>(y)];
        std::copy(row.begin(), row.begin() + n,
                  panel.bytes.begin() + static_cast<std::ptrdiff_t>(y) * n);
    }
}

void Store_Panel_Bytes(const PanelBytesArray& panel, MemoryImageBytes& image, int base) {
    for (int i = 0; i < panel.size; ++i) {
        const long address = static_cast<long>(base) + i;
        // Every region lies inside the image; an address outside it is simply not written.
        if (address < 0 || address >= static_cast<long>(kMemoryImageSize)) {
            continue;
        }
        image[static_cast<std::size_t>(address)] =
            static_cast<std::uint8_t>(~panel.bytes[static_cast<std::size_t>(i)]);
    }
}

platform::Result<MemoryImageBytes> Compile_Image(const CompilerIo& io, const ProgramState& state) {
    // The working arrays of this one compile: nothing of a compile outlives it but its image.
    BitmapRasterArray raster;
    PanelBytesArray panel;
    platform::Result<MemoryImageBytes> compiled{MemoryImageBytes{}};
    MemoryImageBytes& image = compiled.Value();
    // The slot arrays in compile order; their layouts and bases are the decoder's table, so the
    // two can never disagree on where a picture lies.
    for (std::size_t a = 0; a < kPanelLayouts.size(); ++a) {
        const PanelLayout& layout = kPanelLayouts[a];
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            const ImageSlot& slot =
                state.Panel_Slots(static_cast<int>(a))[static_cast<std::size_t>(i)];
            const int width = slot.Width;
            const int height = slot.Height;
            if (platform::Result<> loaded =
                    Load_Bitmap_Raster(io, raster, slot.FullPath, slot.FileName, width, height);
                !loaded) {
                return loaded.Why();
            }
            // A file of no more than the 62 header bytes holds not one pixel: the walk from its
            // end reads nothing (or the last palette byte) and the region would be programmed
            // blank as if that were the picture. No such file passes the picture selection or
            // the start-up, which both load the picture, so it was emptied or cut short after it
            // was chosen (an editor rewriting it, a full disk): the run stops here with a
            // message instead. A file cut inside its pixel rows is still read from its end, as
            // for any short file.
            if (raster.fileLength <= static_cast<std::size_t>(kBitmapHeaderSize)) {
                return Refuse(io, RefusalKind::Invalid,
                              "Il file " + slot.FileName +
                                  " è vuoto o troppo corto per contenere un'immagine." + kCrLf +
                                  kCannotContinue);
            }
            if (layout.pageLayout) {
                Build_Page_Bytes(raster, panel, width, height);
            } else {
                Build_Row_Bytes(raster, panel, width, height);
            }
            Store_Panel_Bytes(panel, image, static_cast<int>(layout.Slot_Base(i)));
        }
    }

    for (std::size_t c = 0; c < state.Font_5x8.size(); ++c) {
        image[kGlyph5x8Address + c] = state.Font_5x8[c];
    }
    for (std::size_t c = 0; c < state.Font_10x16.size(); ++c) {
        const unsigned v = state.Font_10x16[c];
        image[kGlyph10x16LowAddress + c] = static_cast<std::uint8_t>(v & 0xFF);
        image[kGlyph10x16HighAddress + c] = static_cast<std::uint8_t>(v / 256);
    }
    return compiled;
}

}  // namespace lcdprog
