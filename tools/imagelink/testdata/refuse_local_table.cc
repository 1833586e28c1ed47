// Refused on x86-64: a local array of texts whose initialiser the compiler
// keeps as an unnamed constant of addresses, copied at run time.
#include "image/services.h"
extern "C" __attribute__((noinline)) void UseNames(const char* const* names, int n) {
  for (int i = 0; i < n; ++i) tulora_services.Release(const_cast<char*>(names[i]));
}
extern "C" TULORA_CALL void TuloraEntry() {
  const char* names[40] = {
      "t00", "t01", "t02", "t03", "t04", "t05", "t06", "t07", "t08", "t09",
      "t10", "t11", "t12", "t13", "t14", "t15", "t16", "t17", "t18", "t19",
      "t20", "t21", "t22", "t23", "t24", "t25", "t26", "t27", "t28", "t29",
      "t30", "t31", "t32", "t33", "t34", "t35", "t36", "t37", "t38", "t39",
  };
  UseNames(names, 40);
}
