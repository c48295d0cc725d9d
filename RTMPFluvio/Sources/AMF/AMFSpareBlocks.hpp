#pragma once

namespace rtmpfluvio::amfspareblocks {

// Blocks of one size that this thread released, handed to the next objects
// it makes: the allocator serves blocks as large as an object's usual body
// on its slow path, which costs more than reading a command object's entries,
// and a thread reading messages releases and makes a few per message. The
// callers agree on the size; the blocks kept when the thread ends are freed.

// A kept block, or nullptr when none is.
void* take() noexcept;
// Whether `block` was kept; the caller frees it otherwise.
bool keep(void* block) noexcept;

}  // namespace rtmpfluvio::amfspareblocks
