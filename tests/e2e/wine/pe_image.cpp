#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace pe {

std::uint16_t U16(const Bytes& b, std::size_t at) {
  if (at + 2 > b.size()) throw FormatError("read past the end at " + std::to_string(at));
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

namespace {

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::u16string ReadUtf16z(const Bytes& b, std::size_t& at, std::size_t end) {
  std::u16string s;
  while (at + 2 <= end) {
    const char16_t c = U16(b, at);
    at += 2;
    if (c == 0) return s;
    s += c;
  }
  throw FormatError("unterminated string");
}

std::size_t Align4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

}  // namespace

Image Image::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FormatError("cannot open " + path);
  return Image(Bytes(std::istreambuf_iterator<char>(in), {}));
}

Image::Image(Bytes file) : file_(std::move(file)) {
  if (file_.size() < 0x40 || file_[0] != 'M' || file_[1] != 'Z') throw FormatError("no MZ header");
  const std::uint32_t pe = U32(file_, 0x3C);
  if (U32(file_, pe) != 0x00004550) throw FormatError("no PE signature");
  const std::size_t coff = pe + 4;
  machine_ = U16(file_, coff);
  const std::uint16_t sectionCount = U16(file_, coff + 2);
  const std::uint16_t optionalSize = U16(file_, coff + 16);
  const std::size_t optional = coff + 20;
  magic_ = U16(file_, optional);
  if (magic_ != 0x10B && magic_ != 0x20B) throw FormatError("unknown optional header");
  subsystem_ = U16(file_, optional + 68);
  const std::size_t directories = optional + (magic_ == 0x10B ? 96 : 112);
  const std::uint32_t directoryCount = U32(file_, directories - 4);
  const std::size_t sectionTable = optional + optionalSize;
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const std::size_t s = sectionTable + i * 40u;
    sections_.push_back(
        {U32(file_, s + 12), U32(file_, s + 8), U32(file_, s + 20), U32(file_, s + 16)});
  }
  if (directoryCount > 1 && U32(file_, directories + 8) != 0)
    ReadImports(U32(file_, directories + 8));
  if (directoryCount > 2 && U32(file_, directories + 16) != 0)
    ReadResources(U32(file_, directories + 16));
}

std::uint32_t Image::Offset(std::uint32_t rva) const {
  for (const auto& s : sections_) {
    const std::uint32_t extent = std::max(s.size, s.fileSize);
    if (rva >= s.rva && rva < s.rva + extent) return rva - s.rva + s.fileOffset;
  }
  throw FormatError("address outside every section: " + std::to_string(rva));
}

void Image::ReadImports(std::uint32_t rva) {
  for (std::uint32_t at = Offset(rva);; at += 20) {
    const std::uint32_t nameRva = U32(file_, at + 12);
    if (nameRva == 0) break;
    std::string name;
    for (std::uint32_t p = Offset(nameRva); p < file_.size() && file_[p] != 0; ++p) {
      name += static_cast<char>(file_[p]);
    }
    imports_.push_back(name);
  }
}

void Image::ReadResources(std::uint32_t rva) {
  const std::uint32_t base = Offset(rva);
  // Three levels: type, name, language. High bits mark names and subdirectories.
  auto entries = [&](std::uint32_t directory) {
    std::vector<std::pair<ResourceId, std::uint32_t>> out;
    const std::uint32_t at = base + directory;
    const std::uint32_t count = U16(file_, at + 12) + U16(file_, at + 14);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t e = at + 16 + i * 8;
      const std::uint32_t nameField = U32(file_, e);
      ResourceId id;
      if (nameField & 0x80000000u) {
        std::size_t p = base + (nameField & 0x7FFFFFFFu);
        const std::uint16_t length = U16(file_, p);
        for (std::uint16_t k = 0; k < length; ++k)
          id.name += static_cast<char16_t>(U16(file_, p + 2 + 2u * k));
      } else {
        id.number = nameField;
      }
      out.emplace_back(id, U32(file_, e + 4));
    }
    return out;
  };
  for (const auto& [type, typeTarget] : entries(0)) {
    if (!(typeTarget & 0x80000000u)) throw FormatError("resource type without a directory");
    for (const auto& [name, nameTarget] : entries(typeTarget & 0x7FFFFFFFu)) {
      if (!(nameTarget & 0x80000000u)) throw FormatError("resource name without a directory");
      for (const auto& [language, leaf] : entries(nameTarget & 0x7FFFFFFFu)) {
        const std::uint32_t dataEntry = base + leaf;
        const std::uint32_t dataRva = U32(file_, dataEntry);
        const std::uint32_t size = U32(file_, dataEntry + 4);
        const std::uint32_t offset = Offset(dataRva);
        if (offset + size > file_.size()) throw FormatError("resource data past the end");
        resources_.push_back({type, name, language.number,
                              Bytes(file_.begin() + offset, file_.begin() + offset + size)});
      }
    }
  }
}

std::vector<const Resource*> Image::OfType(std::uint32_t type) const {
  std::vector<const Resource*> out;
  for (const auto& r : resources_) {
    if (r.type.name.empty() && r.type.number == type) out.push_back(&r);
  }
  return out;
}

const Resource* Image::Find(std::uint32_t type, std::uint32_t name) const {
  for (const Resource* r : OfType(type)) {
    if (r->name.name.empty() && r->name.number == name) return r;
  }
  return nullptr;
}

VersionInfo ParseVersion(const Bytes& data) {
  VersionInfo info;
  // Every node: length, value length, type, key, padding, value, padding, children.
  struct Node {
    std::size_t start, end, value, children;
    std::uint16_t valueLength, type;
    std::string key;
  };
  auto read = [&](std::size_t at) {
    Node n;
    n.start = at;
    const std::uint16_t length = U16(data, at);
    if (length < 6 || at + length > data.size()) throw FormatError("bad version node length");
    n.end = at + length;
    n.valueLength = U16(data, at + 2);
    n.type = U16(data, at + 4);
    std::size_t p = at + 6;
    n.key = Narrow(ReadUtf16z(data, p, n.end));
    n.value = Align4(p);
    const std::size_t valueBytes = n.type == 1 ? n.valueLength * 2u : n.valueLength;
    n.children = Align4(n.value + valueBytes);
    return n;
  };
  auto children = [&](const Node& parent) {
    std::vector<Node> out;
    for (std::size_t at = parent.children; at + 6 <= parent.end;) {
      Node child = read(at);
      out.push_back(child);
      at = Align4(child.end);
    }
    return out;
  };
  const Node root = read(0);
  if (root.key != "VS_VERSION_INFO") throw FormatError("not a version record: " + root.key);
  if (root.valueLength != 52) throw FormatError("no fixed file info");
  const std::size_t f = root.value;
  info.fixed = {U32(data, f),      U32(data, f + 4),  U32(data, f + 8),  U32(data, f + 12),
                U32(data, f + 16), U32(data, f + 20), U32(data, f + 24), U32(data, f + 28),
                U32(data, f + 32), U32(data, f + 36), U32(data, f + 40)};
  for (const Node& block : children(root)) {
    if (block.key == "StringFileInfo") {
      for (const Node& table : children(block)) {
        auto& strings = info.strings[table.key];
        for (const Node& value : children(table)) {
          std::size_t p = value.value;
          strings[value.key] =
              value.valueLength == 0 ? std::string() : Narrow(ReadUtf16z(data, p, value.end));
        }
      }
    } else if (block.key == "VarFileInfo") {
      for (const Node& var : children(block)) {
        if (var.key != "Translation") continue;
        for (std::size_t p = var.value; p + 4 <= var.value + var.valueLength; p += 4) {
          info.translations.emplace_back(U16(data, p), U16(data, p + 2));
        }
      }
    }
  }
  return info;
}

}  // namespace pe
