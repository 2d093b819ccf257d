// Checks the embedded image assets: the icon's .ico structure, the ball
// picture's JPEG structure, and what the picture looks like once libjpeg has
// decoded it (black ball, white emblem placed between the controls).

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "resources/resources.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t Le16(Bytes b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t Le32(Bytes b, std::size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }
std::uint32_t Be16(Bytes b, std::size_t at) { return (b[at] << 8) | b[at + 1]; }

// ---------------------------------------------------------------- icon ---

constexpr std::size_t kIconDirBytes = 6 + 16;
constexpr std::size_t kIconImageBytes = 40 + 256 * 4 + 32 * 32 + 32 * 4;

struct IconPixel {
  bool transparent;
  int grey;  // palette colour; the palette is a grey ramp
};

// Pixel (x, y), top row first, of the single 8 bpp image.
IconPixel IconAt(Bytes ico, int x, int y) {
  const std::size_t image = Le32(ico, 18);
  const std::size_t palette = image + 40;
  const std::size_t xorRow = palette + 256 * 4 + (31 - y) * 32;
  const std::size_t andRow = palette + 256 * 4 + 32 * 32 + (31 - y) * 4;
  const int index = ico[xorRow + x];
  const bool transparent = (ico[andRow + x / 8] >> (7 - x % 8)) & 1;
  const std::uint8_t* bgr = &ico[palette + index * 4];
  EXPECT_TRUE(bgr[0] == bgr[1] && bgr[1] == bgr[2]) << "index " << index;
  return {transparent, bgr[1]};
}

TEST(ProgramIcon, HasOne32x32PalettedImageWithMask) {
  const Bytes ico = resources::ProgramIcon();
  ASSERT_EQ(ico.size(), 2238u);
  EXPECT_EQ(Le16(ico, 0), 0u);  // reserved
  EXPECT_EQ(Le16(ico, 2), 1u);  // type: icon
  ASSERT_EQ(Le16(ico, 4), 1u);  // one image

  // ICONDIRENTRY
  EXPECT_EQ(ico[6], 32);
  EXPECT_EQ(ico[7], 32);
  EXPECT_EQ(ico[8], 0);  // 0 means 256 colours
  EXPECT_EQ(Le16(ico, 10), 1u);
  EXPECT_EQ(Le16(ico, 12), 8u);
  EXPECT_EQ(Le32(ico, 14), kIconImageBytes);
  ASSERT_EQ(Le32(ico, 18), kIconDirBytes);
  EXPECT_EQ(kIconDirBytes + kIconImageBytes, ico.size());

  // BITMAPINFOHEADER: height counts the XOR image and the AND mask.
  const std::size_t bih = kIconDirBytes;
  EXPECT_EQ(Le32(ico, bih), 40u);
  EXPECT_EQ(Le32(ico, bih + 4), 32u);
  EXPECT_EQ(Le32(ico, bih + 8), 64u);
  EXPECT_EQ(Le16(ico, bih + 12), 1u);
  EXPECT_EQ(Le16(ico, bih + 14), 8u);
  EXPECT_EQ(Le32(ico, bih + 16), 0u);  // BI_RGB
  const std::uint32_t sizeImage = Le32(ico, bih + 20);
  EXPECT_TRUE(sizeImage == 0 || sizeImage == 32 * 32 + 32 * 4) << sizeImage;
  const std::uint32_t colorsUsed = Le32(ico, bih + 32);
  EXPECT_TRUE(colorsUsed == 0 || colorsUsed == 256) << colorsUsed;
}

TEST(ProgramIcon, IsABlackBallWithGreyRimAndWhiteEmblem) {
  const Bytes ico = resources::ProgramIcon();
  ASSERT_EQ(ico.size(), 2238u);

  int opaque = 0, black = 0, white = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const IconPixel p = IconAt(ico, x, y);
      if (p.transparent) continue;
      ++opaque;
      black += p.grey <= 0x10;
      white += p.grey >= 0xF0;
      // Opaque pixels at the ball's edge are shaded grey, neither pure black
      // (lost on dark backgrounds) nor white.
      const bool edge = x == 0 || y == 0 || x == 31 || y == 31 ||
                        IconAt(ico, x - 1, y).transparent || IconAt(ico, x + 1, y).transparent ||
                        IconAt(ico, x, y - 1).transparent || IconAt(ico, x, y + 1).transparent;
      if (edge) {
        EXPECT_GE(p.grey, 0x30) << x << "," << y;
        EXPECT_LE(p.grey, 0xC0) << x << "," << y;
      }
    }
  }
  // A disc of radius ~15.5 covers ~755 pixels; corners are see-through.
  EXPECT_GT(opaque, 680);
  EXPECT_LT(opaque, 830);
  const std::pair<int, int> corners[] = {{0, 0}, {31, 0}, {0, 31}, {31, 31}};
  for (const auto& [x, y] : corners) {
    EXPECT_TRUE(IconAt(ico, x, y).transparent) << x << "," << y;
  }
  EXPECT_GT(black, opaque / 3);  // mostly a black ball ...
  EXPECT_GT(white, 40);          // ... with a clear white emblem
  EXPECT_GE(IconAt(ico, 16, 16).grey, 0xF0);
}

// ---------------------------------------------------------------- JPEG ---

constexpr int kSide = 350;
constexpr int kBlackMax = 8;

TEST(BallPicture, IsABaselineJfif350x350YCbCrFile) {
  const Bytes jpg = resources::BallPicture();
  ASSERT_EQ(jpg.size(), 4464u);
  ASSERT_EQ(Be16(jpg, 0), 0xFFD8u);
  EXPECT_EQ(Be16(jpg, jpg.size() - 2), 0xFFD9u);

  std::vector<int> markers;
  std::size_t at = 2;
  while (true) {
    ASSERT_LT(at + 4, jpg.size());
    ASSERT_EQ(jpg[at], 0xFF) << "at " << at;
    const int marker = jpg[at + 1];
    const std::size_t length = Be16(jpg, at + 2);
    ASSERT_GE(length, 2u);
    ASSERT_LE(at + 2 + length, jpg.size());
    const Bytes payload = jpg.subspan(at + 4, length - 2);
    markers.push_back(marker);
    if (markers.size() == 1) {
      ASSERT_EQ(marker, 0xE0) << "JFIF APP0 must come first";
      ASSERT_GE(payload.size(), 14u);
      EXPECT_EQ(std::memcmp(payload.data(), "JFIF\0", 5), 0);
      EXPECT_EQ(payload[5], 1);  // version 1.01
      EXPECT_EQ(payload[6], 1);
    }
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      ASSERT_EQ(marker, 0xC0) << "only baseline frames";
      ASSERT_EQ(payload.size(), 6u + 3 * 3);
      EXPECT_EQ(payload[0], 8);                                   // sample precision
      EXPECT_EQ(Be16(payload, 1), static_cast<unsigned>(kSide));  // height
      EXPECT_EQ(Be16(payload, 3), static_cast<unsigned>(kSide));  // width
      EXPECT_EQ(payload[5], 3);
      for (int c = 0; c < 3; ++c) EXPECT_EQ(payload[6 + 3 * c], c + 1);
    }
    at += 2 + length;
    if (marker == 0xDA) break;
  }
  for (int required : {0xDB, 0xC4, 0xC0}) {
    EXPECT_NE(std::find(markers.begin(), markers.end(), required), markers.end())
        << std::hex << required;
  }
  // Entropy-coded data: only stuffed 0xFF00 until the final EOI.
  for (; at + 2 < jpg.size(); ++at) {
    if (jpg[at] == 0xFF) {
      ASSERT_EQ(jpg[at + 1], 0x00) << "stray marker at " << at;
      ++at;
    }
  }
}

struct Picture {
  int width = 0, height = 0, components = 0;
  long warnings = 0;
  std::vector<std::uint8_t> rgb;
  int Max(int x, int y) const {  // brightest channel
    const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return std::max({p[0], p[1], p[2]});
  }
  int Min(int x, int y) const {
    const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return std::min({p[0], p[1], p[2]});
  }
};

struct JpegErrors {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Decodes with libjpeg; false on a fatal error.
bool Decode(Bytes jpg, Picture& out) {
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = OnJpegError;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpg.data(), static_cast<unsigned long>(jpg.size()));
  jpeg_read_header(&info, TRUE);
  out.components = info.num_components;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.rgb.assign(static_cast<std::size_t>(out.width) * out.height * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &out.rgb[static_cast<std::size_t>(info.output_scanline) * out.width * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  out.warnings = errors.mgr.num_warnings;
  jpeg_destroy_decompress(&info);
  return true;
}

class DecodedBall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Decode(resources::BallPicture(), pic_));
    ASSERT_EQ(pic_.warnings, 0) << "libjpeg reported corrupt data";
    ASSERT_EQ(pic_.components, 3);
    ASSERT_EQ(pic_.width, kSide);
    ASSERT_EQ(pic_.height, kSide);
  }
  Picture pic_;
};

TEST_F(DecodedBall, EmblemIsCrispWhiteOnTheControlCentreLine) {
  int whiteRows = 0;
  for (int y = 162; y < 248; ++y) {
    whiteRows += pic_.Min(172, y) >= 200 && pic_.Min(173, y) >= 200;
  }
  EXPECT_GE(whiteRows, 20);
  // Crossing points well inside the emblem strokes: top of the ring, the
  // middle, and the bottom of the ring.
  for (int y : {176, 204, 232}) {
    EXPECT_GE(pic_.Min(172, y), 200) << "y=" << y;
    EXPECT_GE(pic_.Min(173, y), 200) << "y=" << y;
  }
  // Crisp outlines: only the anti-aliased edge pixels are mid-tones (about
  // 420 of them); compression ringing would add many more.
  int midTones = 0;
  for (int y = 162; y < 248; ++y) {
    for (int x = 120; x < 226; ++x) {
      midTones += pic_.Max(x, y) > 16 && pic_.Max(x, y) < 240;
    }
  }
  EXPECT_LE(midTones, 470);
}

TEST_F(DecodedBall, IsBlackAwayFromTheEmblem) {
  struct Area {
    const char* name;
    int x0, y0, x1, y1;  // inclusive
  };
  const Area areas[] = {
      {"top left corner", 0, 0, 40, 40},       {"top right corner", 309, 0, 349, 40},
      {"bottom left corner", 0, 309, 40, 349}, {"bottom right corner", 309, 309, 349, 349},
      {"far left", 0, 100, 30, 260},           {"far right", 319, 100, 349, 260},
      {"answer box", 88, 88, 257, 161},        {"shake button", 80, 248, 265, 281},
  };
  for (const Area& a : areas) {
    int worst = 0;
    for (int y = a.y0; y <= a.y1; ++y)
      for (int x = a.x0; x <= a.x1; ++x) worst = std::max(worst, pic_.Max(x, y));
    EXPECT_LE(worst, kBlackMax) << a.name;
  }
  // Anything lit at all keeps a few pixels' distance from both controls.
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      if (pic_.Max(x, y) > kBlackMax) {
        ASSERT_GE(y, 161 + 3) << x << "," << y;
        ASSERT_LE(y, 248 - 4) << x << "," << y;
        ASSERT_LE(std::abs(2 * x + 1 - 346), 2 * 45) << x << "," << y;
      }
    }
  }
}

TEST_F(DecodedBall, EmblemIsSymmetricAboutTheCentreLine) {
  int widest = 0;
  for (int y = 162; y < 248; ++y) {
    int left = -1, right = -1;
    for (int x = 0; x < kSide; ++x) {
      if (pic_.Max(x, y) >= 128) {
        if (left < 0) left = x;
        right = x;
      }
    }
    if (left < 0) continue;
    // Mirror image of column x is column 345 - x.
    EXPECT_LE(std::abs(left + right - 345), 2) << "row " << y;
    widest = std::max(widest, right - left + 1);
  }
  EXPECT_GE(widest, 50);
  EXPECT_LE(widest, 70);
}

}  // namespace
