#include "main_window/mod_Funzioni_Varie.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/lower_case_path.h"
#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

constexpr std::size_t kHeaderSize = 62;
constexpr int kBitmapFilterIndex = 2;
constexpr int kReadOnlyTicked = 1;

std::uint32_t Le(const std::array<std::uint8_t, kHeaderSize>& header, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | header[at + static_cast<std::size_t>(i)];
    }
    return value;
}

}  // namespace

std::string Select_Picture_File(const ProgramState& state, platform::FileDialog& dialog,
                                platform::MessageBox& messages, platform::EventPump* pump) {
    platform::FileDialogRequest request;
    request.cancelError = true;
    request.filter = kPictureFilter;
    request.filterIndex = kBitmapFilterIndex;
    request.flags = kReadOnlyTicked;
    request.saveForm = state.SaveDialogMode;
    const std::optional<std::string> chosen = dialog.Show(request);
    if (pump != nullptr) {
        pump->Yield(0);
    }
    if (!chosen) {
        // A cancel is an error of the dialog: no message here, the caller reports it.
        return {};
    }
    return Check_Picture_Name(*chosen, messages);
}

std::string Check_Picture_Name(const std::string& chosen, platform::MessageBox& messages) {
    // The same lower-casing the file service applies when it looks the stored path up again.
    const std::string name = platform::Lower_Case_Path(chosen);
    if (name.find("bmp") == std::string::npos) {
        messages.Show("Estensione file non valida!", "WARNING", platform::MessageIcon::Exclamation);
        return {};
    }
    return name;
}

bool Check_Bitmap_Header(const platform::FileService& files, const std::string& path,
                         int expectedWidth, int expectedHeight) {
    if (path.empty()) {
        return false;
    }
    const platform::FileContents file = files.Read(path, kHeaderSize);
    return Check_Bitmap_Header(
        file.status == platform::FileStatus::Ok ? std::string_view(file.bytes) : std::string_view(),
        expectedWidth, expectedHeight);
}

bool Check_Bitmap_Header(std::string_view bytes, int expectedWidth, int expectedHeight) {
    std::array<std::uint8_t, kHeaderSize> header{};
    for (std::size_t k = 0; k < bytes.size() && k < kHeaderSize; ++k) {
        header[k] = static_cast<std::uint8_t>(bytes[k]);
    }
    const std::int64_t width = Le(header, 18, 4);
    const std::int64_t height = Le(header, 22, 4);
    const std::uint32_t planes = Le(header, 26, 2);
    const std::uint32_t bitCount = Le(header, 28, 2);
    return width == expectedWidth && height == expectedHeight && planes == 1 && bitCount == 1;
}

std::optional<std::string> Choose_File(ProgramState& state, platform::FileDialog& dialog,
                                       const char* filter, bool saveForm,
                                       const std::string& extension,
                                       const std::string& proposedName) {
    state.SaveDialogMode = saveForm;
    platform::FileDialogRequest request;
    request.cancelError = true;
    request.filter = filter;
    request.filterIndex = 2;
    request.saveForm = state.SaveDialogMode;
    request.fileName = proposedName;
    std::optional<std::string> chosen = dialog.Show(request);
    state.SaveDialogMode = false;
    if (chosen && saveForm && std::filesystem::path(*chosen).extension().empty()) {
        *chosen += extension;
    }
    return chosen;
}

}  // namespace lcdprog
