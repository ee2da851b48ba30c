// Tells the user when the store fails: the store's error sink feeds one
// message box per user action, naming the store and the reason, however many
// operations of that action failed.
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

  // Brackets one user action; actions nest, and the outermost one shows the
  // first failure recorded while it ran when it ends.
  class Action {
   public:
    explicit Action(StoreFailureReporter& reporter);
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
  std::optional<StoreFailure> pending_;
};

}  // namespace pw
