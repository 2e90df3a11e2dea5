#include "net/ZipClass.h"

#include <limits>

#include "platform/api/BinaryFile.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace {

// Enough files in flight to keep the pool busy, and a bound on the content
// they hold (a larger single file is held alone).
constexpr std::size_t kMaxPendingFiles = 64;
constexpr std::int64_t kMaxPendingBytes = 64 * 1024 * 1024;

}  // namespace

// The attributes say what a plain search would list, without listing the
// folder once per file of a large tree.
bool PlainFileFound(const std::string& path) {
    if (path.find_first_of("*?") != std::string::npos) return false;
    const win::DWORD attributes = win::GetFileAttributesA(path);
    constexpr win::DWORD kNotPlain = win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM;
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & kNotPlain) == 0;
}

void ZipClass::Comment(const std::string& text) {
    comment_ = vb::StrConv(text, vb::vbFromUnicode);
    if (comment_.size() > 0xFFFF) throw RuntimeError::Overflow();
    end_.CommentLength = static_cast<std::uint16_t>(comment_.size());
}

bool ZipClass::AddFile(const std::string& FilePath, const std::string& Filename, const std::string& Comment) {
    if (!PlainFileFound(FilePath)) return false;
    if (files_.size() >= 0xFFFF) throw RuntimeError::Overflow();
    if (!pool_) pool_ = std::make_unique<zipdeflate::DeflatePool>();
    auto entry = std::make_unique<ZipFile>();
    entry->LoadFile(FilePath, *pool_);
    if (!Filename.empty()) entry->SetFileName(Filename);
    if (!Comment.empty()) entry->SetComment(Comment);
    pendingBytes_ += entry->Local.UncompressedSize;
    files_.push_back(std::move(entry));
    FinishCompressions(kMaxPendingFiles);
    return true;
}

// Finishes the oldest compressions until at most keepPending entries and
// kMaxPendingBytes of content are left waiting.
void ZipClass::FinishCompressions(std::size_t keepPending) {
    while (firstPending_ < files_.size() &&
           (files_.size() - firstPending_ > keepPending || pendingBytes_ > kMaxPendingBytes)) {
        ZipFile& entry = *files_[firstPending_++];
        pendingBytes_ -= entry.Local.UncompressedSize;
        entry.FinishCompression();
    }
}

const std::vector<std::unique_ptr<ZipFile>>& ZipClass::Files() {
    FinishCompressions(0);
    return files_;
}

bool ZipClass::WriteZip(const std::string& FilePath, bool Overwrite) {
    FinishCompressions(0);
    if (PlainFileFound(FilePath)) {
        if (!Overwrite) return false;
        vb::Kill(FilePath);
    }
    WriteArchive(FilePath);
    return true;
}

void ZipClass::WriteArchive(const std::string& FilePath) {
    // Put in place only when whole: a half-written archive never passes for one.
    vb::BinaryFile file(FilePath, vb::BinaryFile::Mode::Replace);
    auto offsetNow = [&file] {
        if (file.Written() > std::numeric_limits<std::int32_t>::max()) throw RuntimeError::Overflow();
        return static_cast<std::int32_t>(file.Written());
    };
    for (auto& entry : files_) {
        entry->Central.LocalHeaderOffset = offsetNow();
        entry->WriteLocalEntry(file);
    }
    const std::int32_t centralStart = offsetNow();
    for (const auto& entry : files_) entry->WriteCentralEntry(file);
    end_.EntriesOnDisk = end_.EntriesTotal = static_cast<std::uint16_t>(files_.size());
    end_.CentralDirectorySize = offsetNow() - centralStart;
    end_.CentralDirectoryOffset = centralStart;
    const std::string record = zipformat::Serialize(end_) + comment_;
    file.Write(record.data(), record.size());
    offsetNow();
    file.Close();
}
