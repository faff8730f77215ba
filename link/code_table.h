// The main window's codes 0..250 in memory: data text, comment and changed flag per code.
// Shared by the link (which fills it lazily and stores learned codes) and the windows.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kavro {

class CodeTable {
 public:
  static constexpr int kFirstCode = 0;
  static constexpr int kLastCode = 250;

  static bool Contains(int code) { return code >= kFirstCode && code <= kLastCode; }

  // Codes outside 0..250 read as empty and unchanged; writes to them are ignored.
  const std::string& Data(int code) const;
  const std::string& Comment(int code) const;
  bool Changed(int code) const;

  // Longer texts are cut to the slot (60 and 20 bytes) on a Shift-JIS character boundary.
  void SetData(int code, std::string_view text);
  void SetComment(int code, std::string_view text);
  void SetChanged(int code, bool changed);

  bool AnyChanged() const;
  // Empties every data text and clears every changed flag; comments stay (they are shown only
  // for codes that are loaded again).
  void ClearDataAndFlags();

 private:
  struct Row {
    std::string data;
    std::string comment;
    bool changed = false;
  };
  std::array<Row, kLastCode + 1> rows_;
};

}  // namespace kavro
