// The texts a conversion's outcome is reported with, shared by the front ends.
#pragma once

#include <string_view>

namespace vp::messages {

inline constexpr std::string_view kUnsupportedFormat = "対応していないファイル形式です。";
// After kUnsupportedFormat, for a PDF locked by a password.
inline constexpr std::string_view kPasswordProtected = "パスワードで保護されたPDFだから開けないよ。";
inline constexpr std::string_view kLinesSuffix = "本のデータがあるよ。";
// Completion: "完了！", a line feed and a carriage return, "TIME:", the elapsed time.
inline constexpr std::string_view kCompletedPrefix = "完了！\n\rTIME:";
inline constexpr std::string_view kCancelled = "途中でキャンセルされました。";
inline constexpr std::string_view kOutOfMemory = "メモリ不足です。\n\rキャンセルされました。";
inline constexpr std::string_view kUnreadableImage = "画像ファイルを読込めませんでした。";
inline constexpr std::string_view kNoDataLabel = "キャンセルされたのでデータがないよ。";
inline constexpr std::string_view kBadImageLabel = "画像に問題あり？？？";
// After a conversion whose rule found next to no ink on a grey or colour scan.
inline constexpr std::string_view kGreyScanNotice =
    "グレーかカラーのスキャン画像みたい。黒いところがほとんど見つからなかったよ。";
inline constexpr std::string_view kCheckOff = "OFF";
inline constexpr std::string_view kCheckRunning = "実行中";
inline constexpr std::string_view kCheckDone = "おわり";

}  // namespace vp::messages
