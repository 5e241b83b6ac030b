// The text a cursor parsed last, kept as the fixed pieces between its literals: a load sends the
// same statement again and again with other values, and such a text gets its sharing key and
// literals by comparing those pieces instead of being split into tokens again.
#pragma once
#include "SqlTranslate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ora {

struct TextShape {
  struct Slot {
    uint32_t pos = 0, end = 0; // the literal's bytes in `text`
    int token = 0;             // its ordinal among the tokens
    bool text = false;         // quoted text rather than a number
    bool object = false;       // an object's text (a shape of its own)
    std::string opening;       // text: its prefix up to the first quote; number: "." or none
  };
  std::string text, key; // no key: nothing to compare with
  std::vector<Slot> slots;
};

// sharingKey() of `text`, through the shape of the text before, which `shape` then describes.
std::string sharingKey(const std::string& text, std::vector<Literal>& literals, TextShape& shape);

} // namespace ora
