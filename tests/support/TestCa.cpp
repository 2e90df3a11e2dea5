#include "support/TestCa.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace testsupport {

TestCertificates MakeTestCertificates(const std::filesystem::path& folder, const std::vector<std::string>& extraNames) {
    std::filesystem::create_directories(folder);
    TestCertificates made{folder / "ca.pem", folder / "server.pem", folder / "server.key", false};
    const std::string dir = folder.string();
    std::string names = "IP:127.0.0.1,IP:127.0.0.46,DNS:localhost";
    for (const auto& name : extraNames) names += ",DNS:" + name;
    std::ofstream(folder / "ext.cnf") << "subjectAltName=" << names << "\n";
    const std::string script =
        "cd '" + dir + "' && "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=Quarnel Test CA' "
        ">/dev/null 2>&1 && "
        "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj '/CN=127.0.0.1' "
        ">/dev/null 2>&1 && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 "
        "-extfile ext.cnf >/dev/null 2>&1";
    made.ok = std::system(script.c_str()) == 0;
    return made;
}

}  // namespace testsupport
