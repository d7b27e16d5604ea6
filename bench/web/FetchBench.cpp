// Pages per second through FetchPage on ten threads, against the curl
// program fetching the same addresses with --parallel --parallel-max 10,
// both from a local nginx serving pre-generated small pages.
//
//   fetch_bench [--pages N] [--rounds R] [--nginx PATH] [--curl PATH]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "web/FetchPage.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kThreads = 10;

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

bool PortAnswers(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// A chapter-like page: markup around a few kilobytes of two-byte text.
std::string MakePage(int n) {
  std::string page = "<html><head><title>Chapter " + std::to_string(n) + "</title></head><body><div id=\"text\">";
  for (int i = 0; i < 1500; ++i) {
    page += static_cast<char>(0xB0 + (n + i) % 40);
    page += static_cast<char>(0xA1 + i % 90);
  }
  return page + "</div></body></html>\n";
}

int Run(const std::vector<std::string>& argv) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Nginx {
  pid_t pid = -1;
  ~Nginx() {
    if (pid > 0) {
      kill(pid, SIGQUIT);  // graceful stop of master and workers
      waitpid(pid, nullptr, 0);
    }
  }
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  int pages = 1000, rounds = 5;
  std::string nginxPath = "/usr/sbin/nginx", curlPath = "curl";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--pages") pages = std::atoi(argv[i + 1]);
    else if (flag == "--rounds") rounds = std::atoi(argv[i + 1]);
    else if (flag == "--nginx") nginxPath = argv[i + 1];
    else if (flag == "--curl") curlPath = argv[i + 1];
  }
  quill::web::InitWeb();

  char pattern[] = "/tmp/quillmere-fetch-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path dir = pattern;
  const fs::path root = dir / "pages";
  fs::create_directories(root);
  fs::create_directories(dir / "tmp");
  // nginx's workers may run as an unprivileged user.
  chmod(dir.c_str(), 0755);
  chmod(root.c_str(), 0755);

  std::vector<std::string> bodies(pages);
  for (int n = 0; n < pages; ++n) {
    bodies[n] = MakePage(n);
    std::ofstream(root / ("c" + std::to_string(n) + ".html"), std::ios::binary) << bodies[n];
  }
  const int port = FreePort();
  const std::string t = (dir / "tmp").string();
  std::ofstream(dir / "nginx.conf")
      << "worker_processes 1;\nerror_log " << (dir / "error.log").string() << ";\npid "
      << (dir / "nginx.pid").string() << ";\nevents { worker_connections 512; }\nhttp {\n  access_log off;\n"
      << "  client_body_temp_path " << t << "/body;\n  proxy_temp_path " << t << "/proxy;\n"
      << "  fastcgi_temp_path " << t << "/fastcgi;\n  uwsgi_temp_path " << t << "/uwsgi;\n"
      << "  scgi_temp_path " << t << "/scgi;\n  keepalive_requests 100000;\n"
      << "  server { listen 127.0.0.1:" << port << "; root " << root.string() << "; }\n}\n";

  int status = 0;
  {
    Nginx nginx;
    nginx.pid = fork();
    if (nginx.pid == 0) {
      execl(nginxPath.c_str(), nginxPath.c_str(), "-p", dir.c_str(), "-c", (dir / "nginx.conf").c_str(), "-g",
            "daemon off;", static_cast<char*>(nullptr));
      _exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!PortAnswers(port) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!PortAnswers(port)) {
      std::fprintf(stderr, "nginx did not start on port %d\n", port);
      status = 1;
    } else {
      std::vector<std::string> urls(pages);
      std::ofstream config(dir / "curl.cfg");
      for (int n = 0; n < pages; ++n) {
        urls[n] = "http://127.0.0.1:" + std::to_string(port) + "/c" + std::to_string(n) + ".html";
        config << "url = \"" << urls[n] << "\"\noutput = \"/dev/null\"\n";
      }
      config.close();

      std::vector<double> fetchRates, curlRates;
      for (int round = 0; round <= rounds; ++round) {  // round 0 warms both up
        std::atomic<int> next{0}, wrong{0};
        auto started = Clock::now();
        std::vector<std::thread> threads;
        for (int k = 0; k < kThreads; ++k)
          threads.emplace_back([&] {
            for (int n = next++; n < pages; n = next++)
              if (quill::web::FetchPage(urls[n]) != bodies[n]) ++wrong;
          });
        for (auto& th : threads) th.join();
        const double fetch = pages / Seconds(Clock::now() - started);

        started = Clock::now();
        const int rc = Run({curlPath, "--silent", "--no-progress-meter", "--fail", "--parallel", "--parallel-max", "10", "--config",
                            (dir / "curl.cfg").string()});
        const double curl = pages / Seconds(Clock::now() - started);
        if (wrong > 0 || rc != 0) {
          std::fprintf(stderr, "round %d: %d wrong pages, curl exit %d\n", round, wrong.load(), rc);
          status = 1;
        }
        if (round == 0) continue;
        std::printf("round %d: FetchPage %.0f pages/s, curl --parallel %.0f pages/s\n", round, fetch, curl);
        fetchRates.push_back(fetch);
        curlRates.push_back(curl);
      }
      // The median resists a neighbour's burst of work on a shared machine.
      auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
      };
      const double fetch = median(fetchRates), curl = median(curlRates);
      std::printf("pages: %d of %zu bytes each, %d threads, median of %d rounds\n", pages, bodies[0].size(),
                  kThreads, rounds);
      std::printf("FetchPage:                 %.0f pages/s\n", fetch);
      std::printf("curl --parallel-max 10:    %.0f pages/s\n", curl);
      std::printf("ratio FetchPage / curl:    %.2f\n", curl > 0 ? fetch / curl : 0.0);
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
