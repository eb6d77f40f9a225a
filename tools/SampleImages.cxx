#include "SampleImages.hxx"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tessaly::sample {

namespace {

constexpr int kJpegQuality = 85;

// Stands in for a movie: the publisher only links to it, so its bytes do not matter, but a
// person who opens it should learn what it is.
constexpr char kMoviePlaceholder[] =
    "Placeholder for a movie in the Tessaly sample photo library. Not a playable video.\n";

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void drawFilmStrip(QPainter& painter, QSize size) {
    const int band = std::max(6, size.height() / 12);
    painter.fillRect(0, 0, size.width(), band, QColor(20, 20, 20));
    painter.fillRect(0, size.height() - band, size.width(), band, QColor(20, 20, 20));
    const int hole = band / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(235, 235, 225));
    for (int x = hole; x + hole < size.width(); x += 2 * hole) {
        painter.drawRect(x, band / 4, hole, hole);
        painter.drawRect(x, size.height() - band + band / 4, hole, hole);
    }
    // A play button, so the thumbnail reads as a movie at a glance.
    const double r = std::min(size.width(), size.height()) / 6.0;
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawEllipse(c, r, r);
    painter.setBrush(QColor(20, 20, 20, 200));
    painter.drawPolygon(QPolygonF(
        {c + QPointF(-r / 3, -r / 2), c + QPointF(-r / 3, r / 2), c + QPointF(r / 2, 0)}));
}

std::string writeJpeg(const QImage& image, const std::string& path) {
    QImageWriter writer(fromUtf8(path), "jpeg");
    writer.setQuality(kJpegQuality);
    if (!writer.write(image)) {
        return "cannot write " + path + ": " + writer.errorString().toStdString();
    }
    return {};
}

std::string makeFolder(const std::string& path) {
    const QString folder = QFileInfo(fromUtf8(path)).path();
    if (!QDir().mkpath(folder)) {
        return "cannot create folder " + folder.toStdString();
    }
    return {};
}

} // namespace

QSize sizeForAspect(float aspectRatio, int longerSide) {
    if (aspectRatio >= 1.0f) {
        return {longerSide, std::max(1, static_cast<int>(std::lround(longerSide / aspectRatio)))};
    }
    return {std::max(1, static_cast<int>(std::lround(longerSide * aspectRatio))), longerSide};
}

QImage drawPicture(const Picture& picture, std::size_t number, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    const int w = size.width();
    const int h = size.height();
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0, QColor::fromHsv(picture.hue, 150, 235));
    gradient.setColorAt(1, QColor::fromHsv((picture.hue + 150) % 360, 210, 110));
    painter.fillRect(image.rect(), gradient);

    // A few soft discs placed from the picture's colour, so neighbours differ in shape too.
    painter.setPen(Qt::NoPen);
    const int shortSide = std::min(w, h);
    for (int k = 0; k < 4; ++k) {
        const double x = w * ((picture.hue * 7 + k * 37) % 100) / 100.0;
        const double y = h * ((picture.hue * 13 + k * 61) % 100) / 100.0;
        const double r = shortSide * (0.12 + 0.06 * k);
        painter.setBrush(QColor(255, 255, 255, 40 + 15 * k));
        painter.drawEllipse(QPointF(x, y), r, r);
    }
    if (picture.movie) {
        drawFilmStrip(painter, size);
    }

    const int band = std::max(12, h / 6);
    QFont numberFont;
    numberFont.setBold(true);
    numberFont.setPixelSize(std::max(8, shortSide / 3));
    painter.setFont(numberFont);
    const QRect numberRect(0, 0, w, h - band);
    const QString numberText = QString::number(number);
    painter.setPen(QColor(0, 0, 0, 120));
    painter.drawText(numberRect.translated(3, 3), Qt::AlignCenter, numberText);
    painter.setPen(Qt::white);
    painter.drawText(numberRect, Qt::AlignCenter, numberText);

    painter.fillRect(0, h - band, w, band, QColor(0, 0, 0, 130));
    QFont captionFont;
    captionFont.setPixelSize(std::max(6, band * 2 / 5));
    painter.setFont(captionFont);
    const QRect captionRect(band / 3, h - band, w - 2 * (band / 3), band);
    const QString caption =
        QFontMetrics(captionFont)
            .elidedText(fromUtf8(picture.caption), Qt::ElideRight, captionRect.width());
    painter.drawText(captionRect, Qt::AlignVCenter | Qt::AlignLeft, caption);
    painter.end();
    return image;
}

std::string writePictureFiles(const SampleLibrary& library, const Picture& picture,
                              std::size_t number) {
    const std::string imagePath = library.imagePath(picture);
    const std::string thumbPath = library.thumbPath(picture);
    for (const std::string* path : {&imagePath, &thumbPath}) {
        if (std::string error = makeFolder(*path); !error.empty()) {
            return error;
        }
    }
    const QImage image =
        drawPicture(picture, number, sizeForAspect(picture.aspectRatio, kImageSide));
    if (picture.movie) {
        QSaveFile file(fromUtf8(imagePath));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(kMoviePlaceholder, sizeof kMoviePlaceholder - 1) < 0 || !file.commit()) {
            return "cannot write " + imagePath + ": " + file.errorString().toStdString();
        }
    } else if (std::string error = writeJpeg(image, imagePath); !error.empty()) {
        return error;
    }
    // The application scales its thumbnails from the image, so they show the same thing.
    const QImage thumb = image.scaled(sizeForAspect(picture.aspectRatio, kThumbSide),
                                      Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return writeJpeg(thumb, thumbPath);
}

std::string PlainThumbnails::write(const SampleLibrary& library, const Picture& picture) {
    const QSize size = sizeForAspect(picture.aspectRatio, kThumbSide);
    QByteArray& bytes = encoded_[{size.width(), size.height()}];
    if (bytes.isEmpty()) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(128, 128, 128));
        QBuffer buffer(&bytes);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(kJpegQuality);
        if (!buffer.open(QIODevice::WriteOnly) || !writer.write(image)) {
            return "cannot encode a thumbnail: " + writer.errorString().toStdString();
        }
    }
    const std::string path = library.thumbPath(picture);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (folders_.insert(folder).second) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            return "cannot create folder " + folder + ": " + error.message();
        }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return "cannot write " + path;
    }
    const auto length = static_cast<std::size_t>(bytes.size());
    const bool written = std::fwrite(bytes.constData(), 1, length, file) == length;
    if (std::fclose(file) != 0 || !written) {
        return "cannot write " + path;
    }
    return {};
}

} // namespace tessaly::sample
