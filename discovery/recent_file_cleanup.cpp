#include "discovery/recent_file_cleanup.h"

#include <sys/stat.h>

#include <cstdlib>
#include <span>
#include <vector>

#include "platform/file_io.h"
#include "platform/hex_digit.h"
#include "platform/tag_end.h"

namespace morvel {

namespace {

constexpr std::string_view kPreviewPrefix = "~temporary_";

std::string percentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = hexDigitValue(s[i + 1]), lo = hexDigitValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// Replaces the five named entities and numeric references below 0x80; anything else is kept.
std::string xmlDecoded(std::string_view s) {
    static const std::pair<std::string_view, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            bool done = false;
            for (const auto& [name, ch] : kNamed) {
                if (s.substr(i, name.size()) == name) {
                    out.push_back(ch);
                    i += name.size();
                    done = true;
                    break;
                }
            }
            if (done)
                continue;
            size_t semi = s.find(';', i);
            if (s.substr(i, 2) == "&#" && semi != std::string_view::npos && semi - i <= 8) {
                std::string num(s.substr(i + 2, semi - i - 2));
                char* end = nullptr;
                long v = (!num.empty() && (num[0] == 'x' || num[0] == 'X'))
                             ? std::strtol(num.c_str() + 1, &end, 16)
                             : std::strtol(num.c_str(), &end, 10);
                if (end && *end == '\0' && v > 0 && v < 0x80) {
                    out.push_back(static_cast<char>(v));
                    i = semi + 1;
                    continue;
                }
            }
        }
        out.push_back(s[i]);
        ++i;
    }
    return out;
}

// The raw value of attribute `name` inside a start tag, or nothing.
std::string_view attributeValue(std::string_view tag, std::string_view name) {
    size_t pos = 0;
    while ((pos = tag.find(name, pos)) != std::string_view::npos) {
        bool boundary = pos > 0 && (tag[pos - 1] == ' ' || tag[pos - 1] == '\t' ||
                                    tag[pos - 1] == '\n' || tag[pos - 1] == '\r');
        size_t eq = pos + name.size();
        while (eq < tag.size() && (tag[eq] == ' ' || tag[eq] == '\t'))
            ++eq;
        if (boundary && eq + 1 < tag.size() && tag[eq] == '=') {
            size_t q = eq + 1;
            while (q < tag.size() && (tag[q] == ' ' || tag[q] == '\t'))
                ++q;
            if (q < tag.size() && (tag[q] == '"' || tag[q] == '\'')) {
                size_t close = tag.find(tag[q], q + 1);
                if (close != std::string_view::npos)
                    return tag.substr(q + 1, close - q - 1);
            }
        }
        pos += name.size();
    }
    return {};
}

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '>' || c == '/';
}

// The span to cut for an element at [begin, end): its whole lines when it stands alone on them,
// so that no blank line is left behind.
std::pair<size_t, size_t> wholeLines(std::string_view text, size_t begin, size_t end) {
    size_t lineStart = begin;
    while (lineStart > 0 && (text[lineStart - 1] == ' ' || text[lineStart - 1] == '\t'))
        --lineStart;
    if (lineStart != 0 && text[lineStart - 1] != '\n')
        return {begin, end};
    size_t after = end;
    while (after < text.size() && (text[after] == ' ' || text[after] == '\t'))
        ++after;
    if (after < text.size() && text[after] == '\r')
        ++after;
    if (after < text.size() && text[after] == '\n')
        return {lineStart, after + 1};
    if (after == text.size())
        return {lineStart, after};
    return {begin, end};
}

// Copies text, leaving out every element named `element` for which `drop` says so.
template <typename Drop>
std::string withoutElements(std::string_view text, std::string_view element, Drop drop) {
    const std::string open = "<" + std::string(element);
    const std::string close = "</" + std::string(element) + ">";
    std::string out;
    out.reserve(text.size());
    size_t copied = 0, pos = 0;
    while ((pos = text.find(open, pos)) != std::string_view::npos) {
        size_t after = pos + open.size();
        if (after >= text.size() || !isNameEnd(text[after])) {
            pos = after;
            continue;
        }
        size_t gt = findTagEnd(text, after);
        if (gt == std::string_view::npos)
            break;
        size_t end;
        if (text[gt - 1] == '/') {
            end = gt + 1;
        } else {
            size_t c = text.find(close, gt);
            if (c == std::string_view::npos)
                break;  // unterminated: leave the rest alone
            end = c + close.size();
        }
        if (drop(text.substr(pos, gt + 1 - pos), text.substr(pos, end - pos))) {
            auto [cutBegin, cutEnd] = wholeLines(text, pos, end);
            if (cutBegin < copied)
                cutBegin = copied;
            out.append(text.substr(copied, cutBegin - copied));
            copied = cutEnd;
            pos = cutEnd;
        } else {
            pos = end;
        }
    }
    out.append(text.substr(copied));
    return out;
}

// Every "file:" address in already decoded text, each ended by a quote, '<', or whitespace.
bool mentionsPreviewFile(std::string_view decoded, const std::filesystem::path& workingFolder) {
    size_t pos = 0;
    while ((pos = decoded.find("file:", pos)) != std::string_view::npos) {
        size_t end = decoded.find_first_of("'\"<> \t\r\n", pos);
        if (end == std::string_view::npos)
            end = decoded.size();
        if (isPreviewFileUri(decoded.substr(pos, end - pos), workingFolder))
            return true;
        pos = end;
    }
    return false;
}

bool readText(const std::filesystem::path& path, std::string& text) {
    std::vector<uint8_t> bytes;
    if (readWholeFile(path, bytes) != ReadStatus::Ok)
        return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

// Replaces the list with its cleaned text, keeping its permission bits; silent on failure.
void rewriteIfChanged(const std::filesystem::path& path, const std::string& before,
                      const std::string& after) {
    if (before == after)
        return;
    struct stat st {};
    bool haveMode = ::stat(path.c_str(), &st) == 0;
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(after.data()), after.size());
    if (writeFileAtomic(path, bytes, true).empty() && haveMode)
        ::chmod(path.c_str(), st.st_mode & 07777);
}

std::filesystem::path envFolder(const char* name, const char* fallbackUnderHome) {
    const char* v = std::getenv(name);
    if (v && *v && std::filesystem::path(v).is_absolute())
        return v;
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return std::filesystem::path(home) / fallbackUnderHome;
}

}  // namespace

bool isPreviewFileUri(std::string_view uri, const std::filesystem::path& workingFolder) {
    std::string_view rest = uri;
    if (rest.substr(0, 7) == "file://") {
        rest.remove_prefix(7);
        if (rest.substr(0, 9) == "localhost")
            rest.remove_prefix(9);
    }
    if (rest.empty() || rest[0] != '/' || workingFolder.empty())
        return false;
    std::filesystem::path p = std::filesystem::path(percentDecoded(rest)).lexically_normal();
    std::string name = p.filename().string();
    if (name.compare(0, kPreviewPrefix.size(), kPreviewPrefix) != 0)
        return false;
    std::filesystem::path folder = (workingFolder / "").lexically_normal();
    return (p.parent_path() / "").lexically_normal() == folder;
}

std::string withoutPreviewBookmarks(std::string_view xbel,
                                    const std::filesystem::path& workingFolder) {
    return withoutElements(xbel, "bookmark", [&](std::string_view tag, std::string_view) {
        return isPreviewFileUri(xmlDecoded(attributeValue(tag, "href")), workingFolder);
    });
}

std::string withoutPreviewHistory(std::string_view xcu,
                                  const std::filesystem::path& workingFolder) {
    return withoutElements(xcu, "item", [&](std::string_view tag, std::string_view whole) {
        std::string path = xmlDecoded(attributeValue(tag, "oor:path"));
        if (path.find("org.openoffice.Office.Histories") == std::string::npos)
            return false;
        return mentionsPreviewFile(xmlDecoded(whole), workingFolder);
    });
}

RecentFileLists defaultRecentFileLists() {
    RecentFileLists lists;
    std::filesystem::path data = envFolder("XDG_DATA_HOME", ".local/share");
    std::filesystem::path config = envFolder("XDG_CONFIG_HOME", ".config");
    if (!data.empty())
        lists.bookmarks = data / "recently-used.xbel";
    if (!config.empty())
        lists.history = config / "libreoffice/4/user/registrymodifications.xcu";
    return lists;
}

void CleanWordRecentFiles(const RecentFileLists& lists,
                          const std::filesystem::path& workingFolder) {
    if (workingFolder.empty())
        return;
    try {
        std::string text;
        if (!lists.bookmarks.empty() && readText(lists.bookmarks, text))
            rewriteIfChanged(lists.bookmarks, text, withoutPreviewBookmarks(text, workingFolder));
        if (!lists.history.empty() && readText(lists.history, text))
            rewriteIfChanged(lists.history, text, withoutPreviewHistory(text, workingFolder));
    } catch (...) {
        // Cleaning is best effort; the program is exiting anyway.
    }
}

}  // namespace morvel
