#include "link/code_table.h"

#include "datafile/layout.h"
#include "datafile/sjis.h"

namespace kavro {

namespace {
const std::string kEmpty;
}

const std::string& CodeTable::Data(int code) const {
  return Contains(code) ? rows_[code].data : kEmpty;
}

const std::string& CodeTable::Comment(int code) const {
  return Contains(code) ? rows_[code].comment : kEmpty;
}

bool CodeTable::Changed(int code) const { return Contains(code) && rows_[code].changed; }

void CodeTable::SetData(int code, std::string_view text) {
  if (Contains(code)) rows_[code].data = CutSjis(text, kDataTextSlot);
}

void CodeTable::SetComment(int code, std::string_view text) {
  if (Contains(code)) rows_[code].comment = CutSjis(text, kCommentSlot);
}

void CodeTable::SetChanged(int code, bool changed) {
  if (Contains(code)) rows_[code].changed = changed;
}

bool CodeTable::AnyChanged() const {
  for (const Row& row : rows_)
    if (row.changed) return true;
  return false;
}

void CodeTable::ClearDataAndFlags() {
  for (Row& row : rows_) {
    row.data.clear();
    row.changed = false;
  }
}

}  // namespace kavro
