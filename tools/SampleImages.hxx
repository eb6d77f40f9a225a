// The image files of the sample library: a JPEG per picture and per thumbnail, drawn so that a
// person looking at the published site can tell the pictures apart, and a placeholder file for
// each movie.
//
// Drawing text needs Qt's font database, so a QGuiApplication must exist before these are called.
#pragma once

#include "SampleLibrary.hxx"

#include <QImage>
#include <QSize>

#include <string>

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

} // namespace tessaly::sample
