#include "SettingEdits.hxx"

#include "Constants.hxx"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace tessaly {

std::optional<Setting> colorSettingForTag(int tag) {
    for (const ColorWellSetting& well : kColorWells) {
        if (well.tag == tag) {
            return well.setting;
        }
    }
    return std::nullopt;
}

std::int32_t popupTitleValue(std::string_view title) {
    std::size_t i = 0;
    while (i < title.size() && std::isspace(static_cast<unsigned char>(title[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < title.size() && (title[i] == '+' || title[i] == '-')) {
        negative = title[i] == '-';
        ++i;
    }
    // Accumulated as a negative number so that the lowest int32 fits; longer numbers saturate.
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    std::int64_t value = 0;
    for (; i < title.size() && std::isdigit(static_cast<unsigned char>(title[i])); ++i) {
        value = value * 10 - (title[i] - '0');
        if (value < lowest) {
            value = lowest - 1;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(std::max(value, lowest));
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(-value, -(lowest + 1)));
}

float intervalMinutes(float position) {
    const float stop = std::trunc(position);
    if (stop >= 0 && stop <= 4) {
        return position + 1;
    }
    if (stop >= 5 && stop <= 9) {
        return (position - 5) * 5 + 10;
    }
    if (stop >= 10 && stop <= 12) {
        return (position - 10) * 10 + 40;
    }
    return position;
}

int intervalStopNearest(float minutes) {
    int best = 0;
    for (int stop = 1; stop < kIntervalStops; ++stop) {
        if (std::fabs(intervalMinutes(stop) - minutes) <
            std::fabs(intervalMinutes(best) - minutes)) {
            best = stop;
        }
    }
    return best;
}

namespace {
// Truncation toward zero into the int32 range (the control's range is far inside it).
std::int32_t truncated(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr float low = static_cast<float>(std::numeric_limits<std::int32_t>::min());
    constexpr float high = 2147483520.0f; // the largest float below 2^31
    return static_cast<std::int32_t>(std::trunc(std::clamp(value, low, high)));
}
} // namespace

// Saving comes before every post: the helper answers a settings change by reading the file.
bool SettingEdits::save() { return pref_.savePref(); }

bool SettingEdits::changeImageSize(float value) {
    const std::int32_t size = truncated(value);
    pref_.setImageSize(size);
    const bool saved = save();
    notifier_.postImageSize(size);
    return saved;
}

bool SettingEdits::changePopupSetting(Setting setting, std::string_view title) {
    pref_.setIntegerSetting(setting, popupTitleValue(title));
    const bool saved = save();
    notifier_.post(TSY_SiteParamChange_Notification);
    return saved;
}

bool SettingEdits::changeColor(int tag, std::optional<RgbColor> color) {
    bool saved = true;
    if (auto setting = colorSettingForTag(tag)) {
        // A well that shows no colour has nothing to store; the file is still saved.
        if (color) {
            pref_.setColorSetting(*setting, *color);
        }
        saved = save();
    }
    notifier_.post(TSY_SiteParamChange_Notification);
    return saved;
}

bool SettingEdits::changeInterval(float position) {
    const float minutes = intervalMinutes(position);
    pref_.setCheckInterval(minutes);
    const bool saved = save();
    notifier_.postCheckInterval(minutes);
    return saved;
}

} // namespace tessaly
