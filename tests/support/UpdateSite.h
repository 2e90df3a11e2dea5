#pragma once
// The web site the updates of a test come from: an HTTPS peer on port 443 of
// a loopback address of its own, which the host's hosts file gives the
// program's fixed update host name, with the test CA trusted through
// host.ini. Archives are made with Info-ZIP zip from files given by name, so
// the program reads archives it did not write itself.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/HttpsPeer.h"
#include "support/TempHost.h"

class QWidget;

namespace testsupport {

inline constexpr const char* kUpdateHost = "updates.brindleworks.net";
inline constexpr const char* kIndexPath = "/brindle-works/BrindleUpdates.zip";

// Archive members by name ("Sub/a.txt"), with their bytes.
using ArchiveFiles = std::map<std::string, std::string>;

// An archive torn after six tenths of its bytes, or with 64 bytes in its middle garbled.
void DamageArchive(std::string& archive, bool torn);

class UpdateSite {
public:
    explicit UpdateSite(TempHost& host);

    bool Ready() const { return peer_ && peer_->Ready(); }
    // "https://updates.brindleworks.net" + path.
    std::string Url(const std::string& path) const;
    // Writes a zip archive of the files at the path of the site ("/a/b.zip");
    // the archive's bytes.
    std::string PublishArchive(const std::string& path, const ArchiveFiles& files) const;
    // Any bytes at a path of the site.
    void PublishFile(const std::string& path, const std::string& bytes) const;
    // The update index archive at the fixed location, naming a version and
    // the program archive's address.
    void PublishIndex(const std::string& version, const std::string& downloadUrl) const;
    // Paths asked for so far, in order.
    std::vector<std::string> RequestedPaths() const;
    bool WasRequested(const std::string& path) const;

private:
    std::filesystem::path folder_;
    std::unique_ptr<HttpsPeer> peer_;
};

// A small program of the test: a shell script that appends "<name> <its raw
// command line>" to the log file, then runs the further shell text.
void WriteStandInProgram(const std::filesystem::path& file, const std::string& name,
                         const std::filesystem::path& log, const std::string& further = "");
// The same as the bytes of a stand-in, for an archive member.
std::string StandInProgramText(const std::string& name, const std::filesystem::path& log,
                               const std::string& further = "");

// Runs the event loop until the window has been unloaded (deleted), for at
// most two minutes; true when it was.
bool RunUntilUnloaded(QWidget* window);
// Waits (at most a minute) until the file holds the text: a program started
// without waiting writes after its starter has gone on.
bool WaitForText(const std::filesystem::path& file, const std::string& text);

}  // namespace testsupport
