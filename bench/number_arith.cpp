// The engine's exact decimal (Num: a mantissa of up to 40 digits and a power of ten) against Boost's
// cpp_dec_float<38>, on the work of SUM(AMOUNT * 1.1) (decimal from a double, multiply, add)
// and on divisions. Built only where Boost's headers are installed.
#include "Number.h"
#include <boost/multiprecision/cpp_dec_float.hpp>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
using Dec = boost::multiprecision::number<boost::multiprecision::cpp_dec_float<38>>;
int main() {
  const int n = 1000000;
  std::vector<double> amounts(n);
  for (int i = 0; i < n; ++i)
    amounts[i] = std::round((i * 37 % 1000000) / 100.0 * 100) / 100;
  auto t0 = std::chrono::steady_clock::now();
  ora::Num sum, f;
  ora::parseNum("1.1", f);
  for (double a : amounts)
    sum = ora::add(sum, ora::mul(ora::numFromDouble(a), f));
  double t1 = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  t0 = std::chrono::steady_clock::now();
  Dec bsum = 0, bf("1.1");
  char buf[64];
  for (double a : amounts) {
    auto r = std::to_chars(buf, buf + sizeof buf,
                           a); // the shortest decimal, as the engine reads a double
    *r.ptr = 0;
    bsum += Dec(buf) * bf;
  }
  double t2 = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  t0 = std::chrono::steady_clock::now();
  ora::Num q;
  ora::Num three;
  ora::parseNum("3", three);
  for (int i = 1; i <= 100000; ++i)
    q = ora::div(ora::numFromInt(i), three);
  double t3 = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  t0 = std::chrono::steady_clock::now();
  Dec bq, bthree(3);
  for (int i = 1; i <= 100000; ++i)
    bq = Dec(i) / bthree;
  double t4 = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("SUM(x*1.1) over 1e6: Num %.3f s (%s), cpp_dec_float<38> %.3f s (%s)\n", t1,
              ora::numText(sum).c_str(), t2, bsum.str(40).c_str());
  std::printf("1e5 divisions: Num %.3f s (%s), cpp_dec_float<38> %.3f s (%s)\n", t3,
              ora::numText(q).c_str(), t4, bq.str(40).c_str());
}
