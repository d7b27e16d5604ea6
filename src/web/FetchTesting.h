#pragma once
// Seams for the tests only: the program never calls these.
#include <string>

#include "web/FetchPage.h"

namespace quill::web::testing {

// Replaces the network limits for every following call; NetworkLimits{}
// puts the program's own figures back.
void SetLimits(const NetworkLimits& limits);

// Trusts only the certificates in this file for https; empty restores the
// system's trust store.
void SetCaFile(const std::string& path);

// Forgets every cookie of the process-wide store.
void ClearCookieStore();

}  // namespace quill::web::testing
