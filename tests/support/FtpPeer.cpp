#include "support/FtpPeer.h"

#include <fstream>

namespace testsupport {

namespace {

std::vector<std::string> WithRules(std::vector<std::string> arguments, const std::vector<std::string>& rules) {
    for (const std::string& rule : rules) {
        arguments.push_back("--rule");
        arguments.push_back(rule);
    }
    return arguments;
}

}  // namespace

std::string PeerScript(const std::string& name) { return std::string(QUARNEL_SOURCE_DIR) + "/tests/support/peers/" + name; }

FtpPeer::FtpPeer(const std::filesystem::path& root, const std::string& behaviour)
    : FtpPeer(root, {PeerScript("ftp_server.py"), "--behaviour", behaviour}) {}

FtpPeer::FtpPeer(const std::filesystem::path& root, const std::vector<std::string>& scriptAndArguments) : root_(root) {
    std::filesystem::create_directories(root_);
    // A taken address moves on to the next one.
    for (unsigned attempt = 0; attempt < 8 && !Ready(); ++attempt) {
        address_ = OwnLoopbackAddress(21, attempt);
        std::vector<std::string> arguments{kSystemPython, scriptAndArguments.front(), "--address", address_,
                                           "--port", "21", "--root", root_.string(), "--user", kUser,
                                           "--password", kPassword};
        arguments.insert(arguments.end(), scriptAndArguments.begin() + 1, scriptAndArguments.end());
        peer_ = std::make_unique<PeerProcess>(arguments);
    }
}

std::filesystem::path ScriptedFtpPeer::LogOf(const std::filesystem::path& root) {
    return root.parent_path() / (root.filename().string() + ".commands.log");
}

ScriptedFtpPeer::ScriptedFtpPeer(const std::filesystem::path& root, const std::vector<std::string>& rules)
    : FtpPeer(root, WithRules({PeerScript("ftp_script.py"), "--log", LogOf(root).string()}, rules)) {}

std::vector<std::string> ScriptedFtpPeer::Commands() const {
    std::vector<std::string> lines;
    std::ifstream log(LogOf(Root()));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

int ScriptedFtpPeer::CountOf(const std::string& verb) const {
    int count = 0;
    for (const std::string& line : Commands()) {
        const size_t blank = line.find(' ');
        if (blank != std::string::npos && line.compare(blank + 1, verb.size(), verb) == 0 &&
            (line.size() == blank + 1 + verb.size() || line[blank + 1 + verb.size()] == ' '))
            ++count;
    }
    return count;
}

}  // namespace testsupport
