#include "platform/profile.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
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
    // Only a regular file is read: a FIFO in its place would block the program.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return lines;
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

// Writes `text` to a new file beside `path`, flushes it to the disk and renames it over `path`,
// so that a crash or a full disk never leaves half a profile. On failure the new file is
// removed and `path` stays as it was. A profile that is a symbolic link (kept with the user's
// other settings elsewhere) stays one: the file it names is replaced, keeping its mode.
bool ReplaceFile(const std::string& path, std::string_view text) {
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    const std::string target = ec ? path : resolved.string();
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;

    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        ok = written > 0;
        if (ok) done += static_cast<size_t>(written);
    }
    if (ok && exists) ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
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
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    return ReplaceFile(m_path, text);
}

} // namespace zorvil::platform
