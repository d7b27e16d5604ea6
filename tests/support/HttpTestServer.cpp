#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quill::testsupport {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

const char* Phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

void ResetSocket(int fd) {
  linger l{1, 0};  // close with a reset instead of a clean end
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

}  // namespace

// --- responses and requests --------------------------------------------------

ScriptedResponse ScriptedResponse::Ok(std::string body, std::string charset) {
  ScriptedResponse r;
  r.body = std::move(body);
  r.charset = std::move(charset);
  return r;
}

ScriptedResponse ScriptedResponse::Redirect(int status, std::string location) {
  ScriptedResponse r;
  r.status = status;
  r.headers.emplace_back("Location", std::move(location));
  r.body = "moved";
  return r;
}

std::string ScriptedResponse::Serialized(bool headRequest) const {
  if (!raw.empty()) return raw;
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + (reason.empty() ? Phrase(status) : reason) + "\r\n";
  if (!charset.empty()) out += "Content-Type: text/html; charset=" + charset + "\r\n";
  for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (closeAfter) out += "Connection: close\r\n";
  out += "\r\n";
  if (!headRequest) out += body;
  return out;
}

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
  std::string_view rest = headerBlock;
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsIgnoringCase(line.substr(0, colon), name))
      return std::string(TrimView(line.substr(colon + 1)));
  }
  return std::nullopt;
}

std::string RecordedRequest::Path() const {
  std::string_view path = target;
  if (size_t scheme = path.find("://"); scheme != std::string_view::npos && path.front() != '/') {
    size_t slash = path.find('/', scheme + 3);
    path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
  }
  return std::string(path.substr(0, path.find('?')));
}

// --- a byte stream, plain or TLS ---------------------------------------------

class HttpTestServer::Stream {
 public:
  Stream(int fd, SSL_CTX* tls) : fd_(fd) {
    if (tls) {
      ssl_ = SSL_new(tls);
      SSL_set_fd(ssl_, fd);
      if (SSL_accept(ssl_) != 1) failed_ = true;
    }
  }
  ~Stream() {
    if (ssl_) SSL_free(ssl_);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  bool Failed() const { return failed_; }
  int Fd() const { return fd_; }

  // Bytes read, 0 at the end of the stream or on any error.
  size_t Read(char* buffer, size_t size) {
    if (failed_) return 0;
    if (ssl_) {
      int n = SSL_read(ssl_, buffer, static_cast<int>(size));
      return n > 0 ? static_cast<size_t>(n) : 0;
    }
    for (;;) {
      ssize_t n = recv(fd_, buffer, size, 0);
      if (n < 0 && errno == EINTR) continue;
      return n > 0 ? static_cast<size_t>(n) : 0;
    }
  }

  bool Write(std::string_view data) {
    while (!data.empty() && !failed_) {
      if (ssl_) {
        int n = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
      } else {
        ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
      }
    }
    return !failed_;
  }

  // Blocks until the peer closes or the server stops the connection.
  void Drain() {
    char buffer[4096];
    while (Read(buffer, sizeof buffer) > 0) {
    }
  }

  void Finish() {
    if (ssl_ && !failed_) SSL_shutdown(ssl_);
  }

 private:
  int fd_;
  SSL* ssl_ = nullptr;
  bool failed_ = false;
};

struct HttpTestServer::Connection {
  int fd = -1;
  int id = 0;
  std::thread thread;
  bool done = false;  // guarded by the server's lock
};

// --- the server --------------------------------------------------------------

HttpTestServer::HttpTestServer() : HttpTestServer(Options{}) {}

HttpTestServer::HttpTestServer(Options options) : options_(std::move(options)) {
  std::signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the test run
  fallback_.status = 404;
  fallback_.body = "not found";
  if (!options_.certFile.empty()) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, options_.certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, options_.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      if (ctx) SSL_CTX_free(ctx);
      throw std::runtime_error("test server: cannot load the certificate");
    }
    tls_ = ctx;
  }
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("test server: no socket");
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;  // the system picks a free port
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd_, 128) != 0)
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  socklen_t len = sizeof addr;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  Stop();
  if (tls_) SSL_CTX_free(static_cast<SSL_CTX*>(tls_));
}

std::string HttpTestServer::Url(std::string_view path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void HttpTestServer::Route(const std::string& path, ScriptedResponse response) {
  std::lock_guard guard(lock_);
  routes_[path] = std::move(response);
}

void HttpTestServer::SetFallback(ScriptedResponse response) {
  std::lock_guard guard(lock_);
  fallback_ = std::move(response);
}

void HttpTestServer::SetHandler(std::function<ScriptedResponse(const RecordedRequest&)> handler) {
  std::lock_guard guard(lock_);
  handler_ = std::move(handler);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
  std::lock_guard guard(lock_);
  return requests_;
}

int HttpTestServer::Hits(std::string_view path) const {
  std::lock_guard guard(lock_);
  return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                        [&](const RecordedRequest& r) { return r.Path() == path; }));
}

int HttpTestServer::Connections() const {
  std::lock_guard guard(lock_);
  return connectionCount_;
}

bool HttpTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const {
  std::unique_lock guard(lock_);
  return changed_.wait_for(guard, deadline, [&] { return requests_.size() >= count; });
}

void HttpTestServer::Stop() {
  {
    std::lock_guard guard(lock_);
    if (stopping_) return;
    stopping_ = true;
    for (auto& c : connections_)
      if (c->fd >= 0) shutdown(c->fd, SHUT_RDWR);
  }
  changed_.notify_all();
  shutdown(listenFd_, SHUT_RDWR);  // wakes the blocked accept
  if (acceptThread_.joinable()) acceptThread_.join();
  close(listenFd_);
  Reap(true);
}

bool HttpTestServer::Sleep(std::chrono::milliseconds duration) {
  std::unique_lock guard(lock_);
  return !changed_.wait_for(guard, duration, [&] { return stopping_; });
}

void HttpTestServer::Reap(bool all) {
  std::vector<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard guard(lock_);
    auto split = std::stable_partition(connections_.begin(), connections_.end(),
                                       [&](const auto& c) { return !all && !c->done; });
    std::move(split, connections_.end(), std::back_inserter(finished));
    connections_.erase(split, connections_.end());
  }
  for (auto& c : finished) c->thread.join();
}

void HttpTestServer::AcceptLoop() {
  for (;;) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // the listening socket was shut down
    }
    Reap(false);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard guard(lock_);
    if (stopping_) {
      close(fd);
      return;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->id = ++connectionCount_;
    Connection* raw = connection.get();
    connections_.push_back(std::move(connection));
    raw->thread = std::thread([this, raw] {
      Serve(raw);
      // Closed here, not by Stop, so that a reset goes out as a reset.
      std::lock_guard guard(lock_);
      close(raw->fd);
      raw->fd = -1;
      raw->done = true;
    });
  }
}

ScriptedResponse HttpTestServer::ResponseFor(const RecordedRequest& request) {
  std::function<ScriptedResponse(const RecordedRequest&)> handler;
  {
    std::lock_guard guard(lock_);
    if (!handler_) {
      auto found = routes_.find(request.Path());
      return found != routes_.end() ? found->second : fallback_;
    }
    handler = handler_;
  }
  return handler(request);  // outside the lock: it may ask for Hits()
}

void HttpTestServer::Serve(Connection* connection) {
  Stream stream(connection->fd, static_cast<SSL_CTX*>(tls_));
  if (stream.Failed()) return;
  std::string pending;
  char buffer[16384];
  for (;;) {
    // The head: up to the blank line.
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
      size_t n = stream.Read(buffer, sizeof buffer);
      if (n == 0) return;
      pending.append(buffer, n);
    }
    RecordedRequest request;
    request.connection = connection->id;
    std::string_view head(pending.data(), headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string_view requestLine = head.substr(0, lineEnd);
    request.headerBlock = lineEnd == std::string_view::npos ? "" : std::string(head.substr(lineEnd + 2)) + "\r\n";
    size_t s1 = requestLine.find(' ');
    size_t s2 = requestLine.rfind(' ');
    if (s1 == std::string_view::npos || s2 == s1) return;
    request.method = requestLine.substr(0, s1);
    request.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
    request.version = requestLine.substr(s2 + 1);

    size_t bodyLength = 0;
    if (auto length = request.Header("Content-Length")) bodyLength = std::strtoul(length->c_str(), nullptr, 10);
    size_t total = headEnd + 4 + bodyLength;
    while (pending.size() < total) {
      size_t n = stream.Read(buffer, sizeof buffer);
      if (n == 0) return;
      pending.append(buffer, n);
    }
    request.raw = pending.substr(0, total);
    request.body = pending.substr(headEnd + 4, bodyLength);
    pending.erase(0, total);
    {
      std::lock_guard guard(lock_);
      requests_.push_back(request);
    }
    changed_.notify_all();

    if (options_.proxy && request.method == "CONNECT") {
      Tunnel(stream, request);
      return;
    }
    bool keepAlive = true;
    if (!Answer(stream, request, keepAlive) || !keepAlive) {
      stream.Finish();
      return;
    }
  }
}

bool HttpTestServer::Answer(Stream& stream, const RecordedRequest& request, bool& keepAlive) {
  using Fault = ScriptedResponse::Fault;
  const ScriptedResponse response = ResponseFor(request);
  if (response.latency.count() > 0 && !Sleep(response.latency)) return false;
  const bool head = request.method == "HEAD";
  const std::string bytes = response.Serialized(head);
  switch (response.fault) {
    case Fault::None:
      keepAlive = !response.closeAfter && response.raw.empty() &&
                  !EqualsIgnoringCase(request.Header("Connection").value_or(""), "close");
      if (response.pieceBytes == 0 || response.pieceGap.count() <= 0) return stream.Write(bytes);
      return WritePaced(stream, bytes, response.Serialized(true).size(), response);
    case Fault::Silence:
      stream.Drain();
      return false;
    case Fault::ResetAtOnce:
      ResetSocket(stream.Fd());
      return false;
    case Fault::StallMidBody:
    case Fault::ResetMidBody:
    case Fault::CloseMidBody: {
      const size_t headSize = response.Serialized(true).size();
      const size_t cut = std::min(bytes.size(), headSize + response.faultAfter);
      if (!stream.Write(std::string_view(bytes).substr(0, cut))) return false;
      if (response.fault == Fault::StallMidBody) {
        stream.Drain();
      } else if (response.fault == Fault::ResetMidBody) {
        ResetSocket(stream.Fd());
      } else {
        stream.Finish();
        shutdown(stream.Fd(), SHUT_WR);
        stream.Drain();
      }
      return false;
    }
  }
  return false;
}

bool HttpTestServer::WritePaced(Stream& stream, std::string_view bytes, size_t headSize,
                                const ScriptedResponse& response) {
  headSize = std::min(headSize, bytes.size());
  if (!stream.Write(bytes.substr(0, headSize))) return false;
  for (size_t at = headSize; at < bytes.size(); at += response.pieceBytes) {
    if (!Sleep(response.pieceGap)) return false;
    if (!stream.Write(bytes.substr(at, response.pieceBytes))) return false;
  }
  return true;
}

void HttpTestServer::Tunnel(Stream& stream, const RecordedRequest& request) {
  // Only loopback targets: a test proxy must never reach beyond this machine.
  std::string_view target = request.target;
  size_t colon = target.rfind(':');
  std::string host(target.substr(0, colon));
  int port = colon == std::string_view::npos ? 443 : std::atoi(std::string(target.substr(colon + 1)).c_str());
  if (host != "127.0.0.1" && host != "localhost") {
    stream.Write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  int upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (upstream < 0 || connect(upstream, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (upstream >= 0) close(upstream);
    stream.Write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  if (!stream.Write("HTTP/1.1 200 Connection established\r\n\r\n")) {
    close(upstream);
    return;
  }
  pollfd fds[2] = {{stream.Fd(), POLLIN, 0}, {upstream, POLLIN, 0}};
  char buffer[16384];
  for (;;) {
    {
      std::lock_guard guard(lock_);
      if (stopping_) break;
    }
    int ready = poll(fds, 2, 100);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    bool open = true;
    for (int i = 0; i < 2 && open; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
      if (n <= 0 || send(fds[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) open = false;
    }
    if (!open) break;
  }
  close(upstream);
}

// --- helpers -----------------------------------------------------------------

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::optional<TestCertificate> MakeTestCertificate(const std::string& dir) {
  TestCertificate cert{dir + "/cert.pem", dir + "/key.pem"};
  const std::string command =
      "timeout 60 openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
      " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
      " -keyout '" + cert.keyFile + "' -out '" + cert.certFile + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return std::nullopt;
  return cert;
}

}  // namespace quill::testsupport
