// A step run when a scope is left, however it is left: the areas and files the steps take
// by hand are given back even when a lack of memory is thrown through them.
#pragma once

#include <utility>

namespace mq {

template <class Step>
class OnScopeExit {
 public:
  explicit OnScopeExit(Step step) : step_(std::move(step)) {}
  ~OnScopeExit() { step_(); }
  OnScopeExit(const OnScopeExit&) = delete;
  OnScopeExit& operator=(const OnScopeExit&) = delete;

 private:
  Step step_;
};

}  // namespace mq
