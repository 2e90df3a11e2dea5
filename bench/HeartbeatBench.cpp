// Wall time of "/heartbeat" on the real Quarnel.exe of the build installed
// into a temporary host: 10 listed services, 5 listed drives and 5 SNMP
// targets (4 answered by a real snmpd, one silent), mailed to the real SMTP
// server. The floor beside it: a plain process that sends the same mail by
// libcurl to the same server and then waits on a UDP socket, blocked in one
// poll, for the bounded wait that the silent target forces on every report.
// Beside the wall times, the context switches of each whole process: a wait
// that sleeps until it is woken costs a few, one that polls costs thousands.
// A run whose report holds no SNMP answer fails.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "net/frmSNMP.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/ServiceControl.h"
#include "support/ProgramRun.h"
#include "support/SmtpPeer.h"
#include "support/SnmpPeer.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr unsigned long long kGB = 1024ull * 1024 * 1024;
constexpr const char* kCommunity = testsupport::SnmpPeer::kCommunity;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrepareMachine(testsupport::TempHost& host, const fs::path& programFolder, const std::string& smtpPort,
                    const std::string& agentAddress, const std::string& silentAddress) {
    const fs::path ini = testsupport::InstalledIni(host);
    platform::WriteIniValue(ini, "EmailConfig", "FromEmail", "quarnel@example.test");
    platform::WriteIniValue(ini, "EmailConfig", "ToEmail", "tech@example.test");
    platform::WriteIniValue(ini, "EmailConfig", "SMTPServer", "127.0.0.1");
    platform::WriteIniValue(ini, "EmailConfig", "SMTPPort", smtpPort);

    std::string services;
    for (int i = 0; i < 10; ++i) {
        platform::ServiceRecord record;
        record.name = "BenchService" + std::to_string(i);
        record.startType = i % 2 ? win::SERVICE_AUTO_START : win::SERVICE_DEMAND_START;
        platform::CreateService(record);
        if (i % 3 == 0) platform::StartService(record.name);
        services += record.name + "\r\n";
    }
    testsupport::WriteHostFile(programFolder / "Rules" / "Heartbeat_Services_List.txt", services);

    std::string drives;
    for (char letter : {'D', 'E', 'F', 'G', 'H'}) {
        const std::string name(1, letter);
        fs::create_directories(host.Folder() / ("drive_" + name));
        host.WriteHostIni("Drives", name, (host.Folder() / ("drive_" + name)).string());
        host.WriteHostIni("DriveSpace", name, std::to_string(100 * kGB) + "," + std::to_string((letter - 'C') * 4 * kGB));
        drives += name + ":\r\n";
    }
    testsupport::WriteHostFile(programFolder / "Rules" / "Heartbeat_Partition_List.txt", drives);

    std::string targets;
    for (const char* oid : {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0"})
        targets += agentAddress + "|" + kCommunity + "|" + oid + "\r\n";
    targets += silentAddress + "|" + kCommunity + "|1.3.6.1.2.1.1.5.0\r\n";
    testsupport::WriteHostFile(programFolder / "Rules" / "Heartbeat_SNMP_List.txt", targets);
    testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                               agentAddress + " benchagent\r\n" + silentAddress + " benchsilent\r\n");
}

// A UDP socket on the silent target's port 161 that reads and never answers.
int BindSilentTarget(const std::string& silentAddress) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(161);
    inet_pton(AF_INET, silentAddress.c_str(), &address.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::perror("bind silent target");
    return fd;
}

struct Upload {
    const std::string& bytes;
    size_t at = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* upload = static_cast<Upload*>(data);
    const size_t n = std::min(size * count, upload->bytes.size() - upload->at);
    std::memcpy(buffer, upload->bytes.data() + upload->at, n);
    upload->at += n;
    return n;
}

// The least work a mail takes: one libcurl SMTP send of the finished message.
bool PlainSend(const std::string& port, const std::string& message) {
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    Upload upload{message};
    curl_slist* recipients = curl_slist_append(nullptr, "<tech@example.test>");
    curl_easy_setopt(curl, CURLOPT_URL, ("smtp://127.0.0.1:" + port + "/floor").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, "<quarnel@example.test>");
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    return result == CURLE_OK;
}

// The least a report with a silent target takes: the mail sent, then one
// blocked wait for an answer that never comes, as long as the bounded wait.
void PlainReport(const std::string& port, const std::string& message, const std::string& silentAddress) {
    if (!PlainSend(port, message)) std::fprintf(stderr, "the plain send failed\n");
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(161);
    inet_pton(AF_INET, silentAddress.c_str(), &target.sin_addr);
    const char request[] = "x";
    sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
    pollfd wait{fd, POLLIN, 0};
    poll(&wait, 1, static_cast<int>(frmSNMP::kAnswerWait.count()));
    close(fd);
}

long SwitchesOf(const rusage& usage) { return usage.ru_nvcsw + usage.ru_nivcsw; }

// Wall time and context switches of one child process running work.
std::pair<double, long> InChild(const std::function<void()>& work) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {Millis(Clock::now() - start), SwitchesOf(usage)};
}

}  // namespace

int main() {
    testsupport::TempHost host;
    const fs::path programFolder = testsupport::InstallProgram(host);
    testsupport::SmtpPeer smtp(host.Folder() / "smtp");
    const testsupport::SnmpPeer agent("sysLocation Bench Room\nsysContact bench@example.test\nsysName benchagent\n");
    if (!smtp.Ready() || !agent.Ready()) {
        std::fprintf(stderr, "the SMTP server or snmpd did not start\n");
        return 1;
    }
    const std::string silentAddress = testsupport::OwnLoopbackAddress(85);
    const int silent = BindSilentTarget(silentAddress);
    PrepareMachine(host, programFolder, smtp.Port(), agent.Address(), silentAddress);

    std::vector<double> heartbeats, heartbeatSwitches;
    std::string lastOutput;
    for (int run = 0; run < kRuns; ++run) {
        rusage before{}, after{};
        getrusage(RUSAGE_CHILDREN, &before);
        const auto start = Clock::now();
        const testsupport::ProgramResult result = testsupport::RunInstalled(host, "Quarnel.exe", "/heartbeat");
        heartbeats.push_back(Millis(Clock::now() - start));
        getrusage(RUSAGE_CHILDREN, &after);
        heartbeatSwitches.push_back(static_cast<double>(SwitchesOf(after) - SwitchesOf(before)));
        lastOutput = result.debugOutput;
    }
    const auto mails = smtp.Received();
    if (mails.size() != static_cast<size_t>(kRuns)) {
        std::fprintf(stderr, "%zu of %d reports arrived:\n%s\n", mails.size(), kRuns, lastOutput.c_str());
        return 1;
    }

    if (testsupport::MailPart(mails.back().raw, "text/plain").find("Bench Room") == std::string::npos) {
        std::fprintf(stderr, "the report holds no SNMP answer:\n%s\n", lastOutput.c_str());
        return 1;
    }

    std::vector<double> floors, floorSwitches;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int run = 0; run < kRuns; ++run) {
        const auto [millis, switches] =
            InChild([&] { PlainReport(smtp.Port(), mails.back().raw, silentAddress); });
        floors.push_back(millis);
        floorSwitches.push_back(static_cast<double>(switches));
    }
    curl_global_cleanup();
    close(silent);

    const double figure = Median(heartbeats), floor = Median(floors);
    std::printf("/heartbeat, 10 services, 5 drives, 5 SNMP targets (1 silent): median %.1f ms of %d runs; "
                "floor %.1f ms (a plain process: the same mail by libcurl to the same server, then one blocked "
                "%lld ms wait on a UDP socket); ratio %.2f; target < 3000 ms: %s\n",
                figure, kRuns, floor, static_cast<long long>(frmSNMP::kAnswerWait.count()), figure / floor,
                figure < 3000 ? "met" : "MISSED");
    const double switches = Median(heartbeatSwitches), switchesFloor = Median(floorSwitches);
    std::printf("/heartbeat context switches, median of %d: %.0f; floor %.0f (the same plain process); ratio %.1f; "
                "target: no polling (< 200): %s\n",
                kRuns, switches, switchesFloor, switches / std::max(1.0, switchesFloor),
                switches < 200 ? "met" : "MISSED");
    return 0;
}
