// The worker thread of host/platform/worker.h: the same channel as a worker
// process, as two message queues inside the host's process.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "host/platform/worker.h"

namespace instkit {

namespace {

class TMessageQueue {
 public:
  void Push(std::string_view message) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      messages_.emplace_back(message);
    }
    ready_.notify_all();
  }
  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }
  bool Closed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
  }
  // 1: a message; 0: timeout; -1: closed and empty.  A negative timeout waits
  // for as long as it takes.
  int Pop(std::string& message, int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return !messages_.empty() || closed_; };
    if (timeout_ms < 0) {
      ready_.wait(lock, ready);
    } else if (!ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
      return 0;
    }
    if (messages_.empty()) return -1;
    message = std::move(messages_.front());
    messages_.pop_front();
    return 1;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::string> messages_;
  bool closed_ = false;
};

class TThreadChannel : public TWorkerChannel {
 public:
  TThreadChannel(TMessageQueue& to_host, TMessageQueue& to_worker) : to_host_(to_host), to_worker_(to_worker) {}
  bool Send(std::string_view message) override {
    if (to_worker_.Closed()) return false;  // the host has gone
    to_host_.Push(message);
    return true;
  }
  bool Receive(std::string& message) override { return to_worker_.Pop(message, -1) == 1; }

 private:
  TMessageQueue& to_host_;
  TMessageQueue& to_worker_;
};

class TWorkerThread : public TWorker {
 public:
  ~TWorkerThread() override {
    to_worker_.Close();
    if (thread_.joinable()) thread_.join();
  }
  bool Start(TWorkerBody body, std::string&) override {
    thread_ = std::thread([this, body = std::move(body)] {
      TThreadChannel channel(to_host_, to_worker_);
      try {
        status_ = body(channel);
      } catch (...) {
        status_ = 1;
      }
      to_host_.Close();
    });
    return true;
  }
  bool Send(std::string_view message) override {
    if (to_host_.Closed()) return false;
    to_worker_.Push(message);
    return true;
  }
  TWorkerEvent Receive(std::string& data, int timeout_ms) override {
    const int got = to_host_.Pop(data, timeout_ms < 0 ? 0 : timeout_ms);
    return got > 0 ? TWorkerEvent::kMessage : got == 0 ? TWorkerEvent::kTimeout : TWorkerEvent::kEnded;
  }
  void Kill() override {}
  TWorkerEnd Wait() override {
    if (thread_.joinable()) thread_.join();
    TWorkerEnd end;
    end.exited = true;
    end.status = status_;
    return end;
  }
  bool Isolated() const override { return false; }

 private:
  TMessageQueue to_host_;
  TMessageQueue to_worker_;
  std::thread thread_;
  int status_ = 0;
};

}  // namespace

std::unique_ptr<TWorker> NewWorkerThread() { return std::make_unique<TWorkerThread>(); }

}  // namespace instkit
