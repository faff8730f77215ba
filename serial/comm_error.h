#pragma once

#include <stdexcept>
#include <string>

namespace kavro {

// Raised when a port cannot be opened or configured. Message() is the fixed Japanese message of
// the operation (UTF-8); Detail(), where there is one, names the port, its device and the
// system's reason ("COM2 (/dev/ttyS1): No such file or directory"). what() is both, joined by
// ": ", and is what the GUI and the command-line tool show.
class ECommError : public std::runtime_error {
 public:
  explicit ECommError(const std::string& message, const std::string& detail = {})
      : std::runtime_error(detail.empty() ? message : message + ": " + detail),
        message_(message),
        detail_(detail) {}
  const std::string& Message() const { return message_; }
  const std::string& Detail() const { return detail_; }

 private:
  std::string message_;
  std::string detail_;
};

// The fixed messages, one per failing operation. Users show them as they are.
namespace comm_msg {
inline constexpr const char* kAlreadyOpen = "ポートは、すでにオープンされています";
inline constexpr const char* kOpenFailed = "ポートをオープンできませんでした";
inline constexpr const char* kTransThread = "送信用スレッドを生成できませんでした";
inline constexpr const char* kReceiveThread = "受信用スレッドを生成できませんでした";
inline constexpr const char* kBitRate = "通信速度の設定でエラーが発生しました";
inline constexpr const char* kCharSize = "通信ビット数の設定でエラーが発生しました";
inline constexpr const char* kParity = "通信パリティチェックの設定でエラーが発生しました";
inline constexpr const char* kStopBits = "通信ストップビット数の設定でエラーが発生しました";
inline constexpr const char* kFlowCtrl = "通信フロー制御の設定で失敗しました";
inline constexpr const char* kTimeOut = "通信タイムアウト時間の設定で失敗しました";
inline constexpr const char* kXonChar = "Ｘｏｎ文字の設定でエラーが発生しました";
inline constexpr const char* kXoffChar = "Ｘｏｆｆ文字の設定でエラーが発生しました";
inline constexpr const char* kBufferLength = "通信用ポートのバッファを準備できませんでした";
}  // namespace comm_msg

}  // namespace kavro
