#pragma once

#include <libsoup/soup.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvelportal::testing {

// A web server on 127.0.0.1 serving fixture pages; it keeps every request it
// got. Paths without a page answer 204, so a page can report to the test by
// fetching one.
class PageServer {
 public:
  struct Request {
    std::string path;
    std::string query;
    std::string userAgent;
    std::string cookie;
  };
  struct Page {
    std::string html;
    std::map<std::string, std::string> headers;
    // Sends the headers and the html, then keeps the response open for good.
    bool stallsAfterBody = false;
  };

  // On a free port, or on `port` when given.
  static std::unique_ptr<PageServer> start(std::optional<int> port = std::nullopt);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  int port() const noexcept { return port_; }
  std::string url(const std::string& path = "/") const;
  void addPage(const std::string& path, Page page) { pages_[path] = std::move(page); }

  const std::vector<Request>& requests() const noexcept { return requests_; }
  // The first request for `path` after the first `skip` ones; nothing yet.
  std::optional<Request> request(const std::string& path, std::size_t skip = 0) const;
  std::size_t count(const std::string& path) const;

 private:
  PageServer() = default;
  static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer data);

  SoupServer* server_ = nullptr;
  int port_ = 0;
  std::map<std::string, Page> pages_;
  std::vector<Request> requests_;
};

// A port nothing listens on (taken and given back).
int unusedPort();

}  // namespace tarvelportal::testing
