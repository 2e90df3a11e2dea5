#include "net/ZipClass.h"

#include <limits>

#include "platform/api/BinaryFile.h"
#include "platform/api/FileSystem.h"
#include "platform/host/Text.h"
#include "platform/api/RuntimeError.h"

// The attributes say what a plain search would list, without listing the
// folder once per file of a large tree.
bool PlainFileFound(const std::string& path) {
    if (path.find_first_of("*?") != std::string::npos) return false;
    const win::DWORD attributes = win::GetFileAttributesA(path);
    constexpr win::DWORD kNotPlain = win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM;
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & kNotPlain) == 0;
}

void ZipClass::Comment(const std::string& text) {
    comment_ = platform::Utf8ToAnsi(text);
    if (comment_.size() > 0xFFFF) throw RuntimeError::Overflow();
    end_.CommentLength = static_cast<std::uint16_t>(comment_.size());
}

bool ZipClass::AddFile(const std::string& FilePath, const std::string& Filename, const std::string& Comment) {
    if (!PlainFileFound(FilePath)) return false;
    if (files_.size() >= 0xFFFF) throw RuntimeError::Overflow();
    auto entry = std::make_unique<ZipFile>();
    entry->LoadFile(FilePath);
    if (!Filename.empty()) entry->SetFileName(Filename);
    if (!Comment.empty()) entry->SetComment(Comment);
    files_.push_back(std::move(entry));
    return true;
}

bool ZipClass::WriteZip(const std::string& FilePath, bool Overwrite) {
    if (PlainFileFound(FilePath)) {
        if (!Overwrite) return false;
        vb::Kill(FilePath);
    }
    try {
        WriteArchive(FilePath);
    } catch (...) {
        // A half-written archive must not pass for a whole one.
        win::DeleteFileA(FilePath);
        throw;
    }
    return true;
}

void ZipClass::WriteArchive(const std::string& FilePath) {
    vb::BinaryFile file(FilePath, vb::BinaryFile::Mode::Write);
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
