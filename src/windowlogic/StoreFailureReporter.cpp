#include "windowlogic/StoreFailureReporter.h"

namespace pw {

StoreErrorSink StoreFailureReporter::Sink() {
  return [this](const StoreFailure& failure) { Record(failure); };
}

StoreFailureReporter::Action::Action(StoreFailureReporter& reporter, Kind kind) : reporter_(reporter) {
  if (reporter_.depth_++ > 0) return;
  reporter_.outerKind_ = kind;
  if (kind == Kind::UserAction) reporter_.shownWhileTyping_ = false;
}

StoreFailureReporter::Action::~Action() {
  if (--reporter_.depth_ > 0) return;
  if (reporter_.outerKind_ == Kind::Typing) {
    // Each key typed fails the same way while the store does: the message
    // shown for the first says it all, until a key typed meets no failure.
    bool shown = reporter_.shownWhileTyping_;
    reporter_.shownWhileTyping_ = reporter_.pending_.has_value();
    if (shown) reporter_.pending_.reset();
  }
  reporter_.outerKind_ = Kind::UserAction;
  reporter_.Flush();
}

std::string StoreFailureReporter::MessageFor(const StoreFailure& failure) {
  if (failure.afterWrite)
    return "The change is saved in the store " + failure.store + ", but " + failure.operation +
           " is not in step with it: " + failure.reason + ".";
  bool reading = failure.operation == "read";
  std::string text = reading ? "Portwarden could not read the store " : "Portwarden could not write to the store ";
  text += failure.store + ": " + failure.reason + ".";
  text += reading ? " The settings shown may be out of date." : " The last change may not have been saved.";
  return text;
}

void StoreFailureReporter::Record(const StoreFailure& failure) {
  if (!pending_) pending_ = failure;
  // A failure outside any action (none is expected) is shown at once.
  if (depth_ == 0) Flush();
}

void StoreFailureReporter::Flush() {
  if (!pending_) return;
  StoreFailure failure = std::move(*pending_);
  pending_.reset();
  ++depth_;  // failures while the box is open belong to this report
  prompter_.MsgBox(kStoreFailureTitle, MessageFor(failure), MsgButtons::Ok, MsgIcon::Critical);
  --depth_;
  pending_.reset();
}

}  // namespace pw
