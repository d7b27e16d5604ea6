#include "web/FetchPage.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "support/HttpTestServer.h"
#include "web/FetchTesting.h"

namespace quill::web {
namespace {

using namespace std::chrono_literals;
using testsupport::HttpTestServer;
using testsupport::RecordedRequest;
using testsupport::ScriptedResponse;
using Fault = ScriptedResponse::Fault;
using Clock = std::chrono::steady_clock;
namespace seam = quill::web::testing;

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Limits loose enough that a busy machine never trips them in a test that
// expects a page.
NetworkLimits TestLimits() {
  NetworkLimits limits;
  limits.connectTimeoutMs = 10'000;
  limits.stallTimeoutMs = 10'000;
  limits.maxRedirects = 5;
  return limits;
}

// Short limits for the tests of servers that fail, so that they end quickly.
NetworkLimits QuickLimits() {
  NetworkLimits limits = TestLimits();
  limits.connectTimeoutMs = 1500;
  limits.stallTimeoutMs = 1000;
  return limits;
}

// A deadline for calls that must end by the quick limits, not hang.
constexpr auto kEndsWithinLimits = 10s;

class FetchPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitWeb();
    certDir_ = new testsupport::TempDir();
    auto cert = testsupport::MakeTestCertificate(certDir_->Path());
    ASSERT_TRUE(cert) << "the openssl program could not make a certificate";
    cert_ = new testsupport::TestCertificate(*cert);
  }
  static void TearDownTestSuite() {
    delete cert_;
    delete certDir_;
    cert_ = nullptr;
    certDir_ = nullptr;
  }

  void SetUp() override {
    seam::SetLimits(TestLimits());
    seam::SetCaFile(cert_->certFile);
    seam::ClearCookieStore();  // what an earlier test stored must not be sent
  }
  void TearDown() override {
    seam::SetLimits(NetworkLimits{});
    seam::SetCaFile("");
  }

  std::unique_ptr<HttpTestServer> TlsServer() {
    HttpTestServer::Options options;
    options.certFile = cert_->certFile;
    options.keyFile = cert_->keyFile;
    return std::make_unique<HttpTestServer>(options);
  }

  // The one request the server got.
  RecordedRequest OnlyRequest(const HttpTestServer& s) {
    auto requests = s.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
  }

  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(server_.Port()) + "\r\n"; }

  HttpTestServer server_;
  static testsupport::TempDir* certDir_;
  static testsupport::TestCertificate* cert_;
};

testsupport::TempDir* FetchPageTest::certDir_ = nullptr;
testsupport::TestCertificate* FetchPageTest::cert_ = nullptr;

TEST_F(FetchPageTest, PlainCallSendsExactlyTheDefaultBlock) {
  server_.Route("/book/1.html", ScriptedResponse::Ok("<html>page</html>", "gbk"));
  const std::string address = server_.Url("/book/1.html?x=1");
  std::string headers, responseHeaders;
  std::string page = FetchPage(address, nullptr, nullptr, nullptr, nullptr, &headers, &responseHeaders);

  EXPECT_EQ(page, "<html>page</html>");
  const std::string block = "Accept: */*\r\nReferer: " + address +
                            "\r\nAccept-Language: zh-cn"
                            "\r\nContent-Type: application/x-www-form-urlencoded";
  EXPECT_EQ(headers, block);
  EXPECT_EQ(OnlyRequest(server_).raw,
            "GET /book/1.html?x=1 HTTP/1.1\r\n" + HostLine() + "User-Agent: " + kAgent + "\r\n" + block +
                "\r\n\r\n");
  EXPECT_EQ(responseHeaders,
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: 17\r\n\r\n");
}

TEST_F(FetchPageTest, BodyComesBackAsSentWhateverTheStatus) {
  server_.Route("/missing", [] {
    ScriptedResponse r = ScriptedResponse::Ok("no such page");
    r.status = 404;
    return r;
  }());
  server_.Route("/binary", ScriptedResponse::Ok(std::string("a\0b\xFF", 4)));
  // Not decompressed: the bytes are returned as they came.
  server_.Route("/gzip", [] {
    ScriptedResponse r = ScriptedResponse::Ok("\x1F\x8B not really gzip");
    r.headers.emplace_back("Content-Encoding", "gzip");
    return r;
  }());
  ScriptedResponse chunked;
  chunked.raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n";
  server_.Route("/chunked", chunked);
  ScriptedResponse closeDelimited;
  closeDelimited.raw = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end";
  server_.Route("/close", closeDelimited);

  EXPECT_EQ(FetchPage(server_.Url("/missing")), "no such page");
  EXPECT_EQ(FetchPage(server_.Url("/binary")), std::string("a\0b\xFF", 4));
  EXPECT_EQ(FetchPage(server_.Url("/gzip")), "\x1F\x8B not really gzip");
  EXPECT_EQ(FetchPage(server_.Url("/chunked")), "hello world");
  EXPECT_EQ(FetchPage(server_.Url("/close")), "until the end");
  // A page larger than one read piece arrives whole.
  std::string big(300'000, 'x');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
  server_.Route("/big", ScriptedResponse::Ok(big));
  EXPECT_EQ(FetchPage(server_.Url("/big")), big);
}

struct MethodCase {
  const char* what;
  int method;
  const char* sendText;   // nullptr: not supplied
  const char* sendBytes;  // nullptr: not supplied
  std::string verb;
  std::string bodySent;
  const char* contentLength;  // nullptr: no such line
  std::string sendBytesAfter;
};

void PrintTo(const MethodCase& c, std::ostream* os) { *os << c.what; }

class FetchMethodTest : public FetchPageTest, public ::testing::WithParamInterface<MethodCase> {};

TEST_P(FetchMethodTest, SendsTheVerbAndBody) {
  const MethodCase& c = GetParam();
  server_.Route("/form", ScriptedResponse::Ok("answer"));
  std::optional<std::string> text, bytes;
  if (c.sendText) text = c.sendText;
  if (c.sendBytes) bytes = c.sendBytes;
  const auto started = Clock::now();
  std::string page = FetchPage(server_.Url("/form"), &c.method, text ? &*text : nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, bytes ? &*bytes : nullptr);
  EXPECT_LT(Clock::now() - started, kEndsWithinLimits);
  EXPECT_EQ(page, c.verb == "HEAD" ? "" : "answer");
  RecordedRequest r = OnlyRequest(server_);
  EXPECT_EQ(r.method, c.verb);
  EXPECT_EQ(r.body, c.bodySent);
  EXPECT_EQ(r.Header("Content-Length").value_or("none"), c.contentLength ? c.contentLength : "none");
  EXPECT_FALSE(r.Header("Expect"));
  EXPECT_EQ(r.Header("Content-Type").value_or(""), "application/x-www-form-urlencoded");
  if (bytes) {
    EXPECT_EQ(*bytes, c.sendBytesAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FetchMethodTest,
    ::testing::Values(
        MethodCase{"GET ignores both bodies", 0, "t=1", "b=2", "GET", "", nullptr, "b=2"},
        MethodCase{"3 is taken as GET", 3, "t=1", nullptr, "GET", "", nullptr, ""},
        MethodCase{"-1 is taken as GET", -1, nullptr, nullptr, "GET", "", nullptr, ""},
        MethodCase{"POST sends the text and keeps it as bytes", 1, "t=1&u=2", "", "POST", "t=1&u=2", "7",
                   "t=1&u=2"},
        MethodCase{"POST prefers the bytes", 1, "t=1", "b=2", "POST", "b=2", "3", "b=2"},
        MethodCase{"POST of nothing sends length 0", 1, "", "", "POST", "", "0", ""},
        MethodCase{"POST with neither supplied", 1, nullptr, nullptr, "POST", "", "0", ""},
        MethodCase{"HEAD sends no body but keeps the text as bytes", 2, "h=1", "", "HEAD", "", nullptr, "h=1"},
        MethodCase{"HEAD with nothing to send", 2, nullptr, nullptr, "HEAD", "", nullptr, ""}));

TEST_F(FetchPageTest, LargePostGoesOutWithoutAskingFirst) {
  server_.Route("/form", ScriptedResponse::Ok("answer"));
  std::string body(2'000'000, 'p');
  int post = 1;
  EXPECT_EQ(FetchPage(server_.Url("/form"), &post, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &body),
            "answer");
  RecordedRequest r = OnlyRequest(server_);
  EXPECT_EQ(r.body.size(), body.size());
  EXPECT_FALSE(r.Header("Expect"));
}

struct HeaderCase {
  const char* what;
  std::string callerHeaders;
  const char* cookies;  // nullptr: not supplied
  std::string block;    // with "@" standing for the address
  std::string agentLine;  // the User-Agent line the transport adds, empty when the block has one
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.what; }

class FetchHeaderTest : public FetchPageTest, public ::testing::WithParamInterface<HeaderCase> {};

std::string WithAddress(std::string text, const std::string& address) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + address.size()))
    text.replace(at, 1, address);
  return text;
}

TEST_P(FetchHeaderTest, CompletesTheCallersBlock) {
  const HeaderCase& c = GetParam();
  server_.Route("/p", ScriptedResponse::Ok("ok"));
  const std::string address = server_.Url("/p");
  std::string headers = c.callerHeaders;
  std::optional<std::string> cookies;
  if (c.cookies) cookies = c.cookies;
  EXPECT_EQ(FetchPage(address, nullptr, nullptr, cookies ? &*cookies : nullptr, nullptr, &headers), "ok");
  const std::string block = WithAddress(c.block, address);
  EXPECT_EQ(headers, block);
  RecordedRequest r = OnlyRequest(server_);
  // The server sees the block line for line, after Host and the agent.
  EXPECT_EQ(r.headerBlock, HostLine() + c.agentLine + block + "\r\n");
}

const std::string kTail =
    "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";

INSTANTIATE_TEST_SUITE_P(
    Cases, FetchHeaderTest,
    ::testing::Values(
        HeaderCase{"caller's Accept is kept alone", "Accept: text/html", nullptr,
                   "Accept: text/html\r\nReferer: @" + kTail, "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"lower-case accept still gets the default line", "accept: text/html", nullptr,
                   "accept: text/html\r\nAccept: */*\r\nReferer: @" + kTail, "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"a name that merely contains Accept: stops the default, and the transport adds none",
                   "X-Accept: y", nullptr, "X-Accept: y\r\nReferer: @" + kTail, "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"caller's Referer and language are kept",
                   "Referer: http://r/\r\nAccept-Language: en\r\nContent-Type: text/plain", nullptr,
                   "Referer: http://r/\r\nAccept-Language: en\r\nContent-Type: text/plain\r\nAccept: */*",
                   "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"lower-case referer gets a second one", "referer: http://r/", nullptr,
                   "referer: http://r/\r\nAccept: */*\r\nReferer: @" + kTail, "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"cookie text adds a Cookie line even beside the caller's", "Cookie: z=9", "a=1; b=2",
                   "Cookie: z=9\r\nAccept: */*\r\nReferer: @" + kTail + "\r\nCookie: a=1; b=2",
                   "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"empty cookie text adds no line", "", "", "Accept: */*\r\nReferer: @" + kTail,
                   "User-Agent: " + kAgent + "\r\n"},
        HeaderCase{"caller's agent line is the one sent", "User-Agent: Quill/1\r\nX-A: b", nullptr,
                   "User-Agent: Quill/1\r\nX-A: b\r\nAccept: */*\r\nReferer: @" + kTail, ""},
        HeaderCase{"agent value between the name and the line end", "X-User-Agent:  Quill/2 \r\nX-A: b",
                   nullptr, "X-User-Agent:  Quill/2 \r\nX-A: b\r\nAccept: */*\r\nReferer: @" + kTail,
                   "User-Agent: Quill/2\r\n"},
        HeaderCase{"agent name in the last line: the text after the colon", "x-user-agent: Quill/3", nullptr,
                   "x-user-agent: Quill/3\r\nAccept: */*\r\nReferer: @" + kTail, "User-Agent: Quill/3\r\n"},
        HeaderCase{"agent after the colon of a longer text stops at the line end",
                   "X-A: first\r\nx-user-agent: Quill/4", nullptr,
                   "X-A: first\r\nx-user-agent: Quill/4\r\nAccept: */*\r\nReferer: @" + kTail,
                   "User-Agent: first\r\n"}));

TEST_F(FetchPageTest, AddressFormsReachTheRightTarget) {
  server_.SetFallback(ScriptedResponse::Ok("any"));
  const std::string base = "HTTP://127.0.0.1:" + std::to_string(server_.Port());
  EXPECT_EQ(FetchPage(base), "any");
  EXPECT_EQ(FetchPage(base + "/A/b?c=1#frag"), "any");
  EXPECT_EQ(FetchPage(base + "/a b/\xD6\xD0.html"), "any");
  EXPECT_EQ(FetchPage(base + "/x/../y"), "any");
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].target, "/");
  EXPECT_EQ(requests[1].target, "/A/b?c=1");
  EXPECT_EQ(requests[2].target, "/a%20b/%D6%D0.html");
  EXPECT_EQ(requests[3].target, "/x/../y");
}

TEST_F(FetchPageTest, AddressThatCannotBeRequestedLeavesEveryTextUntouched) {
  for (std::string address : {server_.Url("/a\r\nX-Injected: 1"), std::string("http://bad host/"),
                              std::string("http://127.0.0.1:70000/"), std::string("http:///x")}) {
    std::string cookies = "a=1", received = "r", headers = "X: y", responseHeaders = "h", bytes = "";
    int post = 1;
    std::string text = "t";
    EXPECT_EQ(FetchPage(address, &post, &text, &cookies, &received, &headers, &responseHeaders, nullptr, &bytes),
              "")
        << address;
    EXPECT_EQ(cookies, "a=1");
    EXPECT_EQ(received, "r");
    EXPECT_EQ(headers, "X: y");
    EXPECT_EQ(responseHeaders, "h");
    EXPECT_EQ(bytes, "");
  }
  EXPECT_EQ(server_.Requests().size(), 0u);
}

// --- response header block and cookies ---------------------------------------

TEST_F(FetchPageTest, ReadsTheCookiesTheResponseSet) {
  ScriptedResponse r = ScriptedResponse::Ok("ok");
  r.headers = {{"set-cookie", "a=1; path=/"}, {"SET-COOKIE", "b=2"}, {"X-Other", "c=3"}};
  server_.Route("/login", r);
  std::string received, responseHeaders;
  std::string cookies = "a=0; old=7";
  EXPECT_EQ(FetchPage(server_.Url("/login"), nullptr, nullptr, &cookies, &received, nullptr, &responseHeaders),
            "ok");
  EXPECT_EQ(responseHeaders,
            "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nX-Other: c=3\r\n"
            "Content-Length: 2\r\n\r\n");
  EXPECT_EQ(cookies, "a=1; b=2; old=7");
  EXPECT_EQ(received, "a=1;b=2");  // the merge leaves it without spaces
  EXPECT_EQ(OnlyRequest(server_).Header("Cookie").value_or(""), "a=0; old=7");

  // Without the caller's cookie text nothing is merged.
  std::string alone;
  FetchPage(server_.Url("/login"), nullptr, nullptr, nullptr, &alone);
  EXPECT_EQ(alone, "a=1; b=2");

  server_.Route("/plain", ScriptedResponse::Ok("ok"));
  std::string none = "stale";
  FetchPage(server_.Url("/plain"), nullptr, nullptr, nullptr, &none);
  EXPECT_EQ(none, "");
}

TEST_F(FetchPageTest, ProcessCookieStoreServesOnlyCallsWithoutCookieText) {
  // Cookie names unique to this test: the store lives as long as the process.
  ScriptedResponse set = ScriptedResponse::Ok("set");
  set.headers = {{"Set-Cookie", "storeTest=1; Path=/"}};
  server_.Route("/set", set);
  ScriptedResponse reset = ScriptedResponse::Ok("reset");
  reset.headers = {{"Set-Cookie", "storeTest=2; Path=/"}, {"Set-Cookie", "storeOther=3; Path=/"}};
  server_.Route("/reset", reset);
  server_.Route("/echo", ScriptedResponse::Ok("echo"));

  FetchPage(server_.Url("/set"));
  FetchPage(server_.Url("/echo"));
  // Supplied, even empty: the store neither adds its cookies nor learns new ones.
  std::string mine;
  FetchPage(server_.Url("/reset"), nullptr, nullptr, &mine);
  EXPECT_EQ(mine, "storeTest=2; storeOther=3");
  FetchPage(server_.Url("/echo"));

  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].Header("Cookie").value_or(""), "storeTest=1");
  EXPECT_FALSE(requests[2].Header("Cookie"));
  EXPECT_EQ(requests[3].Header("Cookie").value_or(""), "storeTest=1");
}

struct BlockCase {
  const char* what;
  std::string raw;   // the response as sent
  std::string expected;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.what; }

class ResponseBlockTest : public FetchPageTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(ResponseBlockTest, ReturnsTheBlockInItsRoom) {
  ScriptedResponse r;
  r.raw = GetParam().raw;
  server_.Route("/h", r);
  std::string responseHeaders = "stale";
  EXPECT_EQ(FetchPage(server_.Url("/h"), nullptr, nullptr, nullptr, nullptr, nullptr, &responseHeaders), "ok");
  EXPECT_EQ(responseHeaders, GetParam().expected);
}

// A response head of exactly `size` bytes with CR LF line ends.
std::string HeadOfSize(size_t size) {
  const std::string start = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Pad: ";
  return start + std::string(size - start.size() - 4, 'p') + "\r\n\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseBlockTest,
    ::testing::Values(BlockCase{"bare line feeds become CR LF", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok",
                                "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"},
                      BlockCase{"4999 bytes fit the room with its zero", HeadOfSize(4999) + "ok", HeadOfSize(4999)},
                      BlockCase{"5000 bytes do not", HeadOfSize(5000) + "ok", std::string(5000, ' ')},
                      BlockCase{"far longer neither", HeadOfSize(20000) + "ok", std::string(5000, ' ')}));

// --- redirects ---------------------------------------------------------------

TEST_F(FetchPageTest, FollowsRedirectsAndReturnsTheFinalResponse) {
  auto secure = TlsServer();
  secure->Route("/final", ScriptedResponse::Ok("secure page"));
  server_.Route("/old", ScriptedResponse::Redirect(301, "/new"));
  server_.Route("/new", ScriptedResponse::Redirect(302, secure->Url("/final")));

  std::string responseHeaders;
  EXPECT_EQ(FetchPage(server_.Url("/old"), nullptr, nullptr, nullptr, nullptr, nullptr, &responseHeaders),
            "secure page");
  EXPECT_EQ(responseHeaders, "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n");
  EXPECT_EQ(server_.Hits("/old"), 1);
  EXPECT_EQ(server_.Hits("/new"), 1);
  EXPECT_EQ(secure->Hits("/final"), 1);
  EXPECT_EQ(OnlyRequest(*secure).version, "HTTP/1.1");
}

TEST_F(FetchPageTest, NoRedirectReturnsTheRedirectItself) {
  server_.Route("/old", ScriptedResponse::Redirect(302, "/new"));
  server_.Route("/new", ScriptedResponse::Ok("new"));
  const bool noRedirect = true;
  std::string responseHeaders;
  EXPECT_EQ(FetchPage(server_.Url("/old"), nullptr, nullptr, nullptr, nullptr, nullptr, &responseHeaders,
                      &noRedirect),
            "moved");
  EXPECT_EQ(responseHeaders, "HTTP/1.1 302 Found\r\nLocation: /new\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(server_.Hits("/new"), 0);
}

TEST_F(FetchPageTest, RefusedOrEndlessRedirectsGiveNoPage) {
  server_.Route("/ftp", ScriptedResponse::Redirect(302, "ftp://127.0.0.1/file"));
  server_.Route("/file", ScriptedResponse::Redirect(302, "file:///etc/hostname"));
  server_.Route("/loop", ScriptedResponse::Redirect(302, "/loop"));
  EXPECT_EQ(FetchPage(server_.Url("/ftp")), "");
  EXPECT_EQ(FetchPage(server_.Url("/file")), "");
  EXPECT_EQ(FetchPage(server_.Url("/loop")), "");
  EXPECT_EQ(server_.Hits("/loop"), TestLimits().maxRedirects + 1);
}

// --- TLS and proxies ---------------------------------------------------------

TEST_F(FetchPageTest, HttpsVerifiesTheCertificateAndTheHost) {
  auto secure = TlsServer();
  secure->Route("/page", ScriptedResponse::Ok("secret"));
  EXPECT_EQ(FetchPage(secure->Url("/page")), "secret");
  ASSERT_EQ(secure->Requests().size(), 1u);
  EXPECT_EQ(secure->Requests()[0].target, "/page");

  // A name the certificate does not carry, for the same server.
  EXPECT_EQ(FetchPage("https://localhost:" + std::to_string(secure->Port()) + "/page"), "");
  // The system's trust store does not know the test certificate.
  seam::SetCaFile("");
  EXPECT_EQ(FetchPage(secure->Url("/page")), "");
  EXPECT_EQ(secure->Requests().size(), 1u);
}

TEST_F(FetchPageTest, ProxyServesHttpAddressesAndTunnelsHttps) {
  HttpTestServer::Options options;
  options.proxy = true;
  HttpTestServer proxy(options);
  proxy.Route("/via", ScriptedResponse::Ok("from the proxy"));
  const std::string proxyText = "127.0.0.1:" + std::to_string(proxy.Port());

  // Nothing listens on port 1: only the proxy can answer.
  EXPECT_EQ(FetchPage("http://127.0.0.1:1/via", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, &proxyText),
            "from the proxy");
  auto seen = proxy.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].target, "http://127.0.0.1:1/via");
  EXPECT_EQ(seen[0].Header("Referer").value_or(""), "http://127.0.0.1:1/via");

  auto secure = TlsServer();
  secure->Route("/tunnelled", ScriptedResponse::Ok("through the tunnel"));
  EXPECT_EQ(FetchPage(secure->Url("/tunnelled"), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, &proxyText),
            "through the tunnel");
  seen = proxy.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].method, "CONNECT");
  EXPECT_EQ(seen[1].target, "127.0.0.1:" + std::to_string(secure->Port()));
  EXPECT_FALSE(seen[1].Header("Referer")) << "the caller's block belongs to the site, not the proxy";
  EXPECT_EQ(secure->Hits("/tunnelled"), 1);
}

// --- servers that fail -------------------------------------------------------

struct FaultCase {
  const char* what;
  Fault fault;
  size_t faultAfter;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class FetchFaultTest : public FetchPageTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FetchFaultTest, GivesNoPageAndEndsWithinTheLimits) {
  ScriptedResponse r = ScriptedResponse::Ok(std::string(5000, 'b'));
  r.fault = GetParam().fault;
  r.faultAfter = GetParam().faultAfter;
  server_.Route("/bad", r);
  server_.Route("/good", ScriptedResponse::Ok("fine"));
  seam::SetLimits(QuickLimits());
  const auto started = Clock::now();
  EXPECT_EQ(FetchPage(server_.Url("/bad")), "");
  EXPECT_LT(Clock::now() - started, kEndsWithinLimits);
  EXPECT_EQ(server_.Hits("/bad"), 1);
  seam::SetLimits(TestLimits());
  // The next call is not disturbed by what the last one left behind.
  EXPECT_EQ(FetchPage(server_.Url("/good")), "fine");
}

INSTANTIATE_TEST_SUITE_P(Cases, FetchFaultTest,
                         ::testing::Values(FaultCase{"never answers", Fault::Silence, 0},
                                           FaultCase{"stalls mid-body", Fault::StallMidBody, 1000},
                                           FaultCase{"resets at once", Fault::ResetAtOnce, 0},
                                           FaultCase{"resets mid-body", Fault::ResetMidBody, 1000},
                                           FaultCase{"closes mid-body", Fault::CloseMidBody, 1000}));

// The stall limit bounds the silence between bytes, not the whole page: a
// server that keeps sending, however slowly, is waited for.
TEST_F(FetchPageTest, SlowButLivePageArrivesWholePastTheStallLimit) {
  const std::string body(4000, 'p');
  ScriptedResponse r = ScriptedResponse::Ok(body);
  r.pieceBytes = 500;
  r.pieceGap = 200ms;  // eight pieces: 1.6 s in all, against a 1 s stall limit
  server_.Route("/slow", r);
  seam::SetLimits(QuickLimits());
  const auto started = Clock::now();
  EXPECT_EQ(FetchPage(server_.Url("/slow")), body);
  EXPECT_GT(Clock::now() - started, 1500ms);  // the pacing really outlasted the limit
  seam::SetLimits(TestLimits());
}

TEST_F(FetchPageTest, NoServerGivesNoPage) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);  // the port is now known to be closed
  std::string responseHeaders;
  EXPECT_EQ(FetchPage("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/", nullptr, nullptr,
                      nullptr, nullptr, nullptr, &responseHeaders),
            "");
  EXPECT_EQ(responseHeaders, std::string(5000, ' '));
}

TEST_F(FetchPageTest, ConnectionThatIsNeverAcceptedEndsAtTheConnectTimeOut) {
  // A listener whose queue is full lets new connection attempts hang.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers.push_back(fd);
  }
  seam::SetLimits(QuickLimits());
  const auto started = Clock::now();
  EXPECT_EQ(FetchPage("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/"), "");
  const auto took = Clock::now() - started;
  EXPECT_GE(took, 1s) << "the attempt should have hung until the connect time-out";
  EXPECT_LT(took, kEndsWithinLimits);
  for (int fd : fillers) close(fd);
  close(listener);
}

TEST_F(FetchPageTest, PageOverTheSizeLimitIsNotObtained) {
  NetworkLimits limits = TestLimits();
  limits.maxBodyBytes = 4096;
  seam::SetLimits(limits);
  server_.Route("/announced", ScriptedResponse::Ok(std::string(5000, 'x')));
  ScriptedResponse unannounced;
  unannounced.raw = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(5000, 'x');
  server_.Route("/unannounced", unannounced);
  server_.Route("/fits", ScriptedResponse::Ok(std::string(4096, 'y')));
  EXPECT_EQ(FetchPage(server_.Url("/announced")), "");
  EXPECT_EQ(FetchPage(server_.Url("/unannounced")), "");
  EXPECT_EQ(FetchPage(server_.Url("/fits")), std::string(4096, 'y'));
}

// --- many threads at once ----------------------------------------------------

TEST_F(FetchPageTest, ManyThreadsShareTheCookieStoreSafely) {
  server_.SetHandler([](const RecordedRequest& request) {
    ScriptedResponse r = ScriptedResponse::Ok("page " + request.Path());
    // Every thread's first page sets a cookie of its own.
    if (request.target.find("first") != std::string::npos)
      r.headers.emplace_back("Set-Cookie", "thread" + request.Path().substr(1, request.Path().find('/', 1) - 1) +
                                               "=1; Path=/");
    return r;
  });
  constexpr int kThreads = 10, kPages = 20;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int p = 0; p < kPages; ++p) {
        const std::string path = "/" + std::to_string(t) + "/" + std::to_string(p);
        const std::string query = p == 0 ? "?first" : "";
        if (FetchPage(server_.Url(path + query)) != "page " + path) ++wrong;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  ASSERT_EQ(server_.Requests().size(), static_cast<size_t>(kThreads * kPages));
  // Each thread's last request carries the cookie its own first page set.
  for (const RecordedRequest& r : server_.Requests()) {
    const std::string path = r.Path();
    const std::string thread = path.substr(1, path.find('/', 1) - 1);
    if (path == "/" + thread + "/" + std::to_string(kPages - 1)) {
      EXPECT_NE(r.Header("Cookie").value_or("").find("thread" + thread + "=1"), std::string::npos) << path;
    }
  }
}

}  // namespace
}  // namespace quill::web
