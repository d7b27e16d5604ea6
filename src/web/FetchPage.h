#pragma once
// One HTTP or HTTPS request, the way every page of a book is read.
#include <cstddef>
#include <string>
#include <string_view>

namespace quill::web {

// Once, from main, before any thread starts: global transport set-up, and
// SIGPIPE ignored for the process. FetchPage does it itself on first use
// when the program forgot.
void InitWeb();

// Makes one request and returns the response body bytes, whatever the status
// code; empty when the page was not obtained (no connection, a transport
// error part-way, a page over the size limit, a refused redirect).
//
// A null pointer means "not supplied", which is not the same as an empty
// value: a supplied `cookies`, even empty, switches the process cookie store
// off for this call and receives the merged cookie text. The in/out texts are
// rewritten: `headers` receives the header block that was sent, `sendBytes`
// the body sent by POST and HEAD, `responseHeaders` the final response's raw
// header block (CR LF line ends; 5000 spaces when there was none or it held
// 5000 bytes or more), `receivedCookies` the first name=value of each
// Set-Cookie line joined by "; ". HEAD sends no body, though `sendBytes`
// is filled as for POST. An address that cannot be requested at all
// leaves every text untouched.
//
// `method`: 0 GET, 1 POST, 2 HEAD, anything else GET. `proxy`: "host:port",
// empty for a direct connection. Any number of threads may call it at once.
std::string FetchPage(std::string_view address, const int* method = nullptr,
                      const std::string* sendText = nullptr, std::string* cookies = nullptr,
                      std::string* receivedCookies = nullptr, std::string* headers = nullptr,
                      std::string* responseHeaders = nullptr, const bool* noRedirect = nullptr,
                      std::string* sendBytes = nullptr, const std::string* proxy = nullptr);

// Bounds that keep one dead, silent or hostile server from holding a worker
// for ever or filling memory.
struct NetworkLimits {
  long connectTimeoutMs = 60'000;          // name lookup, TCP and TLS set-up
  long stallTimeoutMs = 30'000;            // no byte in either direction this long ends it
  std::size_t maxBodyBytes = 64u << 20;    // a larger page is not obtained
  long maxRedirects = 10;
};

}  // namespace quill::web
