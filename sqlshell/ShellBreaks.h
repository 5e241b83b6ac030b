// Running values of the COMPUTE functions over one group of rows.
#pragma once
#include <string>

class TAccumulator {
public:
  explicit TAccumulator(std::string function) : FFunction(std::move(function)) {}
  // One row's value: the engine's number text, or any text for COUNT; empty is NULL.
  // `character`: text of a character column, whose MINIMUM and MAXIMUM are texts too.
  void Add(const std::string& raw, bool numeric, bool character = false);
  // The result as number text; empty when there is none (no values).
  std::string Result() const;
  void Reset();

private:
  std::string FFunction;
  long double FSum = 0, FSquares = 0, FMin = 0, FMax = 0;
  long FCount = 0, FRows = 0;
  bool FText = false; // the values were text: only COUNT, NUMBER, MINIMUM and MAXIMUM apply
  std::string FMinText, FMaxText; // of a character column; empty for other text
  bool FOrdered = true;
};
