// Running values of the COMPUTE functions over one group of rows.
#pragma once
#include <string>

class TAccumulator {
public:
  explicit TAccumulator(std::string function) : FFunction(std::move(function)) {}
  // One row's value: the engine's number text, or any text for COUNT; empty is NULL.
  void Add(const std::string& raw, bool numeric);
  // The result as number text; empty when there is none (no values).
  std::string Result() const;
  void Reset();

private:
  std::string FFunction;
  long double FSum = 0, FSquares = 0, FMin = 0, FMax = 0;
  long FCount = 0, FRows = 0;
};
