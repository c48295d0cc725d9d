#include "Platform/AVFoundation/AVCaptureSession.hpp"

#include <algorithm>

#include "Platform/AVFoundation/AVCaptureDeviceSource.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace platform {

namespace {

template <class T>
bool contains(const std::vector<std::shared_ptr<T>>& list, const T* item) {
  return std::any_of(list.begin(), list.end(), [&](const auto& entry) { return entry.get() == item; });
}

std::shared_ptr<AVCaptureDeviceInput> asDeviceInput(const std::shared_ptr<AVCaptureInput>& input) {
  return std::dynamic_pointer_cast<AVCaptureDeviceInput>(input);
}

}  // namespace

std::shared_ptr<AVCaptureSession> AVCaptureSession::make() {
  return std::shared_ptr<AVCaptureSession>(new AVCaptureSession(false));
}

std::shared_ptr<AVCaptureMultiCamSession> AVCaptureMultiCamSession::make() {
  return std::shared_ptr<AVCaptureMultiCamSession>(new AVCaptureMultiCamSession());
}

AVCaptureSession::~AVCaptureSession() {
  for (const auto& input : started_) input->device()->source()->stop();
}

AVCaptureSession::Preset AVCaptureSession::sessionPreset() const {
  std::lock_guard lock(mutex_);
  return preset_;
}

bool AVCaptureSession::canSetSessionPreset(Preset preset) const noexcept {
  return !multiCam_ || preset == Preset::inputPriority;
}

void AVCaptureSession::setSessionPreset(Preset preset) {
  if (!canSetSessionPreset(preset)) return;
  std::lock_guard lock(mutex_);
  preset_ = preset;
}

std::vector<std::shared_ptr<AVCaptureInput>> AVCaptureSession::inputs() const {
  std::lock_guard lock(mutex_);
  return inputs_;
}

std::vector<std::shared_ptr<AVCaptureOutput>> AVCaptureSession::outputs() const {
  std::lock_guard lock(mutex_);
  return outputs_;
}

std::vector<std::shared_ptr<AVCaptureConnection>> AVCaptureSession::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool AVCaptureSession::canAddInput(const std::shared_ptr<AVCaptureInput>& input) const {
  if (!input) return false;
  std::lock_guard lock(mutex_);
  if (contains(inputs_, input.get())) return false;
  if (multiCam_) return true;
  const auto device = asDeviceInput(input);
  if (!device) return true;
  return std::none_of(inputs_.begin(), inputs_.end(), [&](const auto& entry) {
    const auto other = asDeviceInput(entry);
    return other && other->device()->hasMediaType(AVMediaTypeVideo) == device->device()->hasMediaType(AVMediaTypeVideo);
  });
}

void AVCaptureSession::addInputWithNoConnections(const std::shared_ptr<AVCaptureInput>& input) {
  if (!canAddInput(input)) return;
  Lock lock(mutex_);
  inputs_.push_back(input);
}

void AVCaptureSession::addInput(const std::shared_ptr<AVCaptureInput>& input) {
  if (!canAddInput(input)) return;
  Lock lock(mutex_);
  inputs_.push_back(input);
  for (const auto& port : input->ports()) {
    for (const auto& output : outputs_) {
      if (output->mediaType() == port->mediaType() && output->connections().empty()) {
        connectLocked(std::make_shared<AVCaptureConnection>(std::vector{port}, output));
        break;
      }
    }
  }
  reconcile(std::move(lock));
}

void AVCaptureSession::removeInput(const std::shared_ptr<AVCaptureInput>& input) {
  Lock lock(mutex_);
  if (!contains(inputs_, input.get())) return;
  for (const auto& connection : std::vector(connections_)) {
    if (connection->inputPorts().empty() || &connection->inputPorts().front()->input() != input.get()) continue;
    disconnectLocked(*connection);
  }
  std::erase(inputs_, input);
  reconcile(std::move(lock));
}

bool AVCaptureSession::canAddOutput(const std::shared_ptr<AVCaptureOutput>& output) const {
  if (!output) return false;
  std::lock_guard lock(mutex_);
  return !contains(outputs_, output.get());
}

void AVCaptureSession::addOutputWithNoConnections(const std::shared_ptr<AVCaptureOutput>& output) {
  if (!canAddOutput(output)) return;
  std::lock_guard lock(mutex_);
  outputs_.push_back(output);
}

void AVCaptureSession::addOutput(const std::shared_ptr<AVCaptureOutput>& output) {
  if (!canAddOutput(output)) return;
  Lock lock(mutex_);
  outputs_.push_back(output);
  for (const auto& input : inputs_) {
    for (const auto& port : input->ports()) {
      const bool taken = std::any_of(connections_.begin(), connections_.end(), [&](const auto& connection) {
        return std::find(connection->inputPorts().begin(), connection->inputPorts().end(), port) !=
               connection->inputPorts().end();
      });
      if (!taken && port->mediaType() == output->mediaType()) {
        connectLocked(std::make_shared<AVCaptureConnection>(std::vector{port}, output));
        reconcile(std::move(lock));
        return;
      }
    }
  }
}

void AVCaptureSession::removeOutput(const std::shared_ptr<AVCaptureOutput>& output) {
  Lock lock(mutex_);
  if (!contains(outputs_, output.get())) return;
  for (const auto& connection : output->connections()) disconnectLocked(*connection);
  std::erase(outputs_, output);
  reconcile(std::move(lock));
}

bool AVCaptureSession::canAddConnection(const std::shared_ptr<AVCaptureConnection>& connection) const {
  if (!connection || connection->inputPorts().empty()) return false;
  const auto output = connection->output();
  std::lock_guard lock(mutex_);
  if (!output || !contains(outputs_, output.get()) || contains(connections_, connection.get())) return false;
  return std::all_of(connection->inputPorts().begin(), connection->inputPorts().end(),
                     [&](const auto& port) { return inputIsKnownLocked(port->input()); });
}

void AVCaptureSession::addConnection(const std::shared_ptr<AVCaptureConnection>& connection) {
  if (!canAddConnection(connection)) return;
  Lock lock(mutex_);
  connectLocked(connection);
  reconcile(std::move(lock));
}

void AVCaptureSession::removeConnection(const std::shared_ptr<AVCaptureConnection>& connection) {
  Lock lock(mutex_);
  if (!contains(connections_, connection.get())) return;
  disconnectLocked(*connection);
  reconcile(std::move(lock));
}

bool AVCaptureSession::inputIsKnownLocked(const AVCaptureInput& input) const { return contains(inputs_, &input); }

void AVCaptureSession::connectLocked(const std::shared_ptr<AVCaptureConnection>& connection) {
  connections_.push_back(connection);
  if (auto output = connection->output()) output->addConnection(connection);
}

void AVCaptureSession::disconnectLocked(const AVCaptureConnection& connection) {
  if (auto output = connection.output()) output->removeConnection(connection);
  std::erase_if(connections_, [&](const auto& entry) { return entry.get() == &connection; });
}

void AVCaptureSession::beginConfiguration() {
  std::lock_guard lock(mutex_);
  ++configurationDepth_;
}

void AVCaptureSession::commitConfiguration() {
  Lock lock(mutex_);
  if (configurationDepth_ > 0) --configurationDepth_;
  reconcile(std::move(lock));
}

bool AVCaptureSession::isRunning() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void AVCaptureSession::startRunning() {
  Lock lock(mutex_);
  running_ = true;
  reconcile(std::move(lock));
}

void AVCaptureSession::stopRunning() {
  Lock lock(mutex_);
  running_ = false;
  reconcile(std::move(lock));
}

void AVCaptureSession::reconcile(Lock lock) {
  if (configurationDepth_ > 0) return;
  std::set<std::shared_ptr<AVCaptureDeviceInput>> wanted;
  if (running_) {
    for (const auto& connection : connections_) {
      for (const auto& port : connection->inputPorts()) {
        for (const auto& input : inputs_) {
          if (input.get() != &port->input()) continue;
          if (auto device = asDeviceInput(input)) wanted.insert(device);
        }
      }
    }
  }
  std::vector<std::shared_ptr<AVCaptureDeviceInput>> toStop;
  std::vector<std::shared_ptr<AVCaptureDeviceInput>> toStart;
  for (const auto& input : started_) {
    if (!wanted.contains(input)) toStop.push_back(input);
  }
  for (const auto& input : wanted) {
    if (!started_.contains(input)) toStart.push_back(input);
  }
  started_ = std::move(wanted);
  lock.unlock();
  // Sources stop and start outside the lock: their threads route through it.
  std::vector<std::shared_ptr<AVCaptureDevice>> failed;
  {
    std::lock_guard serial(reconcileMutex_);
    startAndStop(toStart, toStop, failed);
  }
  for (const auto& device : failed) fail(device, AVError::unknown);
}

void AVCaptureSession::startAndStop(const std::vector<std::shared_ptr<AVCaptureDeviceInput>>& toStart,
                                    const std::vector<std::shared_ptr<AVCaptureDeviceInput>>& toStop,
                                    std::vector<std::shared_ptr<AVCaptureDevice>>& failed) {
  for (const auto& input : toStop) input->device()->source()->stop();
  std::weak_ptr<AVCaptureSession> weakSelf = weak_from_this();
  for (const auto& input : toStart) {
    const auto* raw = input.get();
    const auto device = input->device();
    const bool started = device->source()->start(
        *device,
        [weakSelf, raw](const CMSampleBuffer& sampleBuffer) {
          if (auto self = weakSelf.lock()) self->route(*raw, sampleBuffer);
        },
        [weakSelf, device](long code) {
          if (auto self = weakSelf.lock()) self->fail(device, code);
        });
    if (!started) failed.push_back(device);
  }
}

void AVCaptureSession::route(const AVCaptureDeviceInput& input, const CMSampleBuffer& sampleBuffer) {
  std::vector<std::shared_ptr<AVCaptureConnection>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) {
      if (!connection->isEnabled()) continue;
      const auto& ports = connection->inputPorts();
      if (std::any_of(ports.begin(), ports.end(), [&](const auto& port) { return &port->input() == &input; })) {
        targets.push_back(connection);
      }
    }
  }
  for (const auto& connection : targets) {
    auto output = connection->output();
    if (!output) continue;
    if (auto processed = connection->process(sampleBuffer)) output->deliver(*processed, connection);
  }
}

void AVCaptureSession::fail(const std::shared_ptr<AVCaptureDevice>& device, long code) {
  // A failed device stops the session, as a runtime error does; the owner
  // decides whether to start it again.
  stopRunning();
  NotificationUserInfo info{{std::string(AVCaptureSessionErrorKey), std::int64_t(code)},
                            {std::string(AVCaptureDeviceUniqueIDKey), device->uniqueID()}};
  NotificationCenter::defaultCenter().post(std::string(AVCaptureSessionRuntimeErrorNotification), shared_from_this(),
                                           std::move(info));
}

}  // namespace platform
