#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/WebKit/WKContentWorld.hpp"
#include "Platform/WebKit/WKScriptMessageHandler.hpp"

namespace platform {

// A script run in every page, in the top frame alone or in every frame.
struct WKUserScript {
  enum class InjectionTime { atDocumentStart, atDocumentEnd };
  std::string source;
  InjectionTime injectionTime = InjectionTime::atDocumentEnd;
  bool forMainFrameOnly = true;
  WKContentWorld contentWorld = WKContentWorld::page();
};

// A message handler and the one world whose scripts can post to it.
struct WKScriptMessageHandlerRegistration {
  std::shared_ptr<WKScriptMessageHandler> handler;
  WKContentWorld contentWorld;
};

// What a web view adds to its pages: user scripts and message handlers by name.
struct WKUserContentController {
  std::vector<WKUserScript> userScripts;
  std::map<std::string, WKScriptMessageHandlerRegistration> scriptMessageHandlers;

  void addUserScript(WKUserScript script) { userScripts.push_back(std::move(script)); }
  void add(std::shared_ptr<WKScriptMessageHandler> handler, WKContentWorld contentWorld, std::string name) {
    scriptMessageHandlers.insert_or_assign(std::move(name),
                                           WKScriptMessageHandlerRegistration{std::move(handler), std::move(contentWorld)});
  }
};

}  // namespace platform
