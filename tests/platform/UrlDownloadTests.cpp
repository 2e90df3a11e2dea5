// URLDownloadToFileW against a real HTTPS server: the file appears only after
// a complete 2xx transfer, every failure has its result code and leaves the
// target as it was, names resolve through the hosts file, TLS is verified.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "platform/api/UrlMon.h"
#include "support/HttpsPeer.h"
#include "support/PeerProcess.h"
#include "support/TempHost.h"

namespace {

using testsupport::HttpsPeer;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kTarget = "C:\\Downloads\\Rules.zip";

class RecordingCallback : public win::IBindStatusCallback {
public:
    struct Progress {
        win::ULONG progress, progressMax, statusCode;
    };
    win::HRESULT IBindStatusCallback_OnStartBinding(win::DWORD, win::IBinding* binding) override {
        binding_ = binding;
        calls.push_back("start");
        return win::S_OK;
    }
    win::HRESULT IBindStatusCallback_GetPriority(win::LONG*) override { return win::S_OK; }
    win::HRESULT IBindStatusCallback_OnLowResource(win::DWORD) override { return win::S_OK; }
    win::HRESULT IBindStatusCallback_OnProgress(win::ULONG progress, win::ULONG progressMax, win::ULONG statusCode,
                                                const std::string&) override {
        progress_.push_back({progress, progressMax, statusCode});
        if (abortAfterBytes && progress >= abortAfterBytes && binding_) binding_->Abort();
        return win::S_OK;
    }
    win::HRESULT IBindStatusCallback_OnStopBinding(win::HRESULT result, const std::string&) override {
        calls.push_back("stop");
        stopResult = result;
        binding_ = nullptr;
        return win::S_OK;
    }
    win::HRESULT IBindStatusCallback_GetBindInfo(win::DWORD*, win::BINDINFO*) override { return win::S_OK; }
    win::HRESULT IBindStatusCallback_OnDataAvailable(win::DWORD, win::DWORD) override { return win::S_OK; }
    win::HRESULT IBindStatusCallback_OnObjectAvailable() override { return win::S_OK; }

    std::vector<std::string> calls;
    std::vector<Progress> progress_;
    win::HRESULT stopResult = 12345;
    win::ULONG abortAfterBytes = 0;

private:
    win::IBinding* binding_ = nullptr;
};

class AuthenticatingCallback : public RecordingCallback, public win::IAuthenticate {
public:
    win::HRESULT IAuthenticate_Authenticate(win::HWND*, char16_t** userName, char16_t** password) override {
        ++asked;
        *userName = Copy(user);
        *password = Copy(secret);
        return win::S_OK;
    }
    std::string user, secret;
    int asked = 0;

private:
    static char16_t* Copy(const std::string& text) {
        const std::u16string wide = win::Utf16Of(text);
        auto* copy = static_cast<char16_t*>(win::CoTaskMemAlloc((wide.size() + 1) * sizeof(char16_t)));
        std::copy(wide.c_str(), wide.c_str() + wide.size() + 1, copy);
        return copy;
    }
};

// A loopback port where nothing listens.
std::string ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return std::to_string(ntohs(address.sin_port));
}

class UrlDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer_.Ready());
        host_.WriteHostIni("Internet", "CAFile", peer_.CaFile().string());
        WriteHostFile(peer_.Root() / "Rules.zip", payload_);
        fs::create_directories(Folder());
    }
    fs::path Folder() const { return host_.HostOf("C:\\Downloads"); }
    fs::path Target() const { return host_.HostOf("C:\\Downloads\\Rules.zip"); }
    // Names in the download folder other than the target: a left-over
    // temporary file would show here.
    std::vector<std::string> Strays() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder()))
            if (entry.path().filename() != "Rules.zip") names.push_back(entry.path().filename().string());
        return names;
    }
    win::HRESULT Fetch(const std::string& url, RecordingCallback& callback) {
        return win::URLDownloadToFileW(nullptr, url, kTarget, 0, &callback);
    }

    testsupport::TempHost host_;
    HttpsPeer peer_{host_.Folder() / "web"};
    // Binary, with CR LF, NUL and non-ASCII bytes, large enough for several blocks.
    const std::string payload_ = [] {
        std::string bytes;
        for (unsigned i = 0; i < 300000; ++i) bytes += static_cast<char>((i * 7919u) % 256);
        return bytes + "\r\n\0Zürich"s;
    }();
};

TEST_F(UrlDownloadTest, CompleteTransferReplacesTheTargetAndReportsItsProgress) {
    WriteHostFile(Target(), "old rules");
    RecordingCallback callback;
    EXPECT_EQ(Fetch(peer_.Url("/Rules.zip"), callback), win::S_OK);
    EXPECT_EQ(ReadHostFile(Target()), payload_);
    EXPECT_TRUE(Strays().empty());
    EXPECT_EQ(callback.calls, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(callback.stopResult, win::S_OK);
    ASSERT_FALSE(callback.progress_.empty());
    for (const auto& p : callback.progress_) EXPECT_EQ(p.progressMax, payload_.size());
    EXPECT_EQ(callback.progress_.front().statusCode, win::BINDSTATUS_BEGINDOWNLOADDATA);
    EXPECT_EQ(callback.progress_.back().statusCode, win::BINDSTATUS_ENDDOWNLOADDATA);
    EXPECT_EQ(callback.progress_.back().progress, payload_.size());
}

TEST_F(UrlDownloadTest, BodyWithoutLengthArrivesWithProgressMaxZero) {
    RecordingCallback callback;
    EXPECT_EQ(Fetch(peer_.Url("/_/nolength/Rules.zip"), callback), win::S_OK);
    EXPECT_EQ(ReadHostFile(Target()), payload_);
    ASSERT_FALSE(callback.progress_.empty());
    for (const auto& p : callback.progress_) {
        if (p.statusCode == win::BINDSTATUS_DOWNLOADINGDATA) {
            EXPECT_EQ(p.progressMax, 0u);
        }
    }
}

TEST_F(UrlDownloadTest, FailedTransferLeavesTheTargetAsItWas) {
    struct Case {
        std::string path;
        std::uint32_t code;
    };
    const std::vector<Case> cases = {
        {"/Missing.zip", 0x800C0005},
        {"/_/status/410", 0x800C0005},
        {"/_/status/401", 0x800C0009},
        {"/_/status/407", 0x800C0009},
        {"/_/status/403", 0x800C0008},
        {"/_/status/500", 0x800C0008},
        {"/_/short/Rules.zip", 0x800C0008},
        {"/_/redirect/302?to=/Missing.zip", 0x800C0005},
        {"/_/redirect/302?to=/_/redirect/302", 0x800C0014},  // a redirect to nowhere
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        WriteHostFile(Target(), "old rules");
        RecordingCallback callback;
        EXPECT_EQ(static_cast<std::uint32_t>(Fetch(peer_.Url(c.path), callback)), c.code);
        EXPECT_EQ(static_cast<std::uint32_t>(callback.stopResult), c.code);
        EXPECT_EQ(ReadHostFile(Target()), "old rules");
        EXPECT_TRUE(Strays().empty());
    }
}

TEST_F(UrlDownloadTest, BadAddressesAndUnreachableServers) {
    struct Case {
        std::string url;
        std::uint32_t code;
    };
    const std::vector<Case> cases = {
        {"", 0x800C0002},
        {"Rules.zip", 0x800C0002},
        {"https://", 0x800C0002},
        {"https://exa mple.com/x", 0x800C0002},
        {"gopher://example.com/x", 0x800C000D},
        {"https://127.0.0.1:" + ClosedPort() + "/Rules.zip", 0x800C0004},
        {"https://no-such-host.invalid/Rules.zip", 0x800C0005},
        {peer_.Url("/_/redirect/302?to=ftp://127.0.0.1/Rules.zip"), 0x800C0014},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        RecordingCallback callback;
        EXPECT_EQ(static_cast<std::uint32_t>(Fetch(c.url, callback)), c.code);
        EXPECT_EQ(callback.calls, (std::vector<std::string>{"start", "stop"}));
        EXPECT_FALSE(fs::exists(Target()));
        EXPECT_TRUE(Strays().empty());
    }
}

TEST_F(UrlDownloadTest, FollowsRedirectsBetweenHttpAndHttps) {
    HttpsPeer plain(host_.Folder() / "plain", HttpsPeer::Options::Plain());
    ASSERT_TRUE(plain.Ready());
    const std::string toHttps = plain.Url("/_/redirect/301?to=" + peer_.Url("/Rules.zip"));
    RecordingCallback callback;
    EXPECT_EQ(Fetch(toHttps, callback), win::S_OK);
    EXPECT_EQ(ReadHostFile(Target()), payload_);

    WriteHostFile(plain.Root() / "Rules.zip", "plain copy");
    EXPECT_EQ(Fetch(peer_.Url("/_/redirect/307?to=" + plain.Url("/Rules.zip")), callback), win::S_OK);
    EXPECT_EQ(ReadHostFile(Target()), "plain copy");
}

TEST_F(UrlDownloadTest, NamesResolveThroughTheHostsFileAndTlsIsVerified) {
    HttpsPeer named(host_.Folder() / "named", HttpsPeer::Options::Named({"updates.quarnel.test"}));
    ASSERT_TRUE(named.Ready());
    WriteHostFile(named.Root() / "Rules.zip", "named");
    WriteHostFile(host_.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                  "# test names\r\n127.0.0.1   updates.quarnel.test\r\n127.0.0.1 other.quarnel.test\r\n");
    host_.WriteHostIni("Internet", "CAFile", named.CaFile().string());
    RecordingCallback callback;
    EXPECT_EQ(Fetch(named.Url("/Rules.zip", "UPDATES.quarnel.test"), callback), win::S_OK);
    EXPECT_EQ(ReadHostFile(Target()), "named");

    fs::remove(Target());
    // The certificate does not hold this name; the first server's CA is not trusted.
    EXPECT_EQ(static_cast<std::uint32_t>(Fetch(named.Url("/Rules.zip", "other.quarnel.test"), callback)), 0x800C000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(Fetch(peer_.Url("/Rules.zip"), callback)), 0x800C000Eu);
    EXPECT_FALSE(fs::exists(Target()));
    EXPECT_TRUE(Strays().empty());
}

// Every host a redirect reaches is looked up in the hosts file as the first
// one is, whatever its scheme and port.
TEST_F(UrlDownloadTest, RedirectsReachNamesOfTheHostsFileOnAnyPortAndScheme) {
    const std::string rulesAddress = testsupport::OwnLoopbackAddress(86);
    const std::string mirrorAddress = testsupport::OwnLoopbackAddress(87);
    HttpsPeer::Options secureOptions = HttpsPeer::Options::Named({"rules.test"});
    secureOptions.address = rulesAddress;
    secureOptions.port = 443;
    HttpsPeer secure(host_.Folder() / "secure", secureOptions);
    HttpsPeer::Options plainOptions = HttpsPeer::Options::Plain();
    plainOptions.address = rulesAddress;
    HttpsPeer plain(host_.Folder() / "plain", plainOptions);
    plainOptions.address = mirrorAddress;
    HttpsPeer mirror(host_.Folder() / "mirror", plainOptions);
    ASSERT_TRUE(secure.Ready() && plain.Ready() && mirror.Ready());
    host_.WriteHostIni("Internet", "CAFile", secure.CaFile().string());
    WriteHostFile(host_.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                  rulesAddress + " rules.test\r\n" + mirrorAddress + " mirror.test\r\n");
    WriteHostFile(secure.Root() / "Rules.zip", "over https");
    WriteHostFile(plain.Root() / "Rules.zip", "over http");
    WriteHostFile(mirror.Root() / "Rules.zip", "from the mirror");
    const std::string plainRules = "http://rules.test:" + plain.Port();
    struct Case {
        std::string url;
        std::string body;
    };
    const std::vector<Case> cases = {
        {plainRules + "/_/redirect/302?to=https://rules.test/Rules.zip", "over https"},
        {"https://rules.test/_/redirect/301?to=" + plainRules + "/Rules.zip", "over http"},
        {plainRules + "/_/redirect/307?to=http://mirror.test:" + mirror.Port() + "/Rules.zip", "from the mirror"},
        {"https://rules.test/_/redirect/302?to=" + plainRules + "/_/redirect/303%3Fto%3Dhttp://mirror.test:" +
             mirror.Port() + "/Rules.zip",
         "from the mirror"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        fs::remove(Target());
        RecordingCallback callback;
        EXPECT_EQ(static_cast<std::uint32_t>(Fetch(c.url, callback)), 0u);
        EXPECT_EQ(ReadHostFile(Target()), c.body);
        EXPECT_TRUE(Strays().empty());
    }
}

TEST_F(UrlDownloadTest, ServerThatStopsSendingTimesOut) {
    host_.WriteHostIni("Internet", "ReceiveTimeout", "1");
    for (const std::string path : {"/_/stall/Rules.zip", "/_/stall-headers/"}) {
        SCOPED_TRACE(path);
        WriteHostFile(Target(), "old rules");
        RecordingCallback callback;
        EXPECT_EQ(static_cast<std::uint32_t>(Fetch(peer_.Url(path), callback)), 0x800C000Bu);
        EXPECT_EQ(ReadHostFile(Target()), "old rules");
        EXPECT_TRUE(Strays().empty());
    }
}

// A download killed halfway leaves its partial file; the next download of the
// target takes it away.
TEST_F(UrlDownloadTest, APartialFileOfAKilledDownloadGoesWithTheNextDownload) {
    WriteHostFile(Target(), "old rules");
    const pid_t downloader = fork();
    ASSERT_GE(downloader, 0);
    if (downloader == 0) {
        RecordingCallback callback;
        Fetch(peer_.Url("/_/stall/Rules.zip"), callback);
        _exit(0);
    }
    // The server sends half the file, then nothing.
    bool halfway = false;
    for (int i = 0; i < 1200 && !halfway; ++i) {
        for (const std::string& name : Strays()) halfway = halfway || fs::file_size(Folder() / name) > 0;
        if (!halfway) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(downloader, SIGKILL);
    waitpid(downloader, nullptr, 0);
    ASSERT_TRUE(halfway);
    EXPECT_EQ(ReadHostFile(Target()), "old rules");

    RecordingCallback callback;
    EXPECT_EQ(Fetch(peer_.Url("/Rules.zip"), callback), win::S_OK);
    EXPECT_EQ(ReadHostFile(Target()), payload_);
    EXPECT_EQ(Strays(), std::vector<std::string>{});
}

TEST_F(UrlDownloadTest, AbortFromACallbackEndsTheTransferWithoutAFile) {
    RecordingCallback callback;
    callback.abortAfterBytes = 1;
    EXPECT_EQ(Fetch(peer_.Url("/Rules.zip"), callback), win::E_ABORT);
    EXPECT_EQ(callback.stopResult, win::E_ABORT);
    EXPECT_FALSE(fs::exists(Target()));
    EXPECT_TRUE(Strays().empty());
}

TEST_F(UrlDownloadTest, AsksAnAuthenticatingCallbackOnlyWhenTheServerWantsCredentials) {
    HttpsPeer guarded(host_.Folder() / "guarded", HttpsPeer::Options::Guarded("Jörg", "pa:ss wörd"));
    ASSERT_TRUE(guarded.Ready());
    host_.WriteHostIni("Internet", "CAFile", guarded.CaFile().string());
    WriteHostFile(guarded.Root() / "Rules.zip", "guarded");

    AuthenticatingCallback callback;
    callback.user = "Jörg";
    callback.secret = "pa:ss wörd";
    EXPECT_EQ(Fetch(guarded.Url("/Rules.zip"), callback), win::S_OK);
    EXPECT_EQ(callback.asked, 0);
    EXPECT_EQ(Fetch(guarded.Url("/_/auth/Rules.zip"), callback), win::S_OK);
    EXPECT_EQ(callback.asked, 1);
    EXPECT_EQ(ReadHostFile(Target()), "guarded");

    fs::remove(Target());
    callback.secret = "wrong";
    EXPECT_EQ(static_cast<std::uint32_t>(Fetch(guarded.Url("/_/auth/Rules.zip"), callback)), 0x800C0009u);
    EXPECT_FALSE(fs::exists(Target()));
}

TEST_F(UrlDownloadTest, TargetThatCannotBeWrittenFailsBeforeAnyRequest) {
    RecordingCallback callback;
    EXPECT_EQ(static_cast<std::uint32_t>(win::URLDownloadToFileW(nullptr, peer_.Url("/Rules.zip"),
                                                                "C:\\No Such Folder\\Rules.zip", 0, &callback)),
              0x80070003u);
    EXPECT_EQ(static_cast<std::uint32_t>(win::URLDownloadToFileW(nullptr, peer_.Url("/Rules.zip"),
                                                                "\\\\server\\share\\Rules.zip", 0, &callback)),
              0x80070003u);
    EXPECT_EQ(callback.stopResult, win::Hresult(0x80070003));
    EXPECT_TRUE(peer_.Requests().empty());
    // A folder in the target's place stays a folder.
    fs::create_directories(Target());
    EXPECT_EQ(static_cast<std::uint32_t>(Fetch(peer_.Url("/Rules.zip"), callback)), 0x80070005u);
    EXPECT_TRUE(fs::is_directory(Target()));
}

}  // namespace
