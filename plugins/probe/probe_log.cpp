#include "probe/probe_log.h"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace zorvil::plugins {

ProbeLog::ProbeLog() {
    m_text.reserve(kReservedBytes);
}

void ProbeLog::Record::Line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintList(format, args);
    va_end(args);
    m_text.push_back('\n');
}

void ProbeLog::Record::Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintList(format, args);
    va_end(args);
}

void ProbeLog::Record::PrintList(const char* format, va_list args) {
    std::array<char, 256> buffer{};
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    if (length >= 0 && static_cast<std::size_t>(length) < buffer.size()) {
        m_text.append(buffer.data(), static_cast<std::size_t>(length));
    } else if (length >= 0) {
        // Longer than the buffer: format straight into the log.
        const std::size_t start = m_text.size();
        m_text.resize(start + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(m_text.data() + start, static_cast<std::size_t>(length) + 1, format, again);
        m_text.resize(start + static_cast<std::size_t>(length));
    }
    va_end(again);
}

const char* ProbeLog::Snapshot() {
    std::lock_guard lock(m_mutex);
    m_snapshot = m_text;
    return m_snapshot.c_str();
}

void ProbeLog::Clear() {
    std::lock_guard lock(m_mutex);
    m_text.clear();
}

} // namespace zorvil::plugins
