#include "Thumbnailer.hxx"

#include <libffmpegthumbnailer/videothumbnailerc.h>
#include <mutex>
#include <vips/vips.h>

namespace tessaly::bridge {

namespace {

constexpr int kJpegQuality = 85;

void startVips() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("tessaly-bridge") != 0) {
            vips_error_exit("cannot start libvips");
        }
        // Each file is read once; a cache would only keep them open.
        vips_cache_set_max(0);
    });
}

// Takes and clears libvips' error text in one step: libvips keeps one for the whole program, and
// thumbnails are made on several threads at once.
std::string vipsError(std::string_view what) {
    char* taken = vips_error_buffer_copy();
    std::string text = taken ? taken : "";
    g_free(taken);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (const std::size_t line = text.find('\n'); line != std::string::npos) {
        text.erase(line);
    }
    return std::string(what) + (text.empty() ? "" : ": " + text);
}

struct ImageRef {
    VipsImage* image = nullptr;
    ~ImageRef() {
        if (image) {
            g_object_unref(image);
        }
    }
};

// Saves the image as the thumbnail, without the original's metadata, and answers its shape.
Thumbnail save(VipsImage* image, const std::string& target) {
    if (vips_jpegsave(image, target.c_str(), "Q", kJpegQuality, "strip", TRUE, nullptr) != 0) {
        return {false, 0, vipsError("cannot write the thumbnail")};
    }
    return {true, static_cast<float>(image->Xsize) / static_cast<float>(image->Ysize), {}};
}

void stopWhenCancelled(VipsImage* image, VipsProgress*, gpointer cancel) {
    if (static_cast<const std::atomic<bool>*>(cancel)->load()) {
        vips_image_set_kill(image, TRUE);
    }
}

} // namespace

Thumbnailer::Thumbnailer(int longerSide) : side_(longerSide) { startVips(); }

Thumbnailer::~Thumbnailer() {
    if (video_) {
        video_thumbnailer_destroy(video_);
    }
}

Thumbnail Thumbnailer::make(const std::string& source, ItemKind kind, const std::string& target) {
    return kind == ItemKind::Movie ? movie(source, target) : picture(source, target);
}

Thumbnail Thumbnailer::picture(const std::string& source, const std::string& target) {
    {
        // Only the header is read here.
        ImageRef header;
        header.image = vips_image_new_from_file(source.c_str(), nullptr);
        if (!header.image) {
            return {false, 0, vipsError("not a picture libvips can read")};
        }
        const std::int64_t pixels = std::int64_t(header.image->Xsize) * header.image->Ysize;
        if (pixels > kMaxPixels) {
            return {false, 0,
                    "too large (" + std::to_string(header.image->Xsize) + " x " +
                        std::to_string(header.image->Ysize) + " pixels)"};
        }
    }
    ImageRef thumb;
    if (vips_thumbnail(source.c_str(), &thumb.image, side_, "height", side_, "size", VIPS_SIZE_DOWN,
                       "fail_on", VIPS_FAIL_ON_ERROR, nullptr) != 0) {
        return {false, 0, vipsError("cannot be decoded")};
    }
    if (cancel_) {
        // The picture is decoded while the thumbnail is written; libvips reports its progress
        // as it goes, and each report is a point where the work can be given up.
        vips_image_set_progress(thumb.image, TRUE);
        g_signal_connect(thumb.image, "eval", G_CALLBACK(stopWhenCancelled),
                         const_cast<std::atomic<bool>*>(cancel_));
    }
    Thumbnail made = save(thumb.image, target);
    if (!made.made && cancel_ && cancel_->load()) {
        made.error = "stopped";
    }
    return made;
}

Thumbnail Thumbnailer::movie(const std::string& source, const std::string& target) {
    if (!video_) {
        video_ = video_thumbnailer_create();
        video_thumbnailer_set_size(video_, side_, 0);
        video_->thumbnail_image_type = Rgb;
        video_->maintain_aspect_ratio = 1;
        // Its messages go to standard error otherwise; the caller logs one line per failure.
        video_thumbnailer_set_log_callback(video_, [](ThumbnailerLogLevel, const char*) {});
    }
    image_data* frame = video_thumbnailer_create_image_data();
    Thumbnail result{false, 0, "no still could be taken from the movie"};
    if (video_thumbnailer_generate_thumbnail_to_buffer(video_, source.c_str(), frame) == 0 &&
        frame->image_data_width > 0 && frame->image_data_height > 0 &&
        frame->image_data_size >= frame->image_data_width * frame->image_data_height * 3) {
        ImageRef still;
        still.image = vips_image_new_from_memory(
            frame->image_data_ptr, static_cast<std::size_t>(frame->image_data_size),
            frame->image_data_width, frame->image_data_height, 3, VIPS_FORMAT_UCHAR);
        result = still.image ? save(still.image, target)
                             : Thumbnail{false, 0, vipsError("cannot take the still")};
    }
    video_thumbnailer_destroy_image_data(frame);
    return result;
}

} // namespace tessaly::bridge
