#include <algorithm>
#include <cstdlib>

#include "answer.h"
#include "image_bytes.h"
#include "image_validators.h"
#include "ranges.h"
#include "routes.h"

namespace {

// The photo streamed from the shared picture and pattern block, with no copy of the whole photo
// per request; the library asks for the bytes of a range only.
void StreamImage(httplib::Response& response, const std::string& picture, size_t size) {
  response.set_content_provider(
      size, "image/jpeg", [&picture](size_t offset, size_t length, httplib::DataSink& sink) {
        length = PacedPiece(std::min(length, size_t{256 * 1024}));
        if (offset < picture.size()) {
          // The picture and the pattern after it in one write: a small photo goes out whole, as
          // one piece.
          const std::string first = ImagePiece(picture, offset, length);
          return sink.write(first.data(), first.size());
        }
        const std::string& block = PatternBlock();
        const size_t start = offset % block.size();
        return sink.write(block.data() + start, std::min(length, block.size() - start));
      });
}

}  // namespace

void AddImageRoutes(httplib::Server& server) {
  server.Get(
      R"(/img/(\d+)/[^/]+)", [](const httplib::Request& request, httplib::Response& response) {
        const size_t size = std::strtoull(request.matches[1].str().c_str(), nullptr, 10);
        const Fault fault = FaultNamed(request.get_param_value("fault"));
        // The query is part of the address, so that "?v=2" makes another version of a photo.
        const std::string& address = request.target;
        const ImageValidators validators =
            ValidatorsOf(address, size, fault == Fault::kChanging ? NextVersionOf(address) : 0);
        response.set_header("ETag", validators.etag);
        response.set_header("Last-Modified", validators.lastModified);
        response.set_header("Accept-Ranges", "bytes");
        if (SettleRange(request, size, validators) == RangeAnswer::kUnsatisfiable) {
          response.status = 416;
          response.set_header("Content-Range", "bytes */" + std::to_string(size));
          return;
        }
        // A real picture first when it fits, so that the photo opens in a viewer (bytes after a
        // JPEG's end are ignored), then the pattern.
        const std::string& picture = PictureOfImage(request.matches[0].str(), size);
        if ((fault != Fault::kNone && fault != Fault::kChanging) || size == 0) {
          Answer(request, response, ImagePiece(picture, 0, size), "image/jpeg", fault);
          return;
        }
        StreamImage(response, picture, size);
      });
}
