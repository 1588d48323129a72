// Sets a flag for the length of a scope and gives it back its old value on every way out,
// for flags that say "this is our own doing" (widgets set from the model, a file being
// saved) while calls that may come back in run.
//
//   {
//       const FlagScope syncing(syncing_);
//       widget->setText(...);  // the change signal sees syncing_ and is not the user's
//   }
#pragma once

namespace zelt::runtime {

class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = old_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
    const bool old_;
};

}  // namespace zelt::runtime
