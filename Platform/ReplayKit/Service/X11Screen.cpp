#include "Platform/ReplayKit/Service/X11Screen.hpp"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform::broadcastservice {
namespace {

constexpr int bytesPerPixel = 4;
// The screen is read in bands of about this many bytes through one segment
// of that size, so only a band of the image is ever in memory, not a whole
// screen beside the picture it becomes.
constexpr std::size_t bandBytes = 512 * 1024;

// Whole chroma rows: an even number of rows, two at least.
int rowsPerBand(int width, int height) {
  const auto rows = static_cast<int>(bandBytes / (std::size_t(width) * bytesPerPixel)) & ~1;
  return std::clamp(rows, 2, height + height % 2);
}

}  // namespace

std::unique_ptr<X11Screen> X11Screen::make(std::string& error) {
  std::unique_ptr<X11Screen> screen(new X11Screen());
  int screenNumber = 0;
  screen->connection_ = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(screen->connection_)) {
    error = "cannot open the X11 display";
    return nullptr;
  }
  auto iterator = xcb_setup_roots_iterator(xcb_get_setup(screen->connection_));
  for (int skip = 0; skip < screenNumber && iterator.rem; ++skip) xcb_screen_next(&iterator);
  if (!iterator.rem || (iterator.data->root_depth != 24 && iterator.data->root_depth != 32)) {
    error = "the X11 screen has no 24- or 32-bit depth";
    return nullptr;
  }
  screen->root_ = iterator.data->root;
  screen->width_ = iterator.data->width_in_pixels;
  screen->height_ = iterator.data->height_in_pixels;

  auto* version = xcb_shm_query_version_reply(screen->connection_, xcb_shm_query_version(screen->connection_), nullptr);
  const bool hasShm = version != nullptr;
  std::free(version);
  if (!hasShm) {
    error = "the X11 display has no MIT-SHM extension";
    return nullptr;
  }
  screen->bandRows_ = rowsPerBand(screen->width_, screen->height_);
  const std::size_t size = std::size_t(screen->width_) * screen->bandRows_ * bytesPerPixel;
  const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (id < 0) {
    error = "cannot make a shared-memory segment for the screen";
    return nullptr;
  }
  void* address = shmat(id, nullptr, 0);
  // Marked for removal at once: it goes away with the last detach, even on a crash.
  shmctl(id, IPC_RMID, nullptr);
  if (address == reinterpret_cast<void*>(-1)) {
    error = "cannot map the screen's shared-memory segment";
    return nullptr;
  }
  screen->pixels_ = static_cast<std::uint8_t*>(address);
  screen->segment_ = xcb_generate_id(screen->connection_);
  auto* attached = xcb_request_check(screen->connection_,
                                     xcb_shm_attach_checked(screen->connection_, screen->segment_, id, false));
  if (attached) {
    std::free(attached);
    screen->segment_ = 0;
    error = "the X11 server cannot attach the shared-memory segment";
    return nullptr;
  }

  screen->pictures_ = ScreenPictures::make(screen->width_, screen->height_);
  if (!screen->pictures_) {
    error = "cannot make pictures of the screen's size";
    return nullptr;
  }
  return screen;
}

X11Screen::~X11Screen() {
  if (connection_) {
    if (segment_) xcb_shm_detach(connection_, segment_);
    xcb_disconnect(connection_);
  }
  if (pixels_) shmdt(pixels_);
}

std::shared_ptr<CMSampleBuffer> X11Screen::frame(std::uint64_t hostTime, std::uint64_t) {
  // Taken first: with every picture still in flight the server is not asked.
  auto picture = pictures_->take();
  if (!picture) return nullptr;
  picture->lockBaseAddress(0);
  bool whole = true;
  for (int top = 0; top < height_ && whole; top += bandRows_) {
    whole = readBand(top, std::min(bandRows_, height_ - top), *picture);
  }
  picture->unlockBaseAddress(0);
  return whole ? pictures_->frame(std::move(picture), hostTime) : nullptr;
}

bool X11Screen::readBand(int top, int rows, const CVPixelBuffer& picture) {
  auto* image = xcb_shm_get_image_reply(
      connection_,
      xcb_shm_get_image(connection_, root_, 0, static_cast<std::int16_t>(top), static_cast<std::uint16_t>(width_),
                        static_cast<std::uint16_t>(rows), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
      nullptr);
  if (!image) return false;
  std::free(image);
  // The segment holds BGRX, whose fourth byte the conversion never reads:
  // one pass from the shared memory into the picture's rows of the band.
  VTImagePlanes band;
  band.format = AV_PIX_FMT_BGR0;
  band.width = width_;
  band.height = rows;
  band.data[0] = pixels_;
  band.linesize[0] = width_ * bytesPerPixel;
  VTImagePlanes destination = *VTImagePlanes::of(picture);
  destination.height = rows;
  destination.data[0] += std::ptrdiff_t(top) * destination.linesize[0];
  destination.data[1] += std::ptrdiff_t(top / 2) * destination.linesize[1];
  VTBGRAToYUV420::convert(band, destination);
  return true;
}

}  // namespace platform::broadcastservice
