#include "platform/qt/qt_image_reader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <cerrno>

#include "platform/system_reason.h"

namespace lcdprog::platform {
namespace {

// The formats offered in the dialog's filter; every one Qt can read is still decoded when the
// operator picks "Tutti i file".
constexpr const char* kPatterns =
    "*.png *.jpg *.jpeg *.gif *.bmp *.dib *.pbm *.pgm *.ppm *.pnm *.xpm *.xbm *.svg *.svgz";

// JPEG and GIF decoders fill a file cut short with grey and report success; their files end
// with a marker that such a file lacks. A JPEG's end marker must follow its last scan (a
// thumbnail inside it ends with the same marker, but before the picture's scan).
bool Cut_Short(const QByteArray& bytes, const QByteArray& format) {
    if (format == "jpeg" || format == "jpg") {
        const qsizetype scan = bytes.lastIndexOf(QByteArray("\xFF\xDA", 2));
        const qsizetype end = bytes.lastIndexOf(QByteArray("\xFF\xD9", 2));
        return scan < 0 || end < scan;
    }
    if (format == "gif") {
        return !bytes.endsWith(';');
    }
    return false;
}

std::string Size_Text(const QSize& size) {
    return std::to_string(size.width()) + " x " + std::to_string(size.height());
}

}  // namespace

std::string Image_File_Filter() {
    return std::string("Tutti i file |*.*|Immagini (") + kPatterns + ") |" + kPatterns;
}

Result<picture::Rgba> Decode_Image(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kImageAllocationLimitMb);
    // A phone stores its photos as the sensor saw them and says in EXIF which way is up: the
    // picture is taken the way it is meant to be seen, in the dialog and on the command line.
    reader.setAutoTransform(true);
    // A picture whose header claims a huge size is refused before its pixels are decoded: that
    // is what a decompression bomb relies on.
    if (!reader.canRead()) {
        return Refusal{RefusalKind::Invalid, "il file non è un'immagine in un formato conosciuto"};
    }
    const QSize size = reader.size();
    if (size.isValid() &&
        (size.width() > kImageMaxSide || size.height() > kImageMaxSide ||
         static_cast<long long>(size.width()) * size.height() > kImageMaxPixels)) {
        return Refusal{RefusalKind::TooLarge,
                       "l'immagine è troppo grande: " + Size_Text(size) + " pixel (al massimo " +
                           std::to_string(kImageMaxSide) + " per lato e " +
                           std::to_string(kImageMaxPixels / 1'000'000) + " milioni di pixel)"};
    }
    QImage decoded;
    if (Cut_Short(bytes, reader.format()) || !reader.read(&decoded) || decoded.isNull()) {
        return Refusal{RefusalKind::Invalid, "l'immagine è danneggiata o incompleta"};
    }
    if (decoded.width() > kImageMaxSide || decoded.height() > kImageMaxSide ||
        static_cast<long long>(decoded.width()) * decoded.height() > kImageMaxPixels) {
        return Refusal{RefusalKind::TooLarge,
                       "l'immagine è troppo grande: " + Size_Text(decoded.size()) + " pixel"};
    }
    picture::Rgba image;
    if (!Rgba_Of(decoded, image)) {
        return Refusal{RefusalKind::TooLarge, "memoria insufficiente per l'immagine"};
    }
    return image;
}

bool Rgba_Of(const QImage& decoded, picture::Rgba& image) {
    const QImage rgba = decoded.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull()) {
        return false;
    }
    image.width = rgba.width();
    image.height = rgba.height();
    const std::size_t row = static_cast<std::size_t>(image.width) * 4;
    image.pixels.resize(row * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const uchar* line = rgba.constScanLine(y);
        std::copy(line, line + row, image.pixels.begin() + static_cast<std::ptrdiff_t>(row * y));
    }
    return true;
}

Result<picture::Rgba> Read_Image_File(const std::string& path) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    const QFileInfo info(name);
    const std::string shown = info.fileName().toStdString();
    if (!info.exists()) {
        return Refusal{RefusalKind::Missing, "File " + shown + " non trovato."};
    }
    // Only a regular file is opened: a FIFO or a device could block the program or never end.
    if (info.isDir()) {
        return Refusal{RefusalKind::NotRegular, shown + " è una cartella, non un'immagine."};
    }
    if (!info.isFile()) {
        return Refusal{RefusalKind::NotRegular, shown + " non è un file normale."};
    }
    if (info.size() > kImageMaxFileBytes) {
        return Refusal{
            RefusalKind::TooLarge,
            "Il file " + shown + " è troppo grande per essere un'immagine da importare."};
    }
    QFile file(name);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        // Qt's own text is English; the system's reason, as every other file message gives it.
        const int failure = errno;
        return Refusal{RefusalKind::Unreadable, "Impossibile leggere " + shown + ": " +
                                                    System_Reason(failure != 0 ? failure : EIO)};
    }
    const QByteArray bytes = file.read(kImageMaxFileBytes);
    Result<picture::Rgba> image = Decode_Image(bytes);
    if (!image) {
        return Refusal{image.Why().kind,
                       "Impossibile importare " + shown + ": " + image.Text() + "."};
    }
    return image;
}

}  // namespace lcdprog::platform
