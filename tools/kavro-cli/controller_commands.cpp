#include "tools/kavro-cli/controller_commands.h"

#include <charconv>
#include <memory>
#include <ostream>

#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/records.h"
#include "datafile/store.h"
#include "link/link_messages.h"
#include "tools/kavro-cli/cli_text.h"
#include "tools/kavro-cli/controller_session.h"

namespace kavro::cli {
namespace {

// The I/O page's raw data box takes at most this many characters.
constexpr std::size_t kRawTextMax = 500;

// The data text of a record's value: its first word, whole (the send checks its length).
std::string FirstWord(std::string_view value) {
  std::size_t begin = 0;
  while (begin < value.size() && IsTextSpace(value[begin])) ++begin;
  std::size_t end = begin;
  while (end < value.size() && !IsTextSpace(value[end])) ++end;
  return std::string(value.substr(begin, end - begin));
}

// The link settings and the records come from the data file: one that is there but cannot be
// read is reported rather than taken for defaults.
bool DataFileReadable(const Context& c) {
  const FileError error = ProbeReadable(c.data_file);
  if (error) ReadFailure(c, error);
  return !error;
}

// A session on the link the options and the data file choose; nothing (after a message) when
// the data file's port setting is bad.
std::unique_ptr<ControllerSession> OpenSession(Context& c, LinkPage page) {
  std::string error;
  const std::optional<LinkSettings> settings = ResolveLinkSettings({c.link.link, c.link.host, c.link.port}, c.data_file, error);
  if (!settings) {
    InputError(c.err, error);
    return nullptr;
  }
  return std::make_unique<ControllerSession>(*settings, page, c.link.tick_ms, c.link.verbose, c.raw,
                                             c.out, c.err);
}

// One operation of the I/O page, which does its own checks and shows their messages: no frame
// sent means the input was refused (or the link was busy, a failure).
template <typename Operation>
int RunIoOperation(Context& c, Operation operation) {
  if (!DataFileReadable(c)) return kExitFailed;
  const std::unique_ptr<ControllerSession> session = OpenSession(c, LinkPage::kIo);
  if (!session) return kExitUsage;
  if (!session->Start([&] { operation(session->Link()); })) return kExitFailed;
  if (!session->FrameSent()) return session->Failed() ? kExitFailed : kExitUsage;
  session->Finish();
  return session->Failed() ? kExitFailed : kExitOk;
}

}  // namespace

int SendCommand(Context& c, Operands ops) {
  const std::optional<int> number = ParseRecordNumber(ops[0]);
  if (!number) return InputError(c.err, "N must be a record number (decimal digits)");
  std::string value;
  FileError error;
  ReadKeyValue(c.data_file, kDataSection, RecordKey(*number), value, "", &error);
  if (error) return ReadFailure(c, error);
  const std::string data = FirstWord(value);

  const std::unique_ptr<ControllerSession> session = OpenSession(c, LinkPage::kPad);
  if (!session) return kExitUsage;
  Say(c.out, "Send(" + std::to_string(*number) + ")");
  int result = kSendStarted;
  if (!session->Start([&] { result = session->Link().SendIrData(data); })) return kExitFailed;
  switch (result) {
    case kSendEmpty: Say(c.out, link_msg::kNoData); return kExitUsage;
    case kSendTooLong: Say(c.out, link_msg::kDataLength); return kExitUsage;
    case kSendBusy: Say(c.out, link_msg::kBusy); return kExitFailed;
    default: break;
  }
  session->Finish();
  return session->Failed() ? kExitFailed : kExitOk;
}

int LearnCommand(Context& c, Operands ops) {
  const std::optional<int> number = ParseRecordNumber(ops[0]);
  if (!number) return InputError(c.err, "N must be a record number (decimal digits)");
  std::string error;
  const std::optional<std::string> comment = CommentToShiftJis(ops[1], c.raw, error);
  if (!comment) return InputError(c.err, error);
  if (comment->empty()) {
    Say(c.out, link_msg::kCommentNothing);
    return kExitUsage;
  }
  if (!DataFileReadable(c)) return kExitFailed;

  const std::unique_ptr<ControllerSession> session = OpenSession(c, LinkPage::kPad);
  if (!session) return kExitUsage;
  int result = kLearnStarted;
  if (!session->Start([&] { result = session->Link().SetLearnMode(); })) return kExitFailed;
  if (result != kLearnStarted) {
    Say(c.out, result == kLearnAlreadyOn ? link_msg::kAlreadyLearning : link_msg::kBusy);
    return kExitFailed;
  }
  Say(c.out, link_msg::kPushController);
  session->Finish();
  // "Learn error!" and the time-out end the exchange without a data text.
  const std::optional<std::string>& data = session->LearnedData();
  if (!data) return kExitFailed;

  FileError write_error;
  if (WriteKeyValue(c.data_file, kDataSection, RecordKey(*number), RecordValue(*data, *comment),
                    &write_error) != 0) {
    // The code is not lost: the user can store it by hand.
    return WriteFailure(c, write_error, "; the learned code is " + *data);
  }
  Say(c.out, link_msg::kLearnOk);
  return kExitOk;
}

int OutCommand(Context& c, Operands ops) {
  return RunIoOperation(c, [&](ControllerLink& link) { link.OutPort(ops[0], ops[1]); });
}

int InCommand(Context& c, Operands ops) {
  return RunIoOperation(c, [&](ControllerLink& link) { link.InPort(ops[0]); });
}

int InDataCommand(Context& c, Operands) {
  return RunIoOperation(c, [](ControllerLink& link) { link.InData(); });
}

int RawCommand(Context& c, Operands ops) {
  if (ops[0].size() > kRawTextMax) return InputError(c.err, "TEXT may hold at most 500 characters");
  return RunIoOperation(c, [&](ControllerLink& link) { link.SendData(ops[0]); });
}

}  // namespace kavro::cli
