// An environment variable set (or, with null, unset) for one scope.
#ifndef PV_TESTS_FOUNDATION_SCOPED_ENV_H_
#define PV_TESTS_FOUNDATION_SCOPED_ENV_H_

#include <string>

#include <gtest/gtest.h>

#include "foundation/platform/env.h"

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), had_(pv::GetEnv(name, &old_)) {
    EXPECT_TRUE((value != nullptr ? pv::SetEnv(name, value) : pv::UnsetEnv(name)).ok());
  }
  ~ScopedEnv() { EXPECT_TRUE((had_ ? pv::SetEnv(name_, old_.c_str()) : pv::UnsetEnv(name_)).ok()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_;
};

#endif  // PV_TESTS_FOUNDATION_SCOPED_ENV_H_
