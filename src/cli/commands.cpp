#include "cli/commands.h"

#include <QSaveFile>
#include <QSerialPortInfo>
#include <cstdio>

#include "platform/port_diagnostics.h"
#include "platform/posix_file_service.h"
#include "platform/qt/port_table.h"

namespace lcdprog::cli {
namespace {

bool Load_Image_File(const std::string& path, Image& image, std::string& error) {
    const platform::PosixFileService files;
    const platform::FileContents file = files.Read(path, image.size() + 1);
    if (file.status == platform::FileStatus::Missing) {
        error = "file non trovato: " + path;
        return false;
    }
    if (file.status != platform::FileStatus::Ok) {
        error = "impossibile leggere " + path + (file.error.empty() ? "" : ": " + file.error);
        return false;
    }
    if (file.length != image.size()) {
        error = "il file " + path +
                " non è un'immagine della EEPROM: " + std::to_string(file.length) +
                " byte invece di 65536";
        return false;
    }
    std::copy(file.bytes.begin(), file.bytes.end(), image.begin());
    return true;
}

}  // namespace

bool Load_Input(const std::string& input, Image& image, std::string& error) {
    if (Is_Image_File(input)) {
        return Load_Image_File(input, image, error);
    }
    error = "i progetti non si possono ancora leggere: indicare un file .bin (" + input + ")";
    return false;
}

int Run_Ports() {
    const platform::PortTable table = platform::PortTable::FromEnvironment();
    if (table.Count() == 0) {
        std::fprintf(stderr, "Nessuna porta seriale trovata.\n");
        return kExitOk;
    }
    const auto infos = QSerialPortInfo::availablePorts();
    for (int n = 1; n <= table.Count(); ++n) {
        const std::string device = table.DevicePath(n);
        std::printf("COM %d  %s\n", n, device.c_str());
        const std::string byId = By_Id_Name(device);
        std::printf("    by-id:     %s\n", byId.empty() ? "-" : byId.c_str());
        for (const auto& info : infos) {
            if (info.systemLocation().toStdString() != device) {
                continue;
            }
            if (!info.manufacturer().isEmpty() || !info.description().isEmpty() ||
                !info.serialNumber().isEmpty()) {
                std::printf("    USB:       %s, %s, numero di serie %s\n",
                            qPrintable(info.manufacturer()), qPrintable(info.description()),
                            qPrintable(info.serialNumber()));
            }
        }
        const platform::PortFacts facts = platform::Gather_Port_Facts(device);
        if (facts.accessible) {
            std::printf("    apribile:  sì\n");
        } else {
            std::printf("    apribile:  no\n    %s\n",
                        platform::Explain_Port_Failure(facts).c_str());
        }
    }
    return kExitOk;
}

int Run_Image(const Options& options) {
    Image image{};
    std::string error;
    if (!Load_Input(options.input, image, error)) {
        std::fprintf(stderr, "lcdprog-cli: %s\n", error.c_str());
        return kExitUsage;
    }
    QSaveFile file(QString::fromStdString(options.output));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<qint64>(image.size())) != static_cast<qint64>(image.size()) ||
        !file.commit()) {
        std::fprintf(stderr, "lcdprog-cli: impossibile scrivere %s: %s\n", options.output.c_str(),
                     qPrintable(file.errorString()));
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace lcdprog::cli
