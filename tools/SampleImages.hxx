// The image files of the sample library: a JPEG per picture and per thumbnail, drawn so that a
// person looking at the published site can tell the pictures apart, and a placeholder file for
// each movie.
//
// Drawing text needs Qt's font database, so a QGuiApplication must exist before these are called.
#pragma once

#include "SampleLibrary.hxx"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <map>
#include <set>
#include <string>
#include <utility>

namespace tessaly::sample {

// The application's sizes: full images and thumbnails are bounded by these on their longer side.
inline constexpr int kImageSide = 640;
inline constexpr int kThumbSide = 240;

// Width and height for the picture's width/height ratio with the longer side `longerSide`.
QSize sizeForAspect(float aspectRatio, int longerSide);

// The picture drawn at `size`: a gradient in the picture's colours, its number (`number`,
// counted from 1 in date order) and its caption; a movie also gets film-strip edges.
QImage drawPicture(const Picture& picture, std::size_t number, QSize size);

// Writes the picture's image (or movie placeholder) and its thumbnail, creating the folders.
// Returns an empty string, or what went wrong, naming the file.
std::string writePictureFiles(const SampleLibrary& library, const Picture& picture,
                              std::size_t number);

// Thumbnails of one colour, each shape encoded once: real JPEG files of each picture's
// proportions, written fast enough for a library of a hundred thousand pictures.
class PlainThumbnails {
public:
    // Writes the picture's thumbnail, creating its folder. Returns an empty string, or what went
    // wrong, naming the file.
    std::string write(const SampleLibrary& library, const Picture& picture);

private:
    std::map<std::pair<int, int>, QByteArray> encoded_;
    std::set<std::string> folders_;
};

} // namespace tessaly::sample
