#include "settings/model.h"

#include <algorithm>

#include "settings/text.h"

namespace skyfault {

std::string DefaultSystemList(std::string_view rateText) {
    std::array<std::string, 8> fields;
    fields[0] = std::string(rateText);
    std::copy(kDefaultWindows.begin(), kDefaultWindows.end(), fields.begin() + 1);
    fields[7] = "D";
    return ComposeList(fields);
}

std::string ComposeList(const std::array<std::string, 8>& fields) {
    std::string list;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            list.push_back(',');
        }
        list += fields[i];
    }
    return list;
}

std::string ApplyDefaultRate(std::string_view list, std::string_view rateText) {
    if (GetField(list, 8) != "D") {
        return std::string(list);
    }
    std::array<std::string, 8> fields;
    fields[0] = std::string(rateText);
    for (int field = 2; field <= 8; ++field) {
        fields[static_cast<std::size_t>(field - 1)] = GetField(list, field);
    }
    return ComposeList(fields);
}

Settings::Settings() {
    allowed.fill(1);
    soundFiles.fill(std::string(kUndefinedSound));
}

void Settings::ApplyDefaultRateToSystems(std::string_view rateText) {
    for (int id = 0; id < kSystemCount; ++id) {
        auto& list = systemStr[static_cast<std::size_t>(id)];
        list = ApplyDefaultRate(list, rateText);
    }
}

Settings FirstStartSettings() {
    Settings settings;
    for (int id = 0; id < kSystemCount; ++id) {
        settings.systemStr[static_cast<std::size_t>(id)] =
            DefaultSystemList(settings.rateDenominator);
    }
    return settings;
}

}  // namespace skyfault
