#pragma once

// Answering a request with a body, or failing the way a fixture says.

#include <httplib.h>

#include <atomic>
#include <string>

#include "fixture.h"

// Set when the service shuts down, so that stalled answers end.
extern std::atomic<bool> g_stopping;
// Network conditions played for every answer: the first byte waits this long, and a body goes out
// at most this fast on each connection (0: as fast as it can).
extern std::atomic<int> g_latencyMs;
extern std::atomic<int> g_rateKbps;

// How long the first byte of an answer with the "late" fault waits, on top of the latency.
constexpr int kLateAnswerMs = 3000;

// Paces a body of `length` bytes: how much of it may go out now, after waiting as the rate asks.
size_t PacedPiece(size_t length);

// True the first time it is asked for `key` (an answer's address), false afterwards.
bool FirstTimeFor(const std::string& key);

// Answers `body`, or plays `fault` with it. A body is cut to a range of the request (see
// ranges.h); a fault that cuts the body off cuts off half of what the answer sends.
void Answer(const httplib::Request& request, httplib::Response& response, std::string body,
            const std::string& contentType, Fault fault);

// Answers the fixture file `file` of host `label` with its fault, if any; 404 without the file.
void AnswerFile(const httplib::Request& request, httplib::Response& response,
                const Fixture& fixture, const std::string& label, const std::string& file,
                const std::string& contentType);
