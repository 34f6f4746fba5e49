// The worker process of host/platform/worker.h on POSIX: a fork() of the
// host.  Messages travel over a socket pair (send with MSG_NOSIGNAL, so a
// side that has gone gives a failed call instead of SIGPIPE), each framed as
// a 4-byte little-endian length, a tag byte and the bytes.
//
// The child's standard output and error go into a pipe.  A thread of the
// child drains it into output frames on the same socket, and every message
// drains it first, so what the body printed before a message reaches the
// host before that message.  What is left in the pipe when the child ends
// (a crash right after a print) the host reads itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "host/base/coding.h"
#include "host/platform/worker.h"

namespace instkit {

namespace {

constexpr size_t kMaxMessage = size_t{1} << 30;

const char* SignalName(int signal_number) {
  switch (signal_number) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGABRT:
      return "SIGABRT";
    case SIGBUS:
      return "SIGBUS";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
    case SIGKILL:
      return "SIGKILL";
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGPIPE:
      return "SIGPIPE";
    case SIGTRAP:
      return "SIGTRAP";
    case SIGSYS:
      return "SIGSYS";
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
    default:
      return nullptr;
  }
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

enum TFrameTag : char { kTagMessage = 'm', kTagOutput = 'o' };

bool SendFrame(int fd, TFrameTag tag, std::string_view message) {
  std::string frame;
  frame.reserve(5 + message.size());
  PutFixed32(frame, static_cast<uint32_t>(message.size()));
  frame.push_back(tag);
  frame.append(message);
  return WriteAll(fd, frame.data(), frame.size());
}

// Takes one whole frame off the front of `buffer`; false when none is complete.
// A length past kMaxMessage poisons the buffer (the caller sees no more frames).
bool TakeFrame(std::string& buffer, char& tag, std::string& message, bool& broken) {
  if (buffer.size() < 5) return false;
  const size_t size = DecodeFixed32(buffer.data());
  if (size > kMaxMessage) {
    broken = true;
    return false;
  }
  if (buffer.size() < 5 + size) return false;
  tag = buffer[4];
  message.assign(buffer, 5, size);
  buffer.erase(0, 5 + size);
  return true;
}

// Appends what is there to read; false at the end of the stream, on an
// error, or when a non-blocking descriptor has nothing now.
bool ReadSome(int fd, std::string& buffer) {
  char chunk[65536];
  while (true) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      buffer.append(chunk, static_cast<size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

class TProcessChannel : public TWorkerChannel {
 public:
  // `output`: the read end of the child's standard output pipe, non-blocking.
  TProcessChannel(int fd, int output) : fd_(fd), output_(output) {
    std::thread([this] { DrainForever(); }).detach();
  }
  bool Send(std::string_view message) override {
    // What the body printed so far goes first.  Flushed outside the lock:
    // a full pipe needs the drain thread, which needs the lock.
    std::fflush(stdout);
    std::fflush(stderr);
    std::lock_guard<std::mutex> lock(send_mutex_);
    DrainLocked();
    return SendFrame(fd_, kTagMessage, message);
  }
  bool Receive(std::string& message) override {
    bool broken = false;
    char tag = 0;
    while (!TakeFrame(buffer_, tag, message, broken)) {
      if (broken || !ReadSome(fd_, buffer_)) return false;
    }
    return true;
  }
  // Sends what is in the pipe now.
  void Drain() {
    std::lock_guard<std::mutex> lock(send_mutex_);
    DrainLocked();
  }

 private:
  void DrainLocked() {
    std::string chunk;
    while (ReadSome(output_, chunk)) {
      SendFrame(fd_, kTagOutput, chunk);
      chunk.clear();
    }
  }
  // Keeps the pipe from filling up while the body prints and sends nothing.
  void DrainForever() {
    while (true) {
      pollfd p{output_, POLLIN, 0};
      if (::poll(&p, 1, -1) < 0 && errno != EINTR) return;
      Drain();
    }
  }

  int fd_;
  int output_;
  std::mutex send_mutex_;
  std::string buffer_;
};

class TWorkerProcess : public TWorker {
 public:
  ~TWorkerProcess() override {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    Close(socket_);
    Close(output_);
  }

  bool Start(TWorkerBody body, std::string& error) override {
    int pair[2];
    int out[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
      error = std::strerror(errno);
      return false;
    }
    if (::pipe2(out, O_CLOEXEC | O_NONBLOCK) != 0) {
      error = std::strerror(errno);
      ::close(pair[0]);
      ::close(pair[1]);
      return false;
    }
    // What the host has buffered must not be written twice.
    std::fflush(nullptr);
    const pid_t host = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
      error = std::strerror(errno);
      for (int fd : {pair[0], pair[1], out[0], out[1]}) ::close(fd);
      return false;
    }
    if (pid == 0) RunChild(body, host, pair[1], out);
    ::close(pair[1]);
    ::close(out[1]);
    pid_ = pid;
    socket_ = pair[0];
    output_ = out[0];
    return true;
  }

  bool Send(std::string_view message) override { return socket_ >= 0 && SendFrame(socket_, kTagMessage, message); }

  TWorkerEvent Receive(std::string& data, int timeout_ms) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
      // Output and messages in the order the child sent them.
      if (TakeLine(data)) return TWorkerEvent::kOutput;
      char tag = 0;
      if (TakeFrame(inbox_, tag, data, broken_)) {
        if (tag == kTagMessage) return TWorkerEvent::kMessage;
        outbox_ += data;
        continue;
      }
      if (socket_ < 0 || broken_) return Ended(data);
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{socket_, POLLIN, 0};
      // A signal (the operator's Ctrl-C) ends the wait early, so the caller
      // can look at it at once.
      const int ready = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (ready <= 0) return TWorkerEvent::kTimeout;
      if (!ReadSome(socket_, inbox_)) Close(socket_);
    }
  }

  void Kill() override {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      killed_ = true;
    }
  }

  TWorkerEnd Wait() override {
    if (pid_ > 0 && !reaped_) {
      int raw = 0;
      while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
      }
      reaped_ = true;
      end_.killed = killed_;
      if (WIFEXITED(raw)) {
        end_.exited = true;
        end_.status = WEXITSTATUS(raw);
      } else if (WIFSIGNALED(raw)) {
        const char* name = SignalName(WTERMSIG(raw));
        end_.signal = name != nullptr ? name : "signal " + std::to_string(WTERMSIG(raw));
      }
    }
    return end_;
  }

  bool Isolated() const override { return true; }

 private:
  [[noreturn]] static void RunChild(const TWorkerBody& body, pid_t host, int channel_fd, const int out[2]) {
    ::signal(SIGINT, SIG_IGN);
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (::getppid() != host) _exit(1);  // the host went before the line above
    // Writes into the pipe block as usual; only its read end stays non-blocking.
    ::fcntl(out[1], F_SETFL, ::fcntl(out[1], F_GETFL) & ~O_NONBLOCK);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::close(out[1]);
    // Never freed: its drain thread runs until the process ends.
    auto* channel = new TProcessChannel(channel_fd, out[0]);
    int status = 1;
    try {
      status = body(*channel);
    } catch (...) {
      status = 1;
    }
    std::fflush(nullptr);
    channel->Drain();
    _exit(status);
  }

  // The socket has closed: what the child printed and could not send, then
  // kEnded.  A process the child started may hold the pipe open, so only
  // what is there now is read.
  TWorkerEvent Ended(std::string& data) {
    while (output_ >= 0) {
      if (!ReadSome(output_, outbox_)) Close(output_);
      if (TakeLine(data)) return TWorkerEvent::kOutput;
    }
    if (TakeLine(data)) return TWorkerEvent::kOutput;
    if (!outbox_.empty()) {
      data.swap(outbox_);
      outbox_.clear();
      return TWorkerEvent::kOutput;
    }
    return TWorkerEvent::kEnded;
  }

  bool TakeLine(std::string& data) {
    const size_t end = outbox_.find('\n');
    if (end == std::string::npos) return false;
    data.assign(outbox_, 0, end);
    if (!data.empty() && data.back() == '\r') data.pop_back();
    outbox_.erase(0, end + 1);
    return true;
  }

  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  pid_t pid_ = -1;
  int socket_ = -1;
  int output_ = -1;
  std::string inbox_;
  std::string outbox_;
  bool broken_ = false;
  bool reaped_ = false;
  bool killed_ = false;
  TWorkerEnd end_;
};

}  // namespace

std::unique_ptr<TWorker> NewWorkerProcess() { return std::make_unique<TWorkerProcess>(); }

}  // namespace instkit
