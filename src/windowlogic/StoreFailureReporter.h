// Tells the user when the store fails: the store's error sink feeds one
// message box per user action, naming the store and the reason, however many
// operations of that action failed. Typing is no action of its own: while
// each key typed fails the same way, one message is enough.
#pragma once

#include <optional>

#include "common/Prompter.h"
#include "registry/RegistryStore.h"

namespace pw {

inline constexpr const char* kStoreFailureTitle = "Portwarden Store Error";

class StoreFailureReporter {
 public:
  explicit StoreFailureReporter(Prompter& prompter) : prompter_(prompter) {}
  StoreFailureReporter(const StoreFailureReporter&) = delete;
  StoreFailureReporter& operator=(const StoreFailureReporter&) = delete;

  // The sink to hand to RegistryStore::SetErrorSink; it must not outlive this.
  StoreErrorSink Sink();

  // What brackets the work: a user action, or a key typed. A failure while
  // typing is shown once; then no more until a key typed meets no failure or
  // a user action begins.
  enum class Kind { UserAction, Typing };

  // Brackets one user action (or key typed); they nest, and the outermost one
  // shows the first failure recorded while it ran when it ends.
  class Action {
   public:
    explicit Action(StoreFailureReporter& reporter, Kind kind = Kind::UserAction);
    ~Action();
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

   private:
    StoreFailureReporter& reporter_;
  };

  // Records a failure the caller saw in a status rather than through the
  // sink; like the sink's, it is shown when the action ends, unless an earlier
  // one of the action is.
  void Report(const StoreFailure& failure) { Record(failure); }

  // The text shown for a failure.
  static std::string MessageFor(const StoreFailure& failure);

 private:
  void Record(const StoreFailure& failure);
  void Flush();

  Prompter& prompter_;
  int depth_ = 0;
  Kind outerKind_ = Kind::UserAction;  // of the outermost action under way
  bool shownWhileTyping_ = false;      // a failure of typing was shown and still holds
  std::optional<StoreFailure> pending_;
};

}  // namespace pw
