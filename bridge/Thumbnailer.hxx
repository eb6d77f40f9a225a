// Thumbnails of pictures (libvips, loading at a reduced size where the format allows, turned
// upright by the picture's EXIF orientation) and of movies (a still from libffmpegthumbnailer).
//
// Files that come from outside are not trusted: a header claiming more pixels than any camera
// makes is refused before anything is decoded, and a file that fails to decode is refused
// rather than shown half grey.
#pragma once

#include "LibrarySnapshot.hxx"

#include <atomic>
#include <cstdint>
#include <string>

struct video_thumbnailer_struct;

namespace tessaly::bridge {

struct Thumbnail {
    bool made = false;
    float aspectRatio = 0; // of the thumbnail as written: width divided by height
    std::string error;     // when not made
};

class Thumbnailer {
public:
    // Larger than any header a real picture carries (a 200-megapixel panorama passes).
    static constexpr std::int64_t kMaxPixels = 400'000'000;

    explicit Thumbnailer(int longerSide);
    ~Thumbnailer();
    Thumbnailer(const Thumbnailer&) = delete;
    Thumbnailer& operator=(const Thumbnailer&) = delete;

    // Writes a JPEG at `target`, whose longer side is at most the one given.
    Thumbnail make(const std::string& source, ItemKind kind, const std::string& target);

    // While set, a picture being shrunk is given up as soon as the flag is raised, so that a
    // large one does not hold up a program that was told to stop.
    void setCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }

private:
    Thumbnail picture(const std::string& source, const std::string& target);
    Thumbnail movie(const std::string& source, const std::string& target);

    int side_;
    const std::atomic<bool>* cancel_ = nullptr;
    ::video_thumbnailer_struct* video_ = nullptr;
};

} // namespace tessaly::bridge
