#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace platform {

// Hands out shared handles to objects it keeps for reuse. When the last
// handle to an object goes, the object comes back (emptied by `release`) to
// be handed out again, and so does the handle's bookkeeping block, so a steady
// cycle of taking and letting go allocates nothing. An object is only handed
// out again once no handle holds it (weak handles have expired by then).
// Thread-safe; handles may outlive the recycler: their objects are then freed
// as they come back.
template <class T>
class SharedObjectRecycler {
 public:
  // Runs as an object comes back, before it is kept: drops what it refers to.
  using Release = void (*)(T&) noexcept;

  explicit SharedObjectRecycler(Release release = nullptr) : state_(std::make_shared<State>(release)) {}
  ~SharedObjectRecycler() { state_->close(); }
  SharedObjectRecycler(const SharedObjectRecycler&) = delete;
  SharedObjectRecycler& operator=(const SharedObjectRecycler&) = delete;

  // A kept object, or else the one `make` gives (a std::unique_ptr<T>); null
  // when neither can be had.
  template <class Make>
  std::shared_ptr<T> take(Make&& make) {
    try {
      std::unique_ptr<T> object = state_->takeObject();
      if (!object) object = std::forward<Make>(make)();
      if (!object) return nullptr;
      // Should the handle's block not be had, the object comes back at once.
      return std::shared_ptr<T>(object.release(), Return{state_}, BlockAllocator<T>(state_));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

 private:
  struct State {
    explicit State(Release release) : release(release) {}
    ~State() {
      for (void* block : freeBlocks) ::operator delete(block);
    }

    std::unique_ptr<T> takeObject() {
      std::lock_guard lock(mutex);
      if (freeObjects.empty()) return nullptr;
      std::unique_ptr<T> object = std::move(freeObjects.back());
      freeObjects.pop_back();
      return object;
    }

    void giveObject(T* returned) noexcept {
      std::unique_ptr<T> object(returned);
      if (release) release(*object);
      std::lock_guard lock(mutex);
      if (!open) return;
      try {
        freeObjects.push_back(std::move(object));
      } catch (const std::bad_alloc&) {
        // Could not keep it: it is freed instead.
      }
    }

    void* takeBlock(std::size_t size) {
      {
        std::lock_guard lock(mutex);
        if (size == blockSize && !freeBlocks.empty()) {
          void* block = freeBlocks.back();
          freeBlocks.pop_back();
          return block;
        }
      }
      return ::operator new(size);
    }

    void giveBlock(void* block, std::size_t size) noexcept {
      {
        std::lock_guard lock(mutex);
        // Handles of one type all have blocks of one size.
        if (open && (blockSize == 0 || blockSize == size)) {
          try {
            freeBlocks.push_back(block);
            blockSize = size;
            return;
          } catch (const std::bad_alloc&) {
          }
        }
      }
      ::operator delete(block);
    }

    void close() noexcept {
      std::vector<std::unique_ptr<T>> objects;
      std::lock_guard lock(mutex);
      open = false;
      objects.swap(freeObjects);
    }

    std::mutex mutex;
    const Release release;
    bool open = true;
    std::vector<std::unique_ptr<T>> freeObjects;
    std::vector<void*> freeBlocks;
    std::size_t blockSize = 0;
  };

  struct Return {
    std::shared_ptr<State> state;
    void operator()(T* object) const noexcept { state->giveObject(object); }
  };

  // Allocates the handle's block from the kept ones; holds the state, so the
  // block can come back after the recycler has gone.
  template <class U>
  struct BlockAllocator {
    using value_type = U;
    template <class V>
    struct rebind {
      using other = BlockAllocator<V>;
    };

    explicit BlockAllocator(std::shared_ptr<State> state) noexcept : state(std::move(state)) {}
    template <class V>
    BlockAllocator(const BlockAllocator<V>& other) noexcept : state(other.state) {}

    U* allocate(std::size_t count) {
      static_assert(alignof(U) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
      return static_cast<U*>(state->takeBlock(count * sizeof(U)));
    }
    void deallocate(U* block, std::size_t count) noexcept { state->giveBlock(block, count * sizeof(U)); }
    template <class V>
    bool operator==(const BlockAllocator<V>& other) const noexcept {
      return state == other.state;
    }

    std::shared_ptr<State> state;
  };

  std::shared_ptr<State> state_;
};

}  // namespace platform
