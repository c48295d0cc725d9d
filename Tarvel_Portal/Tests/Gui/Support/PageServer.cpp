#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"

#include <gtest/gtest.h>

namespace tarvelportal::testing {

std::unique_ptr<PageServer> PageServer::start(std::optional<int> port) {
  std::unique_ptr<PageServer> server(new PageServer);
  server->server_ = soup_server_new(nullptr, nullptr);
  soup_server_add_handler(server->server_, nullptr, handle, server.get(), nullptr);
  GError* error = nullptr;
  if (!soup_server_listen_local(server->server_, static_cast<guint>(port.value_or(0)), SOUP_SERVER_LISTEN_IPV4_ONLY,
                                &error)) {
    ADD_FAILURE() << "page server: " << error->message;
    g_error_free(error);
    return nullptr;
  }
  GSList* uris = soup_server_get_uris(server->server_);
  server->port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
  g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
  return server;
}

PageServer::~PageServer() {
  soup_server_disconnect(server_);
  g_object_unref(server_);
}

std::string PageServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::optional<PageServer::Request> PageServer::request(const std::string& path, std::size_t skip) const {
  for (const auto& request : requests_) {
    if (request.path != path) continue;
    if (skip == 0) return request;
    --skip;
  }
  return std::nullopt;
}

std::size_t PageServer::count(const std::string& path) const {
  std::size_t total = 0;
  for (const auto& request : requests_) total += request.path == path;
  return total;
}

void PageServer::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer data) {
  auto& self = *static_cast<PageServer*>(data);
  auto* headers = soup_server_message_get_request_headers(message);
  const char* query = g_uri_get_query(soup_server_message_get_uri(message));
  const char* userAgent = soup_message_headers_get_one(headers, "User-Agent");
  const char* cookie = soup_message_headers_get_one(headers, "Cookie");
  self.requests_.push_back({path, query != nullptr ? query : "", userAgent != nullptr ? userAgent : "",
                            cookie != nullptr ? cookie : ""});
  const auto page = self.pages_.find(path);
  if (page == self.pages_.end()) {
    soup_server_message_set_status(message, SOUP_STATUS_NO_CONTENT, nullptr);
    return;
  }
  auto* responseHeaders = soup_server_message_get_response_headers(message);
  soup_message_headers_replace(responseHeaders, "Cache-Control", "no-store");
  for (const auto& [name, value] : page->second.headers) {
    soup_message_headers_append(responseHeaders, name.c_str(), value.c_str());
  }
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  if (page->second.stallsAfterBody) {
    // A chunked body that is never completed: the server writes what it has and waits.
    soup_message_headers_set_encoding(responseHeaders, SOUP_ENCODING_CHUNKED);
    soup_message_headers_replace(responseHeaders, "Content-Type", "text/html; charset=utf-8");
    soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_COPY,
                             page->second.html.data(), page->second.html.size());
    return;
  }
  soup_server_message_set_response(message, "text/html; charset=utf-8", SOUP_MEMORY_COPY, page->second.html.data(),
                                   page->second.html.size());
}

int unusedPort() {
  auto* socket = g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr);
  auto* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  auto* address = g_inet_socket_address_new(loopback, 0);
  g_socket_bind(socket, address, TRUE, nullptr);
  auto* bound = G_INET_SOCKET_ADDRESS(g_socket_get_local_address(socket, nullptr));
  const int port = g_inet_socket_address_get_port(bound);
  g_object_unref(bound);
  g_object_unref(address);
  g_object_unref(loopback);
  g_socket_close(socket, nullptr);
  g_object_unref(socket);
  return port;
}

}  // namespace tarvelportal::testing
