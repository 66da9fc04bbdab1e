#pragma once

// Which part of a photo a request gets, from its Range and If-Range headers.
//
// The server library parses Range itself (a header it cannot parse gets 416 before any route
// runs) and, after the route, cuts the answer to request.ranges. It cuts the answer whatever its
// status, does not read If-Range, and does not keep a range within the answer's size; these
// functions leave in request.ranges only what it may cut the answer to.

#include <httplib.h>

#include "image_validators.h"

enum class RangeAnswer {
  kWhole,          // 200 with the whole photo
  kPart,           // 206 with one range of it, which is within the photo
  kUnsatisfiable,  // 416: the range starts at or past the photo's end
};

// Settles the range of a request for a photo of `size` bytes with `validators`. The whole photo
// goes out for a request without a range, with several ranges, or with an If-Range that is
// neither the ETag nor the exact Last-Modified.
RangeAnswer SettleRange(const httplib::Request& request, size_t size,
                        const ImageValidators& validators);

// Sends the answer whole, whatever range was asked: for answers that are not the photo, such as
// an error status.
void SendWhole(const httplib::Request& request);
