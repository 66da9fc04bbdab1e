#include <algorithm>
#include <cstdlib>
#include <memory>

#include "answer.h"
#include "picture.h"
#include "routes.h"

namespace {

// One block of the image pattern, shared by every answer.
const std::string& PatternBlock() {
  static const std::string block = [] {
    std::string bytes(1 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    bytes[0] = static_cast<char>(0xFF);
    bytes[1] = static_cast<char>(0xD8);
    bytes[2] = static_cast<char>(0xFF);
    return bytes;
  }();
  return block;
}

}  // namespace

std::string ImageBytes(size_t size) {
  const std::string& block = PatternBlock();
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    bytes.append(block, 0, std::min(block.size(), size - bytes.size()));
  }
  return bytes;
}

void AddPhotoListRoutes(httplib::Server& server, const Fixture& fixture) {
  server.Get("/fcgi-bin/fcg_list_photo",
             [&fixture](const httplib::Request& request, httplib::Response& response) {
               const std::string label = HostLabel(request.get_header_value("Host"));
               const std::string uin = request.get_param_value("uin");
               const std::string id = request.get_param_value("albumid");
               if (uin.empty() || uin.find_first_not_of("0123456789") != std::string::npos ||
                   id.empty() || id.size() > 128) {
                 response.status = 404;
                 return;
               }
               const std::string file = "photos/" + uin + "/" + FixtureNameOfId(id) + ".xml";
               AnswerFile(request, response, fixture, label, file, "text/xml; charset=utf-8");
             });
}

void AddImageRoutes(httplib::Server& server) {
  server.Get(
      R"(/img/(\d+)/[^/]+)", [](const httplib::Request& request, httplib::Response& response) {
        const size_t size = std::strtoull(request.matches[1].str().c_str(), nullptr, 10);
        const Fault fault = FaultNamed(request.get_param_value("fault"));
        if (fault != Fault::kNone || size == 0) {
          Answer(request, response, ImageBytes(size), "image/jpeg", fault);
          return;
        }
        // A real picture first when it fits, so that the photo opens in a viewer (bytes after a
        // JPEG's end are ignored), then the shared pattern block: streamed, with no copy of the
        // whole image per request.
        const std::string* picture = &PictureFor(request.matches[0].str());
        if (picture->size() > size) {
          static const std::string kNone;
          picture = &kNone;
        }
        response.set_content_provider(
            size, "image/jpeg", [picture](size_t offset, size_t length, httplib::DataSink& sink) {
              const std::string& block = PatternBlock();
              if (offset < picture->size()) {
                // The picture and the pattern after it in one write: a small photo goes out whole,
                // as one piece.
                std::string first = picture->substr(offset);
                const size_t end = offset + PacedPiece(std::min(length, size_t{256 * 1024}));
                for (size_t at = picture->size(); at < end;) {
                  const size_t start = at % block.size();
                  const size_t piece = std::min(end - at, block.size() - start);
                  first.append(block, start, piece);
                  at += piece;
                }
                return sink.write(first.data(), first.size());
              }
              const size_t start = offset % block.size();
              const size_t piece =
                  PacedPiece(std::min({length, block.size() - start, size_t{256 * 1024}}));
              return sink.write(block.data() + start, piece);
            });
      });
}
