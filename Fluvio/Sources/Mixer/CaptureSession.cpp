#include "Fluvio/Sources/Mixer/CaptureSession.hpp"

#include <algorithm>
#include <utility>

#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace fluvio {

namespace {

using platform::NotificationCenter;

template <class T>
bool contains(const std::vector<std::shared_ptr<T>>& list, const std::shared_ptr<T>& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

void CaptureSession::Capabilities::setMultiCamSessionEnabled(bool enabled) {
  if (!platform::AVCaptureMultiCamSession::isMultiCamSupported()) {
    TP_INFO(logger(), "This device can't support the AVCaptureMultiCamSession.");
    isMultiCamSessionEnabled_ = false;
    return;
  }
  isMultiCamSessionEnabled_ = enabled;
}

std::shared_ptr<CaptureSession> CaptureSession::make(bool isMultiCamSessionEnabled, Now now) {
  return std::shared_ptr<CaptureSession>(new CaptureSession(isMultiCamSessionEnabled, std::move(now)));
}

CaptureSession::CaptureSession(bool isMultiCamSessionEnabled, Now now) : now_(std::move(now)) {
  capabilities_.setMultiCamSessionEnabled(isMultiCamSessionEnabled);
}

CaptureSession::~CaptureSession() {
  NotificationCenter::defaultCenter().removeObserver(this);
  if (session_ && session_->isRunning()) session_->stopRunning();
}

const std::shared_ptr<platform::AVCaptureSession>& CaptureSession::session() {
  std::lock_guard lock(mutex_);
  if (!session_) {
    session_ = capabilities_.isMultiCamSessionEnabled() ? platform::AVCaptureMultiCamSession::make()
                                                       : platform::AVCaptureSession::make();
    if (session_->canSetSessionPreset(sessionPreset_)) session_->setSessionPreset(sessionPreset_);
  }
  return session_;
}

CaptureSessionConvertible::Preset CaptureSession::sessionPreset() const {
  std::lock_guard lock(mutex_);
  return sessionPreset_;
}

void CaptureSession::setSessionPreset(Preset preset) {
  {
    std::lock_guard lock(mutex_);
    if (preset == sessionPreset_) return;
    sessionPreset_ = preset;
  }
  auto& platformSession = session();
  if (!platformSession->canSetSessionPreset(preset)) return;
  platformSession->beginConfiguration();
  platformSession->setSessionPreset(preset);
  platformSession->commitConfiguration();
}

bool CaptureSession::isCapturing() const {
  std::lock_guard lock(mutex_);
  return session_ && session_->isRunning();
}

platform::AsyncStream<bool> CaptureSession::isInturreped() {
  std::lock_guard lock(mutex_);
  return isInturreped_.wrappedValue();
}

platform::AsyncStream<platform::AVError> CaptureSession::runtimeError() {
  std::lock_guard lock(mutex_);
  return runtimeError_.wrappedValue();
}

bool CaptureSession::attach(const DeviceUnit* unit) {
  if (unit == nullptr) return true;
  auto& platformSession = session();
  const auto input = unit->input();
  const auto output = unit->output();
  if (const auto connection = unit->connection()) {
    if (input && platformSession->canAddInput(input)) platformSession->addInputWithNoConnections(input);
    if (output && platformSession->canAddOutput(output)) platformSession->addOutputWithNoConnections(output);
    if (platformSession->canAddConnection(connection)) platformSession->addConnection(connection);
    return contains(platformSession->connections(), connection);
  }
  if (input && platformSession->canAddInput(input)) platformSession->addInput(input);
  if (output && platformSession->canAddOutput(output)) platformSession->addOutput(output);
  return (!input || contains(platformSession->inputs(), input)) && (!output || contains(platformSession->outputs(), output));
}

void CaptureSession::detach(const DeviceUnit* unit) {
  if (unit == nullptr) return;
  auto& platformSession = session();
  const auto input = unit->input();
  const auto output = unit->output();
  const auto connection = unit->connection();
  if (connection && output && contains(output->connections(), connection)) platformSession->removeConnection(connection);
  if (input && contains(platformSession->inputs(), input)) platformSession->removeInput(input);
  if (output && contains(platformSession->outputs(), output)) platformSession->removeOutput(output);
}

void CaptureSession::configuration(const Configuration& body) {
  auto& platformSession = session();
  platformSession->beginConfiguration();
  try {
    body(*platformSession);
  } catch (...) {
    platformSession->commitConfiguration();
    throw;
  }
  platformSession->commitConfiguration();
}

bool CaptureSession::isRunning() const {
  std::lock_guard lock(mutex_);
  return isRunning_;
}

void CaptureSession::startRunning() {
  std::lock_guard running(runMutex_);
  bool wasStarted = false;
  {
    std::lock_guard lock(mutex_);
    if (isRunning_) return;
    wasStarted = std::exchange(isStarted_, true);
  }
  auto& platformSession = session();
  // A session whose restart failed is still observed.
  if (!wasStarted) observe(*platformSession);
  platformSession->startRunning();
  std::lock_guard lock(mutex_);
  isRunning_ = platformSession->isRunning();
  backOff_.forgetFailures();
}

void CaptureSession::observe(const platform::AVCaptureSession& platformSession) {
  auto& center = NotificationCenter::defaultCenter();
  const std::weak_ptr<CaptureSession> weakSelf = weak_from_this();
  center.addObserver(
      this,
      [weakSelf](const platform::Notification& notification) {
        if (auto self = weakSelf.lock()) self->sessionRuntimeError(notification);
      },
      std::string(platform::AVCaptureSessionRuntimeErrorNotification), &platformSession);
  center.addObserver(
      this,
      [weakSelf](const platform::Notification&) {
        if (auto self = weakSelf.lock()) self->yieldInterrupted(false);
      },
      std::string(platform::AVCaptureSessionInterruptionEndedNotification), &platformSession);
  center.addObserver(
      this,
      [weakSelf](const platform::Notification&) {
        if (auto self = weakSelf.lock()) self->yieldInterrupted(true);
      },
      std::string(platform::AVCaptureSessionWasInterruptedNotification), &platformSession);
}

// Also when a failed restart left isRunning false: the session is still
// observed and may have a retry waiting.
void CaptureSession::stopRunning() {
  std::lock_guard running(runMutex_);
  {
    std::lock_guard lock(mutex_);
    if (!isStarted_) return;
    isStarted_ = false;
  }
  NotificationCenter::defaultCenter().removeObserver(this);
  auto& platformSession = session();
  {
    std::lock_guard lock(mutex_);
    runtimeError_.finish();
  }
  platformSession->stopRunning();
  std::lock_guard lock(mutex_);
  isRunning_ = platformSession->isRunning();
}

void CaptureSession::startRunningIfNeeded() {
  restartQueue_.async([weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (self && self->isRunning()) self->restartWithBackOff();
  });
}

void CaptureSession::restartWithBackOff() {
  auto& platformSession = session();
  {
    std::lock_guard lock(mutex_);
    if (!isStarted_ || platformSession->isRunning()) return;
    const auto wait = backOff_.restart(now_());
    if (!wait) return;
    if (*wait > RestartBackOff::Clock::duration::zero()) {
      scheduleRestart(*wait);
      return;
    }
  }
  restartNow();
}

void CaptureSession::restartNow() {
  std::lock_guard running(runMutex_);
  {
    std::lock_guard lock(mutex_);
    if (!isStarted_) return;  // stopped meanwhile
  }
  auto& platformSession = session();
  platformSession->startRunning();
  // A device that fails at once stops the platform session again; its
  // error comes after this on the queue.
  std::lock_guard lock(mutex_);
  isRunning_ = platformSession->isRunning();
}

void CaptureSession::scheduleRestart(RestartBackOff::Clock::duration delay) {
  restartQueue_.asyncAfter(delay, [weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->mutex_);
      self->backOff_.retryDue();
    }
    self->restartWithBackOff();
  });
}

void CaptureSession::sessionRuntimeError(const platform::Notification& notification) {
  const auto* code = notification.userInfoValue(platform::AVCaptureSessionErrorKey);
  const auto* value = code ? std::get_if<std::int64_t>(code) : nullptr;
  if (value == nullptr) return;
  std::shared_ptr<platform::AVCaptureDevice> device;
  if (const auto* id = notification.userInfoValue(platform::AVCaptureDeviceUniqueIDKey)) {
    if (const auto* uniqueID = std::get_if<std::string>(id)) {
      for (const auto& input : session()->inputs()) {
        const auto deviceInput = std::dynamic_pointer_cast<platform::AVCaptureDeviceInput>(input);
        if (deviceInput && deviceInput->device()->uniqueID() == *uniqueID) device = deviceInput->device();
      }
    }
  }
  restartQueue_.async([weakSelf = weak_from_this(), error = platform::AVError(*value, std::move(device))] {
    if (auto self = weakSelf.lock()) self->runtimeErrorOccurred(error);
  });
}

void CaptureSession::runtimeErrorOccurred(platform::AVError error) {
  bool stoppedByIt = false;
  {
    std::lock_guard lock(mutex_);
    runtimeError_.yield(std::move(error));
    stoppedByIt = isStarted_ && !isRunning_;
  }
  // A restart read back that the error stopped the session, so isRunning is
  // false and no owner will ask again: the session retries by itself.
  if (stoppedByIt) restartWithBackOff();
}

void CaptureSession::yieldInterrupted(bool interrupted) {
  std::lock_guard lock(mutex_);
  isInturreped_.yield(interrupted);
}

}  // namespace fluvio
