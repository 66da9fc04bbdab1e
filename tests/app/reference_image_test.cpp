// The main window drawn by the headless back end, against reference images stored in
// tests/reference: at one and two device pixels per pixel, and with the desktop's text at 1.5
// times its size. A failing comparison leaves the actual image and the difference image in the
// artifacts folder. ZP_UPDATE_REFERENCES=1 writes the references anew instead of comparing.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/app_harness.h"
#include "support/artifacts.h"
#include "uilib/render_engine.h"

namespace {

// How far a pixel's channel may be off, and how many pixels may be off at all (fonts are
// rasterised by the system's libraries, which may round a little differently).
constexpr int kChannelTolerance = 24;
constexpr double kDifferingShare = 0.002;

struct Comparison {
  bool sameSize = false;
  long differing = 0;
  long total = 0;
};

// Compares `actual` with `expected` pixel by pixel, painting the difference image: black where
// they agree, red where they do not.
Comparison Compare(cairo_surface_t* actual, cairo_surface_t* expected, cairo_surface_t** diff) {
  Comparison result;
  const int width = cairo_image_surface_get_width(actual);
  const int height = cairo_image_surface_get_height(actual);
  result.total = static_cast<long>(width) * height;
  result.sameSize = cairo_image_surface_get_width(expected) == width &&
                    cairo_image_surface_get_height(expected) == height;
  if (!result.sameSize) {
    return result;
  }
  *diff = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(actual);
  cairo_surface_flush(expected);
  cairo_surface_flush(*diff);
  for (int y = 0; y < height; ++y) {
    const auto* a = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(actual) +
                                                      y * cairo_image_surface_get_stride(actual));
    const auto* e = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(expected) +
                                                      y * cairo_image_surface_get_stride(expected));
    auto* d = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(*diff) +
                                          y * cairo_image_surface_get_stride(*diff));
    for (int x = 0; x < width; ++x) {
      int worst = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(static_cast<int>((a[x] >> shift) & 0xFF) -
                                         static_cast<int>((e[x] >> shift) & 0xFF)));
      }
      const bool off = worst > kChannelTolerance;
      result.differing += off ? 1 : 0;
      d[x] = off ? 0xFFFF0000u : 0xFF000000u;
    }
  }
  cairo_surface_mark_dirty(*diff);
  return result;
}

void ExpectLooksLikeReference(AppHarness& app, const std::string& name) {
  cairo_surface_t* actual = app.Backend()->Render(app.Window()->GetHWND());
  ASSERT_NE(actual, nullptr);
  const std::string reference = std::string(ZP_TEST_REFERENCE_FOLDER) + "/" + name;
  if (std::getenv("ZP_UPDATE_REFERENCES") != nullptr) {
    EXPECT_EQ(cairo_surface_write_to_png(actual, reference.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(actual);
    return;
  }
  cairo_surface_t* expected = cairo_image_surface_create_from_png(reference.c_str());
  ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS) << "no reference " << reference;
  cairo_surface_t* diff = nullptr;
  const Comparison result = Compare(actual, expected, &diff);
  const bool alike =
      result.sameSize && result.differing <= static_cast<long>(kDifferingShare * result.total);
  if (!alike) {
    cairo_surface_write_to_png(actual, ArtifactPath("actual-" + name).c_str());
    if (diff != nullptr) {
      cairo_surface_write_to_png(diff, ArtifactPath("difference-" + name).c_str());
    }
  }
  EXPECT_TRUE(result.sameSize) << name << ": the size differs from the reference";
  EXPECT_TRUE(alike) << name << ": " << result.differing << " of " << result.total
                     << " pixels differ; see " << ArtifactsFolder().string();
  if (diff != nullptr) {
    cairo_surface_destroy(diff);
  }
  cairo_surface_destroy(expected);
  cairo_surface_destroy(actual);
}

TEST(ReferenceImageTest, TheMainWindowLooksAsItShouldAtEachScale) {
  AppHarness app;
  app.ServeUser(10021, {{"a1", "春天的花", 12}, {"a2", "Beach 2026", 3}, {"p1", "家人", 5, true}});
  app.ListAlbums(10021);
  ASSERT_EQ(app.RowCount(), 3);
  app.Row(0)->m_optSelect->Selected(true);
  // What differs from run to run is fixed: the download folder's path.
  app.Control(L"edit_album_dir")->SetText(L"/home/user/ZeDiRazuz");
  app.TypeUin(L"10021");

  ExpectLooksLikeReference(app, "main-window.png");
  app.Backend()->scale = 2;
  ExpectLooksLikeReference(app, "main-window@2x.png");
  app.Backend()->scale = 1;
  CRenderEngine::SetTextScale(1.5);
  app.PaintManager().NeedUpdate();
  ExpectLooksLikeReference(app, "main-window-text-1.5.png");
  CRenderEngine::SetTextScale(1.0);
}

}  // namespace
