#include "serverlink/do_value.h"

#include <cmath>

int32_t DoTruncateFloat(float f) {
  if (std::isnan(f)) return 0;
  // 2^31 is exactly representable as float; anything at or above it (or
  // below -2^31) does not fit.
  if (f >= 2147483648.0f) return INT32_MAX;
  if (f < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(f);
}

int32_t DoAsNumber(const DoValue& v) {
  if (v.type == kDoTypeFloat) return DoTruncateFloat(v.fval);
  return v.lval;
}
