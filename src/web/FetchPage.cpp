#include "web/FetchPage.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "text/Text.h"
#include "web/FetchTesting.h"
#include "web/ReceivedCookies.h"
#include "web/TextHelpers.h"

namespace quill::web {
namespace {

namespace t = quill::text;

constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr std::size_t kHeaderRoom = 5000;  // terminating zero included
constexpr long kReadPiece = 1024;
constexpr std::size_t kIdleHandles = 16;

// --- process-wide state ----------------------------------------------------

struct Settings {
  NetworkLimits limits;
  std::string caFile;
};

std::mutex& SettingsLock() {
  static std::mutex lock;
  return lock;
}

Settings& SharedSettings() {
  static Settings settings;
  return settings;
}

Settings CurrentSettings() {
  std::lock_guard guard(SettingsLock());
  return SharedSettings();
}

// One lock per kind of shared data, as the share interface asks.
std::array<std::mutex, CURL_LOCK_DATA_LAST>& ShareLocks() {
  static std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
  return locks;
}

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) { ShareLocks()[data].lock(); }
void UnlockShare(CURL*, curl_lock_data data, void*) { ShareLocks()[data].unlock(); }

CURLSH* MakeShare(bool withCookies) {
  CURLSH* share = curl_share_init();
  if (!share) return nullptr;
  curl_share_setopt(share, CURLSHOPT_LOCKFUNC, LockShare);
  curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, UnlockShare);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  if (withCookies) curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  return share;
}

// Two shares so that a call with the caller's own cookie text is attached to
// one that holds no cookies at all: the store can then neither add to the
// request nor learn from the response.
struct Shares {
  CURLSH* withCookies = nullptr;
  CURLSH* withoutCookies = nullptr;
};

Shares& TheShares() {
  static Shares shares;
  return shares;
}

std::once_flag& InitFlag() {
  static std::once_flag flag;
  return flag;
}

void InitOnce() {
  std::call_once(InitFlag(), [] {
    // Time-outs use no signals, and a server that hangs up while a request
    // is being sent must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    TheShares().withCookies = MakeShare(true);
    TheShares().withoutCookies = MakeShare(false);
  });
}

// Easy handles are kept between calls so that their live connections are
// reused, as the platform's own connection pool would; each handle serves
// one call at a time.
class HandlePool {
 public:
  CURL* Take() {
    {
      std::lock_guard guard(lock_);
      if (!idle_.empty()) {
        CURL* handle = idle_.back();
        idle_.pop_back();
        return handle;
      }
    }
    return curl_easy_init();
  }

  void Give(CURL* handle) {
    // Reset forgets the list of cookie files without freeing it; clearing it
    // first keeps a long download from leaking a little on every page. The
    // shared store itself is untouched by this.
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
    curl_easy_reset(handle);
    {
      std::lock_guard guard(lock_);
      if (idle_.size() < kIdleHandles) {
        idle_.push_back(handle);
        return;
      }
    }
    curl_easy_cleanup(handle);
  }

 private:
  std::mutex lock_;
  std::vector<CURL*> idle_;
};

HandlePool& Handles() {
  static auto* pool = new HandlePool();  // lives for the process
  return *pool;
}

struct HandleLease {
  CURL* handle;
  explicit HandleLease(CURL* h) : handle(h) {}
  ~HandleLease() {
    if (handle) Handles().Give(handle);
  }
  HandleLease(const HandleLease&) = delete;
  HandleLease& operator=(const HandleLease&) = delete;
};

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// --- the request -------------------------------------------------------------

// The agent text: the caller's own User-Agent value when its lines name one.
std::string AgentFor(std::string_view headers) {
  if (!t::Contains(headers, "User-Agent:", true)) return std::string(kDefaultAgent);
  std::string agent(t::Trim(TextBetween(headers, "User-Agent:", "\r\n")));
  if (agent.empty()) {
    agent = TextAfterColon(headers);
    // For a longer header text that runs on into the next lines; a header
    // value cannot hold a line break, so the agent stops at the first one.
    const size_t cut = agent.find_first_of("\r\n");
    if (cut != std::string::npos) agent = std::string(t::Trim(std::string_view(agent).substr(0, cut)));
  }
  return agent;
}

bool IsHostByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

// The address as the transport reads it, built from HostOf, PortOf and
// PathOf so that the address is taken apart exactly as those helpers do.
// None when the address cannot be requested at all.
std::optional<std::string> RequestUrl(std::string_view address, bool secure) {
  // A line break in an address would end the request line early and carry
  // the rest into the header block.
  for (char c : address)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
  const std::string host = HostOf(address);
  if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostByte)) return std::nullopt;
  int port = PortOf(address);
  if (port < 0 || port > 65535) return std::nullopt;
  if (port == 0) port = secure ? 443 : 80;  // no digits: the scheme's own port
  std::string url = secure ? "https://" : "http://";
  url += host;
  if (port != (secure ? 443 : 80)) url += ':' + std::to_string(port);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : PathOf(address)) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ' || b >= 0x80) {
      url += '%';
      url += kHex[b >> 4];
      url += kHex[b & 0xF];
    } else {
      url += c;
    }
  }
  return url;
}

// The caller's lines completed with the default ones; each test is a plain
// substring test in exact case, and the block ends without CR LF.
std::string HeaderBlock(std::string block, std::string_view address, std::string_view cookies) {
  if (block.empty()) {
    block = "Accept: */*";
  } else if (!t::Contains(block, "Accept:")) {
    block += "\r\nAccept: */*";
  }
  if (!t::Contains(block, "Referer:")) {
    block += "\r\nReferer: ";
    block += address;
  }
  if (!t::Contains(block, "Accept-Language:")) block += "\r\nAccept-Language: zh-cn";
  if (!t::Contains(block, "Content-Type:"))
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  if (!cookies.empty()) {
    block += "\r\nCookie: ";
    block += cookies;
  }
  return block;
}

// Whether a line of the block is a header of this name, compared as the
// transport compares it when deciding to leave out a line of its own.
bool IsHeaderNamed(std::string_view line, std::string_view name) {
  if (line.size() <= name.size()) return false;
  const char sep = line[name.size()];
  return (sep == ':' || sep == ';') && t::Find(t::Left(line, static_cast<int>(name.size())), name, 1, true) == 1;
}

// The block as the transport's header list. Lines the transport would add
// of its own accord are switched off unless the block has them, so the
// server sees our block and nothing else besides Host, User-Agent and the
// body's length.
Slist HeaderList(std::string_view block) {
  curl_slist* list = nullptr;
  const auto lines = t::Split(block, "\r\n");
  auto add = [&](std::string_view line) {
    if (curl_slist* grown = curl_slist_append(list, std::string(line).c_str())) list = grown;
  };
  for (std::string_view line : lines)
    if (!line.empty()) add(line);
  for (std::string_view name : {"Accept", "Content-Type", "Expect"}) {
    const bool present = std::any_of(lines.begin(), lines.end(),
                                     [&](std::string_view line) { return IsHeaderNamed(line, name); });
    if (!present) add(std::string(name) + ":");
  }
  return Slist(list);
}

using Clock = std::chrono::steady_clock;

struct Transfer {
  CURL* handle = nullptr;
  std::chrono::milliseconds stallLimit{0};
  Clock::time_point lastActivity = Clock::now();
  curl_off_t sentSoFar = 0;
  std::size_t maxBody = 0;
  std::string body;
  bool bodyTooLarge = false;
  // The header block of the response being read; each new status line starts
  // a new block, so after redirects and interim responses it is the final one.
  std::string block;
  bool blockComplete = false;
  bool blockTooLong = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (transfer->body.size() + n > transfer->maxBody) {
    transfer->bodyTooLarge = true;
    return 0;  // ends the transfer
  }
  transfer->body.append(data, n);
  transfer->lastActivity = Clock::now();
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  transfer->lastActivity = Clock::now();
  std::string_view line(data, n);
  if (line.substr(0, 5) == "HTTP/") {
    transfer->block.clear();
    transfer->blockComplete = false;
    transfer->blockTooLong = false;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) transfer->blockComplete = true;
  if (transfer->block.size() + line.size() + 2 >= kHeaderRoom) {
    transfer->blockTooLong = true;  // kept short: it could never be returned
  } else {
    transfer->block += line;
    transfer->block += "\r\n";
  }
  return n;
}

// Ends a transfer in which no byte has moved for the stall limit. The
// transport's own low-speed check averages over several seconds, so a page
// that stops part-way would run on for seconds past the limit.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto* transfer = static_cast<Transfer*>(user);
  const Clock::time_point now = Clock::now();
  curl_off_t requestSent = 0;
  curl_easy_getinfo(transfer->handle, CURLINFO_PRETRANSFER_TIME_T, &requestSent);
  // Setting up the connection is bounded by the connect time-out instead.
  if (requestSent == 0 || sent != transfer->sentSoFar) {
    transfer->lastActivity = now;
    transfer->sentSoFar = sent;
  }
  return now - transfer->lastActivity > transfer->stallLimit ? 1 : 0;
}

template <typename T>
void Set(CURL* handle, CURLoption option, T value) {
  curl_easy_setopt(handle, option, value);
}

}  // namespace

void InitWeb() { InitOnce(); }

std::string FetchPage(std::string_view address, const int* method, const std::string* sendText,
                      std::string* cookies, std::string* receivedCookies, std::string* headers,
                      std::string* responseHeaders, const bool* noRedirect, std::string* sendBytes,
                      const std::string* proxy) {
  InitOnce();
  const Settings settings = CurrentSettings();

  int verb = method ? *method : 0;
  if (verb < 0 || verb > 2) verb = 0;
  const bool secure = t::ToLower(t::Left(address, 5)) == "https";
  const std::string callerHeaders = headers ? *headers : std::string();
  const std::string agent = AgentFor(callerHeaders);
  const std::string proxyText = proxy ? *proxy : std::string();

  const std::optional<std::string> url = RequestUrl(address, secure);
  if (!url) return {};
  HandleLease lease(Handles().Take());
  CURL* h = lease.handle;
  const Shares& shares = TheShares();
  if (!h || !shares.withCookies || !shares.withoutCookies) return {};

  const std::string block = HeaderBlock(callerHeaders, address, cookies ? *cookies : std::string());
  if (headers) *headers = block;
  const Slist headerList = HeaderList(block);

  std::string body = sendBytes ? *sendBytes : std::string();
  if (verb != 0) {
    if (body.empty() && sendText) body = t::UpToZero(*sendText);
    if (sendBytes) *sendBytes = body;
  }

  Transfer transfer;
  transfer.handle = h;
  transfer.stallLimit = std::chrono::milliseconds(settings.limits.stallTimeoutMs);
  transfer.maxBody = settings.limits.maxBodyBytes;

  Set(h, CURLOPT_URL, url->c_str());
  Set(h, CURLOPT_PROTOCOLS_STR, "http,https");
  Set(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  Set(h, CURLOPT_NOSIGNAL, 1L);
  Set(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  Set(h, CURLOPT_PATH_AS_IS, 1L);
  Set(h, CURLOPT_USERAGENT, agent.c_str());
  Set(h, CURLOPT_HTTPHEADER, headerList.get());
  // Bodies arrive as sent: no Accept-Encoding line and nothing decompressed.
  Set(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  Set(h, CURLOPT_BUFFERSIZE, kReadPiece);
  Set(h, CURLOPT_WRITEFUNCTION, OnBody);
  Set(h, CURLOPT_WRITEDATA, &transfer);
  Set(h, CURLOPT_HEADERFUNCTION, OnHeader);
  Set(h, CURLOPT_HEADERDATA, &transfer);
  Set(h, CURLOPT_SSL_VERIFYPEER, 1L);
  Set(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.caFile.empty()) Set(h, CURLOPT_CAINFO, settings.caFile.c_str());
  Set(h, CURLOPT_CONNECTTIMEOUT_MS, settings.limits.connectTimeoutMs);
  Set(h, CURLOPT_NOPROGRESS, 0L);
  Set(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  Set(h, CURLOPT_XFERINFODATA, &transfer);
  Set(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings.limits.maxBodyBytes));
  const bool follow = !(noRedirect && *noRedirect);
  Set(h, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
  Set(h, CURLOPT_MAXREDIRS, settings.limits.maxRedirects);

  // An empty proxy text also keeps proxy settings of the environment out.
  std::string proxyUrl;
  if (!proxyText.empty()) {
    // The proxy serves http addresses as a proxy and https ones through a
    // CONNECT tunnel: "http=" + proxy and the proxy itself, respectively.
    proxyUrl = t::Contains(proxyText, "://") ? proxyText : "http://" + proxyText;
    Set(h, CURLOPT_NOPROXY, "");
    Set(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  }
  Set(h, CURLOPT_PROXY, proxyUrl.c_str());

  if (cookies) {
    Set(h, CURLOPT_SHARE, shares.withoutCookies);
  } else {
    Set(h, CURLOPT_SHARE, shares.withCookies);
    Set(h, CURLOPT_COOKIEFILE, "");  // switches the store on, reads no file
  }

  if (verb == 0) {
    Set(h, CURLOPT_HTTPGET, 1L);
  } else if (verb == 1) {
    Set(h, CURLOPT_POST, 1L);
    Set(h, CURLOPT_POSTFIELDS, body.data());
    Set(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  } else {
    // HEAD goes out without the body: content on a HEAD request has no
    // meaning in HTTP, some servers refuse it and others leave it in the
    // connection to be read as the next request.
    Set(h, CURLOPT_NOBODY, 1L);
  }

  const CURLcode result = curl_easy_perform(h);
  // A body cut short by a reset, a stall or the size limit is not the page:
  // handing it on would store a truncated chapter as if it were whole.
  if (result != CURLE_OK || transfer.bodyTooLarge) transfer.body.clear();

  std::string rawHeaders(kHeaderRoom, ' ');
  if (transfer.blockComplete && !transfer.blockTooLong) rawHeaders = t::UpToZero(transfer.block);
  SpellSetCookie(rawHeaders);
  std::string received = ReceivedCookiesFrom(rawHeaders);
  if (cookies) MergeCookies(*cookies, received);
  if (responseHeaders) *responseHeaders = std::move(rawHeaders);
  if (receivedCookies) *receivedCookies = std::move(received);
  return std::move(transfer.body);
}

namespace testing {

void SetLimits(const NetworkLimits& limits) {
  std::lock_guard guard(SettingsLock());
  SharedSettings().limits = limits;
}

void SetCaFile(const std::string& path) {
  std::lock_guard guard(SettingsLock());
  SharedSettings().caFile = path;
}

void ClearCookieStore() {
  InitOnce();
  CURL* h = curl_easy_init();
  if (!h) return;
  Set(h, CURLOPT_SHARE, TheShares().withCookies);
  Set(h, CURLOPT_COOKIELIST, "ALL");
  curl_easy_cleanup(h);
}

}  // namespace testing
}  // namespace quill::web
