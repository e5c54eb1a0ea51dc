// What the application benchmarks share: timing, the sqlite3 tool as the
// outside baseline, and the line each figure is printed on.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace appbench {

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median wall time of `runs` runs of `work`.
inline double Timed(const std::function<void()>& work, int runs = 1)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(Since(start));
    }
    return Median(times);
}

// `text` as one word of a shell command.
inline std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The median wall time of the sqlite3 tool running `sql` on `file`, output discarded.
inline double Tool(const std::string& file, const std::string& sql, int runs = 1)
{
    const std::string command = "sqlite3 " + Quote(file) + " " + Quote(sql) + " > /dev/null";
    return Timed(
        [&command] {
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "sqlite3 failed: %s\n", command.c_str());
                std::exit(1);
            }
        },
        runs);
}

// The number this program logs for customer 123456789 and serial i, grouped
// 4-4-4-4-4-2 as the print road writes it.
inline std::string LoggedMailerNum(long i)
{
    char digits[48];
    std::snprintf(digits, sizeof digits, "9214712345678%09ld", i);
    std::string out;
    for (int at = 0; at < 22; at += 4) out += (at ? " " : "") + std::string(digits + at, at + 4 > 22 ? 2 : 4);
    return out;
}

// A memory figure of this process from /proc/self/status ("RssAnon:",
// "RssFile:", ...), in MB.
inline double StatusMb(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + key.size()) / 1024.0;
    return 0;
}

// Peak resident memory of this process in MB.
inline double PeakMb() { return StatusMb("VmHWM:"); }

// While it lives, samples this process's resident memory every 2 ms and
// keeps the peaks of its two parts: its own memory (anonymous pages) and
// pages of files mapped for reading, which stay the file's and which the
// kernel drops whenever it wants the room.
class MemorySampler {
public:
    MemorySampler() : thread_([this] {
        while (!stop_) {
            Sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }) {}
    ~MemorySampler() { Stop(); }
    void Stop()
    {
        if (!thread_.joinable()) return;
        stop_ = true;
        thread_.join();
        Sample();
    }
    double PeakOwnMb() const { return peakOwn_; }
    double PeakMappedMb() const { return peakMapped_; }

private:
    void Sample()
    {
        peakOwn_ = std::max(peakOwn_.load(), StatusMb("RssAnon:"));
        peakMapped_ = std::max(peakMapped_.load(), StatusMb("RssFile:"));
    }
    std::atomic<bool> stop_{false};
    std::atomic<double> peakOwn_{0}, peakMapped_{0};
    std::thread thread_;
};

inline bool HaveTool()
{
    if (std::system("command -v sqlite3 > /dev/null") == 0) return true;
    std::fprintf(stderr, "the sqlite3 tool is needed for the comparison\n");
    return false;
}

// A program folder of its own under the temporary folder, filled with `rows`
// log rows by this program run again as "<program> --fill <folder> <rows>"
// (the filling run makes its own application object and data module). Empty
// on failure.
inline std::filesystem::path FilledProgramFolder(const char* program, const std::string& name, long rows)
{
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    const auto start = Clock::now();
    if (std::system((Quote(program) + " --fill " + Quote(home.string()) + " " + std::to_string(rows)).c_str()) != 0)
        return {};
    std::printf("filled %ld log rows in %.1f s\n", rows, Since(start));
    return home;
}

}  // namespace appbench

