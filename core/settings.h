#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace morvel {

// Bits of the "options" value.
inline constexpr uint32_t kOptionShowTemplates = 1u << 0;
inline constexpr uint32_t kOptionShowTilde = 1u << 1;
inline constexpr uint32_t kOptionScanDocumentsAtStart = 1u << 2;

// What the program keeps between runs: the program folder ("Path") and three options.
struct Settings {
    std::string path;  // "Path": folder of temp.dat; empty when not set
    bool showTemplates = false;
    bool showTilde = false;
    bool scanDocumentsAtStart = true;

    uint32_t options() const;
    void setOptions(uint32_t bits);
};

// $XDG_CONFIG_HOME/morvel/settings.ini, with ~/.config for an unset or relative XDG_CONFIG_HOME.
std::filesystem::path defaultSettingsFile();

// Reads "Path=" and "options=" lines; a missing file or value keeps the defaults. False when
// the file does not exist or cannot be read.
bool loadSettings(const std::filesystem::path& file, Settings& settings);

// Writes both values, replacing the file atomically and creating its folder when missing.
// Returns an empty string on success, else a reason.
std::string saveSettings(const std::filesystem::path& file, const Settings& settings);

}  // namespace morvel
