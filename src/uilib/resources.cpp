#include "uilib/resources.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <zip.h>

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace {

std::mutex g_mutex;
zip_t* g_archive = nullptr;
std::string g_folder;
std::map<std::string, cairo_surface_t*> g_images;

void ClearLocked() {
  if (g_archive != nullptr) {
    zip_discard(g_archive);
    g_archive = nullptr;
  }
  g_folder.clear();
  for (auto& [name, surface] : g_images) {
    if (surface != nullptr) {
      cairo_surface_destroy(surface);
    }
  }
  g_images.clear();
}

std::optional<std::string> ReadLocked(const std::string& name) {
  if (name.empty() || name.find("..") != std::string::npos || name[0] == '/') {
    return std::nullopt;
  }
  if (!g_folder.empty()) {
    std::ifstream in(g_folder + "/" + name, std::ios::binary);
    if (!in) {
      return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (g_archive == nullptr) {
    return std::nullopt;
  }
  zip_stat_t stat;
  if (zip_stat(g_archive, name.c_str(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
      stat.size > kMaxSkinEntryBytes) {
    return std::nullopt;
  }
  zip_file_t* file = zip_fopen(g_archive, name.c_str(), 0);
  if (file == nullptr) {
    return std::nullopt;
  }
  std::string bytes(stat.size, '\0');
  const zip_int64_t got = zip_fread(file, bytes.data(), bytes.size());
  zip_fclose(file);
  if (got != static_cast<zip_int64_t>(bytes.size())) {
    return std::nullopt;
  }
  return bytes;
}

// Whether `bytes` start as a PNG image whose sides, as its header gives them, are 1 to
// kMaxSkinImageSide pixels. Checked before anything is decoded or allocated.
bool IsPngOfBoundedSize(const std::string& bytes) {
  static constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  // The signature, then the IHDR chunk: length (4), type (4), width (4), height (4), big-endian.
  if (bytes.size() < 24 || bytes.compare(0, 8, reinterpret_cast<const char*>(kSignature), 8) != 0 ||
      bytes.compare(12, 4, "IHDR") != 0) {
    return false;
  }
  auto bigEndian = [&bytes](size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
      value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
  };
  const uint32_t width = bigEndian(16);
  const uint32_t height = bigEndian(20);
  return width >= 1 && height >= 1 && width <= kMaxSkinImageSide && height <= kMaxSkinImageSide;
}

// Copies a decoded image into a Cairo surface (premultiplied ARGB); null when it cannot be made.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  if (width < 1 || height < 1 || width > static_cast<int>(kMaxSkinImageSide) ||
      height > static_cast<int>(kMaxSkinImageSide) || (channels != 3 && channels != 4) ||
      gdk_pixbuf_get_bits_per_sample(pixbuf) != 8) {
    return nullptr;
  }
  const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* out = cairo_image_surface_get_data(surface);
  const int outStride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const guchar* row = pixels + static_cast<ptrdiff_t>(y) * stride;
    auto* target = reinterpret_cast<uint32_t*>(out + static_cast<ptrdiff_t>(y) * outStride);
    for (int x = 0; x < width; ++x) {
      const guchar* p = row + x * channels;
      const uint32_t a = channels == 4 ? p[3] : 255;
      const uint32_t r = p[0] * a / 255;
      const uint32_t g = p[1] * a / 255;
      const uint32_t b = p[2] * a / 255;
      target[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

bool SkinResources::SetZip(const void* data, size_t length) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ClearLocked();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, length, 0, &error);
  if (source == nullptr) {
    zip_error_fini(&error);
    return false;
  }
  g_archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (g_archive == nullptr) {
    zip_source_free(source);
  }
  zip_error_fini(&error);
  return g_archive != nullptr;
}

void SkinResources::SetFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ClearLocked();
  g_folder = folder;
}

std::optional<std::string> SkinResources::ReadFile(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return ReadLocked(name);
}

cairo_surface_t* SkinResources::Image(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const auto found = g_images.find(name);
  if (found != g_images.end()) {
    return found->second;
  }
  cairo_surface_t* surface = nullptr;
  const std::optional<std::string> bytes = ReadLocked(name);
  GdkPixbufLoader* loader = bytes && IsPngOfBoundedSize(*bytes)
                                ? gdk_pixbuf_loader_new_with_type("png", nullptr)
                                : nullptr;
  if (loader != nullptr) {
    if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes->data()),
                                bytes->size(), nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader)) {
        surface = SurfaceFromPixbuf(pixbuf);
      }
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }
  g_images[name] = surface;
  return surface;
}

void SkinResources::Clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  ClearLocked();
}
