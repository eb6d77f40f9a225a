#include "SettingEdits.hxx"

#include "Constants.hxx"
#include "Numbers.hxx"

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
template <typename... Calls> struct Overloaded : Calls... { using Calls::operator()...; };
} // namespace

// Saving comes before every post: the helper answers a settings change by reading the file.
bool SettingEdits::change(Setting setting, const SettingValue& value) {
    std::visit(Overloaded{
                   [&](bool flag) { pref_.setBooleanSetting(setting, flag); },
                   [&](float number) { pref_.setRealSetting(setting, number); },
                   [&](std::int32_t number) { pref_.setIntegerSetting(setting, number); },
                   [&](const std::string& text) { pref_.setTextSetting(setting, text); },
                   [&](const std::optional<RgbColor>& color) {
                       if (color) {
                           pref_.setColorSetting(setting, *color);
                       }
                   },
               },
               value);
    const bool saved = pref_.savePref();
    announce(setting, value);
    return saved;
}

// The two values the helper takes without reading the file travel with their notification.
void SettingEdits::announce(Setting setting, const SettingValue& value) {
    if (const auto* size = std::get_if<std::int32_t>(&value);
        size && setting == Setting::ImageSize) {
        notifier_.postImageSize(*size);
    } else if (const auto* minutes = std::get_if<float>(&value);
               minutes && setting == Setting::CheckInterval) {
        notifier_.postCheckInterval(*minutes);
    } else {
        notifier_.post(TSY_SiteParamChange_Notification);
    }
}

bool SettingEdits::changeImageSize(float value) {
    return change(Setting::ImageSize, clampToInt32(value));
}

bool SettingEdits::changePopupSetting(Setting setting, std::string_view title) {
    return change(setting, popupTitleValue(title));
}

bool SettingEdits::changeColor(int tag, std::optional<RgbColor> color) {
    if (auto setting = colorSettingForTag(tag)) {
        return change(*setting, color);
    }
    notifier_.post(TSY_SiteParamChange_Notification);
    return true;
}

} // namespace tessaly
