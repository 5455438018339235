#include "core/settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <span>

#include "platform/file_io.h"

namespace morvel {

namespace fs = std::filesystem;

uint32_t Settings::options() const {
    return (showTemplates ? kOptionShowTemplates : 0) | (showTilde ? kOptionShowTilde : 0) |
           (scanDocumentsAtStart ? kOptionScanDocumentsAtStart : 0);
}

void Settings::setOptions(uint32_t bits) {
    showTemplates = (bits & kOptionShowTemplates) != 0;
    showTilde = (bits & kOptionShowTilde) != 0;
    scanDocumentsAtStart = (bits & kOptionScanDocumentsAtStart) != 0;
}

fs::path defaultSettingsFile() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::geteuid());
            home = pw ? pw->pw_dir : "/";
        }
        base = fs::path(home) / ".config";
    }
    return base / "morvel" / "settings.ini";
}

bool loadSettings(const fs::path& file, Settings& settings) {
    std::ifstream in(file);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "Path") {
            settings.path = value;
        } else if (key == "options" && !value.empty()) {
            char* end = nullptr;
            const unsigned long bits = std::strtoul(value.c_str(), &end, 0);
            if (end && *end == '\0')
                settings.setOptions(static_cast<uint32_t>(bits));
        }
    }
    return true;
}

std::string saveSettings(const fs::path& file, const Settings& settings) {
    std::error_code ec;
    if (file.has_parent_path())
        fs::create_directories(file.parent_path(), ec);
    std::string text;
    if (!settings.path.empty())
        text += "Path=" + settings.path + "\n";
    text += "options=" + std::to_string(settings.options()) + "\n";
    return writeFileAtomic(
        file, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), true);
}

}  // namespace morvel
