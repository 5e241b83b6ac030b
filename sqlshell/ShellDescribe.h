// What DESCRIBE reads from a stored unit's source: the headers of its procedures and functions.
#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace describe {

struct TArgument {
  std::string Name, Type, Mode;
  bool Default = false;
};

struct TSubprogram {
  std::string Prefix; // a type's method: " MEMBER ", " MAP MEMBER ", " STATIC ", ...
  bool Function = false;
  std::string Name, Returns;
  std::vector<TArgument> Args;
};

// Source text with comments turned into blanks, so the words can be read plainly.
std::string WithoutComments(const std::string& s);

// Reads "PROCEDURE name [(args)]" or "FUNCTION name [(args)] RETURN type" at `i` of `s`.
bool ReadHeader(const std::string& s, size_t& i, TSubprogram& sub);

// "FUNCTION name RETURNS type" and the table of its arguments; `resolve` gives a written type
// as DESCRIBE shows it.
void WriteSubprogram(std::ostream& out, const TSubprogram& sub,
                     const std::function<std::string(const std::string&)>& resolve);

} // namespace describe
