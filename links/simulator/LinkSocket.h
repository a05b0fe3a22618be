// The server's end of the socket to one simulated application. Reads are
// buffered and can be woken through a second descriptor; a lone 4-byte write
// (a block's length word) is held back and leaves together with the next
// write, so a block costs one system call.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

namespace veltra::sim {

class LinkSocket {
 public:
  enum class Status { kOk, kClosed, kWoken, kFailed };

  static constexpr size_t kReadBufferSize = 64 * 1024;
  // A held word and the write after it up to this size leave from one
  // contiguous buffer: copying them is cheaper than a two-part sendmsg.
  static constexpr size_t kSendBufferSize = 16 * 1024;
  // How often a receive that waits looks for a cancel.
  static constexpr int kCancelCheckMicroseconds = 50000;

  explicit LinkSocket(int fd);
  ~LinkSocket();
  LinkSocket(const LinkSocket&) = delete;
  LinkSocket& operator=(const LinkSocket&) = delete;

  // Wakes every thread blocked on this socket; from then on it reads as closed.
  void Shutdown();

  // Fills buffer[done..count), moving done along. Returns kWoken, with what
  // has arrived kept, as soon as wakeFd is readable and no data is at hand.
  // Only one thread reads at a time.
  Status Read(char* buffer, size_t count, size_t& done, int wakeFd, int& error);

  // Sends count bytes, or holds a lone word for the next Write or Flush.
  // Returns 0 or an errno value. A send that has to wait for the peer to
  // read gives up with ECANCELED once wakeFd is readable; with wakeFd -1
  // it does not wait at all (EAGAIN).
  int Write(const char* data, size_t count, int wakeFd);
  // Sends a held word, so that the peer has everything we have "sent".
  int Flush(int wakeFd);
  // True while a word is held back; a hint only, read without the lock.
  bool Holding() const { return holding_.load(std::memory_order_relaxed); }

 private:
  int SendLocked(const char* data, size_t count, int wakeFd);
  int SendAll(const char* data, size_t count, int wakeFd);
  // After a send failed with errno: 0 to try again (once the peer can take
  // more), or the error to give up with (ECANCELED once wakeFd is readable).
  int WaitToSend(int wakeFd);

  const int fd_;

  // Read side: used only by the reading thread.
  std::unique_ptr<char[]> readBuffer_;
  size_t readStart_ = 0;
  size_t readEnd_ = 0;

  // Guards held_, heldCount_ and sendBuffer_, and keeps the sends of
  // different threads apart.
  std::mutex sendMutex_;
  char held_[4] = {};
  size_t heldCount_ = 0;
  // Mirrors heldCount_ != 0 for readers that do not take the lock.
  std::atomic<bool> holding_{false};
  std::unique_ptr<char[]> sendBuffer_;
};

}  // namespace veltra::sim
