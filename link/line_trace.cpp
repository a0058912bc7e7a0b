#include "link/line_trace.h"

namespace zorvik::link {
namespace {

class TracedPort final : public SerialPort {
 public:
  TracedPort(PortHandle inner, std::shared_ptr<LineTrace> trace) : inner_(std::move(inner)), trace_(std::move(trace)) {}

  bool clearErrors() override { return inner_->clearErrors(); }
  bool purgeInput() override { return inner_->purgeInput(); }
  bool write(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    const bool ok = inner_->write(data, count, written);
    if (written > 0) trace_->written(data, written);
    if (!ok) trace_->note("write failed");
    return ok;
  }
  bool read(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    const bool ok = inner_->read(data, count, received);
    trace_->received(data, received);  // also when nothing came: a silence is part of the story
    if (!ok) trace_->note("read failed");
    return ok;
  }
  bool close() override { return inner_->close(); }

 private:
  PortHandle inner_;
  std::shared_ptr<LineTrace> trace_;
};

}  // namespace

PortHandle tracedPort(PortHandle inner, std::shared_ptr<LineTrace> trace) {
  if (!inner || !trace) return inner;
  return std::make_unique<TracedPort>(std::move(inner), std::move(trace));
}

}  // namespace zorvik::link
