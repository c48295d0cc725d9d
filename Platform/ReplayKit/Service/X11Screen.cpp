#include "Platform/ReplayKit/Service/X11Screen.hpp"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform::broadcastservice {
namespace {

constexpr int bytesPerPixel = 4;

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
  const std::size_t size = std::size_t(screen->width_) * screen->height_ * bytesPerPixel;
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
  auto* image = xcb_shm_get_image_reply(
      connection_,
      xcb_shm_get_image(connection_, root_, 0, 0, static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(height_),
                        ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
      nullptr);
  if (!image) return nullptr;
  std::free(image);
  // The segment holds BGRX, whose fourth byte the conversion never reads:
  // one pass from the shared memory into the picture.
  VTImagePlanes screen;
  screen.format = AV_PIX_FMT_BGR0;
  screen.width = width_;
  screen.height = height_;
  screen.data[0] = pixels_;
  screen.linesize[0] = width_ * bytesPerPixel;
  picture->lockBaseAddress(0);
  VTBGRAToYUV420::convert(screen, *VTImagePlanes::of(*picture));
  picture->unlockBaseAddress(0);
  return pictures_->frame(std::move(picture), hostTime);
}

}  // namespace platform::broadcastservice
