#include "ports/link_watcher.h"

namespace zorvik::ports {

// Windows has no directory of port links; the station is a Linux mode.
struct LinkWatcher::Impl {};

LinkWatcher::LinkWatcher(std::filesystem::path dir) : dir_(std::move(dir)), impl_(std::make_unique<Impl>()) {}
LinkWatcher::~LinkWatcher() = default;
int LinkWatcher::fd() const { return -1; }
std::vector<LinkChange> LinkWatcher::changes() { return {}; }

}  // namespace zorvik::ports
