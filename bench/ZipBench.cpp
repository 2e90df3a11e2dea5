// Writing and unpacking archives, side by side with Info-ZIP in the same run:
//  - a folder of 1,000 small text files, and one 50 MB text file;
//  - ours: modZip::ZipFolder / ZipSingleFile to write, ZipExtractionClass
//    (keep folders, overwrite) to unpack;
//  - Info-ZIP: "zip -6 -q -r" and "unzip -o -q -d";
//  - the floor: plain code doing the least work for the same bytes on one
//    thread, one zlib deflate (level 6, raw) of every file with its CRC-32
//    into one output file, and one inflate per entry straight into its file.
//    Ours deflates on up to four threads, so its writes can come in under
//    this floor.
// Each figure is the best of three runs; compressed sizes are printed with
// their ratio to Info-ZIP's.
#include <fcntl.h>
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
#include <sstream>
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

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<fs::path> FilesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

int Run(const std::vector<std::string>& arguments) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double BestMs(const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

// The floor of writing: each file read, CRC-32 and raw deflate at level 6,
// the data appended to one file.
void FloorWrite(const std::vector<fs::path>& files, const fs::path& out) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string buffer;
    for (const fs::path& file : files) {
        const std::string content = ReadFile(file);
        volatile uLong crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
        (void)crc;
        z_stream stream{};
        deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        buffer.resize(deflateBound(&stream, static_cast<uLong>(content.size())));
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
        stream.avail_in = static_cast<uInt>(content.size());
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        deflate(&stream, Z_FINISH);
        (void)!::write(fd, buffer.data(), stream.total_out);
        deflateEnd(&stream);
    }
    ::close(fd);
}

struct Packed {
    std::string data;
    std::size_t size;
    fs::path name;
};

std::vector<Packed> PackForFloor(const std::vector<fs::path>& files, const fs::path& root) {
    std::vector<Packed> packed;
    for (const fs::path& file : files) {
        const std::string content = ReadFile(file);
        uLongf length = compressBound(static_cast<uLong>(content.size()));
        std::string out(length, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(content.data()),
                  static_cast<uLong>(content.size()), 6);
        out.resize(length);
        packed.push_back({std::move(out), content.size(), file.lexically_relative(root)});
    }
    return packed;
}

// The floor of unpacking: one inflate per entry into its file, CRC-32 of the result.
void FloorExtract(const std::vector<Packed>& packed, const fs::path& out) {
    std::string buffer;
    for (const Packed& entry : packed) {
        buffer.resize(entry.size);
        uLongf length = static_cast<uLongf>(entry.size);
        uncompress(reinterpret_cast<Bytef*>(buffer.data()), &length, reinterpret_cast<const Bytef*>(entry.data.data()),
                   static_cast<uLong>(entry.data.size()));
        volatile uLong crc = crc32(0, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(length));
        (void)crc;
        const fs::path target = out / entry.name;
        fs::create_directories(target.parent_path());
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        (void)!::write(fd, buffer.data(), length);
        ::close(fd);
    }
}

void Report(const char* what, double ours, double infoZip, double floor) {
    std::printf("%-28s ours %9.1f ms   Info-ZIP %9.1f ms   floor %9.1f ms   ours/Info-ZIP %.2f   ours/floor %.2f\n",
                what, ours, infoZip, floor, ours / infoZip, ours / floor);
}

void ReportSize(const char* what, std::uintmax_t ours, std::uintmax_t infoZip) {
    std::printf("%-28s ours %11ju B   Info-ZIP %11ju B   ours/Info-ZIP %.4f\n", what, ours, infoZip,
                static_cast<double>(ours) / static_cast<double>(infoZip));
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

    const double writeOurs = BestMs([&] { Remove(ours); }, [&] {
        if (isFolder)
            modZip::ZipFolder(windowsSource, "C:\\ours.zip", true);
        else
            modZip::ZipSingleFile(windowsSource, "C:\\ours.zip");
    });
    const double writeTheirs = BestMs([&] { Remove(theirs); }, [&] {
        const std::string folder = sourceFolder.string();
        if (isFolder)
            Run({"sh", "-c", "cd '" + folder + "' && zip -6 -q -r '" + theirs.string() + "' ."});
        else
            Run({"sh", "-c", "cd '" + folder + "' && zip -6 -q '" + theirs.string() + "' '" +
                                 source.filename().string() + "'"});
    });
    const double writeFloor = BestMs([&] { Remove(floorOut); }, [&] { FloorWrite(files, floorOut); });
    std::printf("%s\n", label);
    Report("  write", writeOurs, writeTheirs, writeFloor);
    ReportSize("  compressed size", fs::file_size(ours), fs::file_size(theirs));

    const fs::path oursOut = host.HostOf("C:\\out-ours"), theirsOut = host.Folder() / "out-theirs";
    const fs::path floorFolder = host.Folder() / "out-floor";
    const double extractOurs = BestMs([&] { Remove(oursOut); }, [&] {
        ZipExtractionClass reader;
        if (!reader.OpenZip("C:\\ours.zip") || !reader.Extract("C:\\out-ours", true, true))
            std::fprintf(stderr, "our extraction failed\n");
    });
    const double extractTheirs = BestMs([&] { Remove(theirsOut); }, [&] {
        Run({"unzip", "-o", "-q", "-d", theirsOut.string(), theirs.string()});
    });
    const auto packed = PackForFloor(files, sourceFolder);
    const double extractFloor = BestMs([&] { Remove(floorFolder); }, [&] { FloorExtract(packed, floorFolder); });
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
