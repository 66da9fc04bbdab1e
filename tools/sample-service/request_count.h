#pragma once

// How many requests the service has answered, by path, for tests that check how often a client
// asked: GET /__count?prefix=<p> answers (as text) the number of requests whose path starts with
// <p>; with &reset=1 it also sets that number back to 0.

#include <httplib.h>

#include <string>

// Counts a request for `path`; called for every request, before it is answered.
void CountRequest(const std::string& path);

void AddCountRoute(httplib::Server& server);
