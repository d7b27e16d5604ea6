#pragma once
// A real HTTP/1.1 server on 127.0.0.1 for tests: it records every request
// byte for byte and answers each path with a scripted response, including
// the faults a book site can show (silence, a stall or a reset part-way,
// latency). It can speak TLS and act as a forward proxy. Every method is
// safe to call from any thread while requests are being served.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quill::testsupport {

struct ScriptedResponse {
  enum class Fault {
    None,
    Silence,       // reads the request and never answers
    StallMidBody,  // sends the head and `faultAfter` body bytes, then nothing more
    ResetAtOnce,   // resets the connection instead of answering
    ResetMidBody,  // sends the head and `faultAfter` body bytes, then resets
    CloseMidBody,  // sends the head and `faultAfter` body bytes, then closes cleanly
  };

  int status = 200;
  std::string reason;  // empty: the usual phrase for the status
  // Sent in order, exactly as given, after Content-Type and before Content-Length.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Non-empty: a "Content-Type: text/html; charset=<charset>" line.
  std::string charset;
  std::chrono::milliseconds latency{0};  // before anything is sent
  // Both set (and no fault): a slow but live server. The head goes out at
  // once, then the body in pieces of `pieceBytes` with `pieceGap` before each.
  std::size_t pieceBytes = 0;
  std::chrono::milliseconds pieceGap{0};
  Fault fault = Fault::None;
  std::size_t faultAfter = 0;
  bool closeAfter = false;  // "Connection: close" and the connection ends
  // Non-empty: these bytes are the whole response, nothing is added.
  std::string raw;

  static ScriptedResponse Ok(std::string body, std::string charset = {});
  static ScriptedResponse Redirect(int status, std::string location);
  // The bytes this response puts on the wire when nothing goes wrong.
  std::string Serialized(bool headRequest = false) const;
};

struct RecordedRequest {
  std::string raw;          // everything received for this request, body included
  std::string method;
  std::string target;       // as on the request line (absolute form through a proxy)
  std::string version;
  std::string headerBlock;  // the header lines, each ending "\r\n", without the blank line
  std::string body;
  int connection = 0;       // which connection carried it, counted from 1

  // The first header of that name (letter case ignored), or none.
  std::optional<std::string> Header(std::string_view name) const;
  // The target's path: without scheme and authority, without the query.
  std::string Path() const;
};

class HttpTestServer {
 public:
  struct Options {
    // Both set: every connection speaks TLS with this certificate.
    std::string certFile;
    std::string keyFile;
    // Tunnels CONNECT requests to 127.0.0.1 (nowhere else); other requests,
    // absolute-form ones included, are answered from the routes.
    bool proxy = false;
  };

  HttpTestServer();
  explicit HttpTestServer(Options options);
  ~HttpTestServer();  // stops: every connection ends, every thread is joined
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" (https with TLS) followed by `path`.
  std::string Url(std::string_view path = "/") const;

  // Answers requests whose Path() is `path`. Unrouted paths get the fallback.
  void Route(const std::string& path, ScriptedResponse response);
  void SetFallback(ScriptedResponse response);  // default: 404
  // Computes every answer instead of the routes (for a response that depends
  // on the request, or on how often it was asked).
  void SetHandler(std::function<ScriptedResponse(const RecordedRequest&)> handler);

  std::vector<RecordedRequest> Requests() const;
  // Requests recorded for that Path().
  int Hits(std::string_view path) const;
  int Connections() const;
  // True when at least `count` requests have arrived before the deadline.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const;

  void Stop();

 private:
  class Stream;
  struct Connection;

  void AcceptLoop();
  void Serve(Connection* connection);
  bool Answer(Stream& stream, const RecordedRequest& request, bool& keepAlive);
  bool WritePaced(Stream& stream, std::string_view bytes, std::size_t headSize,
                  const ScriptedResponse& response);
  void Tunnel(Stream& stream, const RecordedRequest& request);
  ScriptedResponse ResponseFor(const RecordedRequest& request);
  bool Sleep(std::chrono::milliseconds duration);  // false when stopping
  void Reap(bool all);

  Options options_;
  void* tls_ = nullptr;  // SSL_CTX
  int listenFd_ = -1;
  int port_ = 0;
  std::thread acceptThread_;

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::map<std::string, ScriptedResponse> routes_;
  ScriptedResponse fallback_;
  std::function<ScriptedResponse(const RecordedRequest&)> handler_;
  std::vector<RecordedRequest> requests_;
  std::vector<std::unique_ptr<Connection>> connections_;
  int connectionCount_ = 0;
};

// A directory under the system's temporary directory, removed with all it
// holds when this object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A self-signed certificate for the address 127.0.0.1 only (no name) made with the openssl program in
// `dir`: trusted by nothing unless a test points its client at certFile.
struct TestCertificate {
  std::string certFile;
  std::string keyFile;
};
std::optional<TestCertificate> MakeTestCertificate(const std::string& dir);

}  // namespace quill::testsupport
