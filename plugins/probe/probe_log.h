// ProbeLog: the probe's record of what a host did to it, one text line per record.
//
// Writers on any thread append whole records under one lock (a record may span several lines,
// such as an event list, and never interleaves with another). Readers take a snapshot copy, so
// the text they hold stays put while the engine thread keeps appending.
//
//     ProbeLog log;
//     {
//         ProbeLog::Record record = log.Begin();
//         record.Line("events %d", 1);
//         record.Line("midi %d %02x %02x %02x %02x", 0, 0x90, 60, 100, 0);
//     }
//     std::puts(log.Snapshot());   // "events 1\nmidi 0 90 3c 64 00\n"
//
// Room for many records is reserved up front, so appending on the engine thread allocates only
// when a test logs more than that.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace zorvil::plugins {

class ProbeLog {
public:
    class Record {
    public:
        explicit Record(ProbeLog& log) : m_lock(log.m_mutex), m_text(log.m_text) {}

        // Appends one formatted line; the terminating '\n' is added.
        void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
        // Appends formatted text without a line end.
        void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
        // Appends raw text.
        void Append(std::string_view text) { m_text.append(text); }

    private:
        void PrintList(const char* format, va_list args);

        std::unique_lock<std::mutex> m_lock;
        std::string& m_text;
    };

    ProbeLog();

    Record Begin() { return Record(*this); }
    const char* Snapshot();
    void Clear();

private:
    static constexpr std::size_t kReservedBytes = 256 * 1024;

    std::mutex m_mutex;
    std::string m_text;     // guarded by m_mutex
    std::string m_snapshot; // the readers' copy; only touched by Snapshot()
};

} // namespace zorvil::plugins
