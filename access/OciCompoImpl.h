// What the access layer's fields, session and cursor share: the readers of the library's data
// areas, the texts of the layer's own errors and the buffer sizes.
#pragma once
#include "ociw32.h"

#include <cstdint>
#include <string>

namespace ocicompo {

inline constexpr const char* MsgFieldAccess = "OCIFieldからデータの取り出しが不正です。";
inline constexpr const char* MsgRowRange = "OCI配列の範囲が不正です。";
inline constexpr const char* MsgRawWidth = "Raw Fieldに255以上のバッファを設定しようとしました。";
inline constexpr const char* MsgNoSession = "OCIDatabase が接続されていません。";
inline constexpr const char* MsgMlsLabel = "準備出来てません。 m(_ _)m";
inline constexpr const char* MsgUnknownType = "多分、Oci Compo 内部Bug (^^;";
inline constexpr const char* MsgFetchRowsLong =
    "FetchRows: LONG / LONG RAW 列を含む結果は Fetch で1行ずつ取り出してください。";
inline constexpr const char* MsgFetchRowsGrown =
    "FetchRows: DescribeFields の後で NumberOfRows が増やされました。もう一度 DescribeFields "
    "を実行してください。";
inline constexpr const char* MsgNotLongField =
    "FetchLong: LONG / LONG RAW のフィールドではありません。";

using ociw32::kOffFunctionCode;
using ociw32::kOffFunctionType;
using ociw32::kOffParseErrorOffset;
using ociw32::kOffReturnCode;
using ociw32::kOffRowsProcessed;
inline constexpr int ErrNotLoggedOn = 1012;
inline constexpr int ErrTruncated = 1406;
inline constexpr int DateTextWidth = 76; // the longest text of a date format model, and its NUL
inline constexpr int TimestampTextWidth = 76;    // a timestamp in its longest format, and its NUL
inline constexpr int IntervalTextWidth = 32;     // '-999999999 23:59:59.999999999' and its NUL
inline constexpr int NestedCursorTextWidth = 32; // "CURSOR STATEMENT : n" and its NUL
inline constexpr int32_t MaxUtf8PerDbByte = 3;
inline constexpr int ErrMsgBufferSize = 1024;

inline uint16_t ReadU16(const unsigned char* area, int offset) {
  return static_cast<uint16_t>(area[offset] | (area[offset + 1] << 8));
}

inline uint32_t ReadU32(const unsigned char* area, int offset) {
  return static_cast<uint32_t>(area[offset]) | (static_cast<uint32_t>(area[offset + 1]) << 8) |
         (static_cast<uint32_t>(area[offset + 2]) << 16) |
         (static_cast<uint32_t>(area[offset + 3]) << 24);
}

// The library takes "no text" rather than an empty text.
inline const char* TextOrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
} // namespace ocicompo
