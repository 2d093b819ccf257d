// What the cross build put into omenglobe.exe, read from the file itself:
// the kind of executable, the DLLs it needs, the icon, the version record
// and the manifest.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pe_image.h"
#include "wine_program.h"

namespace omenglobe_wine {
namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kRtManifest = 24;

class ExecutableTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(std::filesystem::exists(ExePath())) << ExePath() << " has not been built";
    image_ = new pe::Image(pe::Image::Load(ExePath()));
  }
  static void TearDownTestSuite() {
    delete image_;
    image_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(image_, nullptr); }

  static const pe::Image& Exe() { return *image_; }

 private:
  static inline pe::Image* image_ = nullptr;
};

TEST_F(ExecutableTest, IsA32BitGuiProgramForIntel386) {
  EXPECT_EQ(Exe().Machine(), 0x14C);  // IMAGE_FILE_MACHINE_I386
  EXPECT_TRUE(Exe().Is32Bit());
  EXPECT_EQ(Exe().Subsystem(), 2);  // IMAGE_SUBSYSTEM_WINDOWS_GUI: no console window

  // And `file`, as a person checking the download would see it.
  const std::string command = "file -b '" + ExePath() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  ASSERT_TRUE(read) << "`file` printed nothing";
  EXPECT_NE(std::string(line).find("PE32 executable (GUI) Intel 80386"), std::string::npos) << line;
}

TEST_F(ExecutableTest, ImportsOnlyDllsThatEveryWindowsHas) {
  // Anything else (libstdc++, libgcc, winpthread) would have to ship beside the .exe.
  const std::vector<std::string> system = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                           "ole32.dll",    "oleaut32.dll", "msvcrt.dll"};
  ASSERT_FALSE(Exe().ImportedDlls().empty());
  for (std::string dll : Exe().ImportedDlls()) {
    for (char& c : dll) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(std::find(system.begin(), system.end(), dll), system.end()) << dll;
  }
}

TEST_F(ExecutableTest, TheIconIsImage30001AloneInGroup1AndMatchesTheIconFile) {
  const auto icons = Exe().OfType(kRtIcon);
  const auto groups = Exe().OfType(kRtGroupIcon);
  ASSERT_EQ(icons.size(), 1u);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(icons[0]->name, (pe::ResourceId{30001, {}}));
  EXPECT_EQ(groups[0]->name, (pe::ResourceId{1, {}}));

  // The image: a 32 x 32 DIB (twice the height: colour and mask), 8 bits per pixel.
  const pe::Bytes& image = icons[0]->data;
  EXPECT_EQ(image.size(), 2216u);
  EXPECT_EQ(pe::U32(image, 0), 40u);  // BITMAPINFOHEADER
  EXPECT_EQ(pe::U32(image, 4), 32u);  // width
  EXPECT_EQ(pe::U32(image, 8), 64u);  // height of colour plus mask
  EXPECT_EQ(pe::U16(image, 14), 8u);  // bits per pixel

  // The group: one entry, 32 x 32, 8 bpp, the image's size, pointing at 30001.
  const pe::Bytes& group = groups[0]->data;
  ASSERT_EQ(group.size(), 6u + 14u);
  EXPECT_EQ(pe::U16(group, 2), 1u);  // icons, not cursors
  EXPECT_EQ(pe::U16(group, 4), 1u);
  EXPECT_EQ(group[6], 32);
  EXPECT_EQ(group[7], 32);
  EXPECT_EQ(pe::U16(group, 12), 8u);
  EXPECT_EQ(pe::U32(group, 14), 2216u);
  EXPECT_EQ(pe::U16(group, 18), 30001u);

  // Byte for byte the image of the program's icon file.
  std::ifstream in(IconFilePath(), std::ios::binary);
  ASSERT_TRUE(in) << IconFilePath();
  const pe::Bytes ico(std::istreambuf_iterator<char>(in), {});
  ASSERT_EQ(ico.size(), 2238u);
  const std::uint32_t offset = pe::U32(ico, 18);
  ASSERT_EQ(offset + 2216u, ico.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), ico.begin() + offset));
}

TEST_F(ExecutableTest, VersionRecordNamesTheProgramInUsEnglish) {
  const auto versions = Exe().OfType(kRtVersion);
  ASSERT_EQ(versions.size(), 1u);
  const pe::VersionInfo info = pe::ParseVersion(versions[0]->data);

  EXPECT_EQ(info.fixed.signature, 0xFEEF04BDu);
  EXPECT_EQ(info.fixed.fileVersionMS, 0x00010000u);  // 1.0
  EXPECT_EQ(info.fixed.fileVersionLS, 0u);           // .0.0
  EXPECT_EQ(info.fixed.productVersionMS, 0x00010000u);
  EXPECT_EQ(info.fixed.productVersionLS, 0u);
  EXPECT_EQ(info.fixed.os, 0x4u);    // VOS__WINDOWS32
  EXPECT_EQ(info.fixed.type, 0x1u);  // VFT_APP
  EXPECT_EQ(info.fixed.flags, 0u);   // neither debug nor pre-release

  ASSERT_EQ(info.strings.size(), 1u);
  ASSERT_TRUE(info.strings.contains("040904B0") || info.strings.contains("040904b0"));
  const auto& strings = info.strings.begin()->second;
  const std::map<std::string, std::string> expected = {
      {"ProductName", "Omenglobe"},
      {"FileVersion", "1.00"},
      {"ProductVersion", "1.00"},
      {"InternalName", "omenglobe"},
      {"OriginalFilename", "omenglobe.exe"},
  };
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(strings.contains(key)) << key;
    EXPECT_EQ(strings.at(key), value) << key;
  }
  EXPECT_FALSE(strings.at("Comments").empty());
  EXPECT_FALSE(strings.at("CompanyName").empty());

  ASSERT_EQ(info.translations.size(), 1u);
  EXPECT_EQ(info.translations[0], (std::pair<std::uint16_t, std::uint16_t>{0x0409, 1200}));
}

// The loader's manifest: resource 1 of type RT_MANIFEST, the only one. The
// checks read the text as the loader does, one element at a time.
TEST_F(ExecutableTest, TheManifestDeclaresDpiAwarenessTheWindowsVersionsAndNoElevation) {
  const auto manifests = Exe().OfType(kRtManifest);
  ASSERT_EQ(manifests.size(), 1u) << "the executable carries no manifest";
  EXPECT_EQ(manifests.front()->name.number, 1u);
  const std::string text(manifests.front()->data.begin(), manifests.front()->data.end());
  const auto element = [&](const std::string& name) {
    const auto open = text.find("<" + name);
    if (open == std::string::npos) return std::string();
    const auto end = text.find("</" + name + ">", open);
    return text.substr(open, end == std::string::npos ? std::string::npos : end - open);
  };
  const auto has = [&](const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
  };
  EXPECT_TRUE(has(text, "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\"")) << text;
  // Per monitor v2, per monitor as the fallback, and the older element for
  // systems before Windows 10.
  const auto awareness = element("dpiAwareness");
  EXPECT_TRUE(has(awareness, "http://schemas.microsoft.com/SMI/2016/WindowsSettings")) << text;
  EXPECT_TRUE(has(awareness, ">PerMonitorV2, PerMonitor")) << awareness;
  const auto aware = element("dpiAware");
  EXPECT_TRUE(has(aware, "http://schemas.microsoft.com/SMI/2005/WindowsSettings")) << text;
  EXPECT_TRUE(has(aware, ">true/pm")) << aware;
  // Windows 7, 8, 8.1 and 10 (and 11, which shares 10's identity).
  for (const char* id :
       {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_TRUE(has(element("compatibility"), std::string("<supportedOS Id=\"") + id + "\"/>"))
        << id;
  }
  EXPECT_TRUE(has(element("requestedExecutionLevel"), "level=\"asInvoker\"")) << text;
  // The buttons keep the classic look: no dependency on common controls 6.
  EXPECT_FALSE(has(text, "Microsoft.Windows.Common-Controls")) << text;
}

}  // namespace
}  // namespace omenglobe_wine
