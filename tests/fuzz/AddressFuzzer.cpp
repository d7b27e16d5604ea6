// Taking addresses apart. Any bytes: the host is lower case, holds no "/"
// and is taken from the address itself, its port-less form is the part
// before its first ":", the port is the one written after the host's last
// ":" or the scheme's own, and the path starts with "/" and is the end of
// the address. An address put together from a scheme, a host, a port and a
// path comes apart into exactly those.
//
// Input: a first byte choosing raw or assembled, then the address or the
// parts it is assembled from.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "text/Text.h"
#include "web/TextHelpers.h"

namespace {

using namespace quill;
using fuzz::Check;

// What FetchPage takes for the scheme, since it reads the port and the
// scheme by one test.
int DefaultPort(std::string_view address) { return text::ToLower(text::Left(address, 5)) == "https" ? 443 : 80; }

void CheckAnyAddress(std::string_view address) {
  const std::string host = web::HostOf(address);
  const std::string withPort = web::HostOf(address, true);
  for (char c : withPort) Check(c < 'A' || c > 'Z');
  Check(!text::Contains(withPort, "/"));
  Check(withPort.empty() || text::ToLower(address).find(withPort) != std::string::npos);
  const int colon = text::Find(withPort, ":");
  if (colon > 0) {
    Check(host == withPort.substr(0, static_cast<size_t>(colon) - 1));
  } else {
    Check(host == withPort);
  }

  const int last = text::FindLast(withPort, ":");
  const int port = web::PortOf(address);
  if (last > 0) {
    Check(port == text::ToInteger(std::string_view(withPort).substr(static_cast<size_t>(last))));
  } else {
    Check(port == DefaultPort(address));
  }

  const std::string path = web::PathOf(address);
  Check(!path.empty() && path[0] == '/');
  Check(path == "/" || address.ends_with(path));
}

std::string Pick(FuzzedDataProvider& in, std::string_view alphabet, size_t most) {
  std::string out(in.ConsumeIntegralInRange<size_t>(0, most), ' ');
  for (char& c : out) c = alphabet[in.ConsumeIntegralInRange<size_t>(0, alphabet.size() - 1)];
  return out;
}

void CheckAssembledAddress(FuzzedDataProvider& in) {
  static constexpr std::string_view kSchemes[] = {"", "http://", "https://", "HTTP://", "Https://", "hTtPs://"};
  const std::string scheme(kSchemes[in.ConsumeIntegralInRange<size_t>(0, std::size(kSchemes) - 1)]);
  const std::string host = Pick(in, "abcxyzABCXYZ019.-_", 24);
  const bool hasPort = in.ConsumeBool();
  const std::string digits = Pick(in, "0123456789", 6);
  const bool hasPath = in.ConsumeBool();
  std::string path = in.ConsumeRemainingBytesAsString();
  if (hasPath) path.insert(0, "/");
  else path.clear();
  // Without a scheme a "http://" anywhere is taken for the scheme.
  if (scheme.empty() && text::Contains(path, "http://", true)) return;

  const std::string address = scheme + host + (hasPort ? ":" + digits : "") + path;
  CheckAnyAddress(address);
  const std::string lowerHost = text::ToLower(host);
  Check(web::HostOf(address) == lowerHost);
  Check(web::HostOf(address, true) == lowerHost + (hasPort ? ":" + digits : ""));
  Check(web::PortOf(address) == (hasPort ? text::ToInteger(digits) : DefaultPort(address)));
  Check(web::PathOf(address) == (hasPath ? path : "/"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    FuzzedDataProvider in(data + 1, size - 1);
    CheckAssembledAddress(in);
  } else {
    CheckAnyAddress(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  }
  return 0;
}
