#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Notification.hpp"

namespace platform {

// Delivers posted notifications to the observers registered for their name.
// Observers run on the posting thread, in the order they were added; one may
// add or remove observers (itself included) while it runs. Safe to use from
// any thread. An observer removed while a post is under way on another thread
// may still receive that one notification, so handlers must not outlive what
// they touch (capture weak references).
class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;

  // The process's centre.
  static NotificationCenter& defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // Registers `handler` of `observer` for notifications named `name`; with an
  // `object`, only for those that object posts.
  void addObserver(const void* observer, Handler handler, std::string name, const void* object = nullptr);
  // Removes the observer's registrations for `name`, or all of them.
  void removeObserver(const void* observer, std::optional<std::string_view> name = std::nullopt);

  void post(const Notification& notification) const;
  void post(std::string name, std::shared_ptr<const void> object = nullptr, NotificationUserInfo userInfo = {}) const;

 private:
  struct Registration {
    const void* observer;
    std::shared_ptr<const Handler> handler;
    std::string name;
    const void* object;
  };

  mutable std::mutex mutex_;
  std::vector<Registration> registrations_;
};

}  // namespace platform
