#include "session/target_description.h"

#include <optional>

#include "engine/event_texts.h"
#include "images/catalogue.h"
#include "images/identity_tables.h"
#include "images/version_text.h"

namespace zorvik::session {
std::string describeTarget(const std::string& port, const engine::LoggerIdentity& id,
                           const images::ImageSource& images) {
  if (portLeftBlank(port)) return "No port chosen: the logger could not be asked who it is";
  if (id.error != 0) return port + ": the logger could not be asked who it is (" + engine::errorText(id.error, port) + ")";
  if (id.inBootloader) {
    return port + ": the logger is in its bootloader (an earlier update stopped half-way); its serial number and "
                  "version are known again after the update";
  }
  std::string line = port + ": " + images::className(id.deviceClass, 0xFFFF) + ", serial number " +
                     std::to_string(id.serialNumber) + ", version " + images::versionWordText(id.version);
  const std::optional<images::ImageHeader> newest = images::newestImageFor(id.deviceClass, images);
  if (!newest) return line + " (no image here is for its class)";
  return line + " -> " + images::versionText(newest->versionHigh, newest->versionLow) +
         (images.isFile() ? " (the image file)" : " (the newest image for its class)");
}

bool portLeftBlank(const std::string& port) { return port.find_first_not_of(' ') == std::string::npos; }

}  // namespace zorvik::session
