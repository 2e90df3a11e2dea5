// The Download class against a real HTTPS server: its events and their
// order, the error texts, credentials that live for one call only, and a
// download that a handler stops or tries to start again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "net/Download.h"
#include "support/HttpsPeer.h"
#include "support/TempHost.h"

namespace {

using testsupport::HttpsPeer;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;

const std::string kDest = "C:\\Program Files\\Quarnel\\BrindleUpdates.zip";

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer_.Ready());
        host_.WriteHostIni("Internet", "CAFile", peer_.CaFile().string());
        WriteHostFile(peer_.Root() / "BrindleUpdates.zip", std::string(200000, 'z'));
        download_.DownloadStarted = [this] { events_.push_back("started"); };
        download_.DownloadComplete = [this] { events_.push_back("complete"); };
        download_.DownloadAborted = [this](std::int32_t code, const std::string& text) {
            events_.push_back("aborted " + std::to_string(static_cast<std::uint32_t>(code)) + " " + text);
        };
        download_.DownloadProgress = [this](std::int32_t so, std::int32_t expected) {
            progress_.push_back({so, expected});
        };
    }
    fs::path Dest() const { return host_.HostOf(kDest); }
    // The events other than progress, in order.
    std::vector<std::string> Events() const { return events_; }

    testsupport::ProgramHost host_;
    HttpsPeer peer_{host_.Folder() / "web", HttpsPeer::Options::Guarded("client", "Paßwort")};
    Download download_;
    std::vector<std::string> events_;
    std::vector<std::pair<std::int32_t, std::int32_t>> progress_;
};

TEST_F(DownloadTest, CompleteDownloadRaisesStartedProgressAndComplete) {
    download_.StartDownload(peer_.Url("/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "complete"}));
    ASSERT_FALSE(progress_.empty());
    for (const auto& [so, expected] : progress_) EXPECT_EQ(expected, 200000);
    EXPECT_EQ(progress_.back().first, 200000);
    EXPECT_EQ(ReadHostFile(Dest()), std::string(200000, 'z'));
}

TEST_F(DownloadTest, ServerWithoutLengthRaisesNoProgress) {
    download_.StartDownload(peer_.Url("/_/nolength/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "complete"}));
    EXPECT_TRUE(progress_.empty());
    EXPECT_TRUE(fs::exists(Dest()));
}

TEST_F(DownloadTest, FailuresRaiseAbortedWithTheCodeAndItsText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {peer_.Url("/Missing.zip"), "2148270085 Resource Not Found."},
        {peer_.Url("/_/status/500"), "2148270088 Download Failure."},
        {peer_.Url("/_/auth/BrindleUpdates.zip"), "2148270089 Authentication Failure."},
        {"https://127.0.0.1:1/x.zip", "2148270084 Cannot Connect"},
        {"", "2148270082 Invalid URL."},
    };
    for (const auto& [url, event] : cases) {
        SCOPED_TRACE(url);
        events_.clear();
        download_.StartDownload(url, kDest);
        EXPECT_EQ(Events(), (std::vector<std::string>{"started", "aborted " + event}));
        EXPECT_FALSE(fs::exists(Dest()));
    }
}

TEST_F(DownloadTest, ErrorTextsOfTheResultCodes) {
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {0x800C0003, "No Session."},          {0x800C000B, "Connection Timeout."},
        {0x800C000E, "Security Problem."},    {0x800C0011, "Default Action."},
        {0x800C0012, "Unknown Error."},       {0x800C0013, "QueryOption Unknown."},
        {0x800C0016, "Cannot Lock Request."}, {0x800C0100, "Code Download Declined."},
        {0x800C0300, "Cannot Replace SFP File."}, {0x80004004, "Unknown Error."},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(Download::BindErrorText(static_cast<std::int32_t>(code)), text);
}

TEST_F(DownloadTest, CredentialsServeOneCallAndTheEventAsksOnlyWhenNoneAreGiven) {
    int asked = 0;
    download_.Authenticate = [&asked](std::string& user, std::string& password) {
        ++asked;
        EXPECT_EQ(user, "");
        EXPECT_EQ(password, "");
    };
    download_.StartDownload(peer_.Url("/_/auth/BrindleUpdates.zip"), kDest, "client", "Paßwort");
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "complete"}));
    EXPECT_EQ(asked, 0);

    // The next call has none left: the handler is asked and gives none.
    fs::remove(Dest());
    events_.clear();
    download_.StartDownload(peer_.Url("/_/auth/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "aborted 2148270089 Authentication Failure."}));
    EXPECT_FALSE(fs::exists(Dest()));

    download_.Authenticate = [](std::string& user, std::string& password) {
        user = "client";
        password = "Paßwort";
    };
    events_.clear();
    download_.StartDownload(peer_.Url("/_/auth/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "complete"}));
}

TEST_F(DownloadTest, StartWhileRunningIsIgnoredAndStopAbortsTheDownload) {
    WriteHostFile(peer_.Root() / "Other.zip", "other");
    int starts = 0;
    download_.DownloadProgress = [&](std::int32_t, std::int32_t) {
        if (starts++ == 0) download_.StartDownload(peer_.Url("/Other.zip"), "C:\\Other.zip");
    };
    download_.StartDownload(peer_.Url("/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "complete"}));
    EXPECT_FALSE(fs::exists(host_.HostOf("C:\\Other.zip")));
    EXPECT_EQ(peer_.Requests().size(), 1u);

    fs::remove(Dest());
    events_.clear();
    download_.DownloadProgress = [this](std::int32_t, std::int32_t) { download_.StopDownload(); };
    download_.StartDownload(peer_.Url("/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "aborted 2147500036 Unknown Error."}));
    EXPECT_FALSE(fs::exists(Dest()));

    // Idle again: StopDownload does nothing and the next download runs.
    download_.StopDownload();
    download_.DownloadProgress = nullptr;
    events_.clear();
    download_.StartDownload(peer_.Url("/BrindleUpdates.zip"), kDest);
    EXPECT_EQ(Events(), (std::vector<std::string>{"started", "complete"}));
}

}  // namespace
