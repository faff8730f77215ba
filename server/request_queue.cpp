#include "server/request_queue.h"

#include <algorithm>
#include <utility>

namespace kavro::server {

bool RequestQueue::Push(ClientId client, Exchange exchange, Reply reply) {
  if (entries_.size() >= limit_) return false;
  const int runs = exchange.kind == Exchange::Kind::kSend ? std::max(1, exchange.repeat) : 1;
  entries_.push_back({client, std::move(exchange), std::move(reply), runs});
  return true;
}

std::optional<Exchange> RequestQueue::StartNext() {
  if (running_ || entries_.empty()) return std::nullopt;
  running_ = true;
  Exchange& exchange = entries_.front().exchange;
  if (exchange.on_start) std::exchange(exchange.on_start, nullptr)();
  return exchange;
}

void RequestQueue::Finish(const Result& result) {
  if (!running_ || entries_.empty()) return;
  running_ = false;
  Entry& head = entries_.front();
  if (result.Ok() && --head.runs_left > 0) return;
  Reply reply = std::move(head.reply);
  entries_.pop_front();
  if (reply) reply(result);
}

void RequestQueue::DropClient(ClientId client) {
  auto first = entries_.begin();
  if (running_ && first != entries_.end()) {
    // The exchange on the line cannot be taken back; it only loses its answer and its repeats.
    if (first->client == client) {
      first->reply = nullptr;
      first->runs_left = 1;
    }
    ++first;
  }
  entries_.erase(std::remove_if(first, entries_.end(),
                                [client](const Entry& entry) { return entry.client == client; }),
                 entries_.end());
}

void RequestQueue::FailQueued(const Result& result) {
  std::deque<Entry> failed;
  auto first = entries_.begin() + (running_ && !entries_.empty() ? 1 : 0);
  std::move(first, entries_.end(), std::back_inserter(failed));
  entries_.erase(first, entries_.end());
  for (Entry& entry : failed)
    if (entry.reply) entry.reply(result);
}

}  // namespace kavro::server
