#include <string_view>

#include "Fluvio/Sources/Stream/StreamRecorder.hpp"

namespace fluvio {
namespace {

std::string_view caseName(StreamRecorder::Error::Case errorCase) {
  using Case = StreamRecorder::Error::Case;
  switch (errorCase) {
    case Case::fileAlreadyExists:
      return "fileAlreadyExists";
    case Case::notSupportedFileType:
      return "notSupportedFileType";
    case Case::failedToCreateAssetWriter:
      return "failedToCreateAssetWriter";
    case Case::failedToCreateAssetWriterInput:
      return "failedToCreateAssetWriterInput";
    case Case::failedToAppend:
      return "failedToAppend";
    case Case::failedToFinishWriting:
      return "failedToFinishWriting";
    case Case::invalidState:
      return "invalidState";
  }
  return "unknown";
}

std::string describe(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return caught.what();
  } catch (...) {
    return "unknown error";
  }
}

std::string describe(const std::optional<platform::AVAssetWriterError>& error) { return error ? error->what() : ""; }

}  // namespace

StreamRecorder::Error::Error(Case errorCase, std::string detail)
    : case_(errorCase),
      message_("StreamRecorder.Error." + std::string(caseName(errorCase)) + (detail.empty() ? "" : ": " + detail)) {}

StreamRecorder::Error StreamRecorder::Error::fileAlreadyExists(platform::URL outputURL) {
  Error error(Case::fileAlreadyExists, outputURL.absoluteString());
  error.outputURL_ = std::move(outputURL);
  return error;
}

StreamRecorder::Error StreamRecorder::Error::notSupportedFileType(std::string pathExtension) {
  Error error(Case::notSupportedFileType, pathExtension);
  error.pathExtension_ = std::move(pathExtension);
  return error;
}

StreamRecorder::Error StreamRecorder::Error::failedToCreateAssetWriter(std::exception_ptr underlying) {
  Error error(Case::failedToCreateAssetWriter, describe(underlying));
  error.underlyingError_ = std::move(underlying);
  return error;
}

StreamRecorder::Error StreamRecorder::Error::failedToCreateAssetWriterInput(std::exception_ptr underlying) {
  Error error(Case::failedToCreateAssetWriterInput, describe(underlying));
  error.underlyingError_ = std::move(underlying);
  return error;
}

StreamRecorder::Error StreamRecorder::Error::failedToAppend(std::optional<platform::AVAssetWriterError> writerError) {
  Error error(Case::failedToAppend, describe(writerError));
  error.writerError_ = std::move(writerError);
  return error;
}

StreamRecorder::Error StreamRecorder::Error::failedToFinishWriting(
    std::optional<platform::AVAssetWriterError> writerError) {
  Error error(Case::failedToFinishWriting, describe(writerError));
  error.writerError_ = std::move(writerError);
  return error;
}

StreamRecorder::Error StreamRecorder::Error::invalidState() { return Error(Case::invalidState, ""); }

}  // namespace fluvio
