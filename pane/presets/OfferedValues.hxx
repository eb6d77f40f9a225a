// What the window's controls offer for the settings of a look: for each integer setting the
// titles of its popup, or the range of its number field; for every setting the control's name in
// the window's words. A look is applied only with values among these. Any other value (a width of
// 0, no columns, a negative picture size) would reach the pages while no control could show it.
//
// The window fills this from its own controls, so the interface file stays the one place where
// the choices are written down.
#pragma once

#include "SettingsTable.hxx"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessaly {

class OfferedValues {
public:
    // A setting has one control: a popup's titles, or a field's range, the last one given.
    void offerChoices(Setting setting, std::vector<std::int32_t> values);
    void offerRange(Setting setting, std::int32_t lowest, std::int32_t highest);
    // The control's name in notices; without one, the setting's key stands for it.
    void nameControl(Setting setting, std::string name);

    // False for every value of a setting that no control offers.
    bool offers(Setting setting, std::int32_t value) const;
    std::string controlName(Setting setting) const;
    // What the control offers, in words: "16 to 4096", "1, 2, 3 or 4".
    std::string describe(Setting setting) const;

private:
    struct Offer {
        std::string name;
        std::vector<std::int32_t> choices;
        std::optional<std::pair<std::int32_t, std::int32_t>> range;
    };
    const Offer& offer(Setting setting) const { return offers_[static_cast<std::size_t>(setting)]; }
    Offer& offer(Setting setting) { return offers_[static_cast<std::size_t>(setting)]; }

    std::array<Offer, kSettingCount> offers_{};
};

} // namespace tessaly
