#include "platform/api/Resources.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "platform/api/RuntimeError.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {

namespace {

struct Resource {
    std::string type;
    std::string name;
    std::string_view bytes;
};

std::vector<Resource>& Registered() {
    static std::vector<Resource> resources;
    return resources;
}

}  // namespace

ResourceRegistration::ResourceRegistration(const char* type, const char* name, const unsigned char* bytes,
                                           std::size_t size) {
    Registered().push_back({type, name, std::string_view(reinterpret_cast<const char*>(bytes), size)});
}

std::optional<std::string_view> FindResource(const std::string& type, const std::string& name) {
    for (const Resource& r : Registered())
        if (TextCompareEqual(r.type, type) && TextCompareEqual(r.name, name)) return r.bytes;
    return std::nullopt;
}

}  // namespace platform

namespace vb {

std::string LoadResData(const std::string& name, const std::string& type) {
    const auto bytes = platform::FindResource(type, name);
    if (!bytes) throw RuntimeError(326, "Quarnel", "Resource with identifier '" + name + "' not found");
    return std::string(*bytes);
}

void PutBytesToFile(const std::string& windowsPath, std::string_view bytes) {
    const auto host = platform::ToHostPath(windowsPath);
    if (!host || !std::filesystem::is_directory(host->parent_path())) throw RuntimeError::PathNotFound();
    const int fd = ::open(host->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw RuntimeError::PathFileAccessError();
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + written, bytes.size() - written, static_cast<off_t>(written));
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (written < bytes.size()) throw RuntimeError::PathFileAccessError();
}

}  // namespace vb
