#pragma once
// A certificate authority of the tests and a server certificate it signs for
// 127.0.0.1, 127.0.0.46 and localhost (and any further host names given),
// made with openssl in a folder of the caller.
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct TestCertificates {
    std::filesystem::path caCertificate;
    std::filesystem::path serverCertificate;
    std::filesystem::path serverKey;
    bool ok = false;
};

TestCertificates MakeTestCertificates(const std::filesystem::path& folder,
                                      const std::vector<std::string>& extraNames = {});

}  // namespace testsupport
