#pragma once
// A file replaced whole. The new bytes go into a temporary of this writer's
// own in the file's folder (a name no other writer takes, created
// exclusively, never through a link), are synced and renamed over the file:
// a reader sees the old file or the new one, and two writers never mix
// theirs. A link is written through to the file it names; a file that is
// replaced keeps its mode, owner and file attributes, and its temporary is
// never more readable than the file was.
//
// A temporary is named "." + the file's name + "." + the writer's process id
// + "-" + a number + its suffix, and is locked while its writer has it open;
// each new temporary of a file first removes those of that file whose writer
// no longer runs, so a killed writer's temporary does not stay for good.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

class WholeFile {
public:
    // suffix: ".tmp", or ".part" for a download.
    explicit WholeFile(const std::filesystem::path& file, std::string suffix = ".tmp");
    ~WholeFile();  // a temporary that was not put in place is removed
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Creates the temporary: 0 or the errno. newFileMode (less the umask)
    // is the mode when there is no file yet to take the mode of.
    int Create(mode_t newFileMode = 0666);
    bool Write(std::string_view bytes);
    // Empties the temporary, to start its bytes again.
    bool Restart();
    // Syncs the temporary and renames it over the file: 0 or the errno. On
    // a failure the temporary is removed.
    int PutInPlace();
    void Discard();
    // Closes the temporary and leaves it for PutTemporaryInPlace: its path.
    std::filesystem::path Keep();

    int Descriptor() const { return fd_; }
    const std::filesystem::path& Temporary() const { return temporary_; }
    // The file that is replaced: the target of a link.
    const std::filesystem::path& Target() const { return target_; }

private:
    void KeepAttributesOfTarget();
    void Close();

    std::filesystem::path target_;
    std::string suffix_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int oldFd_ = -1;  // the file being replaced, while its attributes are taken
};

// Replaces the file with the bytes: 0 or the errno. With inPlaceIfFolderIsClosed,
// an existing file whose folder takes no new file is written in place (not in
// one step, but the only way such a file can change).
int ReplaceWholeFile(const std::filesystem::path& file, std::string_view bytes, mode_t newFileMode = 0666,
                     bool inPlaceIfFolderIsClosed = false);

// Puts a temporary that a WholeFile made and kept in the place of the file
// (the target of a link): synced and renamed over it. 0 or the errno; on a
// failure the temporary is removed.
int PutTemporaryInPlace(const std::filesystem::path& temporary, const std::filesystem::path& file);

// Removes the temporaries of the file that writers which no longer run left behind.
void RemoveStaleTemporaries(const std::filesystem::path& file, std::string_view suffix = ".tmp");

}  // namespace platform
