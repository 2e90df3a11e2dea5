#pragma once
// A file opened the way the run time opens one "For Binary": bytes read at a
// position and bytes written in order. Only regular files open; a folder, a
// FIFO or a device is refused, so a reader never blocks on one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class WholeFile;
}

namespace vb {

class BinaryFile {
public:
    enum class Mode { Read, Write, CreateNew, Replace };
    // Read: error 53 when the file is missing, 75 when it is not a regular
    // file or cannot be opened. Write creates or empties the file (one named
    // *.exe is left runnable, as copies and moves leave it): 76 for a
    // missing folder, 75 when refused. CreateNew creates it as Write does
    // only when nothing is there under any letter case, else error 58.
    // Replace writes as Write does into a temporary beside the file, which
    // Close puts in the file's place in one step (error 75 when it cannot);
    // one that is never closed goes, and the file stays as it was.
    BinaryFile(const std::string& windowsPath, Mode mode);
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    std::int64_t Length() const;
    // Up to count bytes from a 0-based offset; the number read (0 past the end).
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count);
    // Appends; error 61 "Disk full" or 75 when not everything is written.
    void Write(const void* data, std::size_t count);
    std::int64_t Written() const { return written_; }
    void Close();

private:
    std::unique_ptr<platform::WholeFile> replacement_;
    int fd_ = -1;
    std::int64_t written_ = 0;
};

}  // namespace vb
