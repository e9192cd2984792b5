#include "platform/profile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace zorvil::platform {

namespace {

std::string Trim(std::string_view s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

// Values as QSettings writes them: optionally in double quotes, with backslash escapes.
std::string Unescape(std::string_view raw) {
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char n = raw[++i];
            out += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
        } else if (c == ';' && !quoted) {
            break; // a comment
        } else {
            out += c;
        }
    }
    return out;
}

std::string Escape(std::string_view value) {
    bool quote = !value.empty() && (value.front() == ' ' || value.back() == ' ');
    std::string body;
    for (char c : value) {
        if (c == '\\' || c == '"') {
            body += '\\';
            body += c;
        } else if (c == '\n') {
            body += "\\n";
        } else {
            if (c == ';' || c == ',' || c == '=') quote = true;
            body += c;
        }
    }
    return quote ? '"' + body + '"' : body;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool IsSection(const std::string& line, std::string_view section) {
    const std::string t = Trim(line);
    return t.size() >= 2 && t.front() == '[' && t.back() == ']' &&
           std::string_view(t).substr(1, t.size() - 2) == section;
}

bool IsAnySection(const std::string& line) {
    const std::string t = Trim(line);
    return !t.empty() && t.front() == '[';
}

// The key of a "key=value" line, or empty.
std::string KeyOf(const std::string& line) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return {};
    return Trim(std::string_view(line).substr(0, eq));
}

} // namespace

std::string CProfile::DefaultPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        base = std::filesystem::path(home) / ".config";
    else
        base = ".config";
    return (base / "Ostrelworks" / "Zorvil.conf").string();
}

bool CProfile::Find(std::string_view section, std::string_view key, std::string& value) const {
    bool inSection = false;
    for (const std::string& line : ReadLines(m_path)) {
        if (IsAnySection(line)) {
            inSection = IsSection(line, section);
            continue;
        }
        if (inSection && KeyOf(line) == key) {
            value = Unescape(Trim(std::string_view(line).substr(line.find('=') + 1)));
            return true;
        }
    }
    return false;
}

int CProfile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::lock_guard lock(m_mutex);
    std::string text;
    if (!Find(section, key, text)) return defaultValue;
    text = Trim(text);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return defaultValue;
    return value;
}

std::string CProfile::GetString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::lock_guard lock(m_mutex);
    std::string text;
    if (!Find(section, key, text)) return std::string(defaultValue);
    return text;
}

bool CProfile::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool CProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines = ReadLines(m_path);
    const std::string entry = std::string(key) + "=" + Escape(value);
    bool inSection = false;
    bool done = false;
    size_t sectionEnd = std::string::npos; // where a new key of the section goes
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        if (IsAnySection(lines[i])) {
            if (inSection) break;
            inSection = IsSection(lines[i], section);
            if (inSection) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        if (KeyOf(lines[i]) == key) {
            lines[i] = entry;
            done = true;
        } else if (!Trim(lines[i]).empty()) {
            sectionEnd = i + 1;
        }
    }
    if (!done) {
        if (sectionEnd == std::string::npos) {
            if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + std::string(section) + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
        }
    }

    std::error_code ec;
    const std::filesystem::path path(m_path);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    const std::string temp = m_path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) return false;
        for (const std::string& line : lines)
            out << line << '\n';
        out.flush();
        if (!out) return false;
    }
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

} // namespace zorvil::platform
