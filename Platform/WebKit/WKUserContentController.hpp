#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/WebKit/WKScriptMessageHandler.hpp"

namespace platform {

// A script run in every page once its document has been parsed.
struct WKUserScript {
  enum class InjectionTime { atDocumentStart, atDocumentEnd };
  std::string source;
  InjectionTime injectionTime = InjectionTime::atDocumentEnd;
  bool forMainFrameOnly = true;
};

// What a web view adds to its pages: user scripts and message handlers by name.
struct WKUserContentController {
  std::vector<WKUserScript> userScripts;
  std::map<std::string, std::shared_ptr<WKScriptMessageHandler>> scriptMessageHandlers;

  void addUserScript(WKUserScript script) { userScripts.push_back(std::move(script)); }
  void add(std::shared_ptr<WKScriptMessageHandler> handler, std::string name) {
    scriptMessageHandlers.insert_or_assign(std::move(name), std::move(handler));
  }
};

}  // namespace platform
