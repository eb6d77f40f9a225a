#include "OfferedValues.hxx"

#include <algorithm>

namespace tessaly {

void OfferedValues::offerChoices(Setting setting, std::vector<std::int32_t> values) {
    offer(setting).choices = std::move(values);
    offer(setting).range.reset();
}

void OfferedValues::offerRange(Setting setting, std::int32_t lowest, std::int32_t highest) {
    offer(setting).range = std::pair(lowest, highest);
    offer(setting).choices.clear();
}

void OfferedValues::nameControl(Setting setting, std::string name) {
    offer(setting).name = std::move(name);
}

bool OfferedValues::offers(Setting setting, std::int32_t value) const {
    const Offer& it = offer(setting);
    if (it.range && value >= it.range->first && value <= it.range->second) {
        return true;
    }
    return std::find(it.choices.begin(), it.choices.end(), value) != it.choices.end();
}

std::string OfferedValues::controlName(Setting setting) const {
    const Offer& it = offer(setting);
    return it.name.empty() ? settingInfo(setting).key : it.name;
}

std::string OfferedValues::describe(Setting setting) const {
    const Offer& it = offer(setting);
    std::vector<std::string> parts;
    if (it.range) {
        parts.push_back(std::to_string(it.range->first) + " to " +
                        std::to_string(it.range->second));
    }
    for (std::int32_t value : it.choices) {
        parts.push_back(std::to_string(value));
    }
    if (parts.empty()) {
        return "no value at all";
    }
    std::string text = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        text += (i + 1 == parts.size() ? " or " : ", ") + parts[i];
    }
    return text;
}

} // namespace tessaly
