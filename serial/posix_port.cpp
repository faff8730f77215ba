// The serial port on POSIX (Linux): termios for the line, poll for every wait, eventfd to wake
// the workers. Everything the component does to a device happens in this file.
#include "serial/posix_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "serial/marked_input.h"

// The kernel's termios with free bit rates; glibc's termios.h does not declare it.
struct termios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
#ifndef BOTHER
#define BOTHER 0010000
#endif

namespace kavro {

namespace {

std::mutex& SeamMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::string, std::shared_ptr<PortSeam>>& Seams() {
  static std::map<std::string, std::shared_ptr<PortSeam>> seams;
  return seams;
}

std::shared_ptr<PortSeam> FindSeam(const std::string& devicePath) {
  std::lock_guard lock(SeamMutex());
  auto it = Seams().find(devicePath);
  return it == Seams().end() ? nullptr : it->second;
}

void DrainEventFd(int fd) {
  uint64_t value;
  while (read(fd, &value, sizeof value) > 0) {
  }
}

void SignalEventFd(int fd) {
  const uint64_t one = 1;
  ssize_t r;
  do {
    r = write(fd, &one, sizeof one);
  } while (r < 0 && errno == EINTR);
}

int PollRetrying(pollfd* fds, nfds_t count, int timeoutMs) {
  int r;
  do {
    r = poll(fds, count, timeoutMs);
  } while (r < 0 && errno == EINTR);
  return r;
}

speed_t StandardSpeed(int32_t bitRate) {
  switch (bitRate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
  }
}

class EventFdWaker : public PortWaker {
 public:
  explicit EventFdWaker(int fd) : fd_(fd) {}
  ~EventFdWaker() override { close(fd_); }
  void Signal() override { SignalEventFd(fd_); }
  void Wait() override {
    pollfd p{fd_, POLLIN, 0};
    PollRetrying(&p, 1, -1);
    DrainEventFd(fd_);
  }
  int fd() const { return fd_; }

 private:
  const int fd_;
};

int WakerFd(PortWaker& waker) { return static_cast<EventFdWaker&>(waker).fd(); }

}  // namespace

class PosixPort : public SerialPortIo {
 public:
  PosixPort(int fd, const termios& saved, std::shared_ptr<PortSeam> seam)
      : fd_(fd), saved_(saved), seam_(std::move(seam)) {
    serial_icounter_struct counts{};
    countersWork_ = ioctl(fd_, TIOCGICOUNT, &counts) == 0;
    if (countersWork_) lastCounts_ = counts;
  }
  ~PosixPort() override { Close(); }

  uint32_t NativeHandle() const override { return static_cast<uint32_t>(fd_); }

  void Close() override {
    if (fd_ < 0) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    ioctl(fd_, TIOCNXCL);
    close(fd_);  // also releases the lock
    fd_ = -1;
  }

  bool SetQueueSizes(int32_t inputBytes, int32_t outputBytes) override {
    // The kernel's queues have a fixed size; the component keeps its own input queue of
    // inputBytes, so only sizes that can hold a byte make sense.
    if (seam_ && seam_->failQueueSizes) return false;
    return fd_ >= 0 && inputBytes > 0 && outputBytes > 0;
  }

  bool Configure(const LineSettings& s) override;

  bool SetTimeouts(int32_t, int32_t) override {
    // Time-outs are kept by the component's own waits; the driver has none to set.
    if (seam_ && seam_->failTimeouts) return false;
    return fd_ >= 0;
  }

  void PurgeOutput() override { tcflush(fd_, TCOFLUSH); }
  int32_t OutputQueueLength() override {
    int queued = 0;
    return ::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 ? queued : 0;
  }
  void PurgeInput() override {
    tcflush(fd_, TCIFLUSH);
    decoder_.Reset();
  }

  std::unique_ptr<PortWaker> NewWaker() override {
    ++wakersMade_;
    if (seam_ && seam_->failWaker == wakersMade_) return nullptr;
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<EventFdWaker>(fd);
  }

  long WriteSome(const uint8_t* data, size_t size) override {
    if (seam_) {
      seam_->Trace("write " + std::to_string(size));
      if (seam_->failWrites) return kFailed;
    }
    for (;;) {
      const ssize_t n = write(fd_, data, size);
      if (n >= 0) return n > 0 ? static_cast<long>(n) : kWouldBlock;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
      return kFailed;
    }
  }

  PortWait WaitWritable(PortWaker& waker, int timeoutMs) override {
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {WakerFd(waker), POLLIN, 0}};
    const int r = PollRetrying(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (r < 0) return PortWait::Gone;
    if (r == 0) return PortWait::TimedOut;
    if (fds[1].revents) {
      DrainEventFd(fds[1].fd);
      return PortWait::Woken;
    }
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return PortWait::Gone;
    return PortWait::Ready;
  }

  PortWait WaitInput(PortWaker& waker, bool wantInput) override {
    pollfd fds[3] = {{WakerFd(waker), POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    if (wantInput) {
      fds[1].fd = fd_;
      if (seam_) fds[2].fd = seam_->inputFd_;
    }
    if (PollRetrying(fds, 3, -1) < 0) return PortWait::Gone;
    const bool woken = fds[0].revents != 0;
    if (woken) DrainEventFd(fds[0].fd);
    if (fds[1].revents || fds[2].revents) return PortWait::Ready;
    return woken ? PortWait::Woken : PortWait::Ready;
  }

  void ReadInput(InputBatch& batch, size_t maxBytes) override;
  uint32_t TakeLineErrors() override;

  bool SetRts(bool on) override {
    if (seam_) seam_->Trace(on ? "rts on" : "rts off");
    return SetModemBit(TIOCM_RTS, on);
  }
  bool SetDtr(bool on) override {
    if (seam_) seam_->Trace(on ? "dtr on" : "dtr off");
    return SetModemBit(TIOCM_DTR, on);
  }
  bool SetBreak(bool on) override {
    if (seam_) seam_->Trace(on ? "break on" : "break off");
    return ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0;
  }
  bool GetModemStatus(uint32_t& status) override {
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) return false;
    status = ((bits & TIOCM_CTS) ? kCommCtsOn : 0) | ((bits & TIOCM_DSR) ? kCommDsrOn : 0) |
             ((bits & TIOCM_RNG) ? kCommRingOn : 0) | ((bits & TIOCM_CAR) ? kCommRlsdOn : 0);
    return true;
  }

 private:
  bool SetModemBit(int bit, bool on) { return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0; }
  void Decode(const uint8_t* raw, size_t size, InputBatch& batch);

  int fd_;
  const termios saved_;
  const std::shared_ptr<PortSeam> seam_;
  MarkedInputDecoder decoder_;  // receive thread, or owner under the caller's input lock
  int wakersMade_ = 0;          // owner thread
  std::atomic<bool> parityOn_{false};

  std::mutex errorsMutex_;  // the rest: line errors, taken from any thread
  uint32_t markedErrors_ = 0;
  bool countersWork_ = false;
  serial_icounter_struct lastCounts_{};
};

bool PosixPort::Configure(const LineSettings& s) {
  if (seam_ && seam_->failConfigure) return false;
  if (fd_ < 0 || s.bitRate <= 0) return false;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return false;
  // Raw bytes both ways; input errors and breaks marked in the stream so they can be reported.
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_iflag &= ~(IGNPAR | IGNBRK | BRKINT | ISTRIP | IXON | IXOFF | IXANY);
  t.c_iflag |= INPCK | PARMRK;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  t.c_cflag &= ~CSIZE;
  switch (s.byteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return false;
  }

  t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  if (s.parity == cpbOdd) t.c_cflag |= PARENB | PARODD;
  if (s.parity == cpbEven) t.c_cflag |= PARENB;

  // The UART gives 1.5 stop bits for the two-stop-bit setting with 5 data bits, and there is no
  // other way to ask for them.
  if (s.stopBits == csb1) {
    t.c_cflag &= ~CSTOPB;
  } else {
    t.c_cflag |= CSTOPB;
  }

  t.c_cflag &= ~CRTSCTS;
  if (s.flowCtrl == cfcRtsCts) t.c_cflag |= CRTSCTS;
  if (s.flowCtrl == cfcXonXoff) {
    t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = s.xonChar;
    t.c_cc[VSTOP] = s.xoffChar;
  }

  const speed_t standard = StandardSpeed(s.bitRate);
  cfsetispeed(&t, standard == B0 ? B38400 : standard);
  cfsetospeed(&t, standard == B0 ? B38400 : standard);
  if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  if (standard == B0) {
    termios2 t2{};
    if (ioctl(fd_, TCGETS2, &t2) != 0) return false;
    t2.c_cflag &= ~CBAUD;
    t2.c_cflag |= BOTHER;
    t2.c_ispeed = static_cast<speed_t>(s.bitRate);
    t2.c_ospeed = static_cast<speed_t>(s.bitRate);
    if (ioctl(fd_, TCSETS2, &t2) != 0) return false;
  }
  parityOn_ = s.parity == cpbOdd || s.parity == cpbEven;

  // DTR is on under every flow control; RTS rests low only for the half-duplex mode that raises
  // it to send. Devices without modem lines refuse both, which is no fault.
  SetModemBit(TIOCM_DTR, true);
  SetModemBit(TIOCM_RTS, s.flowCtrl != cfcHalfHigh);
  return true;
}

void PosixPort::Decode(const uint8_t* raw, size_t size, InputBatch& batch) {
  MarkedInputDecoder::Counts counts;
  decoder_.Decode(raw, size, batch.data, counts);
  batch.breaks += counts.breaks;
  if (counts.errorChars != 0 && !countersWork_) {
    // Without the driver's counters a marked character is a parity error when parity is
    // checked, and otherwise can only be a framing error.
    std::lock_guard lock(errorsMutex_);
    markedErrors_ |= parityOn_ ? kCommErrParity : kCommErrFrame;
  }
}

void PosixPort::ReadInput(InputBatch& batch, size_t maxBytes) {
  uint8_t raw[4096];
  if (seam_ && maxBytes > 0) {
    const size_t n = seam_->TakeInput(raw, std::min(maxBytes, sizeof raw));
    Decode(raw, n, batch);
    maxBytes -= n;
  }
  while (maxBytes > 0) {
    const ssize_t n = read(fd_, raw, std::min(maxBytes, sizeof raw));
    if (n > 0) {
      Decode(raw, static_cast<size_t>(n), batch);
      maxBytes -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // End of file or a lasting error: the terminal was hung up or the device removed.
    batch.gone = true;
    return;
  }
}

uint32_t PosixPort::TakeLineErrors() {
  std::lock_guard lock(errorsMutex_);
  uint32_t flags = markedErrors_;
  markedErrors_ = 0;
  if (seam_) flags |= seam_->TakeLineErrors();
  serial_icounter_struct now{};
  if (countersWork_ && fd_ >= 0 && ioctl(fd_, TIOCGICOUNT, &now) == 0) {
    if (now.overrun != lastCounts_.overrun || now.buf_overrun != lastCounts_.buf_overrun) {
      flags |= kCommErrOverrun;
    }
    if (now.parity != lastCounts_.parity) flags |= kCommErrParity;
    if (now.frame != lastCounts_.frame) flags |= kCommErrFrame;
    lastCounts_ = now;
  }
  return flags & kCommLineErrorMask;
}

std::unique_ptr<SerialPortIo> OpenSerialPort(const std::string& devicePath, std::string* reason) {
  auto refuse = [reason](std::string why) -> std::unique_ptr<SerialPortIo> {
    if (reason != nullptr) *reason = std::move(why);
    return nullptr;
  };
  if (devicePath.empty()) return refuse("no device stands for this port");
  if (devicePath.size() > kMaxDevicePath) return refuse("device name too long");
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return refuse(std::strerror(errno));
  termios saved{};
  // TIOCEXCL keeps other programs out (except privileged ones); the lock also keeps out a second
  // opener in this process and privileged programs that lock too.
  std::string why;
  if (!isatty(fd))
    why = "not a serial device";
  else if (tcgetattr(fd, &saved) != 0)
    why = std::strerror(errno);
  else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    why = errno == EWOULDBLOCK ? "in use by another program" : std::strerror(errno);
  if (!why.empty()) {
    close(fd);
    return refuse(std::move(why));
  }
  ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixPort>(fd, saved, FindSeam(devicePath));
}

// --- test seam ---

PortSeam::PortSeam() : inputFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PortSeam::~PortSeam() {
  if (inputFd_ >= 0) close(inputFd_);
}

std::shared_ptr<PortSeam> PortSeam::For(const std::string& devicePath) {
  std::lock_guard lock(SeamMutex());
  auto& entry = Seams()[devicePath];
  if (!entry) entry.reset(new PortSeam());
  return entry;
}

void PortSeam::RemoveAll() {
  std::lock_guard lock(SeamMutex());
  Seams().clear();
}

void PortSeam::InjectInput(const std::string& raw) {
  std::lock_guard lock(mutex_);
  input_ += raw;
  SignalEventFd(inputFd_);
}

void PortSeam::InjectLineErrors(uint32_t flags) {
  std::lock_guard lock(mutex_);
  lineErrors_ |= flags;
}

void PortSeam::SetTrace(std::function<void(const std::string&)> trace) {
  std::lock_guard lock(mutex_);
  trace_ = std::move(trace);
}

size_t PortSeam::TakeInput(uint8_t* out, size_t max) {
  std::lock_guard lock(mutex_);
  const size_t n = std::min(max, input_.size());
  std::copy_n(input_.begin(), n, out);
  input_.erase(0, n);
  if (input_.empty()) DrainEventFd(inputFd_);
  return n;
}

uint32_t PortSeam::TakeLineErrors() {
  std::lock_guard lock(mutex_);
  const uint32_t flags = lineErrors_;
  lineErrors_ = 0;
  return flags;
}

void PortSeam::Trace(const std::string& what) {
  std::function<void(const std::string&)> trace;
  {
    std::lock_guard lock(mutex_);
    trace = trace_;
  }
  if (trace) trace(what);
}

}  // namespace kavro
