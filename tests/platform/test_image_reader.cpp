// Picture files read for importing: what a good file decodes to, and a clear message for each
// kind of file that must not be imported.
#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/qt/qt_image_reader.h"

namespace lcdprog::platform {
namespace {

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A PNG that only claims its size: the signature, its header chunk, no pixels.
QByteArray Png_Header(quint32 width, quint32 height) {
    const auto chunk = [](const QByteArray& type, const QByteArray& data) {
        QByteArray out(4, '\0');
        qToBigEndian(quint32(data.size()), out.data());
        quint32 crc = 0xFFFFFFFF;
        for (const char c : type + data) {
            crc ^= static_cast<quint8>(c);
            for (int k = 0; k < 8; ++k) {
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
            }
        }
        QByteArray tail(4, '\0');
        qToBigEndian(~crc, tail.data());
        return out + type + data + tail;
    };
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8;  // 8 bits, grey
    return QByteArray("\x89PNG\r\n\x1a\n") + chunk("IHDR", header) + chunk("IDAT", {}) +
           chunk("IEND", {});
}

TEST(ImageReader, DecodesToStraightRgbaAndRefusesEveryBadFileWithItsReason) {
    const QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    const auto put = [&](const std::string& name, const QByteArray& bytes) {
        std::ofstream(root + name, std::ios::binary).write(bytes.data(), bytes.size());
    };

    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(10, 20, 30, 255));
    image.setPixel(1, 0, qRgba(200, 100, 50, 128));  // half transparent
    const QByteArray png = Encoded(image, "PNG");
    put("ok.png", png);
    Result<picture::Rgba> read = Read_Image_File(root + "ok.png");
    ASSERT_TRUE(read) << read.Text();
    picture::Rgba rgba = *read;
    EXPECT_EQ(std::tie(rgba.width, rgba.height), std::tuple(3, 2));
    EXPECT_EQ(std::vector<int>(rgba.pixels.begin(), rgba.pixels.begin() + 8),
              (std::vector<int>{10, 20, 30, 255, 200, 100, 50, 128}));
    put("logo.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="4">)"
                    R"(<rect width="4" height="4" fill="black"/></svg>)");
    read = Read_Image_File(root + "logo.svg");
    ASSERT_TRUE(read) << read.Text();
    rgba = *read;
    EXPECT_EQ(std::tie(rgba.width, rgba.height, rgba.pixels[0], rgba.pixels[3]),
              std::tuple(8, 4, 0, 255));

    QDir(dir.path()).mkdir("cartella");
    ASSERT_EQ(mkfifo((root + "coda").c_str(), 0600), 0);
    put("note.txt", "non sono un'immagine\n");
    put("mezzo.png", png.left(png.size() / 2));
    const QByteArray jpeg = Encoded(QImage(64, 64, QImage::Format_RGB32), "JPEG");
    put("mezzo.jpg", jpeg.left(jpeg.size() - 40));
    put("enorme.png", Png_Header(100000, 100000));
    put("bomba.pgm", "P5\n7000 7000\n255\n\x00");
    const std::string importing = "Impossibile importare ";
    const std::string unknown = ": il file non è un'immagine in un formato conosciuto.";
    const std::string damaged = ": l'immagine è danneggiata o incompleta.";
    const std::string limits = " pixel (al massimo 16384 per lato e 40 milioni di pixel).";
    const std::pair<std::string, std::string> rows[] = {
        {"manca.png", "File manca.png non trovato."},
        {"cartella", "cartella è una cartella, non un'immagine."},
        {"coda", "coda non è un file normale."},
        {"note.txt", importing + "note.txt" + unknown},
        {"mezzo.png", importing + "mezzo.png" + damaged},
        {"mezzo.jpg", importing + "mezzo.jpg" + damaged},
        {"enorme.png",
         importing + "enorme.png: l'immagine è troppo grande: 100000 x 100000" + limits},
        {"bomba.pgm", importing + "bomba.pgm: l'immagine è troppo grande: 7000 x 7000" + limits},
    };
    for (const auto& [name, message] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Read_Image_File(root + name).Text(), message);
    }
}

// A phone's photo as its sensor stored it, with the EXIF orientation "turn 90° clockwise to view".
TEST(ImageReader, APhotoTakenSidewaysArrivesUpright) {
    QImage sideways(16, 8, QImage::Format_RGB32);
    sideways.fill(Qt::white);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            sideways.setPixel(x, y, qRgb(0, 0, 0));
        }
    }
    // APP1 "Exif": a big-endian TIFF header and one entry, Orientation (0x0112) = 6.
    const char exif[] =
        "\xFF\xE1\x00\x22"
        "Exif\0\0MM\x00\x2A\x00\x00\x00\x08"
        "\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
        "\x00\x00\x00\x00";
    const QByteArray photo = Encoded(sideways, "JPEG").insert(2, QByteArray(exif, sizeof exif - 1));
    const Result<picture::Rgba> decoded = Decode_Image(photo);
    ASSERT_TRUE(decoded) << decoded.Text();
    const picture::Rgba& rgba = *decoded;
    ASSERT_EQ(std::tie(rgba.width, rgba.height), std::tuple(8, 16));
    const auto grey = [&](int x, int y) { return rgba.pixels[(y * 8 + x) * 4]; };
    EXPECT_TRUE(grey(4, 3) < 60 && grey(4, 12) > 200);  // the left half is now on top
}

}  // namespace
}  // namespace lcdprog::platform
