// Writing and unpacking archives, side by side with Info-ZIP in the same run:
//  - a folder of 1,000 small text files, and one 50 MB text file;
//  - ours: modZip::ZipFolder / ZipSingleFile to write, ZipExtractionClass
//    (keep folders, overwrite) to unpack;
//  - Info-ZIP: "zip -6 -q -r" and "unzip -o -q -d";
//  - the floor: plain code doing the least work for the same bytes on one
//    thread, streaming zlib in 256 KB chunks: raw deflate at level 6 through
//    one reused stream with each file's CRC-32 into one output file, and a
//    streaming inflate of each entry with its CRC-32 into its own file.
//    Ours deflates on up to four threads, so its writes can come in under
//    this floor in wall time; the CPU time shows what the threads cost.
// Each run is a process of its own, so that its CPU time (all threads) and
// its peak memory are printed beside its wall time; each figure is the best
// of three runs; compressed sizes are printed with their ratio to Info-ZIP's.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "net/ZipExtractionClass.h"
#include "net/modZip.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSmallFiles = 1000;
constexpr std::size_t kBigFileBytes = 50u * 1024 * 1024;
constexpr int kRuns = 3;

// Text like a log: words from a small vocabulary, numbers, line ends.
std::string Text(std::mt19937& random, std::size_t bytes) {
    static const char* const words[] = {"event",  "source", "Service", "Control", "Manager", "entered", "the",
                                        "running", "state",  "stopped", "Quarnel", "rule",    "matched", "alert",
                                        "Warning", "Error",  "Information", "computer", "user", "logon"};
    std::string text;
    text.reserve(bytes + 32);
    while (text.size() < bytes) {
        text += std::to_string(random() % 65536);
        for (int i = 0; i < 9; ++i) {
            text += ' ';
            text += words[random() % std::size(words)];
        }
        text += "\r\n";
    }
    text.resize(bytes);
    return text;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<fs::path> FilesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// What one run cost: wall time, CPU time of all its threads, peak resident memory.
struct Cost {
    double wallMs = 1e30;
    double cpuSeconds = 0;
    double peakMb = 0;
};

double SecondsOf(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Runs work in a child process, so that its CPU time and its peak memory are
// its own; the best of kRuns by wall time.
Cost BestOf(const std::function<void()>& prepare, const std::function<void()>& work) {
    Cost best;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        const auto start = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            work();
            ::_exit(0);
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "a measured run failed\n");
        if (wall < best.wallMs)
            best = {wall, SecondsOf(usage.ru_utime) + SecondsOf(usage.ru_stime), usage.ru_maxrss / 1024.0};
    }
    return best;
}

// Runs a program in the given folder, without a shell between.
void RunIn(const fs::path& folder, const std::vector<std::string>& arguments) {
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

constexpr std::size_t kChunk = 256 * 1024;

struct FloorEntry {
    fs::path name;
    off_t offset = 0;
    std::size_t compressed = 0;
};

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put <= 0) return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The floor of writing, on one thread: each file read in 256 KB chunks,
// CRC-32 and raw deflate at level 6 through one reused stream, the data
// appended to one file. The entries' places are kept for the floor of
// unpacking.
std::vector<FloorEntry> FloorWrite(const std::vector<fs::path>& files, const fs::path& root, const fs::path& out) {
    std::vector<FloorEntry> entries;
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<unsigned char> in(kChunk), packed(kChunk);
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    off_t offset = 0;
    for (const fs::path& file : files) {
        deflateReset(&stream);
        const int source = ::open(file.c_str(), O_RDONLY);
        uLong crc = crc32(0, nullptr, 0);
        int flush = Z_NO_FLUSH;
        do {
            const ssize_t got = ::read(source, in.data(), in.size());
            if (got < 0) break;
            crc = crc32(crc, in.data(), static_cast<uInt>(got));
            flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
            stream.next_in = in.data();
            stream.avail_in = static_cast<uInt>(got);
            do {
                stream.next_out = packed.data();
                stream.avail_out = static_cast<uInt>(packed.size());
                deflate(&stream, flush);
                WriteAll(fd, packed.data(), packed.size() - stream.avail_out);
            } while (stream.avail_out == 0);
        } while (flush != Z_FINISH);
        ::close(source);
        volatile uLong keep = crc;
        (void)keep;
        entries.push_back({file.lexically_relative(root), offset, static_cast<std::size_t>(stream.total_out)});
        offset += static_cast<off_t>(stream.total_out);
    }
    deflateEnd(&stream);
    ::close(fd);
    return entries;
}

// The floor of unpacking, on one thread: each entry inflated from the packed
// file in 256 KB chunks into its own file, with its CRC-32.
void FloorExtract(const std::vector<FloorEntry>& entries, const fs::path& packedFile, const fs::path& out) {
    const int fd = ::open(packedFile.c_str(), O_RDONLY);
    std::vector<unsigned char> in(kChunk), unpacked(kChunk);
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    for (const FloorEntry& entry : entries) {
        inflateReset(&stream);
        const fs::path target = out / entry.name;
        fs::create_directories(target.parent_path());
        const int file = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        uLong crc = crc32(0, nullptr, 0);
        std::size_t read = 0;
        int result = Z_OK;
        while (result != Z_STREAM_END && read < entry.compressed) {
            const std::size_t want = std::min(in.size(), entry.compressed - read);
            const ssize_t got = ::pread(fd, in.data(), want, entry.offset + static_cast<off_t>(read));
            if (got <= 0) break;
            read += static_cast<std::size_t>(got);
            stream.next_in = in.data();
            stream.avail_in = static_cast<uInt>(got);
            do {
                stream.next_out = unpacked.data();
                stream.avail_out = static_cast<uInt>(unpacked.size());
                result = inflate(&stream, Z_NO_FLUSH);
                const std::size_t produced = unpacked.size() - stream.avail_out;
                crc = crc32(crc, unpacked.data(), static_cast<uInt>(produced));
                WriteAll(file, unpacked.data(), produced);
            } while (stream.avail_out == 0 && result == Z_OK);
            if (result != Z_OK && result != Z_STREAM_END) break;
        }
        ::close(file);
        volatile uLong keep = crc;
        (void)keep;
    }
    inflateEnd(&stream);
    ::close(fd);
}

void Report(const char* what, const Cost& ours, const Cost& infoZip, const Cost& floor) {
    std::printf("%-12s ours %7.1f ms %5.2f s CPU %6.1f MB   Info-ZIP %7.1f ms %5.2f s CPU %6.1f MB   "
                "floor %7.1f ms %5.2f s CPU %6.1f MB   ours/Info-ZIP %.2f   ours/floor %.2f   "
                "target: as fast as Info-ZIP: %s\n",
                what, ours.wallMs, ours.cpuSeconds, ours.peakMb, infoZip.wallMs, infoZip.cpuSeconds, infoZip.peakMb,
                floor.wallMs, floor.cpuSeconds, floor.peakMb, ours.wallMs / infoZip.wallMs, ours.wallMs / floor.wallMs,
                ours.wallMs <= infoZip.wallMs ? "met" : "MISSED");
}

void ReportSize(const char* what, std::uintmax_t ours, std::uintmax_t infoZip) {
    const double ratio = static_cast<double>(ours) / static_cast<double>(infoZip);
    std::printf("%-12s ours %11ju B   Info-ZIP %11ju B   ours/Info-ZIP %.4f   target: within 1%% of Info-ZIP's "
                "size: %s\n",
                what, ours, infoZip, ratio, ratio <= 1.01 ? "met" : "MISSED");
}

void Remove(const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

void Case(const char* label, testsupport::TempHost& host, const std::string& windowsSource, bool isFolder) {
    const fs::path source = host.HostOf(windowsSource);
    const fs::path sourceFolder = isFolder ? source : source.parent_path();
    const std::vector<fs::path> files = isFolder ? FilesUnder(source) : std::vector<fs::path>{source};
    const fs::path ours = host.HostOf("C:\\ours.zip"), theirs = host.Folder() / "theirs.zip";
    const fs::path floorOut = host.Folder() / "floor.bin";

    const Cost writeOurs = BestOf([&] { Remove(ours); }, [&] {
        if (isFolder)
            modZip::ZipFolder(windowsSource, "C:\\ours.zip", true);
        else
            modZip::ZipSingleFile(windowsSource, "C:\\ours.zip");
    });
    const Cost writeTheirs = BestOf([&] { Remove(theirs); }, [&] {
        if (isFolder)
            RunIn(sourceFolder, {"zip", "-6", "-q", "-r", theirs.string(), "."});
        else
            RunIn(sourceFolder, {"zip", "-6", "-q", theirs.string(), source.filename().string()});
    });
    const Cost writeFloor =
        BestOf([&] { Remove(floorOut); }, [&] { FloorWrite(files, sourceFolder, floorOut); });
    std::printf("%s\n", label);
    Report("  write", writeOurs, writeTheirs, writeFloor);
    ReportSize("  compressed", fs::file_size(ours), fs::file_size(theirs));

    const fs::path oursOut = host.HostOf("C:\\out-ours"), theirsOut = host.Folder() / "out-theirs";
    const fs::path floorFolder = host.Folder() / "out-floor";
    const Cost extractOurs = BestOf([&] { Remove(oursOut); }, [&] {
        ZipExtractionClass reader;
        if (!reader.OpenZip("C:\\ours.zip") || !reader.Extract("C:\\out-ours", true, true)) ::_exit(1);
    });
    const Cost extractTheirs = BestOf([&] { Remove(theirsOut); }, [&] {
        RunIn(host.Folder(), {"unzip", "-o", "-q", "-d", theirsOut.string(), theirs.string()});
    });
    const std::vector<FloorEntry> entries = FloorWrite(files, sourceFolder, floorOut);
    const Cost extractFloor =
        BestOf([&] { Remove(floorFolder); }, [&] { FloorExtract(entries, floorOut, floorFolder); });
    Report("  extract", extractOurs, extractTheirs, extractFloor);
    if (FilesUnder(oursOut).size() != files.size()) std::fprintf(stderr, "our extraction lost files\n");
}

}  // namespace

int main() {
    testsupport::TempHost host;
    std::mt19937 random(20261210);
    for (int i = 0; i < kSmallFiles; ++i)
        WriteFile(host.HostOf("C:\\small\\Folder " + std::to_string(i % 10) + "\\File " + std::to_string(i) + ".txt"),
                  Text(random, 500 + random() % 4000));
    WriteFile(host.HostOf("C:\\big\\Big.txt"), Text(random, kBigFileBytes));

    Case("1,000 small files", host, "C:\\small", true);
    Case("one 50 MB text file", host, "C:\\big\\Big.txt", false);
    return 0;
}
