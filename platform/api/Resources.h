#pragma once
// Resources carried inside the program, found by type and name (letter case
// ignored, as FindResource does). A generated source of the program
// registers its bytes with a static ResourceRegistration.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class ResourceRegistration {
public:
    ResourceRegistration(const char* type, const char* name, const unsigned char* bytes, std::size_t size);
};

std::optional<std::string_view> FindResource(const std::string& type, const std::string& name);

}  // namespace platform

namespace vb {
// LoadResData: the bytes of a custom resource; error 326 when there is none.
std::string LoadResData(const std::string& name, const std::string& type);
// Open For Binary, Put at byte 1, Close: writes the bytes over the start of
// the file, creating it. Error 76 for a missing folder, 75 when refused.
void PutBytesToFile(const std::string& windowsPath, std::string_view bytes);
}  // namespace vb
