// A small reader of 32-bit Windows executables: headers, imported DLLs,
// resources and the version record, enough to check what the cross build
// put into omenglobe.exe without Windows or Wine.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

struct FormatError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Bytes = std::vector<std::uint8_t>;

// A resource id: a number or a name.
struct ResourceId {
  std::uint32_t number = 0;
  std::u16string name;  // empty for a numbered resource
  bool operator<(const ResourceId& o) const {
    return name != o.name ? name < o.name : number < o.number;
  }
  bool operator==(const ResourceId&) const = default;
};

struct Resource {
  ResourceId type, name;
  std::uint32_t language = 0;
  Bytes data;
};

struct FixedFileInfo {
  std::uint32_t signature = 0, structVersion = 0;
  std::uint32_t fileVersionMS = 0, fileVersionLS = 0;
  std::uint32_t productVersionMS = 0, productVersionLS = 0;
  std::uint32_t flagsMask = 0, flags = 0, os = 0, type = 0, subtype = 0;
};

struct VersionInfo {
  FixedFileInfo fixed;
  // String tables by block name ("040904B0"), each a map of key to value.
  std::map<std::string, std::map<std::string, std::string>> strings;
  // VarFileInfo\Translation: pairs of (language, code page).
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
};

class Image {
 public:
  // Throws FormatError for anything that is not a well-formed PE file.
  explicit Image(Bytes file);
  static Image Load(const std::string& path);

  std::uint16_t Machine() const { return machine_; }
  std::uint16_t Subsystem() const { return subsystem_; }
  bool Is32Bit() const { return magic_ == 0x10B; }
  // Names as the import directory spells them.
  const std::vector<std::string>& ImportedDlls() const { return imports_; }
  const std::vector<Resource>& Resources() const { return resources_; }
  std::vector<const Resource*> OfType(std::uint32_t type) const;
  const Resource* Find(std::uint32_t type, std::uint32_t name) const;

 private:
  std::uint32_t Offset(std::uint32_t rva) const;  // file offset of an RVA
  void ReadImports(std::uint32_t rva);
  void ReadResources(std::uint32_t rva);

  Bytes file_;
  std::uint16_t machine_ = 0, subsystem_ = 0, magic_ = 0;
  struct Section {
    std::uint32_t rva, size, fileOffset, fileSize;
  };
  std::vector<Section> sections_;
  std::vector<std::string> imports_;
  std::vector<Resource> resources_;
};

// Parses an RT_VERSION resource; throws FormatError.
VersionInfo ParseVersion(const Bytes& data);

std::uint16_t U16(const Bytes& b, std::size_t at);
std::uint32_t U32(const Bytes& b, std::size_t at);

}  // namespace pe
