// The link's messages, in one place: the windows and the command-line tool show the same texts
// for the same outcomes, and tell a learned code from a message by the same rule.
#pragma once

#include <string>
#include <string_view>

namespace kavro::link_msg {

inline constexpr std::string_view kBusy = "RS232C using!";
inline constexpr std::string_view kTimeout = "RS232C timeout!";
inline constexpr std::string_view kSerialSendError = "RS232C send error!";
inline constexpr std::string_view kTcpSendError = "TCP/IP send error!";
// Starts every report of a serial device that disappeared: "RS232C lost! COM1 (/dev/ttyUSB0)
// disappeared". It must not start with a hex digit, or the library would take it for a code.
inline constexpr std::string_view kDeviceLost = "RS232C lost!";
inline constexpr std::string_view kNoData = "None Data!";
inline constexpr std::string_view kDataLength = "Data Length Error!";
inline constexpr std::string_view kCommentNothing = "Comment nothing!";
inline constexpr std::string_view kClickButton = "Click Button!";
inline constexpr std::string_view kPushController = "Push Controller!";
inline constexpr std::string_view kLearnOk = "Learn OK!";
// A learned code that holds a signal but looks cut short: stored all the same.
inline constexpr std::string_view kLooksIncomplete = "learned code looks incomplete: learn again";
inline constexpr std::string_view kLearnError = "Learn error!";
inline constexpr std::string_view kAlreadyLearning = "Already Learning!";
inline constexpr std::string_view kMessage = "MESSAGE";
// Followed by " (0x%X)" and the byte the controller answered.
inline constexpr std::string_view kIrDataError = "IR Data Error!";

// `prompt` with the whole seconds left of an awaited learn: "Push Controller! 8 s".
inline std::string CountdownText(std::string_view prompt, int seconds_left) {
  return std::string(prompt) + " " + std::to_string(seconds_left) + " s";
}

// What reaches the code library's LearnData is a learned data text when it begins with a decimal
// digit or a capital A to F, and a failure message otherwise.
constexpr bool IsLearnedDataText(std::string_view text) {
  if (text.empty()) return false;
  const char c = text.front();
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// A message that says an exchange did not do what was asked: busy, refused, failed, no answer.
constexpr bool IsFailureMessage(std::string_view text) {
  for (std::string_view failure : {kTimeout, kBusy, kSerialSendError, kTcpSendError, kLearnError}) {
    if (text == failure) return true;
  }
  return text.starts_with(kIrDataError) || text.starts_with(kDeviceLost);
}

}  // namespace kavro::link_msg
