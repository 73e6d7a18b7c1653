// Compares a picture the test made with the reviewed one kept in tests/mudlog/pictures/, the
// way a person would see a difference: both are averaged over blocks of 4 x 4 pixels, and a
// block counts as different when a colour channel of its average moved by more than 48 of
// 255. Font hinting and antialiasing move a few pixels of a glyph and stay under that; a
// missing curve, a curve at another place or a shifted scale changes a run of blocks along
// its whole length. A picture that differs is kept in the build's test-artifacts/ for a look.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace mudlog_test {

inline constexpr int kBlock = 4;
inline constexpr int kChannelTolerance = 48;
// Blocks allowed to differ: a few glyphs' worth.
inline constexpr int kBlocksAllowed = 24;

struct PictureDiff {
  std::string problem;  // empty when the pictures agree
  int differing_blocks = 0;
};

inline PictureDiff compare_pictures(const std::string& actual, const std::string& reference) {
  PictureDiff out;
  cairo_surface_t* a = cairo_image_surface_create_from_png(actual.c_str());
  cairo_surface_t* b = cairo_image_surface_create_from_png(reference.c_str());
  auto done = [&] {
    cairo_surface_destroy(a);
    cairo_surface_destroy(b);
    return out;
  };
  if (cairo_surface_status(a) != CAIRO_STATUS_SUCCESS) {
    out.problem = actual + " cannot be read as PNG";
    return done();
  }
  if (cairo_surface_status(b) != CAIRO_STATUS_SUCCESS) {
    out.problem = reference + " cannot be read as PNG (set RIGCORE_UPDATE_PICTURES=1 to make it)";
    return done();
  }
  const int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
  if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) {
    out.problem = "the pictures differ in size: " + std::to_string(w) + "x" + std::to_string(h) +
                  " against " + std::to_string(cairo_image_surface_get_width(b)) + "x" +
                  std::to_string(cairo_image_surface_get_height(b));
    return done();
  }
  cairo_surface_flush(a);
  cairo_surface_flush(b);
  const unsigned char* pa = cairo_image_surface_get_data(a);
  const unsigned char* pb = cairo_image_surface_get_data(b);
  const int sa = cairo_image_surface_get_stride(a), sb = cairo_image_surface_get_stride(b);
  for (int by = 0; by < h; by += kBlock) {
    for (int bx = 0; bx < w; bx += kBlock) {
      long sum[2][3] = {};
      for (int y = by; y < std::min(h, by + kBlock); ++y) {
        for (int x = bx; x < std::min(w, bx + kBlock); ++x) {
          for (int c = 0; c < 3; ++c) {
            sum[0][c] += pa[y * sa + 4 * x + c];
            sum[1][c] += pb[y * sb + 4 * x + c];
          }
        }
      }
      const long n = static_cast<long>(std::min(kBlock, h - by)) * std::min(kBlock, w - bx);
      for (int c = 0; c < 3; ++c) {
        if (std::labs(sum[0][c] - sum[1][c]) > kChannelTolerance * n) {
          ++out.differing_blocks;
          break;
        }
      }
    }
  }
  if (out.differing_blocks > kBlocksAllowed) {
    out.problem = std::to_string(out.differing_blocks) + " blocks of 4x4 pixels differ (at most " +
                  std::to_string(kBlocksAllowed) + " may)";
  }
  return done();
}

// Checks `actual` against the reviewed picture `name`; with RIGCORE_UPDATE_PICTURES set it
// makes `actual` the reviewed picture instead (look at it before committing).
inline void expect_picture(const std::string& actual, const std::string& name) {
  const std::string reference = std::string(RIGCORE_PICTURES) + name;
  if (std::getenv("RIGCORE_UPDATE_PICTURES")) {
    std::filesystem::copy_file(actual, reference,
                               std::filesystem::copy_options::overwrite_existing);
    return;
  }
  const PictureDiff d = compare_pictures(actual, reference);
  if (!d.problem.empty()) {
    const std::string kept = std::string(RIGCORE_ARTIFACTS) + name;
    std::error_code ec;
    std::filesystem::create_directories(RIGCORE_ARTIFACTS, ec);
    std::filesystem::copy_file(actual, kept, std::filesystem::copy_options::overwrite_existing, ec);
    ADD_FAILURE() << name << ": " << d.problem << "; the picture drawn is kept as " << kept;
  }
}

}  // namespace mudlog_test
