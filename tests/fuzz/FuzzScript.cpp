// The shell's script reader: any bytes as a script file, decoded, cut into commands and
// statements, and every line through the history filter and the number display.
#include "NumberText.h"
#include "SqlShell.h"
#include "SqlSplitter.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = DecodeScriptText(std::string(reinterpret_cast<const char*>(data), size));
  TSqlSplitter splitter;
  splitter.BlankLinesInSql = size % 2 == 1;
  THistoryFilter history;
  size_t b = 0;
  while (b <= text.size()) {
    size_t e = text.find('\n', b);
    std::string line = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
    history.Keep(line);
    NumberInWidth(line, static_cast<int>(size % 50) + 1);
    FormatNumber(line, "S9,990.99");
    if (IsNumberModel(line))
      FormatNumber("-1234.5678", line);
    TSplitEvent ev = splitter.Feed(line);
    if (!ev.Text.empty()) {
      TSqlSplitter::IsPlSql(ev.Text);
      TSqlSplitter::HasContent(ev.Text);
      TSqlSplitter::LeadingWords(ev.Text, 8);
      TSqlSplitter::IsShellCommand(ev.Text);
    }
    if (e == std::string::npos)
      break;
    b = e + 1;
  }
  TSqlSplitter::HasContent(splitter.Pending());
  splitter.OpenText();
  return 0;
}
