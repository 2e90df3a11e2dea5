#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/host/HostsFile.h"
#include "platform/host/InternetSettings.h"
#include "support/PeerProcess.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;

constexpr const char* kHostsFile = "C:\\Windows\\System32\\drivers\\etc\\hosts";

void WriteHosts(const TempHost& host, const std::string& text) {
    testsupport::WriteHostFile(host.HostOf(kHostsFile), text);
}

TEST(HostsFile, ListsAddressesAndNamesAsWindowsReadsTheFile) {
    TempHost host;
    WriteHosts(host,
               "# a comment line\r\n"
               "127.0.0.7   Updates.Example   mirror.example  # trailing comment\r\n"
               "\t127.0.0.8\tupdates.example\n"
               "::1 six.example\n"
               "127.0.0.9\n"
               "#127.0.0.10 commented.example\n");
    EXPECT_EQ(platform::HostsFileAddresses("UPDATES.example"), (std::vector<std::string>{"127.0.0.7", "127.0.0.8"}));
    EXPECT_EQ(platform::HostsFileAddresses("mirror.example"), (std::vector<std::string>{"127.0.0.7"}));
    EXPECT_EQ(platform::HostsFileAddresses("six.example"), (std::vector<std::string>{"::1"}));
    EXPECT_TRUE(platform::HostsFileAddresses("commented.example").empty());
    EXPECT_EQ(platform::HostsFileNames("127.0.0.7"), (std::vector<std::string>{"Updates.Example", "mirror.example"}));
    EXPECT_TRUE(platform::HostsFileNames("127.0.0.9").empty());
}

// What was read of the file is used again only while it is surely the same.
TEST(HostsFile, AnEditCountsAtTheNextLookUp) {
    TempHost host;
    WriteHosts(host, "127.0.0.7 a.example\n");
    EXPECT_EQ(platform::HostsFileAddresses("a.example"), (std::vector<std::string>{"127.0.0.7"}));
    WriteHosts(host, "127.0.0.8 a.example\n");
    EXPECT_EQ(platform::HostsFileAddresses("a.example"), (std::vector<std::string>{"127.0.0.8"}));
    testsupport::RewriteKeepingTheTime(host.HostOf(kHostsFile), "127.0.0.9 a.example\n");
    EXPECT_EQ(platform::HostsFileNames("127.0.0.9"), (std::vector<std::string>{"a.example"}));
    std::filesystem::remove(host.HostOf(kHostsFile));
    EXPECT_TRUE(platform::HostsFileNames("127.0.0.9").empty());
}

TEST(HostsFile, AMissingFileOrAFifoListsNothing) {
    TempHost host;
    EXPECT_TRUE(platform::HostsFileAddresses("localhost").empty());
    const auto path = host.HostOf(kHostsFile);
    testsupport::WriteHostFile(path, "");
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    EXPECT_TRUE(platform::HostsFileAddresses("localhost").empty());
}

size_t KeepBody(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

TEST(InternetSettings, ReachesANameOfTheHostsFileWithoutTheEnvironmentsProxy) {
    TempHost host;
    testsupport::PeerProcess server({testsupport::kSystemPython, "-c",
                                     "import http.server, sys\n"
                                     "class H(http.server.BaseHTTPRequestHandler):\n"
                                     "    def do_GET(self):\n"
                                     "        self.send_response(200); self.end_headers(); self.wfile.write(b'hello ' + self.headers['Host'].encode())\n"
                                     "s = http.server.HTTPServer(('127.0.0.5', 0), H)\n"
                                     "print(s.server_address[1], flush=True)\n"
                                     "s.serve_forever()\n"});
    ASSERT_TRUE(server.Ready());
    WriteHosts(host, "127.0.0.5 updates.quarnel.test\n");
    testsupport::ScopedVariable proxy("http_proxy", "http://127.0.0.1:9");

    CURL* handle = curl_easy_init();
    platform::InternetSettings settings;
    const std::string url = "http://updates.quarnel.test:" + server.FirstLine() + "/index";
    ASSERT_TRUE(settings.Apply(handle, url));
    std::string body;
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    EXPECT_EQ(curl_easy_perform(handle), CURLE_OK);
    EXPECT_EQ(body, "hello updates.quarnel.test:" + server.FirstLine());
    curl_easy_cleanup(handle);
}

TEST(InternetSettings, RefusesAUrlItCannotRead) {
    TempHost host;
    CURL* handle = curl_easy_init();
    platform::InternetSettings settings;
    for (const char* url : {"", "http://", "not a url at all"}) EXPECT_FALSE(settings.Apply(handle, url)) << url;
    curl_easy_cleanup(handle);
}

}  // namespace
