// A link wired to fakes, for the link's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile/hex_text.h"
#include "link/code_table.h"
#include "link/controller_link.h"
#include "link/frames.h"
#include "tests/link/link_fakes.h"

namespace kavro::test {

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() : link(ui, codes, serial, tcp, ticks) {}

  // The 29-byte signal block of a one-frame code, and the data text it is stored as.
  static Bytes OneFrameBlock() {
    Bytes b(29, 0);
    b[0] = 0x20;
    b[1] = 0x0A;
    b[3] = 0x01;
    b[4] = 0x40;
    b[5] = 0x40;  // 32 bits
    b[6] = 0xA0;
    for (int i = 19; i < 29; ++i) b[i] = static_cast<unsigned char>(0x11 * (i - 18));
    return b;
  }
  static Bytes LearnReply(const Bytes& block) {
    Bytes r{'G'};
    r.insert(r.end(), block.begin(), block.end());
    return r;
  }
  static Bytes IrFrame(const Bytes& block) { return IrSendFrame(block); }

  // Puts a code into the table as if it had been loaded.
  void Load(int code, const Bytes& block, const std::string& comment = "") {
    codes.SetData(code, BytesToHexText(block));
    codes.SetComment(code, comment);
  }

  FakeUi ui;
  CodeTable codes;
  FakeSerial serial;
  FakeTcp tcp;
  FakeTicks ticks;
  ControllerLink link;
};

}  // namespace kavro::test
